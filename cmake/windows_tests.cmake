# The test suite of the Windows cross build (cmake/mingw-w64-x86_64.cmake),
# included by tests/CMakeLists.txt when cross-compiling.
#
# 1. GoogleTest: Debian packages it for the build machine only, so the cross
#    build compiles Debian's sources (package googletest, /usr/src/googletest)
#    into GTest::gtest and GTest::gtest_main.
# 2. Wine: the first start of wine builds its prefix (about 700 MB, 5 to 20 s),
#    so the wine_prefix target makes it once, in the build folder, before the
#    test program is linked and its tests are listed under wine. During ctest one
#    persistent wineserver serves every test (the fixture "wine"), which saves
#    the server and service start-up that each test would otherwise pay.

set(LWMD5_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources compiled for the cross build")
if(NOT EXISTS ${LWMD5_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${LWMD5_GOOGLETEST_SOURCE_DIR}: "
                      "install the Debian package googletest (or libgtest-dev)")
endif()
set(BUILD_GMOCK OFF)
set(INSTALL_GTEST OFF)
add_subdirectory(${LWMD5_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Natively the gmock headers lie beside gtest's in /usr/include and tests use
# its header-only matchers; the same here.
target_include_directories(gtest SYSTEM INTERFACE ${LWMD5_GOOGLETEST_SOURCE_DIR}/googlemock/include)

if(NOT LWMD5_WINEPREFIX)
  return() # another toolchain: its emulator is its own business
endif()

set(LWMD5_WINE_MARKER ${LWMD5_WINEPREFIX}/system.reg)
add_custom_command(
  OUTPUT ${LWMD5_WINE_MARKER}
  COMMAND /usr/bin/env ${LWMD5_WINE_ENVIRONMENT} ${LWMD5_WINE64} wineboot --init
  # wineserver writes the registry files (system.reg among them) as it ends.
  COMMAND /usr/bin/env ${LWMD5_WINE_ENVIRONMENT} ${LWMD5_WINESERVER} --wait
  COMMENT "Making the wine prefix ${LWMD5_WINEPREFIX} (once)"
  VERBATIM)
add_custom_target(wine_prefix DEPENDS ${LWMD5_WINE_MARKER})
# The test program is run under wine right after linking, to list its tests.
cmake_language(DEFER CALL add_dependencies lwmd5_tests wine_prefix)

set(LWMD5_WINE_SESSION /usr/bin/env ${LWMD5_WINE_ENVIRONMENT}
    sh ${CMAKE_CURRENT_LIST_DIR}/wine-session.sh)
add_test(NAME wine.server.start COMMAND ${LWMD5_WINE_SESSION} start ${LWMD5_WINESERVER} ${LWMD5_WINE64})
add_test(NAME wine.server.stop COMMAND ${LWMD5_WINE_SESSION} stop ${LWMD5_WINESERVER} ${LWMD5_WINE64})
set_tests_properties(wine.server.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.server.stop PROPERTIES FIXTURES_CLEANUP wine)
set(LWMD5_EMULATOR_TEST_PROPERTIES FIXTURES_REQUIRED wine)

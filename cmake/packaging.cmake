# What `cmake --install` puts beside the programs, and the packages CPack
# makes of it: a Debian package and a .tar.gz natively, a .zip from the
# Windows cross build. The programs' own install rules stand beside their
# add_executable in src/CMakeLists.txt. Tests, generators, benchmarks and
# fuzz targets are not installed.
#
# Layout (GNUInstallDirs; the Windows .zip is one flat folder instead, see
# the top-level CMakeLists.txt):
#   bin/                          meshconv, animconv, md5inspect
#   share/man/man1/               their manual pages, compressed as Debian wants
#   share/doc/lwmd5/              README.md, LICENSE
#   share/doc/lwmd5/examples/     the example character and its md5 files

install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES
  examples/character.lws examples/character.lwo
  examples/character.md5mesh examples/character.md5anim
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Manual pages: troff sources in man/, the version filled in from project().
# Windows has no man; the README is its manual.
if(NOT WIN32)
  find_program(LWMD5_GZIP gzip)
  set(pages)
  foreach(program meshconv animconv md5inspect)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    configure_file(man/${program}.1.in ${page} @ONLY)
    if(LWMD5_GZIP)
      # -n: no name or time stamp inside, so the same page gives the same bytes.
      add_custom_command(OUTPUT ${page}.gz
        COMMAND ${LWMD5_GZIP} -9nkf ${page}
        DEPENDS ${page}
        COMMENT "Compressing the manual page ${program}.1"
        VERBATIM)
      set(page ${page}.gz)
    endif()
    list(APPEND pages ${page})
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---------------------------------------------------------------- packages
set(CPACK_PACKAGE_NAME lwmd5)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the lwmd5 authors")
set(CPACK_PACKAGE_CONTACT "lwmd5 authors <lwmd5@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "convert skinned LightWave characters to md5 models and animations")
# One paragraph, in lines short enough for the Debian control file.
set(CPACK_PACKAGE_DESCRIPTION [=[
Console tools for people who author skinned, animated characters in
LightWave and ship them to engines that read the md5 format, version 10:
meshconv turns a scene and its object into an .md5mesh model, animconv
turns the scene's keyed bone motion into an .md5anim animation, and
md5inspect checks md5 files against what id Tech 4 engines accept and
draws them. Manual pages and an example character are included.]=])
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

# lwmd5-0.2.0-linux-x86_64.tar.gz, lwmd5-0.2.0-windows-x86_64.zip
string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} LWMD5_PACKAGE_SYSTEM)
set(CPACK_PACKAGE_FILE_NAME lwmd5-${PROJECT_VERSION}-${LWMD5_PACKAGE_SYSTEM})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
  # lwmd5_0.2.0_amd64.deb; the architecture comes from dpkg.
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends: from the libraries the programs link (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)

# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64);
# the programs and the test suite run under wine (wine64).
#
#   cmake --preset windows          (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
#
# The posix thread model is needed: GoogleTest does not build with the win32 one.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LWMD5_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LWMD5_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LWMD5_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LWMD5_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LWMD5_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime (libstdc++, libgcc, winpthread): the .exe files run without
# any mingw DLL beside them, on Windows and under wine alike.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under wine64 (the wine64 package installs no /usr/bin/wine). Each
# build folder has its own wine prefix; no display, so a message box returns at
# once; WINEDEBUG=-all keeps wine's own diagnostics out of the programs' stderr.
# The prefix is made once by the wine_prefix target (cmake/windows_tests.cmake);
# mscoree and mshtml are switched off so that wine never offers to install Mono
# or Gecko into it.
set(LWMD5_WINE64 /usr/lib/wine/wine64)
set(LWMD5_WINESERVER /usr/lib/wine/wineserver)
set(LWMD5_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(LWMD5_WINE_ENVIRONMENT
  -u DISPLAY -u WAYLAND_DISPLAY
  WINEPREFIX=${LWMD5_WINEPREFIX}
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ${LWMD5_WINE_ENVIRONMENT} ${LWMD5_WINE64})

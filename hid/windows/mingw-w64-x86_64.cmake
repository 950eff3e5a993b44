# Cross-compiling for Windows x64 with Debian's mingw-w64. The win32 thread model is named
# explicitly: the posix one would make the DLL need libwinpthread-1.dll beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVO_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TAVO_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TAVO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

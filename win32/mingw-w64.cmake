# Cross-compiles the Windows build with MinGW-w64 (posix threads: the win32 flavour of GCC 12
# has no std::thread) and runs what it builds, tests included, under Wine. 64-bit here;
# mingw-w64-i686.cmake sets the 32-bit build's processor and prefix, then includes this file.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT COMUTEL_MINGW_PREFIX)
    set(CMAKE_SYSTEM_PROCESSOR x86_64)
    set(COMUTEL_MINGW_PREFIX x86_64-w64-mingw32)
endif()
set(CMAKE_C_COMPILER ${COMUTEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COMUTEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${COMUTEL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${COMUTEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Wine runs either kind: a 32-bit .exe in WoW64, in a prefix made once wine32 was installed.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Every executable, tests included, imports system DLLs only: Wine (and a user's PC) has no
# MinGW runtime to lend them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

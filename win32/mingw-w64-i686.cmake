# The 32-bit Windows build (runs on every Windows PC, 32 or 64 bits), from the same sources.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(COMUTEL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

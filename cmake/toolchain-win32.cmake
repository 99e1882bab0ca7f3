# i686-w64-mingw32, the 32-bit target. Built and linked here, never run:
# these machines refuse to execute 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUAXEL_MINGW_PREFIX i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${QUAXEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUAXEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUAXEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUAXEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# float and double must round exactly as on x86_64 (SSE, no x87 excess
# precision); long double stays the 80-bit x87 format.
set(CMAKE_C_FLAGS_INIT   "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

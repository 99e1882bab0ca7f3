# i686-w64-mingw32, the 32-bit target: the build that is shipped. These
# machines cannot execute 32-bit code, so its tests run under the i386 Wine on
# qemu-user that tools/w32/build-w32.sh makes (tools/windows-tests.sh --win32).
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

# Tests run through the same runner as win64's; the prefix's WINEARCH (win32)
# picks the 32-bit Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-exec.sh)
# Everything runs several times slower under the emulation: the tests' hang
# guards (ctest TIMEOUT) are this many times longer.
set(QUAXEL_TEST_TIMEOUT_FACTOR 4)

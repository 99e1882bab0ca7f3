# x86_64-w64-mingw32 with the posix thread model: GoogleTest needs std::mutex,
# which the win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUAXEL_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${QUAXEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUAXEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUAXEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUAXEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the .exe files run without mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run through wine64 directly; /usr/bin/wine wants the 32-bit loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-exec.sh)

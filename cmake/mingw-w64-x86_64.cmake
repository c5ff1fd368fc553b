# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian/Ubuntu package
# g++-mingw-w64-x86-64). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVREL_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX-threads flavour where the distribution offers both; the player
# uses no threads, so either links the same program.
find_program(CMAKE_CXX_COMPILER NAMES ${TAVREL_MINGW_PREFIX}-g++-posix ${TAVREL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${TAVREL_MINGW_PREFIX}-gcc-posix ${TAVREL_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${TAVREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

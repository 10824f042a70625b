# Cross-compiles ORVIX for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64). The posix flavour of the compiler gives the full
# C++ threading library; the project links it statically (see orvix_options),
# so the programs need no MinGW DLLs on a bare Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVIX_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${ORVIX_MINGW_PREFIX}-g++-posix ${ORVIX_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${ORVIX_MINGW_PREFIX}-gcc-posix ${ORVIX_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${ORVIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run the Windows programs (tests, test discovery) through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

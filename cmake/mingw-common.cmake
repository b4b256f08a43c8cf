# Shared by the MinGW-w64 toolchain files: set VONDREL_MINGW_TRIPLE first.
# The -posix compilers: the default thread model has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VONDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VONDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VONDREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VONDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained file per program: no DLL beyond those of Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GoogleTest is built from Debian's sources with this compiler.
set(VONDREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "")

# Test programs run under Wine. Tests are listed when CTest runs, after the
# script that runs them has started Wine's server, not while building.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

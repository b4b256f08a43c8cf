# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake: 32-bit Windows programs
# (the shipped build, which runs on 32-bit and 64-bit Windows). wine64 cannot
# run them here; scripts/wine-run.sh refuses to rather than report a pass.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VONDREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

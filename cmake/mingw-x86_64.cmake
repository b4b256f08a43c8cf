# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake: 64-bit Windows programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VONDREL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

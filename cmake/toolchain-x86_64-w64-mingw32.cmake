# 64-bit Windows console program (PE32+): the same sources, run under Wine in the tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# 32-bit Windows console program (PE32), the shipped form of velkrun.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

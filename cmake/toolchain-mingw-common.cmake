# Shared part of the mingw-w64 toolchain files: the including file sets VELK_MINGW_TRIPLE first.
#
# Debian ships each mingw-w64 compiler in a win32-threads and a posix-threads flavour; the posix
# one is taken because its C++ library is complete (std::thread, std::mutex) on every gcc release.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VELK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELK_MINGW_TRIPLE}-windres)

# Look for headers and libraries in the target tree only; programs still come from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each .exe must run alone on a bare Windows: no libgcc, libstdc++ or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The static runtime brings its debugging sections along; a release executable ships without them.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test programs run under Wine on the build host (ctest, GoogleTest discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)

# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64):
# the same sources as cmake/mingw-i686.cmake, for 64-bit clients.
#
#   cmake -S . -B build/windows64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#
# Test programs run under 64-bit Wine through cmake/wine-run.sh, which picks
# a 64-bit prefix for this build (HDD_WINE_ARCH below).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(HDD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HDD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HDD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HDD_MINGW_TRIPLE}-windres)

set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

set(CMAKE_FIND_ROOT_PATH /usr/${HDD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Cross build for 32-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-i686).
#
#   cmake -S . -B build/windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The "-posix" compilers are used on purpose: the default "win32" thread
# model has no std::mutex/std::thread, which GoogleTest needs. Test programs
# run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(HDD_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${HDD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HDD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HDD_MINGW_TRIPLE}-windres)

# -O2 rather than CMake's -O3 for Release: GCC 12's -O3 inlining of
# std::string into 32-bit code raises false -Wrestrict errors.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

# Look for headers and libraries in the cross sysroot only, for programs on
# the build machine only.
set(CMAKE_FIND_ROOT_PATH /usr/${HDD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest (and add_custom_command with a target as the command) start the
# Windows programs through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

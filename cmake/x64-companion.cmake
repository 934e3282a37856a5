# The x64 build's HDD.dll and 64-bit test client, for the 32-bit windows
# build: its setup program and zip ship the DLL as x64\HDD.dll, and its
# side-by-side test runs both DLLs in one 64-bit Wine prefix.
#
# HDD_X64_BUILD_DIR names an x64 build folder that has them (scripts/test.sh
# builds build/windows64 first); when it is empty, they are built here, in
# x64/, from the same sources with cmake/mingw-x86_64.cmake.
#
# Sets HDD_X64_DLL_FILE, HDD_X64_CLIENT_FILE and HDD_X64_DEPENDS (what a
# command that uses them depends on).
set(HDD_X64_BUILD_DIR "" CACHE PATH "x64 build folder whose HDD.dll and test client to use (empty: build them here)")
if(HDD_X64_BUILD_DIR)
  set(_x64 ${HDD_X64_BUILD_DIR})
  set(HDD_X64_DEPENDS ${_x64}/server/dll/HDD.dll ${_x64}/test/wine/hdd_inproc_client.exe)
else()
  include(ExternalProject)
  set(_x64 ${CMAKE_BINARY_DIR}/x64)
  ExternalProject_Add(hdd_x64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${_x64}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
               -Wno-dev
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${_x64} --target HDD hdd_inproc_client
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${_x64}/server/dll/HDD.dll ${_x64}/test/wine/hdd_inproc_client.exe
    INSTALL_COMMAND "")
  set(HDD_X64_DEPENDS hdd_x64 ${_x64}/server/dll/HDD.dll ${_x64}/test/wine/hdd_inproc_client.exe)
endif()
set(HDD_X64_DLL_FILE ${_x64}/server/dll/HDD.dll)
set(HDD_X64_CLIENT_FILE ${_x64}/test/wine/hdd_inproc_client.exe)
unset(_x64)

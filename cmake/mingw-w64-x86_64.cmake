# SPDX-License-Identifier: GPL-3.0-or-later
# Toolchain file: 64-bit Windows (x86_64-w64-mingw32) cross-built on Debian
# with mingw-w64 (packages g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# scripts/build-windows.sh does this.  The "-posix" compilers use the POSIX
# thread model (winpthreads), which gives std::thread, std::mutex and
# std::condition_variable; the default "-win32" ones have none of them.  The
# runtimes (libgcc, libstdc++, winpthreads) are linked statically by the
# project, so the DLL imports only Windows system libraries.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORLA_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${VORLA_MINGW_TRIPLE}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${VORLA_MINGW_TRIPLE}-g++-posix)
find_program(CMAKE_RC_COMPILER ${VORLA_MINGW_TRIPLE}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool}: the mingw-w64 cross tools are missing "
      "(Debian: g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; scripts/build-windows.sh installs them)")
  endif()
endforeach()

# Headers and libraries come from the mingw-w64 tree only, never from the
# build machine's /usr/include or /usr/lib; programs (cmake, python) from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VORLA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows plug-in on Debian: build-win/vorla.dll, a 64-bit
# VST 2.4 DLL exporting VSTPluginMain and main, with its C and C++ runtimes
# linked in (mingw-w64, cmake/mingw-w64-x86_64.cmake).
#
#   scripts/build-windows.sh           the DLL
#   scripts/build-windows.sh --tests   the DLL and the test programs that
#                                      scripts/test.sh runs under Wine; they
#                                      compare with the Linux build in build/,
#                                      which must be built first
#
# Installs the cross tools it needs (scripts/install-deps.sh).  VORLA_JOBS
# sets the parallel jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
case "${1:-}" in
  "") ;;
  --tests) tests=ON ;;
  *)
    echo "build-windows: unknown option '$1' (use --tests or nothing)" >&2
    exit 2
    ;;
esac

if [ "$tests" = ON ]; then
  scripts/install-deps.sh windows-tests
  if [ ! -x build/vorla-snapshot ] || [ ! -x build/tests/vorla-image-dump ]; then
    echo "build-windows: --tests needs the Linux build in build/ (cmake -S . -B build && cmake --build build)" >&2
    exit 1
  fi
else
  scripts/install-deps.sh windows
fi

jobs="${VORLA_JOBS:-2}"
cmake -S . -B build-win \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DVORLA_WERROR=ON \
  -DVORLA_BUILD_TESTS="$tests" \
  -DVORLA_LINUX_BUILD_DIR="$PWD/build" >/dev/null
cmake --build build-win -j "$jobs"
echo "build-windows: built build-win/vorla.dll"

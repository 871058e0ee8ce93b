#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Vorla and runs every test:
#   0. the format and licence checks (scripts/check-format.sh,
#      scripts/check-licence.sh);
#   1. the release build in build/ (the same binaries the demo uses), all suites;
#   2. an AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/, all suites;
#   3. a ThreadSanitizer build in build-tsan/: the editor stress test and the
#      effect and chain suites, which call the effect from several threads;
#   4. the Windows build in build-win/ (vorla.dll, cross-built with mingw-w64)
#      and its suites under Wine: the ones that drive the plug-in through its
#      entry point, the export check, the DLL's images and the Win32 editor,
#      compared with the release build of step 1.
# Editor tests (and Wine) need an X server: when DISPLAY is not set, a
# private Xvfb is started for the run and stopped afterwards.  The live
# suite starts a JACK server of its own for each case (jackd, dummy driver).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== format and licence checks"
scripts/check-format.sh
scripts/check-licence.sh

jobs="${VORLA_JOBS:-2}"
source scripts/xvfb.sh
start_xvfb_if_needed

configure() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -DVORLA_WERROR=ON "$@" >/dev/null
}

echo "== release build (build/)"
configure build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UBSan build (build-asan/)"
configure build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLA_SANITIZE=address -DVORLA_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:suppressions=$PWD/scripts/asan.supp" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE no-sanitize

echo "== ThreadSanitizer build (build-tsan/): the suites that drive the effect from several threads"
configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLA_SANITIZE=thread -DVORLA_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "threads|effect|chain"

echo "== Windows build (build-win/): vorla.dll and its suites under Wine"
scripts/build-windows.sh --tests
ctest --test-dir build-win --output-on-failure -j "$jobs"

echo "== all test runs passed"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building and testing Vorla need.
# A no-op when everything is present; safe to run on every build.
#
#   scripts/install-deps.sh            everything (Linux build, tests, Windows build and its tests)
#   scripts/install-deps.sh windows    the Windows cross-build only (scripts/build-windows.sh)
set -euo pipefail

linux_packages=(
  cmake g++ make pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev zlib1g-dev
  libx11-dev libxext-dev libxtst-dev
  libsndfile1-dev
  xvfb xauth xdotool x11-utils
  # vorla-live and the gate and cabinet of vorla-render: JACK (and a JACK
  # server for the tests), zita-convolver, libsamplerate, FFTW.
  libjack-jackd2-dev jackd2 libzita-convolver-dev libsamplerate0-dev libfftw3-dev
  # The LV2 plug-in: its headers, lilv for the tests' host, and the tools that
  # check and run a bundle.
  lv2-dev liblilv-dev lilv-utils sordi lv2file
)
# The Windows DLL: mingw-w64's 64-bit compilers with the POSIX thread model
# (std::thread) and its binutils (windres, objdump).
windows_packages=(
  cmake make
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
)
# Its tests: GoogleTest's sources (built with the cross compiler) and Wine.
windows_test_packages=(googletest wine64)

case "${1:-all}" in
  all) packages=("${linux_packages[@]}" "${windows_packages[@]}" "${windows_test_packages[@]}") ;;
  windows) packages=("${windows_packages[@]}") ;;
  windows-tests) packages=("${windows_packages[@]}" "${windows_test_packages[@]}") ;;
  *)
    echo "install-deps: unknown set '$1' (all, windows, windows-tests)" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to allow realtime priority: the answer is preset (no
# change to the system's limits), so the install never waits for a terminal.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections 2>/dev/null || true
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

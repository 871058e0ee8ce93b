#!/usr/bin/env bash
# Installs the Debian packages that building and testing Vorla need.
# A no-op when everything is present; safe to run on every build.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev zlib1g-dev
  libx11-dev libxext-dev libxtst-dev
  libsndfile1-dev
  xvfb xauth xdotool x11-utils
)

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
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

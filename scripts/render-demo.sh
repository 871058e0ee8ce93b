#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the bundled demo DI guitar clip through the amplifier's three
# voicings: out/di_guitar_clean.wav, out/di_guitar_crunch.wav and
# out/di_guitar_overdrive.wav (32-bit float WAV, 44.1 kHz, with one second of
# tail so the amp rings out), each followed by vorla-render's summary.
#
# Expects a finished build in build/ (or in $VORLA_BUILD_DIR): vorla.so,
# vorla-render and the clip build/demo/di_guitar.wav, which the build
# synthesises with vorla-make-demo.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORLA_BUILD_DIR:-$root/build}"
out="$root/out"
render="$build/vorla-render"
clip="$build/demo/di_guitar.wav"

# The build makes the clip (target vorla-demo-clip); with only the generator
# built, make it here the same way.
if [ ! -e "$clip" ] && [ -x "$build/vorla-make-demo" ]; then
  "$build/vorla-make-demo" "$clip"
fi

for needed in "$render" "$build/vorla.so" "$clip"; do
  if [ ! -e "$needed" ]; then
    echo "render-demo: $needed is missing; build first (cmake --build $build)" >&2
    exit 1
  fi
done

mkdir -p "$out"
for voicing in clean crunch overdrive; do
  "$render" --plugin "$build/vorla.so" --channel "$voicing" --tail 1 \
    "$clip" "$out/di_guitar_$voicing.wav"
done

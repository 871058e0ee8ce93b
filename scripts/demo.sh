#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main job: builds the plug-in (VST 2.4: build/vorla.so; LV2: the bundle
# build/vorla.lv2/), the offline renderer and the demo DI clip in build/,
# then reamps the clip through the amplifier's three voicings into out/ and
# prints vorla-render's summary for each.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "${VORLA_JOBS:-2}" --target vorla vorla-lv2 vorla-render vorla-demo-clip

scripts/render-demo.sh

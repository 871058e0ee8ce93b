#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked source, script and CMake file names its licence
# (an SPDX-License-Identifier line near its top), so that a file copied out
# of the tree still says under which terms it may be used.  Prints the files
# that do not and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' '*.py' '*.sh' '*.cmake' \
  'CMakeLists.txt' '*/CMakeLists.txt' '.ci/run')
bad=()
for f in "${files[@]}"; do
  if ! head -n 3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    bad+=("$f")
  fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-licence: ${#bad[@]} file(s) lack 'SPDX-License-Identifier: GPL-3.0-or-later' in their first lines:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-licence: ${#files[@]} files carry the licence line"

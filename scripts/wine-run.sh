#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program of the cross-built tree under Wine:
#
#   scripts/wine-run.sh --prefix DIR PROGRAM.exe [ARGS...]
#
# The Windows build (build-win/) names this script as its cross-compiling
# emulator, so CTest and GoogleTest's test discovery run every test program
# through it.  It keeps one Wine prefix per build tree (DIR) and prepares it
# once, under a lock, so that parallel test runs share it:
#
#  - Wine is Debian's wine64 (/usr/lib/wine/wine64, not on PATH).
#  - A new prefix is made (5-8 s) and told, in the registry, not to let a
#    window manager manage Wine's top-level windows
#    (HKCU\Software\Wine\X11 Driver, Managed=N): with none running, as under
#    Xvfb, hiding a top-level window would otherwise stall for two seconds.
#  - The Wine server of the prefix is started to persist 30 s after its last
#    program, and one warm-up run with all output sent to /dev/null starts
#    Wine's background processes (services, device manager, explorer), which
#    live as long as the server.  Started by a test instead, they would
#    inherit its output pipe and keep CTest waiting for the pipe to close
#    long after the test ended.  A run that finds the server gone (after a
#    pause of more than 30 s) starts and warms up a new one; half a minute
#    after the last test everything of Wine has ended by itself.
#  - WINEDEBUG=-all keeps Wine's own diagnostics out of the test output;
#    mscoree and mshtml are disabled so that no prefix asks for the .NET or
#    Gecko add-ons.
#
# Wine opens windows on the X display in DISPLAY (scripts/xvfb.sh starts one).
set -euo pipefail

if [ "${1:-}" != "--prefix" ] || [ $# -lt 3 ]; then
  echo "wine-run: usage: wine-run.sh --prefix DIR PROGRAM [ARGS...]" >&2
  exit 2
fi
prefix="$2"
shift 2

wine_dir="${VORLA_WINE_DIR:-/usr/lib/wine}"
wine="$wine_dir/wine64"
wineserver="$wine_dir/wineserver"
if [ ! -x "$wine" ] || [ ! -x "$wineserver" ]; then
  echo "wine-run: $wine not found (Debian package wine64; scripts/install-deps.sh installs it)" >&2
  exit 1
fi

mkdir -p "$prefix"
export WINEPREFIX
WINEPREFIX="$(cd "$prefix" && pwd)"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

if ! (
  flock 9
  if [ ! -f "$WINEPREFIX/.vorla-prepared" ]; then
    # First use: the first program makes the prefix; waiting for its
    # (not yet persistent) server to end writes the registry to disk.
    if ! "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >/dev/null 2>&1 </dev/null 9>&-; then
      echo "wine-run: cannot make a Wine prefix in $WINEPREFIX" >&2
      exit 1
    fi
    "$wineserver" -w
    touch "$WINEPREFIX/.vorla-prepared"
  fi
  # wineserver -p answers 0 when it started a server (none was running for
  # the prefix), 2 when one is running already.
  started=0
  # (The server and Wine's background processes must not keep the lock's
  # descriptor either, or the lock would never be free again.)
  "$wineserver" -p30 >/dev/null 2>&1 </dev/null 9>&- || started=$?
  if [ "$started" -eq 0 ]; then
    "$wine" cmd /c exit >/dev/null 2>&1 </dev/null 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"; then
  echo "wine-run: could not prepare the Wine prefix in $WINEPREFIX" >&2
  exit 1
fi

exec "$wine" "$@"

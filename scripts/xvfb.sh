# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test and demo scripts: gives the run an X server.
# With DISPLAY set (a desktop, or CI that provides one) nothing happens.

start_xvfb_if_needed() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
      break
    fi
  done
  Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  VORLA_XVFB_PID=$!
  export DISPLAY=":${n}"
  trap 'kill "$VORLA_XVFB_PID" 2>/dev/null || true' EXIT
  local i
  for i in $(seq 1 50); do
    if xdpyinfo >/dev/null 2>&1; then
      echo "xvfb: X server started on ${DISPLAY}"
      return 0
    fi
    sleep 0.1
  done
  echo "xvfb: could not start an X server on ${DISPLAY}" >&2
  return 1
}

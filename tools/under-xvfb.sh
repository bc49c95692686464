#!/usr/bin/env bash
# under-xvfb.sh WIDTHxHEIGHT command [args...]
#
# Runs a command (a test, a benchmark, the screenshot script) under a private
# Xvfb server of that screen size, on the xcb platform rather than offscreen,
# for what needs a real X screen. The server picks a free display itself; it
# is stopped by its process id when the command ends, and the command's exit
# code is returned.
set -euo pipefail
size="$1"; shift
log="$(mktemp)"
exec {dfd}<> <(:)
Xvfb -displayfd "$dfd" -screen 0 "${size}x24" -nolisten tcp -noreset >"$log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; rm -f "$log"' EXIT
if ! read -r -t 30 -u "$dfd" display_no; then
  echo "Xvfb did not start:" >&2; cat "$log" >&2; exit 1
fi
exec {dfd}<&-
export DISPLAY=":$display_no"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
set +e
"$@"
rc=$?
exit "$rc"

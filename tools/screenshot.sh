#!/usr/bin/env bash
# Takes a PNG of the program's window under a private Xvfb server.
#
#   bash tools/screenshot.sh [-o out.png] [-s WIDTHxHEIGHT] [-b program] [-t seconds]
#
#   -o  where the PNG goes (default: screenshot.png in the current directory)
#   -s  screen size of the Xvfb server (default 1280x800)
#   -b  the program to start (default: build/release/app/VODEZ, else
#       build/test/app/VODEZ; build one of them first)
#   -t  seconds to let the window settle after it appears (default 1.5)
#   -r  shoot the whole screen instead of the window
#
# The program runs in a temporary working directory holding "VODEZ.ico" and
# a config.ini whose device addresses are loopback (127.0.0.9, 127.0.0.10),
# so nothing it does reaches a real instrument. Everything the script starts
# (the X server, the program) is stopped by its process id at the end, and
# the temporary directory is removed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

out="$PWD/screenshot.png"
size="1280x800"
program=""
settle="1.5"
whole=0
while getopts "o:s:b:t:rh" opt; do
  case "$opt" in
    o) out="$(realpath -m "$OPTARG")" ;;
    s) size="$OPTARG" ;;
    b) program="$(realpath -m "$OPTARG")" ;;
    t) settle="$OPTARG" ;;
    r) whole=1 ;;
    *) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
if [ -z "$program" ]; then
  for candidate in "$here/build/release/app/VODEZ" "$here/build/test/app/VODEZ"; do
    if [ -x "$candidate" ]; then program="$candidate"; break; fi
  done
fi
if [ -z "$program" ] || [ ! -x "$program" ]; then
  echo "No program to start: build it (tools/run.sh or tools/test.sh) or pass -b." >&2
  exit 1
fi
case "$size" in
  [0-9]*x[0-9]*) ;;
  *) echo "screen size must be WIDTHxHEIGHT, not '$size'" >&2; exit 2 ;;
esac

# Run the rest under a private X server of that size (tools/under-xvfb.sh
# starts it, picks a free display and stops it by its process id).
if [ -z "${VODEZ_SCREENSHOT_INNER:-}" ]; then
  exec bash "$here/tools/under-xvfb.sh" "$size" \
    env VODEZ_SCREENSHOT_INNER=1 bash "$0" -o "$out" -s "$size" -b "$program" -t "$settle" $([ "$whole" = 1 ] && echo -r)
fi

work="$(mktemp -d)"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cp "$here/resources/VODEZ.ico" "$work/VODEZ.ico"
cat >"$work/config.ini" <<'INI'
[SysConf]
SendIP=127.0.0.9
RecvIP=127.0.0.10
INI

(cd "$work" && exec "$program" >"$work/program.log" 2>&1) &
app_pid=$!

window=""
for _ in $(seq 1 200); do
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "the program ended before its window showed:" >&2; cat "$work/program.log" >&2; exit 1
  fi
  window="$(xwininfo -root -tree 2>/dev/null | awk '/"VODEZ Program"/ {print $1; exit}')"
  if [ -n "$window" ] && xwininfo -id "$window" 2>/dev/null | grep -q 'IsViewable'; then break; fi
  window=""
  sleep 0.1
done
if [ -z "$window" ]; then echo "no window appeared" >&2; cat "$work/program.log" >&2; exit 1; fi
sleep "$settle"

mkdir -p "$(dirname "$out")"
if [ "$whole" = 1 ]; then
  import -display "$DISPLAY" -window root "$out"
else
  import -display "$DISPLAY" -window "$window" "$out"
fi
echo "$out"

#!/usr/bin/env bash
# Builds the program (Release) and starts it.
#
#   bash tools/run.sh               the program against the loopback instrument
#                                   emulator (tools/vodez-emulator --devices),
#                                   working directory run/
#   bash tools/run.sh --instrument  the program alone, for the real instrument,
#                                   working directory run-instrument/
#
# With the emulator, run/config.ini is written on the first start with the
# emulator's loopback addresses (transmitter 127.0.0.9, receiver 127.0.0.10);
# the script refuses a config.ini that names anything outside loopback. The
# emulator is stopped by its process id when the program ends; it logs to
# run/emulator.log. Without the emulator nothing is written: a fresh
# run-instrument/ lets the program use the instrument's own addresses.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
instrument=0
if [ "${1:-}" = "--instrument" ]; then
  instrument=1
  shift
fi
bash "$here/tools/deps.sh"
build="$here/build/release"
# The emulator is built with the test support, so the tests stay configured;
# only the two programs are built.
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVODEZ_BENCH=OFF >/dev/null
targets=(VODEZ)
if [ "$instrument" = 0 ]; then targets+=(vodez-emulator); fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: set DISPLAY, or run under xvfb-run." >&2
  exit 1
fi

if [ "$instrument" = 1 ]; then
  mkdir -p "$here/run-instrument"
  cd "$here/run-instrument"
  cp -f "$here/resources/VODEZ.ico" VODEZ.ico
  exec "$build/app/VODEZ" "$@"
fi

mkdir -p "$here/run"
cd "$here/run"
# The application icon is read from the working directory.
cp -f "$here/resources/VODEZ.ico" VODEZ.ico
if [ ! -f config.ini ]; then
  printf '[SysConf]\nSendIP=127.0.0.9\nRecvIP=127.0.0.10\n' > config.ini
fi
address() { sed -n "s/^$1=//p" config.ini | tr -d '\r' | head -n 1; }
tx="$(address SendIP)"
rx="$(address RecvIP)"
for a in "$tx" "$rx"; do
  case "$a" in
    127.*) ;;
    *) echo "run/config.ini names '$a': the emulator runs on loopback only (127.x.x.x)." >&2; exit 1 ;;
  esac
done
"$build/tools/vodez-emulator" --devices --transmitter "$tx:12345" --receiver "$rx:12345" \
  > emulator.log 2>&1 &
emulator=$!
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true' EXIT
"$build/app/VODEZ" "$@"

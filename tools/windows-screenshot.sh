#!/usr/bin/env bash
# windows-screenshot.sh BUILD OUT.png
#
# Called by tools/windows.sh --screenshot, under its Xvfb screen and Wine
# settings: the Windows build of the window road test runs a single sounding
# against its loopback emulator on Windows' own platform, and the whole
# screen is taken after the sounding, as the operator sees it.
set -euo pipefail
build="$1"; out="$2"
shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT
exe="$build/tests/integration/tst_window_road.exe"
[ -f "$exe" ] || { echo "no $exe: build with tools/windows.sh --screenshot" >&2; exit 1; }
work="$build/testrun/tst_window_road"
mkdir -p "$work"
(
  cd "$work"
  unset QT_QPA_PLATFORM
  TZ=CST-8 VODEZ_SHOT_DIR="$shots" VODEZ_SHOT_SCREEN=1 \
    bash "$(dirname "$0")/wine-run.sh" "$exe" singleSoundings
)
mkdir -p "$(dirname "$out")"
cp "$shots/sampling-after-sounding.png" "$out"
echo "$out"

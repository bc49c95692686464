#!/usr/bin/env bash
# Builds the program (Release) and starts it. Program settings (config.ini)
# and logs live in run/, the program's working directory.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/tools/deps.sh"
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVODEZ_TESTS=OFF >/dev/null
cmake --build "$here/build/release" -j"$(nproc)" --target VODEZ
mkdir -p "$here/run"
cd "$here/run"
# The application icon is read from the working directory.
cp -f "$here/resources/VODEZ.ico" VODEZ.ico
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: set DISPLAY, or run under xvfb-run." >&2
  exit 1
fi
exec "$here/build/release/app/VODEZ" "$@"

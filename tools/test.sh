#!/usr/bin/env bash
# Builds the test suite (Debug, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test through CTest, headless.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/tools/deps.sh"
build="$here/build/test"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DVODEZ_SANITIZE=ON -DVODEZ_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure "$@"

#!/usr/bin/env bash
# Builds the test suite (Debug, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test through CTest, headless.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/tools/deps.sh"
build="$here/build/test"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # Paths relative to the checkout, so clones and work trees share the cache.
  export CCACHE_BASEDIR="$(dirname "$here")" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DVODEZ_SANITIZE=ON -DVODEZ_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure "$@"

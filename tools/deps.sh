#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so running it again costs well under a second.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev libqt5sql5-sqlite libqwt-qt5-dev
  # The frameless window asks X whether a window manager runs.
  libxcb1-dev
  libsqlite3-dev
  xvfb xauth imagemagick x11-utils fonts-wqy-microhei fonts-wine
  iputils-ping
  # Compiles the Windows-only code paths (syntax only) for the test suite.
  g++-mingw-w64-x86-64-posix
  # The status panel's thermometer sign (U+1F321) has no glyph in the fonts above.
  fonts-symbola
)
# Extra packages for optional builds (fuzzing with libFuzzer).
if [ "${VODEZ_WITH_FUZZ:-0}" = 1 ]; then
  PACKAGES+=(clang libclang-rt-14-dev)
fi
# The Windows build (tools/windows.sh): Wine, the tools that unpack and build
# Debian's source packages, the zip, and Qt Svg, whose version the Windows
# build takes.
if [ "${VODEZ_WITH_WINDOWS:-0}" = 1 ]; then
  PACKAGES+=(wine wine64 tcl xdotool dpkg-dev zip make perl python3 libqt5svg5)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq </dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

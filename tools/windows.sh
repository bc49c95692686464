#!/usr/bin/env bash
# Builds the program for 64-bit Windows (MinGW-w64) and packs it with all it
# needs into build/windows/VODEZ-win64.zip.
#
#   bash tools/windows.sh                      the program and the zip
#   bash tools/windows.sh --test [ctest args]  also the test suite's Windows
#                                              build, run under Wine on a
#                                              private Xvfb server via CTest
#   bash tools/windows.sh --screenshot FILE    also a picture of the Windows
#                                              program under Wine (1664x1040)
#                                              after a sounding against the
#                                              loopback emulator
#
# The Windows Qt, Qt Svg, Qwt and SQLite come from tools/windows-deps.sh, which
# builds them once into a cache outside the work tree (~/.cache/vodez-win, or
# VODEZ_WIN_CACHE); a later run only rebuilds what changed in the project.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

all_args=("$@")
mode=build
shot=""
ctest_args=()
case "${1:-}" in
  --test) mode=test; shift; ctest_args=("$@") ;;
  --screenshot) mode=shot; shot="$(realpath -m "${2:?--screenshot needs a file}")" ;;
  "") ;;
  *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac

if [ "$mode" != build ] && [ -z "${VODEZ_WINE_INNER:-}" ]; then
  # Wine needs a display even for Qt's offscreen platform: a private one, at
  # the size the pictures are taken at.
  exec bash "$here/tools/under-xvfb.sh" 1664x1040 env VODEZ_WINE_INNER=1 bash "$0" "${all_args[@]}"
fi

prefix="$(bash "$here/tools/windows-deps.sh" | tail -n 1)"
export VODEZ_WIN_PREFIX="$prefix"
qt="$prefix/qt"; qwt="$prefix/qwt"; deps="$prefix/deps"
build="$here/build/windows"
tests=OFF
[ "$mode" = build ] || tests=ON

launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$(dirname "$here")" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
qwt_inc="$(dirname "$(find "$qwt/include" -name qwt_plot.h | head -n 1)")"
# No pkg-config of the Linux system may reach the Windows build.
PKG_CONFIG_LIBDIR=/nonexistent cmake -S "$here" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/MinGW-w64.cmake" -DVODEZ_WIN_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DVODEZ_TESTS="$tests" -DVODEZ_BENCH=OFF \
  -DQWT_INCLUDE_DIR="$qwt_inc" -DQWT_LIBRARY="$qwt/lib/libqwt.a" "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

# --- the package ----------------------------------------------------------------
# Everything VODEZ.exe and its plugins import, found by walking the imports
# through the folders the libraries were built into; Windows' own DLLs stay out.
runtime_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
search=("$qt/bin" "$qwt/lib" "$deps/bin" "$runtime_dir" /usr/x86_64-w64-mingw32/lib)
stage="$build/VODEZ-win64"
rm -rf "$stage"
mkdir -p "$stage"/{platforms,sqldrivers,imageformats,iconengines,styles}
cp "$build/app/VODEZ.exe" "$stage/"
cp "$here/resources/VODEZ.ico" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/sqldrivers/qsqlite.dll" "$stage/sqldrivers/"
cp "$qt/plugins/imageformats/qsvg.dll" "$qt/plugins/imageformats/qico.dll" "$stage/imageformats/"
cp "$qt/plugins/iconengines/qsvgicon.dll" "$stage/iconengines/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
queue=("$stage"/*.exe "$stage"/*/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
  file="${queue[0]}"; queue=("${queue[@]:1}")
  for dll in $(imports "$file"); do
    [ -e "$stage/$dll" ] && continue
    for dir in "${search[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        queue+=("$stage/$dll")
        break
      fi
    done
  done
done
# Debug information is of no use on a field laptop: the MinGW runtime alone
# would carry 20 MB of it.
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
zip="$build/VODEZ-win64.zip"
rm -f "$zip"
(cd "$build" && zip -qr "$zip" "$(basename "$stage")")
bash "$here/tools/windows-imports.sh" "$zip"
echo "$zip"

[ "$mode" = build ] && exit 0

# --- under Wine --------------------------------------------------------------------
export WINEPREFIX="${VODEZ_WINEPREFIX:-$(dirname "$prefix")/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPATH="$(winpath "$qt/bin");$(winpath "$qwt/lib");$(winpath "$deps/bin");$(winpath "$runtime_dir");$(winpath /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH="$(winpath "$qt/plugins")"

if [ ! -f "$WINEPREFIX/.vodez-ready-4" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
  # Fonts every Windows has, of which Wine's package brings free ones where
  # Wine's own font search does not look: "Marlett" for the title-bar glyphs,
  # and Tahoma behind "MS Shell Dlg 2", Qt's default face, which would
  # otherwise fall to whatever serif face is found.
  for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
    file="$(find /usr/share/fonts /usr/share/wine -iname "$font" 2>/dev/null | head -n 1)"
    [ -n "$file" ] && cp "$file" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  # The style asks for "Microsoft YaHei", which a Chinese Windows has; here
  # WenQuanYi Micro Hei stands in, as on Linux, rather than a serif fallback.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Microsoft YaHei" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1 || true
  # The crews' laptops run Windows 10 or 11; this Wine would say Windows 7,
  # where the frameless window keeps Qt's styles and the desktop does not
  # compose.
  winecfg -v win10 >/dev/null 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.vodez-ready-4"
fi
# One Wine server for the whole run, so each test does not start its own.
wineserver -p >/dev/null 2>&1 || true

if [ "$mode" = shot ]; then
  bash "$here/tools/windows-screenshot.sh" "$build" "$shot"
  wineserver -k || true
  exit 0
fi
rc=0
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure "${ctest_args[@]}" || rc=$?
wineserver -k || true
exit "$rc"

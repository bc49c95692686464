#!/usr/bin/env bash
# Builds the Windows (MinGW-w64) libraries the program links: qtbase with its
# SQLite plugin, Qt Svg, Qwt and SQLite, each from Debian's source package of
# the version the Linux build uses (or, where the archive no longer has that
# version, of the one it has now). The result goes into a cache outside the
# work tree, keyed by the versions built and by this script, so that it is
# built once per machine; a later run only prints where it is.
#
#   bash tools/windows-deps.sh        builds what is missing, then prints the
#                                     cache folder on its last line
#
# VODEZ_WIN_CACHE sets the cache's parent folder (default ~/.cache/vodez-win).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${VODEZ_WIN_JOBS:-$(nproc)}"
cache_root="${VODEZ_WIN_CACHE:-$HOME/.cache/vodez-win}"

log() { printf '[windows-deps] %s\n' "$*" >&2; }

# --- packages ----------------------------------------------------------------
VODEZ_WITH_WINDOWS=1 bash "$here/tools/deps.sh"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

# The source package and version of an installed binary package, so that the
# Windows build uses the very Qt, Qwt and SQLite the Linux build links.
src_of() { dpkg-query -W -f='${source:Package}=${source:Version}' "$1"; }
QTBASE="$(src_of qtbase5-dev)"
QTSVG="$(src_of libqt5svg5)"
QWT="$(src_of libqwt-qt5-dev)"
SQLITE="$(src_of libsqlite3-dev)"

# --- sources -------------------------------------------------------------------
# A deb-src entry made from the machine's own entry (its first stanza, the main
# archive), so that no file here names a host. It is there before the cache
# key is worked out, as the key names the versions these sources give.
srcent=/etc/apt/sources.list.d/vodez-deb-src.sources
if ! apt-get source --download-only --print-uris "${QTBASE%%=*}" >/dev/null 2>&1; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    awk 'BEGIN{RS="";ORS="\n\n"} NR==1{sub(/Types: *deb/,"Types: deb-src"); print}' \
      /etc/apt/sources.list.d/debian.sources | $SUDO tee "$srcent" >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | head -n 1 | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/vodez-deb-src.list >/dev/null
  fi
  $SUDO apt-get update -qq </dev/null
fi

# The version of source package $1 that is built: $2 while the archive's
# sources still have it, else the newest they have (an update replaced it).
source_version() {
  local pkg="$1" want="$2" v best=""
  local versions
  versions="$(apt-cache showsrc "$pkg" 2>/dev/null | awk -v p="$pkg" '
    /^Package: / { name = $2 }
    /^Version: / { if (name == p) print $2 }')"
  for v in $versions; do
    if [ "$v" = "$want" ]; then
      echo "$want"
      return 0
    fi
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best="$v"; fi
  done
  [ -n "$best" ] || { log "the archive has no source of $pkg"; return 1; }
  log "$pkg $want is gone from the archive: building $best"
  echo "$best"
}
# An installed package=version as the source package=version that is built.
to_build() {
  local v
  v="$(source_version "${1%%=*}" "${1#*=}")" || return 1
  echo "${1%%=*}=$v"
}
QTBASE="$(to_build "$QTBASE")"
QTSVG="$(to_build "$QTSVG")"
QWT="$(to_build "$QWT")"
SQLITE="$(to_build "$SQLITE")"

# Any new value when the build below changes what it makes.
recipe=e45586182b83
key="$(printf '%s\n' "$QTBASE" "$QTSVG" "$QWT" "$SQLITE" "$recipe" | sha256sum | cut -c1-16)"
prefix="$cache_root/$key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

log "building into $prefix ($QTBASE, $QTSVG, $QWT, $SQLITE)"
# Each step marks itself done in the prefix, so a run that was stopped goes on
# from the step it was in.
work="$cache_root/work-$key"
mkdir -p "$work/src" "$prefix"
done_step() { [ -f "$prefix/.done-$1" ]; }
mark() { touch "$prefix/.done-$1"; }

cd "$work/src"
if ! done_step sources; then
  rm -rf "${work:?}/src"/*
  for s in "$QTBASE" "$QTSVG" "$QWT" "$SQLITE"; do
    apt-get source -qq "$s" </dev/null >/dev/null
  done
  mark sources
fi
srcdir() { find "$work/src" -maxdepth 1 -mindepth 1 -type d -name "$1*" | head -n 1; }
qtbase_src="$(srcdir qtbase-opensource-src)"
qtsvg_src="$(srcdir qtsvg-opensource-src)"
qwt_src="$(srcdir qwt-)"
sqlite_src="$(srcdir sqlite3-)"
for d in "$qtbase_src" "$qtsvg_src" "$qwt_src" "$sqlite_src"; do
  [ -n "$d" ] || { log "a source package did not unpack"; exit 1; }
done

qt="$prefix/qt"; qwt="$prefix/qwt"; deps="$prefix/deps"
mkdir -p "$deps/bin" "$deps/lib" "$deps/include"

# --- SQLite ----------------------------------------------------------------------
# The amalgamation is made by host tools, so it is generated natively and only
# compiled for Windows.
sqlite_pid=""
if ! done_step sqlite; then
  (
    mkdir -p "$work/sqlite-native" && cd "$work/sqlite-native"
    "$sqlite_src/configure" --disable-tcl >/dev/null
    make -s sqlite3.c >/dev/null
    x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA \
      "-DSQLITE_API=__declspec(dllexport)" -shared sqlite3.c -o "$deps/bin/sqlite3.dll" \
      -Wl,--out-implib,"$deps/lib/libsqlite3.dll.a"
    cp sqlite3.h sqlite3ext.h "$deps/include/"
    mark sqlite
  ) &
  sqlite_pid=$!
fi

# --- qtbase ------------------------------------------------------------------------
# The Debian tarball leaves out Wintab, which the Windows platform plugin's tablet
# code includes; tablets then reach Qt as mouse events, all the program uses.
if ! done_step qtbase; then
  sed -i 's/^qtConfig(tabletevent) *{/false {/' "$qtbase_src/src/plugins/platforms/windows/windows.pri"
  sed -i 's/^#if QT_CONFIG(tabletevent)/#if 0/' "$qtbase_src/src/plugins/platforms/windows/qwindowscontext.cpp"
  mkdir -p "$work/qtbase-build"
  (
    cd "$work/qtbase-build"
    if [ ! -f Makefile ]; then
      "$qtbase_src/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
        -prefix "$qt" -release -shared -opensource -confirm-license -nomake examples -nomake tests \
        -no-opengl -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -no-dbus -no-icu \
        -no-sql-sqlite -no-feature-sql-odbc -no-feature-sql-psql -no-feature-sql-mysql </dev/null >"$work/qtbase-configure.log" 2>&1 \
        || { tail -n 40 "$work/qtbase-configure.log" >&2; rm -f Makefile; exit 1; }
    fi
    make -s -j"$jobs" >"$work/qtbase-build.log" 2>&1 || { grep -m 20 -E 'error|Error' "$work/qtbase-build.log" >&2; exit 1; }
    make -s install >/dev/null 2>&1
  )
  mark qtbase
fi
[ -z "$sqlite_pid" ] || wait "$sqlite_pid"
done_step sqlite || { log "SQLite was not built"; exit 1; }

# Qt's SQLite plugin, against the SQLite above.
if ! done_step sqldrivers; then
  mkdir -p "$work/sqldrivers" && (
    cd "$work/sqldrivers"
    "$qt/bin/qmake" "$qtbase_src/src/plugins/sqldrivers/sqldrivers.pro" -- -system-sqlite -sql-sqlite \
      SQLITE_PREFIX="$deps" >"$work/sqldrivers.log" 2>&1
    make -s -j"$jobs" >>"$work/sqldrivers.log" 2>&1 && make -s install >/dev/null 2>&1
  ) || { tail -n 30 "$work/sqldrivers.log" >&2; exit 1; }
  [ -f "$qt/plugins/sqldrivers/qsqlite.dll" ] || { log "qsqlite.dll was not built"; exit 1; }
  mark sqldrivers
fi

# --- Qt Svg (the logo and the check-box pictures are SVG) ----------------------------
if ! done_step qtsvg; then
  mkdir -p "$work/qtsvg-build" && (
    cd "$work/qtsvg-build"
    "$qt/bin/qmake" "$qtsvg_src/qtsvg.pro" >"$work/qtsvg.log" 2>&1
    make -s -j"$jobs" >>"$work/qtsvg.log" 2>&1 && make -s install >/dev/null 2>&1
  ) || { tail -n 30 "$work/qtsvg.log" >&2; exit 1; }
  mark qtsvg
fi

# --- Qwt ---------------------------------------------------------------------------------
if ! done_step qwt; then
  # Debian's other patches are for its own Linux packaging (library names,
  # dpkg's build flags): the upstream source, with only the fix Qt 5.15 needs
  # (it no longer brings QPainterPath in for Qwt).
  rm -rf "$work/qwt-upstream"
  dpkg-source -q --skip-patches -x "$(ls "$work"/src/qwt_*.dsc | head -n 1)" "$work/qwt-upstream" >/dev/null 2>&1
  qwt_src="$work/qwt-upstream"
  (
    cd "$qwt_src"
    patch -s -p1 <debian/patches/06_ftbs.patch
    sed -i -E 's/^( *QWT_CONFIG *\+= *(QwtSvg|QwtOpenGL|QwtDesigner|QwtExamples|QwtPlayground))/#\1/' qwtconfig.pri
    sed -i -E "/^win32 *\{/,/\}/ s|^( *QWT_INSTALL_PREFIX *=).*|\1 $qwt|" qwtconfig.pri
  )
  mkdir -p "$work/qwt-build" && (
    cd "$work/qwt-build"
    "$qt/bin/qmake" "CONFIG+=release" "CONFIG-=debug_and_release" "$qwt_src/qwt.pro" >"$work/qwt.log" 2>&1
    make -s -j"$jobs" >>"$work/qwt.log" 2>&1 && make -s install >/dev/null 2>&1
  ) || { tail -n 30 "$work/qwt.log" >&2; exit 1; }
  [ -f "$qwt/lib/qwt.dll" ] || { log "qwt.dll was not built"; exit 1; }
  mark qwt
fi

printf '%s\n' "$QTBASE" "$QTSVG" "$QWT" "$SQLITE" >"$prefix/versions.txt"
touch "$prefix/.complete"
rm -rf "$work"
log "done"
echo "$prefix"

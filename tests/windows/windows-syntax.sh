#!/usr/bin/env bash
# windows-syntax.sh COMPILER QT_INCLUDE_DIRS SOURCE...
#
# Compiles each source as for Windows with MinGW-w64, syntax and types only
# (-fsyntax-only): the Q_OS_WIN branches are parsed and checked against the
# Windows headers and the system's Qt headers (QT_INCLUDE_DIRS, separated by
# ';'); nothing is linked or run. A source's own folder is on its include
# path. Fails on any error and on any warning but the dllimport warnings of
# Qt's headers, which are there because those headers come from a Linux build
# of Qt.
set -uo pipefail
compiler="$1"; qt_dirs="$2"; shift 2

if ! command -v "$compiler" >/dev/null 2>&1; then
  echo "$compiler is missing: install it with tools/deps.sh" >&2
  exit 1
fi

IFS=';' read -r -a qt <<<"$qt_dirs"
qt_flags=()
for i in "${!qt[@]}"; do qt[$i]="${qt[$i]%/}"; qt_flags+=(-I "${qt[$i]}"); done

failed=0
for source in "$@"; do
  out="$("$compiler" -std=c++17 -Wall -Wextra -fsyntax-only -I "$(dirname "$source")" "${qt_flags[@]}" \
         "$source" 2>&1)"
  rc=$?
  # Diagnostics other than Qt's dllimport warnings.
  others=""
  while IFS= read -r line; do
    case "$line" in
      *": warning: "*dllimport*)
        accepted=0
        for d in "${qt[@]}"; do
          [[ "$line" == "$d"/* ]] && accepted=1
        done
        [ "$accepted" = 1 ] && continue
        others+="$line"$'\n' ;;
      *": warning: "*|*": error: "*|*": fatal error: "*)
        others+="$line"$'\n' ;;
    esac
  done <<<"$out"
  if [ "$rc" != 0 ] || [ -n "$others" ]; then
    echo "FAIL $source"
    if [ -n "$others" ]; then printf '%s' "$others"; else echo "$out"; fi
    failed=1
  else
    echo "ok   $source"
  fi
done
exit "$failed"

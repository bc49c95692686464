#!/usr/bin/env bash
# Runs a Windows executable under Wine for CTest, and prints what it wrote.
# Under Wine a QtTest program's own output to a file or a pipe goes missing
# (its exit code still comes through), so a test executable writes its log
# into a file of its own (-o FILE,txt), printed from there; what else the
# program writes goes through a file too.
set -u
exe="$1"; shift
out="$(mktemp)"
log=""
args=("$@")
case "$(basename "$exe")" in
  tst_*)
    if [[ " ${args[*]-} " != *" -o "* ]]; then
      log="$(mktemp)"
      args+=(-o "Z:${log//\//\\},txt")
    fi ;;
esac
wine "$exe" "${args[@]}" >"$out" 2>&1 </dev/null
rc=$?
# Wine's own start-up notes say nothing about the program.
grep -v -E '^(wine: created the configuration directory|it looks like wine32 is missing|multiarch needs|    dpkg --add-architecture|execute "apt-get)' "$out"
[ -z "$log" ] || cat "$log"
rm -f "$out" "$log"
exit "$rc"

#!/usr/bin/env bash
# Runs a Windows executable under Wine for CTest. Wine loses a console
# program's output written into a pipe, so it goes to a file first and is
# printed from there; the exit code is the program's.
set -u
out="$(mktemp)"
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
# Wine's own start-up notes say nothing about the test.
grep -v -E '^(wine: created the configuration directory|it looks like wine32 is missing|multiarch needs|    dpkg --add-architecture|execute "apt-get)' "$out"
rm -f "$out"
exit "$rc"

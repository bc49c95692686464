#!/usr/bin/env bash
# windows-imports.sh ZIP
#
# Walks the imports of every executable and DLL in the Windows package and
# fails when one names a DLL that is neither in the package (beside VODEZ.exe,
# where Windows looks first) nor a DLL of Windows itself: such a package would
# not start on a machine with nothing installed.
set -euo pipefail
zip="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && unzip -q "$zip")
top="$(find "$work" -name VODEZ.exe -printf '%h\n' | head -n 1)"
[ -n "$top" ] || { echo "no VODEZ.exe in $zip" >&2; exit 1; }

# DLLs every 64-bit Windows has (lower case).
windows_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
  ws2_32.dll iphlpapi.dll wlanapi.dll dwmapi.dll uxtheme.dll imm32.dll winmm.dll version.dll
  netapi32.dll userenv.dll mpr.dll comdlg32.dll winspool.drv msvcrt.dll crypt32.dll shlwapi.dll
  dwrite.dll d2d1.dll d3d9.dll d3d11.dll dxgi.dll wtsapi32.dll setupapi.dll bcrypt.dll secur32.dll
  dnsapi.dll ntdll.dll comctl32.dll opengl32.dll gdiplus.dll shcore.dll"
declare -A is_windows
for d in $windows_dlls; do is_windows[$d]=1; done

missing=0
checked=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  while IFS= read -r dll; do
    lower="${dll,,}"
    case "$lower" in api-ms-win-*|ext-ms-win-*) continue ;; esac
    [ -n "${is_windows[$lower]:-}" ] && continue
    if [ -n "$(find "$top" -maxdepth 1 -iname "$dll" -print -quit)" ]; then continue; fi
    echo "${file#"$work"/} imports $dll, which is neither in the package nor part of Windows" >&2
    missing=$((missing + 1))
  done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$work" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

if [ "$missing" -gt 0 ]; then
  echo "$missing missing import(s) in $checked files" >&2
  exit 1
fi
echo "imports of $checked files: all in the package or in Windows"

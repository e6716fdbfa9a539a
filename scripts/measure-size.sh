#!/usr/bin/env bash
# Prints the stripped size and the import list of the shipped 32-bit executable,
# and fails when it imports anything but system DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win32-release/lite_installer.exe
[ -f "$exe" ] || { echo "missing $exe: build the win32-release preset first" >&2; exit 1; }
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
i686-w64-mingw32-strip -o "$stripped" "$exe"
echo "lite_installer.exe (win32-release, stripped): $(stat -c %s "$stripped") bytes"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f)
echo "imports: $(echo $imports)"
system_dlls=" $(echo advapi32.dll comctl32.dll crypt32.dll gdi32.dll gdiplus.dll kernel32.dll \
  msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll wininet.dll \
  winhttp.dll wintrust.dll urlmon.dll uxtheme.dll ntdll.dll) "
for dll in $imports; do
  lower=$(echo "$dll" | tr 'A-Z' 'a-z')
  case "$system_dlls" in
    *" $lower "*) ;;
    *) echo "not a system DLL: $dll" >&2; exit 1 ;;
  esac
done

#!/usr/bin/env bash
# Prints the stripped size of the shipped 32-bit executable, what its bytes
# are (from the linker's map, written beside it by the build), and its
# load-time imports; fails when it imports a DLL that is not a known DLL.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win32-release/lite_installer.exe
map=build/win32-release/lite_installer.map
[ -f "$exe" ] || { echo "missing $exe: build the win32-release preset first" >&2; exit 1; }
[ -f "$map" ] || { echo "missing $map: build the win32-release preset again" >&2; exit 1; }
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
i686-w64-mingw32-strip -o "$stripped" "$exe"
echo "lite_installer.exe (win32-release, stripped): $(stat -c %s "$stripped") bytes"
echo
/usr/bin/python3 scripts/size_breakdown.py "$map" "$stripped"
echo
scripts/check-imports.sh "$exe" i686-w64-mingw32-objdump

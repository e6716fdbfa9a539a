#!/usr/bin/env bash
# Prints the stripped size and the load-time imports of the shipped 32-bit
# executable; fails when it imports a DLL that is not a known DLL.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win32-release/lite_installer.exe
[ -f "$exe" ] || { echo "missing $exe: build the win32-release preset first" >&2; exit 1; }
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
i686-w64-mingw32-strip -o "$stripped" "$exe"
echo "lite_installer.exe (win32-release, stripped): $(stat -c %s "$stripped") bytes"
scripts/check-imports.sh "$exe" i686-w64-mingw32-objdump

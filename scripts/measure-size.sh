#!/usr/bin/env bash
# Prints the stripped size of the shipped 32-bit executable, what its bytes
# are (from the linker's map, written beside it by the build), and its
# load-time imports; fails when it imports a DLL that is not a known DLL.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/win32-release/lite_installer.exe
map=build/win32-release/lite_installer.map
symbols=build/win32-release/lite_installer.symbols.exe
[ -f "$exe" ] || { echo "missing $exe: build the win32-release preset first" >&2; exit 1; }
for f in "$map" "$symbols"; do
  [ -f "$f" ] || { echo "missing $f: build the win32-release preset again" >&2; exit 1; }
done
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
i686-w64-mingw32-strip -o "$stripped" "$exe"
echo "lite_installer.exe (win32-release, stripped): $(stat -c %s "$stripped") bytes"
echo
/usr/bin/python3 scripts/size_breakdown.py "$map" "$stripped" --symbols "$symbols" \
  --tools i686-w64-mingw32- \
  --library jansson=build/win32-release/_deps/jansson-build/lib/libjansson.a \
  --library zlib=build/win32-release/libzlib_static.a
echo
scripts/check-imports.sh "$exe" i686-w64-mingw32-objdump

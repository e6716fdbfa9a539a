#!/usr/bin/env bash
# Usage: scripts/check-imports.sh EXE [OBJDUMP]
# Prints the DLLs that EXE imports at load time and fails when one of them is
# not a known DLL, which Windows always takes from System32: the loader would
# look for any other in the executable's own folder (a Downloads folder)
# before a line of the installer runs. Such libraries are bound on first use.
set -euo pipefail
exe=$1
objdump=${2:-i686-w64-mingw32-objdump}
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f)
echo "load-time imports: $(echo $imports)"
# comctl32 comes through the manifest's side-by-side assembly. gdiplus is a
# known DLL from Windows 10 on only, so it is not on this list.
known=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll \
msvcrt.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll \
user32.dll ws2_32.dll "
status=0
for dll in $imports; do
  lower=$(echo "$dll" | tr 'A-Z' 'a-z')
  case "$known" in
    *" $lower "*) ;;
    *) echo "$exe imports $dll at load time; bind it on first use instead" >&2; status=1 ;;
  esac
done
exit $status

#!/usr/bin/env bash
# Makes the build's private Wine prefix (<build dir>/wineprefix) and trusts the
# test roots in its LocalMachine Root store: the HTTPS test CA and the
# code-signing root. The user's own ~/.wine is never used.
#
#   make_wineprefix.sh <build dir> [--ca <cert>]... [--trust-tool <exe>] [--retrust]
#
# Without --ca the roots are <build dir>/pki/ca.pem and pki/codesign/root.pem.
# The prefix is booted once (".tx-booted"). ".tx-ready" means booted and every
# root trusted; wine-run calls this script until that marker exists.
# --retrust trusts the roots again even in a ready prefix (one was regenerated).
# Roots that do not exist yet are left for a later run; without the trust tool
# the prefix is only booted.
set -euo pipefail

usage() {
  echo "usage: $0 <build dir> [--ca <cert>]... [--trust-tool <exe>] [--retrust]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
build_dir=$(cd "$1" && pwd)
shift
cas=()
trust_tool="$build_dir/tools/trust_root_cert/trust_root_cert.exe"
retrust=0
while [ $# -gt 0 ]; do
  case "$1" in
    --ca) [ $# -ge 2 ] || usage; cas+=("$2"); shift 2 ;;
    --trust-tool) [ $# -ge 2 ] || usage; trust_tool=$2; shift 2 ;;
    --retrust) retrust=1; shift ;;
    *) usage ;;
  esac
done
if [ ${#cas[@]} -eq 0 ]; then
  cas=("$build_dir/pki/ca.pem" "$build_dir/pki/codesign/root.pem")
fi

export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

# Z: maps the Linux root in every new prefix.
windows_path() {
  local p
  p=$(realpath "$1")
  echo "Z:${p//\//\\}"
}

# Builds and tests may start Wine at the same time; one of them makes the prefix.
exec 9>"$build_dir/.wineprefix.lock"
flock 9

if [ ! -f "$WINEPREFIX/.tx-booted" ]; then
  echo "make_wineprefix: creating $WINEPREFIX (this takes a while)" >&2
  mkdir -p "$WINEPREFIX"
  # Headless on purpose: nothing here needs a window, and wineboot may try one.
  DISPLAY= "$wine" wineboot.exe --init >/dev/null 2>&1 || {
    echo "make_wineprefix: wineboot --init failed" >&2
    exit 1
  }
  # The registry reaches the disk only when the server ends.
  "$wineserver" -w
  touch "$WINEPREFIX/.tx-booted"
fi

if [ -f "$WINEPREFIX/.tx-ready" ] && [ "$retrust" = 0 ]; then
  exit 0
fi
if [ ! -f "$trust_tool" ]; then
  echo "make_wineprefix: prefix booted; the test roots are not trusted yet" \
       "(build the tx_wineprefix target)" >&2
  exit 0
fi

rm -f "$WINEPREFIX/.tx-ready"
missing=()
for ca in "${cas[@]}"; do
  if [ ! -f "$ca" ]; then
    missing+=("$ca")
    continue
  fi
  DISPLAY= "$wine" "$(windows_path "$trust_tool")" "$(windows_path "$ca")" >&2 || {
    echo "make_wineprefix: could not trust $ca" >&2
    exit 1
  }
done
"$wineserver" -w
if [ ${#missing[@]} -gt 0 ]; then
  echo "make_wineprefix: not trusted yet (build the tx_wineprefix target):" "${missing[@]}" >&2
  exit 0
fi
touch "$WINEPREFIX/.tx-ready"

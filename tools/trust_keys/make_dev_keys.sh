#!/usr/bin/env bash
# Writes a development set of ten RSA-1024 trust-list keys into <dir>:
# key_<N>.pem (private halves, never shipped) and trust_keys.txt, ten lines
# "N base64-of-DER-SubjectPublicKeyInfo" as the build reads them.
# Existing keys are kept, so signed test files stay valid across builds.
set -euo pipefail
dir=${1:?usage: make_dev_keys.sh <dir>}
mkdir -p "$dir"
list="$dir/trust_keys.txt"
[ -s "$list" ] && exit 0
tmp="$list.tmp"
: > "$tmp"
for n in 0 1 2 3 4 5 6 7 8 9; do
  key="$dir/key_$n.pem"
  [ -s "$key" ] || openssl genrsa -out "$key" 1024 2>/dev/null
  spki=$(openssl rsa -in "$key" -pubout -outform DER 2>/dev/null | base64 -w0)
  echo "$n $spki" >> "$tmp"
done
mv "$tmp" "$list"

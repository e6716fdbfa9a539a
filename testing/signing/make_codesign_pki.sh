#!/usr/bin/env bash
# Makes the test code-signing PKI into <out dir>. Existing files are kept: the
# root is trusted inside the Wine prefix, and the trust lists embedded in the
# test archives name the signers' serial numbers.
#
#   root.pem, root.der, root.key      "Tarnix Test Code Signing Root"
#   ca.pem, ca.key                    issuing CA of the trusted signers
#   trusted-sha256.{pem,key}          leaf signed with sha256WithRSAEncryption
#   trusted-sha1.{pem,key}            leaf signed with sha1WithRSAEncryption
#   other-ca.pem, other-ca.key        issuing CA of the untrusted signer
#   untrusted-sha256.{pem,key}        leaf, sha256WithRSAEncryption, from other-ca
#   <signer>-chain.pem                leaf then its issuer, for osslsigncode -certs
#
# Both issuing CAs chain to the same root, so every signature verifies; the
# trust lists decide which (issuer, leaf) pairs count.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <out dir>" >&2
  exit 2
fi
out=$1
signers=(trusted-sha256 trusted-sha1 untrusted-sha256)
files=(root.pem root.der root.key ca.pem ca.key other-ca.pem other-ca.key)
for s in "${signers[@]}"; do
  files+=("$s.pem" "$s.key" "$s-chain.pem")
done

complete=1
for f in "${files[@]}"; do
  [ -s "$out/$f" ] || complete=0
done
[ "$complete" = 1 ] && exit 0

mkdir -p "$out"
work=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > root.cnf <<'CNF'
[req]
distinguished_name = dn
prompt = no
x509_extensions = root_ext
[dn]
O = Tarnix Test
CN = Tarnix Test Code Signing Root
[root_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
CNF

cat > ca.ext <<'CNF'
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

cat > leaf.ext <<'CNF'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

# Random 16-byte serials whose first byte is 0x10..0x7f: positive without a
# DER sign byte, so the serial printed by openssl is exactly the encoded bytes
# that CryptoAPI hands out (reversed).
serial() {
  printf '0x%02x%s' $((RANDOM % 0x70 + 0x10)) "$(openssl rand -hex 15)"
}

# issue <name> <subject CN> <issuer> <digest> <extensions>
issue() {
  openssl req -new -newkey rsa:2048 -nodes -subj "/O=Tarnix Test/CN=$2" \
    -keyout "$1.key" -out "$1.csr" 2>/dev/null
  openssl x509 -req -in "$1.csr" "-$4" -days 3650 -set_serial "$(serial)" \
    -CA "$3.pem" -CAkey "$3.key" -extfile "$5" -out "$1.pem" 2>/dev/null
}

openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -set_serial "$(serial)" -config root.cnf -keyout root.key -out root.pem 2>/dev/null
openssl x509 -in root.pem -outform DER -out root.der

issue ca "Tarnix Test Code Signing CA" root sha256 ca.ext
issue other-ca "Tarnix Test Other Code Signing CA" root sha256 ca.ext
issue trusted-sha256 "Tarnix Test Signer SHA-256" ca sha256 leaf.ext
issue trusted-sha1 "Tarnix Test Signer SHA-1" ca sha1 leaf.ext
issue untrusted-sha256 "Tarnix Test Untrusted Signer" other-ca sha256 leaf.ext

for s in trusted-sha256 trusted-sha1; do
  cat "$s.pem" ca.pem > "$s-chain.pem"
done
cat untrusted-sha256.pem other-ca.pem > untrusted-sha256-chain.pem

# SHA-1 certificate signatures are below OpenSSL's default security level.
for s in "${signers[@]}"; do
  openssl verify -auth_level 0 -purpose any -CAfile root.pem \
    -untrusted "$s-chain.pem" "$s.pem" >/dev/null
done
chmod 600 ./*.key
# Files appear complete or not at all; the root goes last.
for f in "${files[@]}"; do
  case "$f" in root.*) ;; *) mv -f "$f" "$out/$f" ;; esac
done
for f in root.key root.der root.pem; do
  mv -f "$f" "$out/$f"
done
echo "test code-signing PKI written to $out"

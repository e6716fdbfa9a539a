#!/usr/bin/env bash
# Makes the test PKI into <out dir>: a root CA and a "localhost" server
# certificate signed by it. Existing files are kept, because the CA is trusted
# inside the Wine prefix and a new one would have to be trusted again.
#
#   ca.pem, ca.der, ca.key          the root CA (PEM, DER) and its key
#   server.pem, server.key          the TLS server certificate and its key
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <out dir>" >&2
  exit 2
fi
out=$1
files=(ca.pem ca.der ca.key server.pem server.key)

complete=1
for f in "${files[@]}"; do
  [ -s "$out/$f" ] || complete=0
done
[ "$complete" = 1 ] && exit 0

mkdir -p "$out"
work=$(mktemp -d "$out/.make.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > ca.cnf <<'CNF'
[req]
distinguished_name = dn
prompt = no
x509_extensions = ca_ext
[dn]
O = Tarnix Test
CN = Tarnix Test Root CA
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
CNF

cat > server.ext <<'CNF'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

# Random serials: a regenerated CA must never look like an already trusted one.
serial() { echo "0x$(openssl rand -hex 15)"; }

openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days 3650 \
  -set_serial "$(serial)" -config ca.cnf -keyout ca.key -out ca.pem 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der

openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "/O=Tarnix Test/CN=localhost" \
  -keyout server.key -out server.csr 2>/dev/null
openssl x509 -req -in server.csr -sha256 -days 825 -set_serial "$(serial)" \
  -CA ca.pem -CAkey ca.key -extfile server.ext -out server.pem 2>/dev/null

openssl verify -CAfile ca.pem server.pem >/dev/null
chmod 600 ca.key server.key
# Files appear complete or not at all; the server key goes last.
for f in ca.key ca.der ca.pem server.pem server.key; do
  mv -f "$f" "$out/$f"
done
echo "test PKI written to $out"

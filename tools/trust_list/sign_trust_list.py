#!/usr/bin/python3
"""Writes a signed trust list: TRUSTED.JSON and SIGNATURE.DAT.

  sign_trust_list.py --out-dir DIR --keys-dir DIR --key N
                     [--pair ISSUER_CERT LEAF_CERT]... [--key-list FILE]
                     [--sign-with M] [--malformed-json] [--key-number-only]

TRUSTED.JSON lists one certificate per --pair:
  {"trusted_info": {"certificates": [{"id": ..., "name": ...}, ...]}}
where "id" is the base64 of the issuer's serial number followed by the leaf's
serial number, each as the content bytes of its DER INTEGER (big-endian, as the
certificate prints it; CryptoAPI holds the same bytes reversed), and "name" is
the leaf's subject, for people reading the file. No --pair gives an empty list.

SIGNATURE.DAT is the key number as a little-endian signed 16-bit value, then
the RSA PKCS #1 v1.5 SHA-1 signature over the exact bytes of TRUSTED.JSON,
most significant byte first, made with <keys-dir>/key_<N>.pem.

Options that make the broken trust lists the tests need:
  --sign-with M      sign with key M while SIGNATURE.DAT still names key N; N may
                     then be outside 0..9
  --malformed-json   TRUSTED.JSON is the list cut off half-way (not JSON), still
                     validly signed
  --key-number-only  SIGNATURE.DAT holds the two key-number bytes and nothing else

With --key-list (the "N base64-SubjectPublicKeyInfo" file compiled into the
installer) the signing key must be the one listed under its number, and the
result is checked against the listed key the way the installer checks it.
"""

import argparse
import base64
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

KEY_COUNT = 10
OPENSSL = os.environ.get("OPENSSL", "openssl")


class TrustListError(Exception):
    pass


def certificate_der(path):
    """The DER bytes of the first certificate in a PEM or DER file."""
    data = Path(path).read_bytes()
    match = re.search(rb"-----BEGIN CERTIFICATE-----(.+?)-----END CERTIFICATE-----", data,
                      re.DOTALL)
    if match:
        return base64.b64decode(b"".join(match.group(1).split()), validate=True)
    if data[:1] != b"\x30":
        raise TrustListError(f"{path}: neither a PEM nor a DER certificate")
    return data


def _der_element(data, pos):
    """(tag, content start, content end) of the DER element at `pos`."""
    if pos + 2 > len(data):
        raise TrustListError("certificate truncated")
    tag, length = data[pos], data[pos + 1]
    pos += 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or pos + count > len(data):
            raise TrustListError("bad DER length")
        length = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    if pos + length > len(data):
        raise TrustListError("certificate truncated")
    return tag, pos, pos + length


def certificate_serial(der):
    """The content bytes of the certificate's serialNumber INTEGER, as encoded
    (a leading 00 sign byte included)."""
    tag, start, _ = _der_element(der, 0)
    if tag != 0x30:
        raise TrustListError("certificate is not a SEQUENCE")
    tag, pos, _ = _der_element(der, start)
    if tag != 0x30:
        raise TrustListError("tbsCertificate is not a SEQUENCE")
    tag, start, end = _der_element(der, pos)
    if tag == 0xA0:  # [0] version
        tag, start, end = _der_element(der, end)
    if tag != 0x02 or end == start:
        raise TrustListError("no serialNumber INTEGER")
    return der[start:end]


def certificate_id(issuer_der, leaf_der):
    """Issuer serial bytes followed by leaf serial bytes."""
    return certificate_serial(issuer_der) + certificate_serial(leaf_der)


def certificate_name(path, which):
    """The certificate's "subject" or "issuer" name, RFC 2253 form."""
    result = subprocess.run([OPENSSL, "x509", "-in", str(path), "-noout", f"-{which}",
                             "-nameopt", "RFC2253"],
                            capture_output=True, text=True, check=True)
    return result.stdout.strip().removeprefix(f"{which}=")


def pair_entry(issuer, leaf):
    """(id bytes, leaf subject) of an issuer and the leaf it issued."""
    if certificate_name(leaf, "issuer") != certificate_name(issuer, "subject"):
        raise TrustListError(f"{leaf} was not issued by {issuer}")
    return (certificate_id(certificate_der(issuer), certificate_der(leaf)),
            certificate_name(leaf, "subject"))


def trust_list_json(entries):
    """TRUSTED.JSON bytes for (id bytes, name) entries, in the given order."""
    certificates = [{"id": base64.b64encode(cert_id).decode("ascii"), "name": name}
                    for cert_id, name in entries]
    document = {"trusted_info": {"certificates": certificates}}
    return (json.dumps(document, indent=2) + "\n").encode("utf-8")


def malformed(json_bytes):
    """The document cut off half-way: no longer JSON, but still bytes to sign."""
    cut = json_bytes[:len(json_bytes) // 2]
    try:
        json.loads(cut)
    except ValueError:
        return cut
    raise TrustListError("cutting the trust list did not break it")


def signature_dat(key_number, signature):
    if not -0x8000 <= key_number <= 0x7FFF:
        raise TrustListError(f"key number {key_number} does not fit in 16 bits")
    return struct.pack("<h", key_number) + signature


def rsa_sha1_sign(key_path, data):
    """PKCS #1 v1.5 SHA-1 signature, most significant byte first."""
    result = subprocess.run([OPENSSL, "dgst", "-sha1", "-sign", str(key_path)],
                            input=data, capture_output=True, check=True)
    return result.stdout


def public_key_der(key_path):
    result = subprocess.run([OPENSSL, "pkey", "-in", str(key_path), "-pubout", "-outform", "DER"],
                            capture_output=True, check=True)
    return result.stdout


def read_key_list(path):
    """{number: SubjectPublicKeyInfo DER} from a trust key file."""
    keys = {}
    for line in Path(path).read_text().splitlines():
        if not line.strip():
            continue
        number, text = line.split()
        keys[int(number)] = base64.b64decode(text, validate=True)
    if sorted(keys) != list(range(KEY_COUNT)):
        raise TrustListError(f"{path}: expected keys 0 to {KEY_COUNT - 1}")
    return keys


def rsa_sha1_verifies(spki_der, data, signature):
    with tempfile.TemporaryDirectory() as work:
        key = Path(work, "key.der")
        sig = Path(work, "sig.bin")
        key.write_bytes(spki_der)
        sig.write_bytes(signature)
        result = subprocess.run([OPENSSL, "dgst", "-sha1", "-verify", str(key), "-keyform", "DER",
                                 "-signature", str(sig)],
                                input=data, capture_output=True)
        return result.returncode == 0


def write_atomically(path, data):
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    os.replace(tmp, path)


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out-dir", required=True, type=Path)
    parser.add_argument("--keys-dir", required=True, type=Path,
                        help="directory of the private keys key_<N>.pem")
    parser.add_argument("--key", required=True, type=int,
                        help="key number written to SIGNATURE.DAT")
    parser.add_argument("--sign-with", type=int,
                        help="key actually used to sign (default: --key)")
    parser.add_argument("--key-list", type=Path,
                        help="the public trust key file, to check the keys against")
    parser.add_argument("--pair", nargs=2, action="append", default=[],
                        metavar=("ISSUER_CERT", "LEAF_CERT"))
    parser.add_argument("--malformed-json", action="store_true")
    parser.add_argument("--key-number-only", action="store_true")
    return parser.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    sign_with = args.key if args.sign_with is None else args.sign_with
    if not 0 <= sign_with < KEY_COUNT:
        raise TrustListError(f"no trust key {sign_with} to sign with (use --sign-with)")

    entries = [pair_entry(issuer, leaf) for issuer, leaf in args.pair]
    trusted_json = trust_list_json(entries)
    if args.malformed_json:
        trusted_json = malformed(trusted_json)

    key_path = args.keys_dir / f"key_{sign_with}.pem"
    signature = rsa_sha1_sign(key_path, trusted_json)

    if args.key_list:
        listed = read_key_list(args.key_list)
        if public_key_der(key_path) != listed[sign_with]:
            raise TrustListError(f"{key_path} is not trust key {sign_with} of {args.key_list}")
        named = listed.get(args.key)
        if named is not None and rsa_sha1_verifies(named, trusted_json, signature) != (
                sign_with == args.key):
            raise TrustListError(f"signature check against listed key {args.key} "
                                 "does not give the intended result")

    args.out_dir.mkdir(parents=True, exist_ok=True)
    dat = signature_dat(args.key, b"" if args.key_number_only else signature)
    write_atomically(args.out_dir / "TRUSTED.JSON", trusted_json)
    write_atomically(args.out_dir / "SIGNATURE.DAT", dat)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (TrustListError, OSError, ValueError, subprocess.CalledProcessError) as error:
        print(f"sign_trust_list: {error}", file=sys.stderr)
        sys.exit(1)

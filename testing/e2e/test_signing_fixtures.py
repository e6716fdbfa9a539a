"""Checks, on the Linux side, the signed setup archives the build makes for the
installer's tests (target tx_signed_archives): that each one carries the trust
list and signatures variants.json promises, that the good ones verify to the
test code-signing root, and that the broken ones are broken the intended way.
"""

import base64
import json
import re
import struct
import subprocess
import sys
from pathlib import Path

import pytest

REQUIRED_ARCHIVES = {
    "browser-setup.arc", "sha1-signed.arc", "tampered.arc", "untrusted-signer.arc",
    "trust-list-wrong-key.arc", "trust-key-10.arc", "trust-key-minus-1.arc",
    "signature-dat-2-bytes.arc", "trust-list-not-json.arc", "trust-list-empty.arc",
    "sha1-then-untrusted-sha256.arc", "untrusted-sha256-then-sha1.arc",
    "untrusted-then-trusted-sha256.arc", "unsigned.arc", "truncated.arc",
}
SHA256_RSA = "sha256WithRSAEncryption"
SHA1_RSA = "sha1WithRSAEncryption"


def run(*command, check=True, data=None):
    return subprocess.run([str(part) for part in command], input=data, capture_output=True,
                          check=check)


@pytest.fixture(scope="module")
def manifest(build_dir):
    path = build_dir / "testing" / "archives" / "variants.json"
    if not path.is_file():
        pytest.fail(f"{path} missing: build the tx_signed_archives target")
    document = json.loads(path.read_text())
    document["dir"] = path.parent
    document["by_file"] = {entry["file"]: entry for entry in document["archives"]}
    return document


@pytest.fixture(scope="module")
def signer_tool(source_dir):
    sys.path.insert(0, str(source_dir / "tools" / "trust_list"))
    try:
        import sign_trust_list
    finally:
        sys.path.pop(0)
    return sign_trust_list


def archive_path(manifest, name):
    return manifest["dir"] / name


# --- PE reading -------------------------------------------------------------

def pe_resources(data):
    """{(type, name): bytes} of the string-named resources of a PE image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    sections_count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], \
        struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    sections = []
    for index in range(sections_count):
        header = optional + optional_size + 40 * index
        virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, header + 8)
        sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(target_rva):
        for rva, size, raw in sections:
            if rva <= target_rva < rva + size:
                return raw + target_rva - rva
        raise AssertionError(f"RVA {target_rva:#x} outside every section")

    base = offset(resource_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for index in range(named + ids):
            name_field, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * index)
            if name_field & 0x80000000:
                at = base + (name_field & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            else:
                name = name_field
            yield name, target

    found = {}
    for type_name, type_target in entries(0):
        for name, name_target in entries(type_target & 0x7FFFFFFF):
            for _, language_target in entries(name_target & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", data, base + language_target)
                start = offset(data_rva)
                found[(type_name, name)] = bytes(data[start:start + size])
    return found


def trust_resources(path):
    resources = pe_resources(path.read_bytes())
    return (resources.get(("TRUSTED_JSON", "TRUSTED.JSON")),
            resources.get(("SIGNATURE_DAT", "SIGNATURE.DAT")))


# --- Certificates and signatures -------------------------------------------

def serial_bytes(cert):
    text = run("openssl", "x509", "-in", cert, "-noout", "-serial").stdout.decode()
    return bytes.fromhex(text.strip().split("=", 1)[1])


def signature_algorithm(cert):
    text = run("openssl", "x509", "-in", cert, "-noout", "-text").stdout.decode()
    return re.search(r"Signature Algorithm: (\S+)", text).group(1)


def trust_list_ids(trusted_json):
    document = json.loads(trusted_json)
    return [base64.b64decode(element["id"], validate=True)
            for element in document["trusted_info"]["certificates"]]


def signer_id(manifest, signer):
    entry = manifest["signers"][signer]
    return serial_bytes(entry["issuer"]) + serial_bytes(entry["certificate"])


def signature_certificates(archive, tmp_path):
    """[(subject, issuer, serial bytes)] of the certificates that the archive's
    primary signature carries, read from the PKCS #7 blob osslsigncode extracts."""
    pkcs7 = tmp_path / (archive.name + ".p7")
    run("osslsigncode", "extract-signature", "-in", archive, "-out", pkcs7)
    pem = run("openssl", "pkcs7", "-inform", "DER", "-in", pkcs7, "-print_certs").stdout.decode()
    found = []
    for index, block in enumerate(re.findall(r"-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----",
                                             pem, re.DOTALL)):
        cert = tmp_path / f"{archive.name}.{index}.pem"
        cert.write_text(block + "\n")
        fields = dict(line.split("=", 1) for line in run(
            "openssl", "x509", "-in", cert, "-noout", "-subject", "-issuer", "-serial",
            "-nameopt", "RFC2253").stdout.decode().splitlines())
        found.append((fields["subject"], fields["issuer"], bytes.fromhex(fields["serial"])))
    return found


def verified_signer_serials(manifest, archive):
    """Leaf serial numbers of the archive's signatures in signature-index order,
    as osslsigncode reports them while verifying."""
    output = osslsigncode_verify(manifest, archive).stdout.decode()
    return [bytes.fromhex(serial) for serial in re.findall(
        r"Signature Index: \d+.*?Signer #0:.*?Serial : ([0-9A-F]+)",
        output, re.DOTALL)]


def osslsigncode_verify(manifest, archive):
    return run("osslsigncode", "verify", "-CAfile", manifest["root"], "-in", archive,
               check=False)


def rsa_sha1_verifies(spki_der, data, signature, tmp_path):
    key = tmp_path / "key.der"
    sig = tmp_path / "signature.bin"
    key.write_bytes(spki_der)
    sig.write_bytes(signature)
    result = run("openssl", "dgst", "-sha1", "-verify", key, "-keyform", "DER",
                 "-signature", sig, check=False, data=data)
    return result.returncode == 0


# --- The archives -----------------------------------------------------------

def test_every_variant_is_built_and_described(manifest):
    assert REQUIRED_ARCHIVES <= set(manifest["by_file"])
    assert len(manifest["by_file"]) == len(manifest["archives"]), "duplicate file names"
    for entry in manifest["archives"]:
        path = archive_path(manifest, entry["file"])
        assert path.is_file() and path.stat().st_size > 0, entry["file"]
        assert entry["trust_list"] in manifest["trust_lists"]
        assert set(entry["signers"]) <= set(manifest["signers"])
        assert isinstance(entry["accept"], bool) and isinstance(entry["wine_accept"], bool)
    accepted = {e["file"] for e in manifest["archives"] if e["accept"]}
    assert {"browser-setup.arc", "sha1-signed.arc", "untrusted-then-trusted-sha256.arc"} <= accepted
    assert not accepted & {"tampered.arc", "untrusted-signer.arc", "unsigned.arc",
                           "truncated.arc", "trust-list-empty.arc",
                           "sha1-then-untrusted-sha256.arc", "untrusted-sha256-then-sha1.arc"}


def test_archives_embed_their_trust_list_byte_for_byte(manifest):
    for entry in manifest["archives"]:
        if entry["truncated_to"] is not None:
            continue
        trusted_json, signature_dat = trust_resources(archive_path(manifest, entry["file"]))
        trust_dir = Path(manifest["trust_lists"][entry["trust_list"]]["dir"])
        assert trusted_json == (trust_dir / "TRUSTED.JSON").read_bytes(), entry["file"]
        assert signature_dat == (trust_dir / "SIGNATURE.DAT").read_bytes(), entry["file"]


def test_good_archive_trusts_exactly_its_signers(manifest, tmp_path):
    archive = archive_path(manifest, "browser-setup.arc")
    ids = trust_list_ids(trust_resources(archive)[0])

    # The signature carries the leaf and its issuer; the identifier of that
    # pair, as read back from the signature, is in the trust list.
    certificates = signature_certificates(archive, tmp_path)
    assert len(certificates) == 2
    subjects = {subject for subject, _, _ in certificates}
    (leaf,) = [c for c in certificates if c[1] in subjects]
    (issuer,) = [c for c in certificates if c[0] == leaf[1]]
    assert "Tarnix Test Signer SHA-256" in leaf[0]
    assert issuer[2] + leaf[2] in ids
    assert issuer[2] + leaf[2] == signer_id(manifest, "trusted-sha256")

    assert signer_id(manifest, "trusted-sha1") in ids
    assert signer_id(manifest, "untrusted-sha256") not in ids
    assert len(ids) == 2


def test_signers_certificates(manifest):
    signers = manifest["signers"]
    assert signature_algorithm(signers["trusted-sha256"]["certificate"]) == SHA256_RSA
    assert signature_algorithm(signers["untrusted-sha256"]["certificate"]) == SHA256_RSA
    assert signature_algorithm(signers["trusted-sha1"]["certificate"]) == SHA1_RSA
    for name, signer in signers.items():
        text = run("openssl", "x509", "-in", signer["certificate"], "-noout",
                   "-ext", "extendedKeyUsage").stdout.decode()
        assert "Code Signing" in text, name
        verify = run("openssl", "verify", "-auth_level", "0", "-purpose", "any",
                     "-CAfile", manifest["root"], "-untrusted", signer["chain"],
                     signer["certificate"], check=False)
        assert verify.returncode == 0, (name, verify.stdout, verify.stderr)
    assert signers["trusted-sha256"]["issuer"] != signers["untrusted-sha256"]["issuer"]


@pytest.mark.parametrize("name", ["trusted", "trusted_key9", "not_json", "no_certificates"])
def test_validly_signed_trust_lists_verify_with_the_named_key(manifest, signer_tool, name,
                                                             tmp_path):
    keys = signer_tool.read_key_list(manifest["public_keys"])
    trust_dir = Path(manifest["trust_lists"][name]["dir"])
    trusted_json = (trust_dir / "TRUSTED.JSON").read_bytes()
    dat = (trust_dir / "SIGNATURE.DAT").read_bytes()
    number = struct.unpack_from("<h", dat)[0]
    assert number == manifest["trust_lists"][name]["key"]
    assert len(dat) == 2 + 128
    assert rsa_sha1_verifies(keys[number], trusted_json, dat[2:], tmp_path)
    # Most significant byte first: the reversed bytes are no signature.
    assert not rsa_sha1_verifies(keys[number], trusted_json, dat[2:][::-1], tmp_path)
    others = [n for n in keys if n != number]
    assert not any(rsa_sha1_verifies(keys[n], trusted_json, dat[2:], tmp_path) for n in others)


def test_broken_trust_lists_are_broken_as_described(manifest, signer_tool, tmp_path):
    keys = signer_tool.read_key_list(manifest["public_keys"])
    lists = manifest["trust_lists"]

    def read(name):
        trust_dir = Path(lists[name]["dir"])
        return (trust_dir / "TRUSTED.JSON").read_bytes(), (trust_dir / "SIGNATURE.DAT").read_bytes()

    trusted_json, dat = read("wrong_key")
    assert struct.unpack_from("<h", dat)[0] == 2
    assert not rsa_sha1_verifies(keys[2], trusted_json, dat[2:], tmp_path)
    assert rsa_sha1_verifies(keys[5], trusted_json, dat[2:], tmp_path)

    for name, number in (("key_10", 10), ("key_minus_1", -1)):
        trusted_json, dat = read(name)
        assert struct.unpack_from("<h", dat)[0] == number
        assert rsa_sha1_verifies(keys[lists[name]["signed_with"]], trusted_json, dat[2:], tmp_path)
    assert read("key_minus_1")[1][:2] == b"\xff\xff"

    assert read("short_signature")[1] == b"\x00\x00"

    trusted_json, _ = read("not_json")
    with pytest.raises(ValueError):
        json.loads(trusted_json)
    assert trust_list_ids(read("trusted")[0])  # the good one does parse

    trusted_json, _ = read("no_certificates")
    assert json.loads(trusted_json) == {"trusted_info": {"certificates": []}}


def test_good_archives_verify_to_the_code_signing_root(manifest):
    for entry in manifest["archives"]:
        if not entry["accept"]:
            continue
        result = osslsigncode_verify(manifest, archive_path(manifest, entry["file"]))
        output = result.stdout.decode() + result.stderr.decode()
        assert result.returncode == 0, (entry["file"], output)
        assert "Tarnix Test Code Signing Root" in output, entry["file"]
        assert f"Number of verified signatures: {len(entry['signers'])}" in output, entry["file"]


def test_nested_archives_carry_both_signatures_in_order(manifest):
    nested = [e for e in manifest["archives"] if len(e["signers"]) == 2]
    assert len(nested) >= 3
    for entry in nested:
        archive = archive_path(manifest, entry["file"])
        expected = [serial_bytes(manifest["signers"][s]["certificate"]) for s in entry["signers"]]
        assert verified_signer_serials(manifest, archive) == expected, entry["file"]


def test_tampered_archive_differs_by_one_byte_and_fails_verification(manifest):
    good = archive_path(manifest, "browser-setup.arc").read_bytes()
    tampered = archive_path(manifest, "tampered.arc").read_bytes()
    assert len(good) == len(tampered)
    assert sum(1 for a, b in zip(good, tampered) if a != b) == 1
    assert osslsigncode_verify(manifest, archive_path(manifest, "tampered.arc")).returncode != 0
    # Its trust list is intact: only the Authenticode stage can refuse it.
    assert trust_resources(archive_path(manifest, "tampered.arc")) == \
        trust_resources(archive_path(manifest, "browser-setup.arc"))


def test_unsigned_and_truncated_archives(manifest):
    unsigned = archive_path(manifest, "unsigned.arc")
    assert osslsigncode_verify(manifest, unsigned).returncode != 0
    assert all(trust_resources(unsigned))
    truncated = archive_path(manifest, "truncated.arc").read_bytes()
    assert len(truncated) == 1000
    assert archive_path(manifest, "browser-setup.arc").read_bytes().startswith(truncated)


def test_wine_prefix_trusts_the_code_signing_root(build_dir, manifest):
    prefix = build_dir / "wineprefix"
    if not (prefix / ".tx-ready").is_file():
        pytest.fail("the Wine prefix is not ready: build the tx_wineprefix target")
    thumbprint = run("openssl", "x509", "-in", manifest["root"], "-noout",
                     "-fingerprint", "-sha1").stdout.decode().split("=", 1)[1]
    thumbprint = thumbprint.strip().replace(":", "").upper()
    registry = (prefix / "system.reg").read_text(errors="replace")
    assert f"\\\\Root\\\\Certificates\\\\{thumbprint}]" in registry


# --- The trust-list signer on its own --------------------------------------

def make_cert(tmp_path, name, serial, issuer=None):
    key = tmp_path / f"{name}.key"
    cert = tmp_path / f"{name}.pem"
    run("openssl", "genrsa", "-out", key, "1024")
    if issuer is None:
        run("openssl", "req", "-x509", "-new", "-key", key, "-subj", f"/CN={name}",
            "-set_serial", serial, "-days", "1", "-out", cert)
    else:
        csr = tmp_path / f"{name}.csr"
        run("openssl", "req", "-new", "-key", key, "-subj", f"/CN={name}", "-out", csr)
        run("openssl", "x509", "-req", "-in", csr, "-CA", tmp_path / f"{issuer}.pem",
            "-CAkey", tmp_path / f"{issuer}.key", "-set_serial", serial, "-days", "1",
            "-out", cert)
    return cert


def test_signer_keeps_the_der_bytes_of_the_serial(signer_tool, tmp_path):
    issuer = make_cert(tmp_path, "issuer", "0x8001")
    leaf = make_cert(tmp_path, "leaf", "0x0102", issuer="issuer")
    issuer_der = signer_tool.certificate_der(issuer)
    assert signer_tool.certificate_serial(issuer_der) == b"\x00\x80\x01"
    assert signer_tool.certificate_id(issuer_der, signer_tool.certificate_der(leaf)) == \
        b"\x00\x80\x01\x01\x02"
    with pytest.raises(signer_tool.TrustListError):
        signer_tool.pair_entry(leaf, issuer)


def test_signer_refuses_a_key_that_is_not_the_listed_one(signer_tool, tmp_path):
    keys = tmp_path / "keys"
    keys.mkdir()
    listed = []
    for number in range(10):
        run("openssl", "genrsa", "-out", keys / f"key_{number}.pem", "1024")
        der = run("openssl", "pkey", "-in", keys / f"key_{number}.pem", "-pubout",
                  "-outform", "DER").stdout
        listed.append(f"{number} {base64.b64encode(der).decode()}")
    key_list = tmp_path / "trust_keys.txt"
    key_list.write_text("\n".join(listed) + "\n")
    out = tmp_path / "out"
    common = ["--out-dir", str(out), "--keys-dir", str(keys), "--key-list", str(key_list)]

    assert signer_tool.main(common + ["--key", "4"]) == 0
    assert (out / "SIGNATURE.DAT").read_bytes()[:2] == b"\x04\x00"

    (keys / "key_4.pem").write_bytes((keys / "key_7.pem").read_bytes())
    with pytest.raises(signer_tool.TrustListError):
        signer_tool.main(common + ["--key", "4"])
    with pytest.raises(signer_tool.TrustListError):
        signer_tool.main(common + ["--key", "10"])

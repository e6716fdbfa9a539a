"""The tagging tool: tagged executables stay validly signed, and the
installer's readers (through tag_reader.exe) find exactly the tag written."""

import json
import shutil
import struct
import subprocess
import sys

import pytest

TAG_AREA = 10240


@pytest.fixture(scope="module")
def tagger(source_dir):
    def run(*args, check=True):
        result = subprocess.run([sys.executable, str(source_dir / "tools/tagger/tag_exe.py"),
                                 *map(str, args)], capture_output=True, text=True)
        if check:
            assert result.returncode == 0, result.stderr
        return result
    return run


@pytest.fixture(scope="module")
def codesign(build_dir):
    return build_dir / "pki" / "codesign"


@pytest.fixture(scope="module")
def verify(codesign):
    def check(path):
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", str(codesign / "root.pem"),
                                 "-in", str(path)], capture_output=True, text=True)
        assert result.returncode == 0, result.stdout + result.stderr
    return check


@pytest.fixture(scope="module")
def read_tags(wine):
    def read(path):
        result = wine("tag_reader", wine.windows_path(path), check=True)
        fields = result.fields()
        logs = [line[4:] for line in result.stdout.splitlines() if line.startswith("log=")]
        return (bytes.fromhex(fields["certificate_tag_hex"]),
                bytes.fromhex(fields["trailer_tag_hex"]), logs)
    return read


@pytest.fixture(scope="module")
def pe32_signed(build_dir, codesign, tmp_path_factory):
    """The 32-bit product, signed with the test signer."""
    product = build_dir.parent / "win32-release" / "lite_installer.exe"
    if not product.is_file():
        pytest.skip(f"no 32-bit build at {product}")
    out = tmp_path_factory.mktemp("pe32") / "signed32.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", str(codesign / "trusted-sha256-chain.pem"),
                    "-key", str(codesign / "trusted-sha256.key"), "-h", "sha256",
                    "-in", str(product), "-out", str(out)], check=True, capture_output=True)
    return out


@pytest.fixture(params=["pe32plus", "pe32"])
def signed_exe(request, build_dir, tmp_path):
    if request.param == "pe32plus":
        source = build_dir / "testing" / "archives" / "browser-setup.arc"
    else:
        source = request.getfixturevalue("pe32_signed")
    copy = tmp_path / f"{request.param}.exe"
    shutil.copyfile(source, copy)
    data = copy.read_bytes()
    magic = struct.unpack_from("<H", data, struct.unpack_from("<I", data, 60)[0] + 24)[0]
    assert magic == (0x20B if request.param == "pe32plus" else 0x10B)
    return copy


def test_certificate_tag_reads_back_and_signature_holds(signed_exe, tagger, verify, read_tags):
    tagged = signed_exe.with_name("tagged.exe")
    tagger("certificate", "--in", signed_exe, "--out", tagged, "--tag", "partner_id=42&banerid=7")
    verify(tagged)
    assert read_tags(tagged) == (b"partner_id=42&banerid=7", b"", [])
    # The signed part of the file is untouched; only the table grew.
    assert tagged.stat().st_size > signed_exe.stat().st_size + TAG_AREA


def test_rewriting_in_place_keeps_every_length(signed_exe, tagger, verify, read_tags):
    first = signed_exe.with_name("first.exe")
    second = signed_exe.with_name("second.exe")
    tagger("certificate", "--in", signed_exe, "--out", first, "--tag", "a=1&long=" + "x" * 500)
    tagger("certificate", "--in", first, "--out", second, "--tag", "b=2")
    verify(second)
    assert read_tags(second) == (b"b=2", b"", [])
    before, after = first.read_bytes(), second.read_bytes()
    assert len(before) == len(after)
    changed = [i for i in range(len(before)) if before[i] != after[i]]
    pe = struct.unpack_from("<I", before, 60)[0]
    magic = struct.unpack_from("<H", before, pe + 24)[0]
    table = struct.unpack_from("<I", before, pe + (168 if magic == 0x20B else 152))[0]
    # Only the tag area and the PE checksum (in the headers) changed.
    assert changed and all(i > table or i < pe + 0x100 for i in changed)


def test_two_dummy_certificates_concatenate(signed_exe, tagger, verify, read_tags):
    one = signed_exe.with_name("one.exe")
    two = signed_exe.with_name("two.exe")
    tagger("certificate", "--in", signed_exe, "--out", one, "--tag", "a=1")
    tagger("certificate", "--in", one, "--out", two, "--tag", "&b=2", "--append")
    verify(two)
    assert read_tags(two) == (b"a=1&b=2", b"", [])


def test_restamping_leaves_no_trace_of_an_old_tag(signed_exe, tagger, verify, read_tags):
    """Whatever placements an earlier stamp used, the installer reads only the
    new tag, and the old tag's bytes are gone from the file."""
    one = signed_exe.with_name("one.exe")
    two = signed_exe.with_name("two.exe")
    tagger("certificate", "--in", signed_exe, "--out", one, "--tag", "old_first=1")
    tagger("certificate", "--in", one, "--out", two, "--tag", "&old_second=2", "--append")
    restamped = signed_exe.with_name("restamped.exe")
    tagger("certificate", "--in", two, "--out", restamped, "--tag", "new=3")
    verify(restamped)
    assert read_tags(restamped) == (b"new=3", b"", [])
    assert len(restamped.read_bytes()) == len(two.read_bytes())

    # A trailer over certificate tags, then a certificate tag over both.
    trailer = signed_exe.with_name("trailer.exe")
    tagger("trailer", "--in", two, "--out", trailer, "--tag", "old_trailer=4")
    verify(trailer)
    assert read_tags(trailer) == (b"", b"old_trailer=4", [])
    untagged = signed_exe.with_name("untagged_again.exe")
    tagger("certificate", "--in", trailer, "--out", untagged, "--tag", "")
    verify(untagged)
    assert read_tags(untagged) == (b"", b"", [])

    for path in (restamped, trailer, untagged):
        data = path.read_bytes()
        for old in (b"old_first=1", b"&old_second=2", b"old_trailer=4"):
            if path == trailer and old == b"old_trailer=4":
                continue
            assert old not in data, (path.name, old)


def test_help_shows_the_whole_usage(tagger):
    text = " ".join(tagger("--help").stdout.split())  # Wrapping may differ.
    for words in ("tag_exe.py certificate --in EXE --out OUT --tag TEXT [--append]",
                  "tag_exe.py trailer --in EXE --out OUT --tag TEXT",
                  "tag_exe.py show --in EXE",
                  "--append adds another dummy certificate",
                  "--tag-file reads the tag bytes from a file instead",
                  "--out OUT where the tagged executable goes"):
        assert words in text, words


def test_untagged_build_reads_empty_without_log(signed_exe, tagger, verify, read_tags):
    untagged = signed_exe.with_name("untagged.exe")
    tagger("certificate", "--in", signed_exe, "--out", untagged, "--tag", "")
    verify(untagged)
    assert read_tags(untagged) == (b"", b"", [])
    assert read_tags(signed_exe) == (b"", b"", [])


def test_binary_tag_of_full_area(signed_exe, tagger, read_tags, tmp_path):
    tag = bytes(range(256)) * (TAG_AREA // 256)
    (tmp_path / "tag.bin").write_bytes(tag)
    tagged = signed_exe.with_name("full.exe")
    tagger("certificate", "--in", signed_exe, "--out", tagged, "--tag-file", tmp_path / "tag.bin")
    assert read_tags(tagged)[0] == tag
    (tmp_path / "big.bin").write_bytes(tag + b"!")
    refused = tagger("certificate", "--in", tagged, "--out", signed_exe.with_name("big.exe"),
                     "--tag-file", tmp_path / "big.bin", check=False)
    assert refused.returncode == 1 and "exceeds" in refused.stderr
    assert not signed_exe.with_name("big.exe").exists()


def test_trailer_tag_reads_back_and_can_be_replaced(signed_exe, tagger, verify, read_tags):
    first = signed_exe.with_name("trailer1.exe")
    second = signed_exe.with_name("trailer2.exe")
    tagger("trailer", "--in", signed_exe, "--out", first, "--tag", "partner_id=7")
    verify(first)
    assert read_tags(first) == (b"", b"partner_id=7", [])
    tagger("trailer", "--in", first, "--out", second, "--tag", "x")
    verify(second)
    assert read_tags(second) == (b"", b"x", [])


def test_unsigned_file_is_refused(build_dir, tagger, read_tags, tmp_path):
    unsigned = build_dir / "testing" / "archives" / "unsigned.arc"
    result = tagger("certificate", "--in", unsigned, "--out", tmp_path / "out.exe", "--tag", "a",
                    check=False)
    assert result.returncode == 1 and "not signed" in result.stderr
    certificate_tag, trailer_tag, logs = read_tags(unsigned)
    assert (certificate_tag, trailer_tag) == (b"", b"")
    assert len(logs) == 1
    assert logs[0].startswith("WARNING: Invalid ASN1 format of certificate table in ")


class TestTaggedInstaller:
    """The installer reads its own tag when no parameters are given."""

    @pytest.fixture
    def tagged_installer(self, build_dir, codesign, tagger, tmp_path):
        signed = tmp_path / "signed.exe"
        subprocess.run(["osslsigncode", "sign", "-certs",
                        str(codesign / "trusted-sha256-chain.pem"),
                        "-key", str(codesign / "trusted-sha256.key"), "-h", "sha256",
                        "-in", str(build_dir / "lite_installer.exe"), "-out", str(signed)],
                       check=True, capture_output=True)
        tagged = tmp_path / "lite_installer.exe"
        tagger("certificate", "--in", signed, "--out", tagged,
               "--tag", "partner_id=777&banerid=5&lang=kk")
        return tagged

    def params_file(self, installer):
        (path,) = [p for p in installer.temp.iterdir() if p.name.startswith("distrib_info")]
        return json.loads(path.read_text("utf-8"))

    # Nothing is served: the run fails after the parameters were handled, so
    # the registry keeps them.
    def test_tag_becomes_the_distribution_parameters(self, installer, server, tagged_installer):
        installer.clear_registry_values()
        run = installer.run("--silent", exe=tagged_installer)
        assert run.exit_code == 401, run.log
        assert self.params_file(installer) == {"partner_id": "777", "banerid": "5", "lang": "kk"}
        values = installer.registry_values()
        assert values["DistribInfoParams"] == "partner_id=777&banerid=5&lang=kk"
        assert values["lang"] == "kk"  # The tag's language beats the package's.
        installer.clear_registry_values()

    def test_switch_wins_over_the_tag(self, installer, server, tagged_installer):
        installer.clear_registry_values()
        run = installer.run("--silent", "--distr-info-params=partner_id=1", exe=tagged_installer)
        assert run.exit_code == 401, run.log
        assert self.params_file(installer) == {"partner_id": "1"}
        assert installer.registry_values()["DistribInfoParams"] == "partner_id=1"
        installer.clear_registry_values()

"""The distributor's toolkit: scripts/make-distribution.sh makes a branded,
keyed, signed and tagged installer from settings alone, and refuses settings
that would ship a development or broken build before it starts building.

The two builds (32-bit and its 64-bit counterpart) keep their folders in the
test build tree, so a second run only rebuilds what changed."""

import json
import os
import re
import shutil
import struct
import subprocess
import urllib.parse

import pytest

from conftest import SERVER_PORT

BRAND = "northwind"
TAG = "partner_id=nw-42&banerid=7&tarnixuid=dist-test"
BRAND_CONFIG = """// c2lnbmF0dXJlIG9mIHRoZSBjb25maWd1cmF0aW9u
{
  "brand_id": "%s",
  "install": {
    "setup_url": "https://@TX_CDN_HOST@/browser/%s/browser-setup.arc" /* the distributor's CDN */
  }
}
""" % (BRAND, BRAND)
BUILD_TIMEOUT = 2400  # a cold product build on a busy two-core machine


@pytest.fixture(scope="module")
def distribution(build_dir, source_dir, tmp_path_factory):
    """The settings of a distributor: loopback hosts, the distributor's test
    trust keys (public list only), a packages folder with its own brand, and
    the test code-signing certificate."""
    manifest = json.loads((build_dir / "testing" / "archives" / "variants.json").read_text())
    packages = tmp_path_factory.mktemp("packages")
    (packages / "brand" / "default").mkdir(parents=True)
    (packages / "brand" / "default" / "brand_config").write_text(BRAND_CONFIG)
    shutil.copytree(source_dir / "resources" / "packages" / "data", packages / "data")
    host = f"localhost:{SERVER_PORT}"
    env = {name: host for name in ("TX_CDN_HOST", "TX_EXPERIMENTS_HOST", "TX_ABT_HOST",
                                   "TX_STATS_HOST", "TX_STORAGE_HOST", "TX_CRASH_HOST",
                                   "TX_LEGAL_HOST", "TX_DOWNLOAD_SITE_HOST")}
    env["TX_TRUST_KEYS_FILE"] = manifest["distributor_public_keys"]
    env["TX_PACKAGES_DIR"] = str(packages)
    codesign = build_dir / "pki" / "codesign"
    return {"env": env, "packages": packages, "codesign": codesign, "manifest": manifest,
            "script": source_dir / "scripts" / "make-distribution.sh"}


def make(distribution, out, *extra, env=None, timeout=120):
    codesign = distribution["codesign"]
    command = ["bash", str(distribution["script"]),
               "--cert", str(codesign / "trusted-sha256-chain.pem"),
               "--key", str(codesign / "trusted-sha256.key"),
               "--ca", str(codesign / "root.pem"), "--tag", TAG, "--out", str(out), *extra]
    full_env = {**os.environ, **distribution["env"], **(env or {})}
    full_env = {k: v for k, v in full_env.items() if v is not None}
    return subprocess.run(command, env=full_env, capture_output=True, text=True,
                          timeout=timeout)


def broken_packages(distribution, tmp_path):
    copy = tmp_path / "broken-packages"
    shutil.copytree(distribution["packages"], copy)
    config = copy / "brand" / "default" / "brand_config"
    config.write_text(config.read_text().replace('"brand_id": "%s",' % BRAND,
                                                 '"brand_id": "%s",,' % BRAND))
    return copy


def default_cdn_host(source_dir):
    text = (source_dir / "CMakeLists.txt").read_text()
    return re.search(r'set\(TX_CDN_HOST "([^"]+)" CACHE', text).group(1)


@pytest.mark.parametrize("case", ["missing", "default_host", "dev_keys", "keys_with_private_halves",
                                  "broken_config", "foreign_key"])
def test_unsound_settings_are_refused_before_building(distribution, build_dir, source_dir,
                                                      tmp_path, case):
    codesign = distribution["codesign"]
    env, extra = {}, []
    if case == "missing":
        env, expected = {"TX_STATS_HOST": None}, "missing setting(s): TX_STATS_HOST"
    elif case == "default_host":
        env, expected = {"TX_CDN_HOST": default_cdn_host(source_dir)}, "built-in default"
    elif case == "dev_keys":
        development = build_dir / "keys" / "trust_keys.txt"
        if not development.is_file():
            pytest.skip("this build was given its own trust keys")
        env = {"TX_TRUST_KEYS_FILE": str(development)}
        expected = "development"
    elif case == "keys_with_private_halves":
        private_list = build_dir / "pki" / "distributor" / "private" / "trust_keys.txt"
        env, expected = {"TX_TRUST_KEYS_FILE": str(private_list)}, "private keys beside it"
    elif case == "broken_config":
        env = {"TX_PACKAGES_DIR": str(broken_packages(distribution, tmp_path))}
        expected = "brand/default/brand_config:3:"
    else:
        extra, expected = ["--key", str(codesign / "trusted-sha1.key")], "does not match its key"
    nobuild = tmp_path / "build"
    result = make(distribution, tmp_path / "out", "--build-dir", str(nobuild), *extra, env=env)
    assert result.returncode != 0
    assert expected in result.stderr, result.stderr
    if case in ("default_host", "dev_keys", "keys_with_private_halves"):
        assert "--allow-development-settings" in result.stderr
    assert not nobuild.exists() and not (tmp_path / "out").exists()


def pe_magic_and_machine(data):
    pe = struct.unpack_from("<I", data, 60)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    return struct.unpack_from("<H", data, pe + 24)[0], struct.unpack_from("<H", data, pe + 4)[0]


def osslsigncode_verify(path, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(ca), "-in", str(path)],
                          capture_output=True, text=True)


def test_32bit_installer_is_signed_and_tagged(distribution, build_dir, wine, tmp_path):
    out = tmp_path / "out"
    result = make(distribution, out, "--build-dir",
                  str(build_dir / "testing" / "distribution" / "i686"), timeout=BUILD_TIMEOUT)
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr
    installer = out / "lite_installer.exe"
    assert sorted(p.name for p in out.iterdir()) == ["lite_installer.exe"]
    assert pe_magic_and_machine(installer.read_bytes()) == (0x10B, 0x14C)  # PE32, i386

    codesign = distribution["codesign"]
    verified = osslsigncode_verify(installer, codesign / "root.pem")
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert "SHA256" in verified.stdout
    # Only the code-signing root makes it verify, not any root.
    assert osslsigncode_verify(installer, build_dir / "pki" / "ca.pem").returncode != 0

    # The installer's own reader finds the tag in the 32-bit image.
    fields = wine("tag_reader", wine.windows_path(installer), check=True).fields()
    assert bytes.fromhex(fields["certificate_tag_hex"]) == TAG.encode()
    assert fields["trailer_tag_hex"] == ""


def test_64bit_counterpart_installs_silently_with_its_brand(distribution, build_dir, installer,
                                                           server, setup_record, tmp_path):
    out = tmp_path / "out"
    result = make(distribution, out, "--arch", "x86_64", "--build-dir",
                  str(build_dir / "testing" / "distribution" / "x86_64"), timeout=BUILD_TIMEOUT)
    assert result.returncode == 0, result.stdout[-3000:] + result.stderr
    product = out / "lite_installer.exe"
    assert pe_magic_and_machine(product.read_bytes()) == (0x20B, 0x8664)

    # The archive's trust list is signed with the distributor's keys; the
    # test build's own installer refuses it (variants.json), this one must not.
    archive = build_dir / "testing" / "archives" / "distributor-setup.arc"
    setup_path = f"/browser/{BRAND}/browser-setup.arc"
    server.put_file(setup_path, archive.read_bytes())
    run = installer.run("--silent", exe=product, env=setup_record.env, timeout=180)
    assert run.exit_code == 0, run.log
    messages = run.messages()
    assert "Brand id: " + BRAND in messages
    assert any(m.startswith("Verification succeeded: ") for m in messages), run.log
    _, switches = setup_record.switches()
    assert switches["brand-name"] == BRAND
    # The tag stamped into the signature became the distribution parameters.
    distrib_info = json.loads((installer.temp / "distrib_info").read_text("utf-8"))
    assert distrib_info == {"banerid": "7", "partner_id": "nw-42", "tarnixuid": "dist-test"}
    assert len(server.requests(setup_path)) == 1
    # The statistics carry the tag's banner id.
    assert any(re.search(r"-banner_id=7(,|/\*$)", urllib.parse.unquote(r.path))
               for r in server.requests("/installstats/*"))

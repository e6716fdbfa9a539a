"""The build's check of brand and partner configurations: what the installer
could not read stops the build with the file, line and column."""

import shutil
import subprocess

import pytest

SIGNATURE = b"// c2lnbmF0dXJl+/=\n"


@pytest.fixture(scope="module")
def check(source_dir):
    script = source_dir / "tools/package_check/check_package_config.py"

    def run(path, name="pkg/brand_config"):
        result = subprocess.run(["/usr/bin/python3", str(script), "--name", name, str(path)],
                                capture_output=True, text=True)
        return result.returncode, result.stderr.strip()
    return run


@pytest.mark.parametrize("text", [
    SIGNATURE + b'{"brand_id": "int", "install": {"setup_url": "https://cdn//a"}}\n',
    b"\xef\xbb\xbf" + SIGNATURE + b'{"brand_id": "tb"}',
    b'/* "not a string */ {"a": "/* not a comment */", "b": "\\"//"} // tail',
    '{"brand_name": "Мой браузер", "n": -9223372036854775808}'.encode(),
])
def test_readable_configurations_pass(check, tmp_path, text):
    (tmp_path / "brand_config").write_bytes(text)
    assert check(tmp_path / "brand_config") == (0, "")


@pytest.mark.parametrize("text, where, reason", [
    (SIGNATURE + b'{\n  "brand_name": "\xcc\xee\xe9"\n}', "3:18", "not UTF-8: byte 0xcc"),
    (SIGNATURE + b"// \xcc\xee\xe9\n{}", "2:4", "not UTF-8"),  # the browser reads comments too
    (SIGNATURE + b'{\n  "install": {"setup_url": "https://x/y', "3:28", "string not terminated"),
    (SIGNATURE + b'{\n  "brand_id": "int",\n', "4:1", "Expecting property name"),
    (b'{"a": 1}\n  /* open', "2:3", "comment not terminated"),
    (b'/* two\n lines */ {"a": 1,}', "2:19", "Expecting property name"),
    (b"\n [1]", "2:2", "not a JSON object"),
    (b'{\n "a": 99999999999999999999}', "2:7", "too big integer"),
    (b'{\n "a": 1e999}', "2:7", "real number overflow"),
    (b'{"a": NaN}', "1:7", "invalid token NaN"),
    (b"", "1:1", "Expecting value"),
])
def test_unreadable_configurations_name_file_line_and_column(check, tmp_path, text, where,
                                                              reason):
    (tmp_path / "brand_config").write_bytes(text)
    code, message = check(tmp_path / "brand_config")
    assert code == 1
    assert message.startswith(f"pkg/brand_config:{where}: error: {reason}"), message


def test_configure_stops_at_a_broken_brand(source_dir, build_dir, tmp_path):
    packages = tmp_path / "packages"
    shutil.copytree(source_dir / "resources/packages", packages)
    broken = packages / "brand/tb/brand_config"
    text = broken.read_bytes()
    cut = text.index(b"https://")
    broken.write_bytes(text[:cut])  # Cut in half, inside the setup URL.
    line = text.count(b"\n", 0, cut) + 1
    binary = tmp_path / "build"
    # The jansson source comes from the test build, so nothing is fetched.
    shutil.copytree(build_dir / "_deps/jansson-2.14", binary / "_deps/jansson-2.14")
    result = subprocess.run(["cmake", "--preset", "win32-release", "-B", str(binary),
                             f"-DTX_PACKAGES_DIR={packages}"],
                            cwd=source_dir, capture_output=True, text=True, timeout=300)
    assert result.returncode != 0
    output = result.stdout + result.stderr
    assert f"{broken}:{line}:" in output and "error: string not terminated" in output, output

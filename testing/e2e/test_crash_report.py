"""Crash reports: a test build crashes on purpose with --tx-test-crash after
the entry has set its annotations, writes a minidump and uploads it."""

import re
import time

import pytest

from crash_dump import Minidump, parse_report
from installer_run import LINE, wait_for

VERSION = "21.2.2.102"
ZERO_UID = "00000000-0000-0000-0000-000000000000"
PARAMS = "partner_id=crash-partner&upload_file_minidump=evil"
ACCESS_VIOLATION = 0xC0000005


AEDEBUG = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"


@pytest.fixture(autouse=True, scope="module")
def no_debugger(wine):
    """After the reporter, Wine would start winedbg on the crashed process,
    which takes a minute to print a backtrace. A debugger that cannot be
    started lets the process end at once, as on a Windows without one."""
    wine("reg", "add", AEDEBUG, "/v", "Debugger", "/d", "tx_no_debugger.exe", "/f", check=True)
    yield
    wine("reg", "delete", AEDEBUG, "/v", "Debugger", "/f")


def crash(installer, env=None):
    run = installer.run("--silent", "--tx-test-crash", f"--distr-info-params={PARAMS}",
                        env=env, timeout=240)
    assert "Unhandled exception 0xc0000005" in run.log, run.log[-3000:]
    return run


def dumps(installer):
    return sorted(installer.temp.glob("*.dmp"))


def stamp(run, text):
    """When the log line holding `text` was written, in seconds."""
    for line in run.log.splitlines():
        match = LINE.match(line)
        if match and text in match.group(5):
            clock = time.strptime(match.group(1)[:19], "%Y-%m-%d %H:%M:%S")
            return time.mktime(clock) + int(match.group(1)[20:]) / 1000
    raise AssertionError(f"no log line with {text!r}")


def test_crash_is_uploaded_and_the_dump_removed(installer, server):
    run = crash(installer)
    # The crash is not swallowed: the process ends with it.
    assert run.exit_code & 0xFFFFFFFF == ACCESS_VIOLATION, run.output
    [request] = server.requests("/submit")
    assert request.method == "POST"
    assert request.path == f"/submit?product=Tarnix&version={VERSION}"
    assert request.header("Content-Encoding") == "gzip"
    assert request.header("Transfer-Encoding") == "chunked"
    # Windows sends no length; Wine's WinHTTP needs the framed body's length
    # up front and announces it.
    framed = sum(len(line) + 2 + int(line, 16) + 2 for line in request.chunk_lines)
    assert request.header("Content-Length") in (None, str(framed)), request.headers
    assert re.match(r"^Crashpad/0\.8\.0 WinHTTP/\d+\.\d+\.\d+\.\d+ Windows_NT/\d+\.\d+\.\d+\.\d+ "
                    r"\(x(86|64)(; WoW64)?\)$", request.header("User-Agent"))
    # Chunks of at most 32 KiB, each announced in 8 lower-case hex digits.
    assert request.chunk_lines[-1] == "00000000" and len(request.chunk_lines) >= 2
    for line in request.chunk_lines:
        assert re.fullmatch(r"[0-9a-f]{8}", line) and int(line, 16) <= 32768, line

    _, parts = parse_report(request.header("Content-Type"), request.body)
    fields = [(name, data.decode()) for name, filename, _, data in parts if filename is None]
    names = [name for name, _ in fields]
    assert names == sorted(names)
    fields = dict(fields)
    assert "upload_file_minidump" not in fields
    assert {k: fields.get(k) for k in ("ptype", "ver", "plat", "prod", "gzip_enabled",
                                       "partner_id", "brand_id")} == {
        "ptype": "installer", "ver": VERSION, "plat": "Win32", "prod": "Tarnix",
        "gzip_enabled": "true", "partner_id": "crash-partner", "brand_id": fields["brand_id"]}
    assert fields["brand_id"] and fields["brand_name"] and fields["default_language"]
    assert re.fullmatch(r"[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}", fields["uid"])
    assert fields["uid"] != ZERO_UID

    [(name, filename, headers, data)] = [p for p in parts if p[1] is not None]
    assert parts[-1][0] == name == "upload_file_minidump"
    assert filename == fields["uid"] + ".dmp"
    assert headers == ["Content-Type: application/octet-stream"]
    dump = Minidump(data)
    assert dump.exception_code() == ACCESS_VIOLATION
    version, report_id, client_id, annotations = dump.crashpad_info()
    assert version == 1
    assert (report_id, client_id) == (fields["report_id"], fields["uid"])
    # The dump keeps every annotation; only the form drops the reserved key.
    assert annotations == {**fields, "upload_file_minidump": "evil"}

    assert "reserved key upload_file_minidump, discarding value evil" in run.messages()
    assert dumps(installer) == []


def test_rejected_report_keeps_the_dump(installer, server):
    server.set_response("/submit", b"no", status=500)
    run = crash(installer)
    assert len(server.requests("/submit")) == 1
    assert "HTTP status 500" in run.messages()
    [dump] = dumps(installer)
    info = Minidump(dump.read_bytes()).crashpad_info()
    assert dump.name == info[1] + ".dmp"
    assert info[3]["partner_id"] == "crash-partner"


@pytest.fixture
def no_user_id(installer, wine):
    """The user ID file gone while its registry marker stays: no user ID."""
    users = wine.build_dir / "wineprefix" / "drive_c" / "users"
    [user_dir] = [d for d in users.iterdir() if (d / "AppData").is_dir() and d.name != "Public"]
    uid_file = user_dir / "AppData" / "Roaming" / "Tarnix" / "ui"
    saved = uid_file.read_bytes() if uid_file.exists() else None
    key = "HKCU\\Software\\AppDataLow\\Tarnix"
    value = "UICreated_" + user_dir.name
    wine("reg", "add", key, "/v", value, "/t", "REG_DWORD", "/d", "1", "/f", check=True)
    uid_file.unlink(missing_ok=True)
    yield
    if saved is not None:
        uid_file.write_bytes(saved)
    else:
        uid_file.unlink(missing_ok=True)
        wine("reg", "delete", key, "/v", value, "/f")


def test_the_interface_check_child_reports_under_the_user_id(installer, server):
    """The default-browser check runs in a child process, the one most likely
    to crash: its report carries the user ID like any other."""
    run = installer.run("--check-the-interface", "--tx-test-crash", timeout=240)
    assert "Unhandled exception 0xc0000005" in run.log, run.log[-3000:]
    [request] = server.requests("/submit")
    _, parts = parse_report(request.header("Content-Type"), request.body)
    fields = {name: data.decode() for name, filename, _, data in parts if filename is None}
    assert re.fullmatch(r"[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}", fields["uid"])
    assert fields["uid"] != ZERO_UID
    assert parts[-1][1] == fields["uid"] + ".dmp"


def test_no_user_id_reports_the_zero_uid(installer, server, no_user_id):
    run = crash(installer)
    assert "uid not found, use empty" in run.messages()
    [request] = server.requests("/submit")
    _, parts = parse_report(request.header("Content-Type"), request.body)
    fields = {name: data for name, filename, _, data in parts}
    assert fields["uid"] == ZERO_UID.encode()
    assert parts[-1][1] == ZERO_UID + ".dmp"
    assert Minidump(parts[-1][3]).crashpad_info()[2] == ZERO_UID


def test_silent_server_does_not_hold_the_crash_past_the_limit(installer, server):
    """The upload's limit covers the whole exchange. Under test it is cut to
    4 s; shipped builds use 60 s."""
    server.add_fault("/submit", delay=40)
    run = crash(installer, env={"TX_TEST_CRASH_UPLOAD_TIMEOUT_MS": "4000"})
    assert run.exit_code & 0xFFFFFFFF == ACCESS_VIOLATION
    assert len(server.requests("/submit")) == 1
    # From the start of the upload to the logged time-out.
    held = stamp(run, "WinHttpReceiveResponse: ") - stamp(run, "Crash dump written")
    assert 3.5 <= held <= 4 + 2, held
    assert len(dumps(installer)) == 1

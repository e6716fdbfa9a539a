"""The default-browser probe under wine64: the check mode on its own, and the
installation run that starts it as a child, waits for it at most 3 seconds
and hands its value to the setup."""

import datetime
import re
import subprocess

import pytest

from installer_run import LINE
from window_driver import CONTROL_IDS

SETUP = "/browser/int/browser-setup.arc"
REVISIONS = ["{2A848E25-D688-4AA3-8E55-0C16CB3A2DFB}", "{FC0BE3A5-6BE4-423C-B287-248934E379C7}",
             "{14EBCC88-2831-4FC8-A5DF-9F36A81DB12C}", "{1C5C9D10-1225-4C97-8C51-98E1B6F0D4E0}",
             "{229D59E2-F94A-402E-9A9F-3B84A1ACED77}"]
HANDLED = "Handled non install cmd line option by win10 default browser helper, ret code: "


def serve(server, archives):
    directory, _ = archives
    server.put_file(SETUP, (directory / "browser-setup.arc").read_bytes())


def test_check_mode_under_wine_finds_no_revision(installer):
    run = installer.run("--check-the-interface", "--verbose-logging")
    assert run.exit_code == 701
    messages = run.messages()
    attempts = [m for m in messages if "creation is failed" in m]
    assert [m.split("guid= ")[1] for m in attempts] == REVISIONS, messages
    assert all(m.startswith("IApplicationAssociationRegistrationInternal creation is failed, "
                            "hr=0x") for m in attempts)
    assert re.fullmatch(r"Unsupported Win10 version=\d+", messages[-2]), messages
    assert messages[-1] == HANDLED + "701"


@pytest.mark.parametrize("os_version, child, value", [
    ("10.0.17134.318", True, "2171340318"),  # The child reports the interface missing.
    ("10.0.19041.1", False, "190410001"),    # Every release from here on has it.
    ("6.1.7601", False, None),               # Windows 7 is not asked.
])
def test_silent_run_hands_the_check_to_the_setup(installer, server, archives, setup_record,
                                                 os_version, child, value):
    serve(server, archives)
    run = installer.run("--silent", env={**setup_record.env, "TX_TEST_OS_VERSION": os_version})
    assert run.exit_code == 0, run.log
    _, switches = setup_record.switches()
    assert switches.get("the-interface-availability") == value
    messages = run.messages()
    assert (HANDLED + "701" in messages) == child
    assert (("Successfuly checked Win10 internal interface availability: availability: 0"
             in messages) == child)
    if child:
        # The child is another process, which probed and left before the setup.
        assert len(run.pids()) >= 2
        assert messages.index(HANDLED + "701") < messages.index(
            "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0")


def line_time(run, text):
    for line in run.log.splitlines():
        match = LINE.match(line)
        if match and text in match.group(5):
            return datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f")
    raise AssertionError(f"no log line with {text!r}")


def test_a_hanging_child_is_ended_after_three_seconds(installer, server, archives,
                                                      setup_record):
    serve(server, archives)
    run = installer.run("--silent", env={**setup_record.env,
                                         "TX_TEST_OS_VERSION": "10.0.17134.1",
                                         "TX_TEST_PROBE_HANG": "1"})
    assert run.exit_code == 0, run.log
    _, switches = setup_record.switches()
    assert switches["the-interface-availability"] == "3171340001"
    timeout_text = ("Failed to check Win10 internal interface availability,  installer was "
                    "terminated by timeout.")
    assert any(m.startswith(timeout_text + " - ") for m in run.messages())
    # The check follows the verification at once; the wait fills the gap.
    waited = (line_time(run, timeout_text) - line_time(run, "Verification succeeded: "))
    assert 3.0 <= waited.total_seconds() < 30, waited
    # Ended, not finished: the child never reported.
    assert not any(m.startswith(HANDLED) for m in run.messages())


def test_failed_check_hides_the_default_checkbox(installer, server, archives, window_driver,
                                                 setup_record, wine):
    serve(server, archives)
    env = {**setup_record.env, "TX_TEST_OS_VERSION": "10.0.17134.318", "TX_TEST_NOT_ADMIN": "1"}
    process = installer.start("--do-not-launch-browser", env=env)
    try:
        window_driver.window = window_driver.fields("find lite_installer.exe 60000")
        assert "error" not in window_driver.window, window_driver.window
        visible = window_driver.visible()
        assert CONTROL_IDS["statistics_checkbox"] in visible
        assert CONTROL_IDS["default_checkbox"] not in visible
        window_driver.click(CONTROL_IDS["install_button"])
        out, _ = process.communicate(timeout=120)
    finally:
        if process.poll() is None:
            subprocess.run([str(wine.runner), "taskkill", "/f", "/im", "lite_installer.exe"],
                           capture_output=True, timeout=60)
    assert "exit_code=" in out.decode()
    _, switches = setup_record.switches()
    assert switches["the-interface-availability"] == "2171340318"
    assert "make-browser-default-after-import" not in switches
    # One probe serves both the window and the setup command line.
    assert installer.run_log_messages().count(HANDLED + "701") == 1

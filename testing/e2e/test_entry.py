"""The installer's entry sequence under wine64: roads, exit codes, the single
instance rule, the secure-environment relaunch and the shared log. No test
here serves a setup archive, so a silent run ends with 401."""

import re
import shutil
import time

import pytest

from installer_run import LINE, MUTEX, InstallerRunner, wait_for

START = "-------------------------------------- Start install."


@pytest.fixture
def installer(wine, build_dir, tmp_path):
    return InstallerRunner(wine, build_dir, tmp_path)


def test_log_lines_have_the_documented_shape(installer):
    run = installer.run("--silent")
    assert run.exit_code == 401
    lines = run.log.splitlines()
    assert lines, run.output
    for line in lines:
        match = LINE.match(line)
        assert match and match.group(4) != "LOGGING", line
        assert re.search(r" \((wWinMain|[A-Za-z]+):\d+\)$", line), line
    messages = run.messages()
    assert messages[0] == START
    assert messages[1] == "Runned in secure environment."
    assert "Lite installer mode." in messages
    assert f"Installer process id: {run.pids()[0]}" in messages
    assert any(m.startswith("Temporary path is: Z:\\") for m in messages)
    assert messages[-1] == "Installer exit with code: 401"
    assert all(line.endswith(")") and "(wWinMain:" in line for line in lines
               if "Temporary path" in line or "Installer exit" in line)


def test_check_the_interface_exits_before_the_mutex(installer):
    with installer.holding("hold-mutex", MUTEX, "20000"):
        run = installer.run("--check-the-interface")
    assert run.exit_code == 701
    messages = run.messages()
    assert messages[-1] == ("Handled non install cmd line option by win10 default browser "
                            "helper, ret code: 701")
    assert "Lite installer mode." not in messages
    assert not any("Another installer instance" in m for m in messages)


def test_second_instance_exits_600_and_names_the_first(installer):
    first = installer.start("--silent", env={"TX_TEST_PAUSE_BEFORE_EXIT_MS": "8000"})
    try:
        wait_for(lambda: any(m.startswith("Installer exit with code")
                             for m in installer.run_log_messages()), timeout=60)
        first_pid = installer.first_pid()
        second = installer.run("--silent")
    finally:
        first.wait(timeout=60)
    assert second.exit_code == 600
    second_pid = [p for p in second.pids() if p != first_pid][0]
    messages = second.messages(second_pid)
    assert "Another installer instance is already running." in messages
    assert f"Master installer process id: {first_pid}" in messages
    assert "Installer exit with code: 600" not in messages
    assert first.stdout.read().decode().strip() == "exit_code=401"


def test_instance_of_another_file_reads_no_master_id(installer, tmp_path):
    other = tmp_path / "other folder"
    other.mkdir()
    shutil.copy(installer.exe, other / "lite_installer.exe")
    first = installer.start("--silent", env={"TX_TEST_PAUSE_BEFORE_EXIT_MS": "8000"})
    try:
        wait_for(lambda: any(m.startswith("Installer exit with code")
                             for m in installer.run_log_messages()), timeout=60)
        second = installer.run("--silent", exe=other / "lite_installer.exe")
    finally:
        first.wait(timeout=60)
    assert second.exit_code == 600
    messages = second.messages(second.pids()[-1])
    assert "Master installer process id: 0" in messages
    assert any(m.startswith("Failed to bring process window to top: wrong process id - ")
               for m in messages)


def test_abandoned_mutex_counts_as_another_instance(installer):
    with installer.holding("abandon-mutex", MUTEX, "20000"):
        run = installer.run("--silent")
    assert run.exit_code == 600
    assert "Another installer instance is already running." in run.messages()


def test_legacy_system_relaunches_a_copy_and_relays_its_code(installer):
    run = installer.run("--silent", env={"TX_TEST_NO_SAFE_DLL_SEARCH": "1"})
    assert run.exit_code == 401
    # The first process starts its log only after the copy has run.
    copy, first = run.pids_in_order()[:2]
    # The first process logs only the start; the copy does the work.
    assert run.messages(first) == [START]
    copy_messages = run.messages(copy)
    assert copy_messages[1] == "Runned in secure environment."
    assert copy_messages[-1] == "Installer exit with code: 401"
    # The copy and its folder go right after the wait, not at some reboot.
    assert [p for p in installer.temp.iterdir() if p.is_dir()] == []


def test_copy_with_a_dll_beside_it_exits_minus_200_twice(installer, tmp_path):
    seed = tmp_path / "evil.dll"
    seed.write_bytes(b"MZ not really a library")
    run = installer.run("--silent", env={"TX_TEST_NO_SAFE_DLL_SEARCH": "1",
                                         "TX_TEST_RELAUNCH_SEED_FILE": installer.wine.windows_path(seed)})
    assert run.exit_code == -200
    # The first process starts its log only after the copy has run.
    copy, first = run.pids_in_order()[:2]
    assert run.messages(copy) == [START, "Exiting, DLL files found in working directory"]
    assert run.messages(first) == [START, "Exiting, because of insecure environment."]
    # The copy ran from the fresh folder that held the DLL; the copy is gone,
    # the folder stays only for the file it does not own.
    (folder,) = [p for p in installer.temp.iterdir() if p.is_dir()]
    assert [p.name for p in folder.iterdir()] == ["evil.dll"]


def test_spawned_copy_checks_its_own_directory(installer, tmp_path):
    folder = tmp_path / "spawned"
    folder.mkdir()
    shutil.copy(installer.exe, folder / "lite_installer.exe")
    env = {"TX_TEST_NO_SAFE_DLL_SEARCH": "1"}
    clean = installer.run("--silent", "--spawned_in_protected_dir", env=env,
                          exe=folder / "lite_installer.exe")
    assert clean.exit_code == 401
    assert clean.messages()[1] == "Runned in secure environment."
    (folder / "x.dll").write_bytes(b"")
    dirty = installer.run("--silent", "--spawned_in_protected_dir", env=env,
                          exe=folder / "lite_installer.exe")
    assert dirty.exit_code == -200


def test_processor_without_sse2_exits_404_without_the_exit_line(installer):
    run = installer.run("--silent", env={"TX_TEST_NO_SSE2": "1"})
    assert run.exit_code == 404
    messages = run.messages()
    assert any(m.startswith("CPU is not supported - ") for m in messages), messages
    assert not any(m.startswith("Installer exit with code") for m in messages)
    assert "ERROR: CPU is not supported - " in run.log


class TestElevatedChild:
    def test_unparsable_parent_id_fails_the_wait(self, installer):
        run = installer.run("--run-as-admin", "--parent-installer-process-id=12ab",
                            "--setup-cmd-line=x.arc --progress-window=0")
        assert run.exit_code == -1
        messages = run.messages()
        assert any(m.startswith("Suspicious process id=12ab - ") for m in messages)
        assert "Start installer as admin" in messages
        assert any(m.startswith("Installer started as admin has been unexpectedly synced, "
                                "wr=4294967295 - ") for m in messages)
        assert "ExecuteAsAdmin:" in run.log and "Lite installer mode." not in messages

    @pytest.mark.parametrize("signal,wait_result", [("cancel", 1), ("exit", 2)])
    def test_cancel_or_parent_exit_ends_with_minus_1(self, installer, signal, wait_result):
        installer.clear_default_log()
        helper = installer.wine(installer.helper, "elevation", signal, "3000",
                                installer.wine.windows_path(installer.exe), "--run-as-admin",
                                "--parent-installer-process-id={pid}", timeout=60)
        wait_for(lambda: any("unexpectedly synced" in m for m in installer.default_log_messages()),
                 timeout=30)
        assert any(m.startswith("Installer started as admin has been unexpectedly synced, "
                                f"wr={wait_result} - ")
                   for m in installer.default_log_messages())
        if signal == "cancel":
            assert helper.fields()["exit_code"] == "-1"

    def test_go_event_releases_the_child(self, installer):
        installer.clear_default_log()
        helper = installer.wine(installer.helper, "elevation", "go", "2000",
                                installer.wine.windows_path(installer.exe), "--run-as-admin",
                                "--parent-installer-process-id={pid}",
                                "--setup-cmd-line=C:\\x\\browser-setup.arc --progress-window=0",
                                timeout=60)
        assert helper.fields()["exit_code"] == "-1"
        assert not any("unexpectedly synced" in m for m in installer.default_log_messages())


class TestBadInput:
    @pytest.mark.parametrize("args", [
        ['"--brand-name=unterminated'],
        ["--", "---silent", "--=x", "/", "-"],
        ["--brand-name=" + "x" * 30000],
        ["\\\\\\\"", "--distr-info-params=\"a\\\"b\""],
    ])
    def test_malformed_command_lines_end_normally(self, installer, args):
        # Silent, so that no window waits for a person; nothing serves the
        # archive, so the run ends in the download failure.
        run = installer.run("--silent", *args)
        assert run.exit_code == 401, run.output
        assert run.messages()[-1] == "Installer exit with code: 401"

    def test_overlong_temporary_directory_logs_at_the_drive_root(self, installer, build_dir):
        drive_c = build_dir / "wineprefix" / "drive_c"
        root_log = drive_c / "thin_installer.log"
        root_log.unlink(missing_ok=True)
        overlong = "C:\\" + "d" * 300
        run = installer.wine(installer.helper, "run", f"TMP={overlong}", f"TEMP={overlong}", "--",
                             installer.wine.windows_path(installer.exe), "--silent",
                             cwd=drive_c)
        try:
            assert run.fields()["exit_code"] == "400"
            text = root_log.read_text()
            assert "Temporary path is:  (wWinMain:" in text
            assert "Installer exit with code: 400" in text
        finally:
            root_log.unlink(missing_ok=True)

    def test_temporary_directory_that_is_a_file_drops_the_log(self, installer, tmp_path):
        blocker = tmp_path / "not-a-dir"
        blocker.write_text("x")
        run = installer.run("--silent", temp=blocker)
        assert run.exit_code == 400

    def test_log_locked_by_another_process_is_left_alone(self, installer):
        log = installer.temp / "thin_installer.log"
        log.write_text("")
        with installer.holding("lock-file", installer.wine.windows_path(log), "30000"):
            run = installer.run("--silent")
        assert run.exit_code == 401
        assert log.read_text() == ""

    def test_held_log_mutex_delays_lines_and_is_reported_once(self, installer):
        with installer.holding("hold-mutex", installer.log_mutex_name(), "60000"):
            started = time.monotonic()
            run = installer.run("--check-the-interface")
            took = time.monotonic() - started
        assert run.exit_code == 701
        lines = run.log.splitlines()
        notes = [l for l in lines if "LOGGING: Failed to lock log file" in l]
        assert len(notes) == 1 and lines[0] == notes[0]
        assert len(lines) == 4  # the note, start, the probe's verdict, the result
        assert took >= 3.0  # each line waited a second for the mutex

"""A silent installation under wine64: download from the loopback server,
verification of the signed stand-in archive, the setup run and its exit code;
and the elevated child released by a parent of the same executable."""

import json
import re
import shutil
import time

import pytest

from installer_run import wait_for

SETUP = "/browser/int/browser-setup.arc"  # the default package's brand id


def leftover_archives(installer):
    return sorted(p.name for p in installer.temp.glob("tx*.tmp"))


def serve(server, archives, name):
    directory, _ = archives
    server.put_file(SETUP, (directory / name).read_bytes())


def test_silent_installation_runs_the_verified_setup(installer, server, archives, setup_record):
    serve(server, archives, "browser-setup.arc")
    run = installer.run("--silent", "--send-statistics", env=setup_record.env)
    assert run.exit_code == 0, run.log
    text, switches = setup_record.switches()
    # Under Wine the user is an administrator, and an elevated process runs
    # a copy of the archive from a folder of its own, gone afterwards.
    program = setup_record.argv()[0].lower()
    assert re.fullmatch(r"c:\\windows\\temp\\tx\{[0-9a-f-]{36}\}\\tx[0-9a-f]+\.tmp", program), \
        program
    system_temp = installer.wine.build_dir / "wineprefix/drive_c/windows/temp"
    assert not list(system_temp.glob("tx{*"))
    assert switches["progress-window"] == "0"
    assert switches["brand-name"] == "int"
    assert switches["source"] == "lite"
    assert "verbose-logging" in switches and "send-statistics" in switches
    assert "silent" in switches  # The installer's own switches reach the setup.
    messages = run.messages()
    assert any(m.startswith("Verification succeeded: ") for m in messages)
    assert "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0" in messages
    assert messages[-1] == "Installer exit with code: 0"
    assert leftover_archives(installer) == []
    (request,) = server.requests(SETUP)
    assert request.path.endswith("?from_installer=true")


def test_setup_exit_code_becomes_the_installers(installer, server, archives, setup_record):
    serve(server, archives, "browser-setup.arc")
    run = installer.run("--silent", env={**setup_record.env, "TX_STANDIN_EXIT_CODE": "3"})
    assert run.exit_code == 3
    assert "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 3" in run.messages()


def refused_variants():
    # The manifest is read at collection time only for the names.
    return ["tampered.arc", "untrusted-signer.arc", "trust-list-wrong-key.arc",
            "trust-key-10.arc", "trust-key-minus-1.arc", "signature-dat-2-bytes.arc",
            "trust-list-not-json.arc", "trust-list-empty.arc", "untrusted-sha256-then-sha1.arc",
            "unsigned.arc", "truncated.arc"]


@pytest.mark.parametrize("name", refused_variants())
def test_bad_archives_are_refused_with_402(installer, server, archives, setup_record, name):
    _, manifest = archives
    serve(server, archives, name)
    run = installer.run("--silent", env=setup_record.env)
    assert run.exit_code == 402, run.log
    assert any(m.startswith("Module verification failed: ") for m in run.messages())
    expected_log = manifest[name]["log"]
    if expected_log:
        assert expected_log in run.log
    assert not setup_record.ran
    assert leftover_archives(installer) == []


@pytest.mark.parametrize("name", ["sha1-signed.arc", "trust-key-9.arc",
                                  "trusted-then-untrusted-sha256.arc"])
def test_other_acceptable_archives_install(installer, server, archives, setup_record, name):
    serve(server, archives, name)
    run = installer.run("--silent", env=setup_record.env)
    assert run.exit_code == 0, run.log
    assert setup_record.ran


def test_unreachable_archive_ends_with_401(installer, server, setup_record):
    server.add_fault(SETUP, status=404)
    run = installer.run("--silent", env=setup_record.env)
    assert run.exit_code == 401
    assert "Max download attempts failed (6)" in run.log
    assert len(server.requests(SETUP)) == 6
    assert not setup_record.ran
    assert leftover_archives(installer) == []


def test_archive_cannot_be_replaced_while_the_setup_runs(installer, server, archives,
                                                         setup_record):
    serve(server, archives, "browser-setup.arc")
    process = installer.start("--silent", env={**setup_record.env, "TX_STANDIN_SETUP_MS": "6000"})
    try:
        wait_for(lambda: setup_record.ran, timeout=60)
        (archive,) = installer.temp.glob("tx*.tmp")
        result = installer.wine(installer.helper, "open-write",
                                installer.wine.windows_path(archive))
        assert result.fields()["open_error"] == "32"  # ERROR_SHARING_VIOLATION
    finally:
        out, _ = process.communicate(timeout=120)
    assert out.decode().strip() == "exit_code=0"
    assert leftover_archives(installer) == []


class TestElevatedChild:
    def start_child(self, installer, *extra):
        return installer.start_elevated_child(*extra)

    def test_go_event_runs_the_setup_with_the_delayed_parameters(self, installer, archives,
                                                                 tmp_path, setup_record):
        directory, _ = archives
        archive = tmp_path / "browser-setup.arc"
        shutil.copy(directory / "browser-setup.arc", archive)
        setup_command = ('x.arc --progress-window=0 --brand-name=tarnix '
                         '--make-browser-default-after-import')
        assert installer.release_elevated_child(archive, setup_record.env,
                                                f"--setup-cmd-line={setup_command}") == \
            "exit_code=0"
        text, switches = setup_record.switches()
        # The child ran a copy in a folder of its own under the system's
        # temporary folder, which is gone again; the user's file stays.
        program = setup_record.argv()[0]
        assert re.fullmatch(r"c:\\windows\\temp\\tx\{[0-9a-f-]{36}\}\\browser-setup\.arc",
                            program.lower()), program
        system_temp = installer.wine.build_dir / "wineprefix/drive_c/windows/temp"
        assert not list(system_temp.glob("tx{*")), list(system_temp.glob("tx{*"))
        assert archive.exists()
        assert switches["installerdata"] == "C:\\installerdata"
        assert switches["histogram-download-time"] == "1234"
        assert switches["install-start-time-no-uac"] == "5678"
        assert switches["source"] == "lite"
        assert "make-browser-default-after-import" not in switches
        assert "RunModule results: success=1" in installer.default_log_messages()

    def test_a_setup_failure_is_the_childs_failure(self, installer, archives, tmp_path,
                                                  setup_record):
        directory, _ = archives
        archive = tmp_path / "browser-setup.arc"
        shutil.copy(directory / "browser-setup.arc", archive)
        env = {**setup_record.env, "TX_STANDIN_EXIT_CODE": "16777221"}
        assert installer.release_elevated_child(
            archive, env, "--setup-cmd-line=x.arc --progress-window=0") == "exit_code=-1"
        assert setup_record.ran
        assert "RunModule results: success=1" in installer.default_log_messages()

    def test_missing_archive_ends_with_minus_1(self, installer, tmp_path):
        installer.clear_default_log()
        child = self.start_child(installer, "--setup-cmd-line=x.arc --progress-window=0")
        try:
            wait_for(lambda: "Start installer as admin" in installer.default_log_messages(),
                     timeout=60)
            release = installer.run("--tx-test-release-elevated-child=C:\\no\\such.arc")
            assert release.exit_code == 0
        finally:
            out, _ = child.communicate(timeout=120)
        assert out.decode().split()[-1] == "exit_code=-1"
        assert any(m.startswith("Browser archive C:\\no\\such.arc does not exist")
                   for m in installer.default_log_messages())

    def test_overlong_delayed_path_is_refused(self, installer):
        run = installer.run("--tx-test-release-elevated-child=C:\\" + "p" * 258)
        assert run.exit_code == 1
        line = [m for m in run.messages() if m.startswith("Too large string length,")]
        assert line and f" browser_arc_path=C:\\{'p' * 258} clids_file_path=" in line[0]
        assert " create_quova_shortcut=0" in line[0]


def test_distribution_parameters_reach_the_setup(installer, server, archives, setup_record):
    serve(server, archives, "browser-setup.arc")
    run = installer.run("--silent", "--distr-info-params=partner_id=123&banerid=45&lang=ru",
                        env=setup_record.env)
    assert run.exit_code == 0, run.log
    _, switches = setup_record.switches()
    path = switches["distr-info-file"]
    assert path.lower().startswith(installer.wine.windows_path(installer.temp).lower())
    text = (installer.temp / path.rsplit("\\", 1)[-1]).read_text("utf-8")
    assert json.loads(text) == {"partner_id": "123", "banerid": "45", "lang": "ru"}
    assert not text.endswith("\n")

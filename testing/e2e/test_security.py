"""What an attacker can reach: DLLs planted beside the installer, switches
that try to smuggle more switches into the setup, and an elevated child
released with a file that did not pass verification."""

import shutil

import pytest

from installer_run import wait_for


SETUP = "/browser/int/browser-setup.arc"  # the default package's brand id
PLANTED = ["version", "wininet", "wintrust", "winhttp", "dbghelp", "cabinet", "gdiplus"]


def serve(server, archives, name="browser-setup.arc"):
    directory, _ = archives
    server.put_file(SETUP, (directory / name).read_bytes())


@pytest.fixture
def downloads(build_dir, tmp_path):
    """A folder like a user's Downloads: the installer with DLLs of system
    libraries' names beside it, each of which leaves a marker when loaded."""
    folder = tmp_path / "Downloads"
    folder.mkdir()
    for name in PLANTED:
        shutil.copy(build_dir / "testing" / "planted" / f"{name}.dll", folder)
    shutil.copy(build_dir / "lite_installer.exe", folder)
    return folder


def markers(folder):
    return sorted(p.name.lower() for p in folder.glob("*.loaded"))


# Wine must prefer a DLL found on the search path to its own for these names,
# as Windows does for any library that is not a known DLL. Not for version.dll:
# Wine's own user32 imports it when the process starts, by name, which
# Windows' user32 does not.
PREFER_PLANTED = {"WINEDLLOVERRIDES": ",".join(n for n in PLANTED if n != "version") + "=n,b"}


def test_planted_dlls_are_detected_by_a_program_that_loads_them(wine, downloads):
    # The fixture is sound: a program that imports wininet at load time
    # picks the planted copy up.
    shutil.copy(wine.exe("fetch_url"), downloads)
    wine(downloads / "fetch_url.exe", timeout=120, env=PREFER_PLANTED)
    assert "wininet.dll.loaded" in markers(downloads)


def test_installation_from_a_folder_with_planted_dlls_loads_none(installer, server, archives,
                                                                  setup_record, downloads):
    serve(server, archives)
    run = installer.run("--silent", exe=downloads / "lite_installer.exe",
                        env={**setup_record.env, **PREFER_PLANTED})
    assert run.exit_code == 0, run.log
    assert setup_record.ran
    messages = run.messages()
    assert "Runned in secure environment." in messages
    assert any(m.startswith("Verification succeeded: ") for m in messages)
    assert markers(downloads) == []


def test_the_window_from_a_folder_with_planted_dlls_loads_none(installer, server, downloads,
                                                              window_driver):
    # The window road is the one that draws with GDI+.
    server.add_fault(SETUP, stall=120)
    process = installer.start(exe=downloads / "lite_installer.exe",
                              env={"TX_TEST_NOT_ADMIN": "1", **PREFER_PLANTED})
    try:
        found = window_driver.fields("find lite_installer.exe 60000")
        assert "error" not in found, found
        window_driver.window = found
        wait_for(lambda: server.requests(SETUP), timeout=30)
        window_driver.click(1010)  # Cancel.
        out, _ = process.communicate(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
    assert out.decode().split()[-1] == "exit_code=500"
    assert markers(downloads) == []


def test_a_switch_cannot_smuggle_switches_into_the_setup(installer, server, archives,
                                                       setup_record):
    serve(server, archives)
    run = installer.run("--silent", "--x --system-level", "--a\tb", '--q"r=1',
                        "--ok=a b --program-files-installation", env=setup_record.env)
    assert run.exit_code == 0, run.log
    switches = [arg for arg in setup_record.argv()[1:]]
    names = [arg[2:].split("=", 1)[0] for arg in switches]
    assert "system-level" not in names and "program-files-installation" not in names
    assert not any(" " in name or "\t" in name or '"' in name for name in names)
    # A value with blanks stays one argument.
    assert "--ok=a b --program-files-installation" in switches
    assert "silent" in names and names == sorted(names)


@pytest.mark.parametrize("name", ["unsigned.arc", "tampered.arc"])
def test_elevated_child_runs_only_a_verified_archive(installer, archives, tmp_path,
                                                     setup_record, name):
    """Another process of the user releases a waiting elevated child with a
    program of its choice; the child verifies it as the parent would."""
    directory, _ = archives
    archive = tmp_path / name
    shutil.copy(directory / name, archive)
    assert installer.release_elevated_child(
        archive, setup_record.env, "--setup-cmd-line=x.arc --progress-window=0") == "exit_code=-1"
    messages = installer.default_log_messages()
    assert any(m.startswith("Module verification failed: ") for m in messages), messages
    assert not any(m.startswith("Run: ") for m in messages)
    assert not setup_record.ran


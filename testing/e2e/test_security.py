"""What an attacker can reach: DLLs planted beside the installer, switches
that try to smuggle more switches into the setup, and an elevated child
released with a file that did not pass verification."""

import shutil

import pytest


SETUP = "/browser/int/browser-setup.arc"  # the default package's brand id
PLANTED = ["version", "wininet", "wintrust", "winhttp", "dbghelp", "cabinet"]


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
# as Windows does for any library that is not a known DLL.
PREFER_PLANTED = {"WINEDLLOVERRIDES": ",".join(PLANTED) + "=n,b"}


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


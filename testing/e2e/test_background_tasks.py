"""The side data a silent installation fetches for the browser on a worker
thread of its own (variations seed, A/B-test configuration, server
configuration bundle, wallpaper bundle), as the loopback server and the
stand-in setup see it."""

import base64
import json
import urllib.parse
from pathlib import Path

from installer_run import wait_for

SETUP = "/browser/int/browser-setup.arc"  # the default package's brand id
PARTNER_SETUP = "/browser/partner/browser-setup.arc"
SEED = "/content/get/experiments/browser.proto"
ABT = "/ab/get/abt_config"
CONFIGS = "/configs/all_zip"
WALLPAPERS = "/browser/wallpapers/bundle"  # the partner package's wallpaper URL
VERSION = "21.2.2.102"


def serve(server, archives, path=SETUP):
    directory, _ = archives
    server.put_file(path, (directory / "browser-setup.arc").read_bytes())


def linux_path(windows_path):
    assert windows_path.startswith("Z:\\"), windows_path
    return Path(windows_path[2:].replace("\\", "/"))


def saved_members(path):
    """The variations file's members in file order; None while it is not
    (yet) a whole JSON object."""
    try:
        return json.loads(path.read_text("utf-8"), object_pairs_hook=list)
    except (OSError, ValueError):
        return None


def query_keys(request):
    return [k for k, _ in urllib.parse.parse_qsl(urllib.parse.urlsplit(request.path).query)]


def test_seed_and_ab_test_configuration_reach_the_setup(installer, server, archives,
                                                       setup_record):
    serve(server, archives)
    seed = bytes(range(256))
    server.set_response(SEED, seed, headers={
        "X-Seed-Signature": "c2lnbmVkIHNlZWQ=", "Last-Modified": "Mon, 07 Dec 2026 08:00:00 GMT",
        "X-Country": "de"})
    process = installer.start("--silent",
                              env={**setup_record.env, "TX_STANDIN_SETUP_MS": "5000"})
    try:
        wait_for(lambda: setup_record.ran)
        _, switches = setup_record.switches()
        variations = linux_path(switches["variations-update-path"])
        abt = linux_path(switches["abt-update-path"])
        saved = wait_for(lambda: saved_members(variations), timeout=4)
        saved_abt = saved_members(abt)
        assert process.poll() is None  # Both were read while the setup ran.
    finally:
        out, _ = process.communicate(timeout=120)
    assert out.decode().strip() == "exit_code=0"
    assert saved == [
        ("variations_seed_base64", base64.b64encode(seed).decode()),
        ("variations_seed_signature", "c2lnbmVkIHNlZWQ="),
        ("variations_last_modified_time", "Mon, 07 Dec 2026 08:00:00 GMT"),
        ("variations_country", "de"),
    ]
    # The A/B-test answer is saved the same way; it carries no date or country.
    assert saved_abt == [
        ("variations_seed_base64", base64.b64encode(b'{"experiments":[]}').decode()),
        ("variations_seed_signature", "dGVzdC1hYnQtc2lnbmF0dXJl"),
        ("variations_last_modified_time", ""),
        ("variations_country", ""),
    ]
    # Only the setup needed them.
    assert not variations.exists() and not abt.exists()
    assert "server-config-bundle-path" not in switches
    assert "preloaded-wallpaper-bundle-path" not in switches

    requests = [r for r in server.requests() if r.path_only in (SEED, ABT, CONFIGS)]
    assert [r.path_only for r in requests] == [SEED, ABT]
    for request in requests:
        assert query_keys(request) == ["brand", "uid", "version"]
        assert request.query["brand"] == ["int"]
        assert request.query["version"] == [VERSION]
        assert request.query["uid"][0]
    messages = installer.run_log_messages()
    assert "Variations are saved in " + switches["variations-update-path"] in messages


def test_distribution_parameters_choose_the_tasks(installer, server, archives, setup_record,
                                                  build_dir):
    serve(server, archives, PARTNER_SETUP)
    bundle = b"PK\x05\x06" + b"\x01" * 18
    server.set_response(CONFIGS, bundle)
    server.put_file(WALLPAPERS, b"wallpaper bundle")
    run = installer.run("--silent", "--distr-info-params=vup=0&scup=1&pwexp=x",
                        env=setup_record.env, exe=build_dir / "lite_installer_partner.exe")
    assert run.exit_code == 0, run.log
    _, switches = setup_record.switches()
    assert "variations-update-path" not in switches
    assert "abt-update-path" in switches
    assert not server.requests(SEED)

    (abt,) = server.requests(ABT)
    assert query_keys(abt) == ["brand", "partner", "uid", "version"]
    assert abt.query["partner"] == ["test-partner"]
    (configs,) = server.requests(CONFIGS)
    assert configs.path == CONFIGS + "?brandID=int&partnerID=test-partner"
    (wallpapers,) = server.requests(WALLPAPERS)
    assert wallpapers.path == WALLPAPERS + "?exp=x"
    # The tasks run one after the other, in their fixed order.
    assert abt.time <= configs.time <= wallpapers.time

    # The wallpaper bundle stays for the browser; the configuration goes.
    assert linux_path(switches["preloaded-wallpaper-bundle-path"]).read_bytes() == (
        b"wallpaper bundle")
    assert not linux_path(switches["server-config-bundle-path"]).exists()


def test_seed_without_signature_is_not_saved(installer, server, archives, setup_record):
    serve(server, archives)
    server.set_response(SEED, b"unsigned seed", headers={"X-Country": "nl"})
    process = installer.start("--silent",
                              env={**setup_record.env, "TX_STANDIN_SETUP_MS": "5000"})
    try:
        wait_for(lambda: setup_record.ran)
        _, switches = setup_record.switches()
        # The seed task runs before the A/B-test task: once that file is
        # there, the seed task is over.
        wait_for(lambda: saved_members(linux_path(switches["abt-update-path"])), timeout=4)
        assert not linux_path(switches["variations-update-path"]).exists()
        assert process.poll() is None
    finally:
        out, _ = process.communicate(timeout=120)
    assert out.decode().strip() == "exit_code=0"
    messages = installer.run_log_messages()
    assert any(m.startswith("Failed to get variations seed signature") for m in messages)
    assert not any(m.startswith("Variations are saved in ") and
                   m.endswith(switches["variations-update-path"]) for m in messages)


def test_end_of_the_installation_stops_a_stalled_download(installer, server, archives,
                                                          setup_record):
    serve(server, archives)
    # Without the stop, the installer would wait for this answer for ten minutes.
    server.add_fault(CONFIGS, stall=600)
    run = installer.run("--silent", "--distr-info-params=scup=1", env=setup_record.env,
                        timeout=180)
    assert run.exit_code == 0, run.log
    _, switches = setup_record.switches()
    assert not linux_path(switches["server-config-bundle-path"]).exists()
    assert any(m.startswith("Failed to download server config bundle: ")
               for m in run.messages())
    assert len(server.requests(CONFIGS)) == 1

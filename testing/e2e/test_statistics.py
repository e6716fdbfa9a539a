"""The statistics a silent installation sends, as the loopback server records
them: the event stream on the statistics host and the installation-finished
report on the storage host."""

import re
import time
import urllib.parse

import pytest

SETUP = "/browser/int/browser-setup.arc"
STATS_PREFIX = "/installstats/send/dtype=stred/pid=457/cid=72992/path=extended_stat/vars="
REPORT = "/get/browser/install"
RUN_ID = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")


def stat_events(server):
    """Each statistics request as an ordered list of (key, value) pairs, in
    the order the server received them."""
    events = []
    for request in server.requests():
        if not request.path.startswith("/installstats/"):
            continue
        assert request.path.startswith(STATS_PREFIX), request.path
        assert request.path.endswith("/*"), request.path
        pairs = []
        for item in request.path[len(STATS_PREFIX):-2].split(","):
            assert item.startswith("-"), item
            key, value = item[1:].split("=", 1)
            pairs.append((urllib.parse.unquote(key), urllib.parse.unquote(value)))
        events.append(pairs)
    return events


def describe(event):
    fields = dict(event)
    return (fields["action"], fields.get("stage"), fields.get("status"),
            fields.get("attempt_number"))


@pytest.fixture
def installation(installer, server, archives, setup_record):
    """A silent installation whose first download attempt fails."""
    directory, _ = archives
    server.put_file(SETUP, (directory / "browser-setup.arc").read_bytes())
    server.add_fault(SETUP, status=503, times=1)
    run = installer.run("--silent", env=setup_record.env)
    assert run.exit_code == 0, run.log
    return run


def test_events_arrive_in_order_with_the_base_parameters(installation, server):
    events = stat_events(server)
    assert [describe(e) for e in events] == [
        ("installer_started", None, None, None),
        ("download", "started", None, None),
        ("download", "error", None, None),
        ("download_attempt", None, "failed", "1"),
        ("download_attempt", None, "success", "2"),
        ("download", "finished", None, None),
        ("setup", "setup_exe_launched", None, None),
        ("setup", "setup_exe_exited", None, None),
    ]
    user_ids = set()
    for event in events:
        keys = [key for key, _ in event]
        assert keys == sorted(keys), keys
        fields = dict(event)
        assert fields["old_style"] == "0"
        assert fields["installer_type"] == "lite"
        assert fields["lite_ver"] == "21.2.2.102"
        assert fields["launched"] == "false"
        assert fields["brand_id"] == "int"
        user_ids.add(fields["ui"])
    (user_id,) = user_ids
    assert user_id and not user_id.startswith("{")

    started, _, error, failed, succeeded, finished, launched, exited = map(dict, events)
    assert re.fullmatch(r"\d+", started["dpi"]) and re.fullmatch(r"\d+x\d+", started["resolution"])
    # "-" and "=" inside values travel as "_".
    assert error["error"].startswith("attempt_1_")
    assert failed["error"] and "error" not in succeeded
    assert failed["url"] == succeeded["url"]
    # The attempted URL was escaped once by the event and once by the sender.
    assert (urllib.parse.unquote(failed["url"]) ==
            f"https://localhost:{server.port}/browser/int/browser_setup.arc?from_installer_true")
    assert succeeded["downloaded_size"] == succeeded["total_size"] != "0"
    assert "new_ver" not in failed and finished["install_type"] == "normal"
    assert finished["new_ver"].count(".") == 3
    assert launched["uac"] in ("0", "1", "100")
    # The stand-in exits with 0, which a direct run does not count as a success.
    assert exited["error"] == "0" and re.fullmatch(r"\d+", exited["setup_time"])


def test_installation_finished_report_comes_last(installation, server):
    requests = [r for r in server.requests()
                if r.path.startswith(("/installstats/", REPORT))]
    assert requests[-1].path_only == REPORT
    query = requests[-1].query
    assert RUN_ID.match(query["ui"][0])
    assert query["result"] == ["success"]
    assert re.fullmatch(r"\d+", query["time"][0])
    assert re.fullmatch(r"\d+", query["install_time"][0])
    # The keys come in their fixed order.
    assert [k for k, _ in urllib.parse.parse_qsl(urllib.parse.urlsplit(requests[-1].path).query)
            ][:3] == ["ui", "result", "time"]


def test_failed_installation_reports_failure(installer, server, setup_record):
    run = installer.run("--silent", "--force-device-scale-factor=1.5", env=setup_record.env)
    assert run.exit_code == 401, run.log  # Nothing is served.
    assert dict(stat_events(server)[0])["dpi"] == "150"
    (report,) = server.requests(REPORT)
    assert report.query["result"] == ["failed"]
    assert report.query["time"] == ["0"]
    assert "install_time" not in report.query


def test_a_setup_that_reports_a_failure_fails_the_installation(installer, server, archives,
                                                              setup_record):
    directory, _ = archives
    server.put_file(SETUP, (directory / "browser-setup.arc").read_bytes())
    installer.clear_registry_values()
    run = installer.run("--silent", env={**setup_record.env, "TX_STANDIN_EXIT_CODE": "16777221"})
    assert run.exit_code == 16777221, run.log  # Passed through as the installer's own.
    assert "Setup process exit with code: GENERIC_ERROR(1); error: 5" in run.messages()
    exited = dict(stat_events(server)[-1])
    assert (exited["stage"], exited["error"]) == ("setup_exe_exited", "16777221")
    (report,) = server.requests(REPORT)
    assert report.query["result"] == ["failed"]
    # The records the setup would have taken over stay for another attempt.
    assert installer.registry_values()["brand"] == "int"
    installer.clear_registry_values()


def test_unreachable_statistics_host_does_not_hold_up_the_installation(
        installer, server, archives, setup_record):
    directory, _ = archives
    server.put_file(SETUP, (directory / "browser-setup.arc").read_bytes())
    # Statistics requests are never answered in time; nobody waits for them.
    server.add_fault("/installstats/*", delay=30)
    server.add_fault(REPORT, status=500)
    started = time.monotonic()
    run = installer.run("--silent", env=setup_record.env)
    elapsed = time.monotonic() - started
    assert run.exit_code == 0, run.log
    assert elapsed < 25, elapsed
    assert any(m.startswith("Cannot report installation status: ") for m in run.messages())

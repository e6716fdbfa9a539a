#!/usr/bin/env bash
# Measures the crash reporter inside a crashing test installer
# (--tx-test-crash), from the log lines the reporter writes:
#   dump only:      from the exception to the dump on disk;
#   dump + upload:  from the exception to the server's 200 (gzip, chunked,
#                   HTTPS to the loopback test server);
#   silent server:  a server that takes the report and never answers, with
#                   the shipped 60 s limit: how long the crashed installer is
#                   held from the start of the upload until it gives up.
# Prints the median and the range of RUNS runs (default 5) and the body size.
#
#   scripts/bench-crash.sh [runs]       SILENT=0 skips the 60 s measurement
#
# Needs the win64-test preset built; the test server takes the port the build
# sends crash reports to.
set -euo pipefail
cd "$(dirname "$0")/.."
export TX_BUILD_DIR=${TX_BUILD_DIR:-$PWD/build/win64-test}
export TX_SOURCE_DIR=$PWD
export RUNS=${1:-5}
export SILENT=${SILENT:-1}
[ -f "$TX_BUILD_DIR/lite_installer.exe" ] || { echo "build the win64-test preset first" >&2; exit 1; }
exec /usr/bin/python3 - <<'PY'
import os, re, statistics, sys, tempfile, time
from pathlib import Path

build = Path(os.environ["TX_BUILD_DIR"])
source = Path(os.environ["TX_SOURCE_DIR"])
sys.path[:0] = [str(source / "testing" / "e2e"), str(source / "testing" / "server")]
from conftest import Wine  # noqa: E402
from installer_run import InstallerRunner, LINE  # noqa: E402
from test_server import TestServer  # noqa: E402

cache = (build / "CMakeCache.txt").read_text()
port = int(re.search(r"^TX_CRASH_HOST:\w+=localhost:(\d+)$", cache, re.M).group(1))


def stamps(log):
    """First time (seconds) of each log message prefix we care about."""
    found = {}
    for line in log.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        t = time.mktime(time.strptime(m.group(1)[:19], "%Y-%m-%d %H:%M:%S")) + \
            int(m.group(1)[20:]) / 1000
        for key in ("Unhandled exception", "Crash dump written", "Crash report sent"):
            if m.group(5).startswith(key):
                found.setdefault(key, t)
        # The call that gave up on a silent server: which one depends on how
        # far the request got (Wine sends the whole body before it waits).
        if m.group(5).startswith("WinHttp") and "Crash dump written" in found:
            found.setdefault("give-up", t)
            found.setdefault("give-up call", m.group(5).split(":")[0])
    return found


def crash_once(server, env=None, fault=None):
    with tempfile.TemporaryDirectory() as tmp:
        runner = InstallerRunner(Wine(build), build, Path(tmp))
        server.reset()
        if fault:
            server.add_fault("/submit", **fault)
        run = runner.run("--silent", "--tx-test-crash", env=env, timeout=300)
        found = stamps(run.log)
        size = max([len(r.body) for r in server.requests("/submit")] or [0])
        dumps = list(runner.temp.glob("*.dmp"))
        dump_size = dumps[0].stat().st_size if dumps else None
        return found, size, dump_size


def show(label, values, unit="ms"):
    values = sorted(values)
    print(f"{label:<34} median {statistics.median(values):8.0f} {unit}"
          f"   range {values[0]:.0f}..{values[-1]:.0f} {unit}   ({len(values)} runs)")


with TestServer(port=port, cert=build / "pki" / "server.pem",
                key=build / "pki" / "server.key", bind_timeout=60) as server:
    runs = int(os.environ["RUNS"])
    dump_ms, total_ms, bodies = [], [], []
    for _ in range(runs):
        found, body, _ = crash_once(server)
        if "Crash report sent" not in found:
            sys.exit(f"no report was sent; log stamps: {found}")
        dump_ms.append((found["Crash dump written"] - found["Unhandled exception"]) * 1000)
        total_ms.append((found["Crash report sent"] - found["Unhandled exception"]) * 1000)
        bodies.append(body)
    print(f"uploaded gzip body: {min(bodies)}..{max(bodies)} bytes")
    show("exception -> dump written", dump_ms)
    show("exception -> upload answered 200", total_ms)
    show("upload alone (difference)", [t - d for t, d in zip(total_ms, dump_ms)])
    if os.environ["SILENT"] != "0":
        found, _, _ = crash_once(server, fault={"delay": 600})
        if "give-up" not in found:
            sys.exit(f"the upload to a silent server did not give up; log stamps: {found}")
        held = found["give-up"] - found["Crash dump written"]
        print(f"silent server, shipped 60 s limit: upload gave up after {held:.1f} s in "
              f"{found['give-up call']} (exception -> give-up "
              f"{found['give-up'] - found['Unhandled exception']:.1f} s)")
PY

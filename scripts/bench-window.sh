#!/usr/bin/env bash
# Time from process start to the installer's visible window, against a
# trivial Win32 dialog program under the same Wine, in one run: a warm-up and
# five counted starts of each, interleaved; medians and their ratio (target:
# at most 1.3). A third program, the trivial dialog after the user-interface
# environment that the installer must prepare before its window, shows how
# much of the difference that fixed part is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh win64-test > /dev/null
# The test build carries its debug information, which the shipped build does
# not; the installer reads its own file for the distribution tag, so it is
# measured stripped, as people run it.
mkdir -p build/win64-test/bench
x86_64-w64-mingw32-strip -o build/win64-test/bench/lite_installer.exe build/win64-test/lite_installer.exe
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1200x24" "$0" "$@"
fi
exec /usr/bin/python3 - <<'PY'
import os, statistics, subprocess, sys, time
from pathlib import Path
sys.path.insert(0, "testing/e2e")
from window_driver import WindowDriver
build = Path("build/win64-test")

class Wine:
    runner = build / "wine-run"
    def exe(self, name):
        return build / "tools" / name / f"{name}.exe"

driver = WindowDriver(Wine())
# Nothing answers the installer's download: it stays on its first screen.
programs = {"lite_installer.exe": build / "bench" / "lite_installer.exe",
            "trivial_dialog.exe": build / "tools" / "trivial_dialog" / "trivial_dialog.exe",
            "ui_floor_dialog.exe": build / "tools" / "trivial_dialog" / "ui_floor_dialog.exe"}
times = {name: [] for name in programs}
# The first start of each warms Wine's caches; it is not counted.
for round in range(int(os.environ.get("TX_BENCH_ROUNDS", "6"))):
    for name, path in programs.items():
        started = time.monotonic()
        # A standard user: no elevated copy is started at the window's opening.
        process = subprocess.Popen([str(build / "wine-run"), str(path)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env={**os.environ, "TX_TEST_NOT_ADMIN": "1"})
        driver.find(name, 60000)
        if round:
            times[name].append(time.monotonic() - started)
        driver.system_close()
        process.wait(timeout=120)
driver.close()
medians = {name: statistics.median(values) for name, values in times.items()}
for name, values in times.items():
    print(f"{name}: median {medians[name] * 1000:.0f} ms  ({', '.join(f'{v * 1000:.0f}' for v in values)})")
print(f"ratio: {medians['lite_installer.exe'] / medians['trivial_dialog.exe']:.2f} (target <= 1.3)")
print(f"the environment alone: {medians['ui_floor_dialog.exe'] / medians['trivial_dialog.exe']:.2f}"
      f" of the trivial dialog; the installer {medians['lite_installer.exe'] / medians['ui_floor_dialog.exe']:.2f}"
      " of that")
PY

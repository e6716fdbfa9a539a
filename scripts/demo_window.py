#!/usr/bin/python3
"""The interactive road of the demo: the installer's window under the X
display, clicked through like a person would, against the loopback test
server. Prints a short summary first (exit code, download, verification, the
setup's switches, statistics), then the details: the progress it saw, the
exit code line, the setup command line, the request count and where the
screenshots of each screen went. Run by `scripts/demo.sh --window`."""

import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[1]
BUILD = SOURCE / "build" / "win64-test"
sys.path.insert(0, str(SOURCE / "testing" / "server"))
sys.path.insert(0, str(SOURCE / "testing" / "e2e"))

from test_server import TestServer  # noqa: E402
from window_driver import WindowDriver  # noqa: E402

sys.path.insert(0, str(SOURCE / "scripts"))
from demo_summary import summary  # noqa: E402


class Wine:
    """The little of the tests' Wine runner that the driver needs."""

    def __init__(self, build):
        self.build_dir = build
        self.runner = build / "wine-run"

    def exe(self, name):
        return self.build_dir / "tools" / name / f"{name}.exe"


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def configured_port():
    """The port of the build's hosts (the preset's is 18443)."""
    cache = (BUILD / "CMakeCache.txt").read_text()
    match = re.search(r"^TX_CDN_HOST:\w*=localhost:(\d+)$", cache, re.MULTILINE)
    return int(match.group(1)) if match else 18443


def main():
    shots = Path(sys.argv[1]) if len(sys.argv) > 1 else SOURCE / "build" / "demo-window"
    shots.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp())
    files, temp = work / "files", work / "temp"
    (files / "browser" / "int").mkdir(parents=True)
    temp.mkdir()
    shutil.copy(BUILD / "testing" / "archives" / "browser-setup.arc",
                files / "browser" / "int" / "browser-setup.arc")
    server = TestServer(port=configured_port(), cert=BUILD / "pki" / "server.pem",
                        key=BUILD / "pki" / "server.key", files_dir=files,
                        log_path=work / "requests.jsonl", bind_timeout=60)
    server.start()
    wine = Wine(BUILD)
    driver = WindowDriver(wine)
    temp_windows = windows_path(temp) + "\\"
    env = [f"TMP={temp_windows}", f"TEMP={temp_windows}",
           f"TX_STANDIN_RECORD={windows_path(work / 'setup-command-line.txt')}",
           "TX_STANDIN_STAGES=1,2,3,4,5,6,7", "TX_STANDIN_STEP_MS=600",
           "TX_STANDIN_BROWSER_MS=6000", "TX_STANDIN_IMPORT_PROGRESS=25,50,75,100",
           "TX_STANDIN_BROWSER_CLOSE_WINDOW=1",
           f"TX_STANDIN_BROWSER_DIR={windows_path(work / 'browser')}"]
    process = subprocess.Popen(
        [str(wine.runner), str(BUILD / "tools" / "win_test_helper" / "win_test_helper.exe"),
         "run", *env, "--", windows_path(BUILD / "lite_installer.exe")],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    details = []
    try:
        driver.find()
        time.sleep(1)
        details.append("first screen: " + str(driver.screenshot(shots / "1-first-screen.png")))
        driver.click(1)
        time.sleep(1.5)
        details.append("progress screen: " + str(driver.screenshot(shots / "2-progress.png")))
        last = ""
        while process.poll() is None:
            text = driver.text(1055)
            if text and text != last:
                details.append("progress: " + text)
                last = text
                if text == "79%":
                    driver.screenshot(shots / "3-progress-79.png")
            time.sleep(0.3)
        out, _ = process.communicate(timeout=120)
        out = out.decode().strip()
        code = re.search(r"^exit_code=(-?\d+)\s*$", out, re.MULTILINE)
        command_line = work / "setup-command-line.txt"
        requests = [r.to_json() for r in server.requests()]
        print("== summary")
        for line in summary(int(code.group(1)) if code else None,
                            files / "browser" / "int" / "browser-setup.arc",
                            temp / "thin_installer.log", requests, command_line):
            print(line)
        print()
        print("== details")
        for line in details:
            print(line)
        print(out)
        print("setup command line:",
              command_line.read_text("utf-8", "replace")
              if command_line.exists() else "(the setup did not run)")
        print(f"requests the server saw: {len(requests)}")
        print("screenshots in", shots)
    finally:
        driver.close()
        if process.poll() is None:
            process.kill()
        server.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

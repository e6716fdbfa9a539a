"""Runs lite_installer.exe under wine64 with its own temporary directory, so
that each test reads a log of its own, and reports the full 32-bit exit code."""

import contextlib
import dataclasses
import hashlib
import os
import re
import subprocess
import time
from pathlib import Path

LOG_NAME = "thin_installer.log"
LINE = re.compile(
    r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) (\d+):(\d+) (INFO|ERROR|WARNING|LOGGING): (.*)$")
INSTALLER_KEY = "HKCU\\Software\\Tarnix\\TarnixBrowser"
MUTEX = "Local\\TarnixBrowserLiteInstallerMutex-E523E369-4A72-4B13-AD57-5B956174172A"


@dataclasses.dataclass
class Run:
    exit_code: int | None
    output: str
    log_path: Path

    @property
    def log(self):
        return self.log_path.read_text("utf-8", "replace") if self.log_path.exists() else ""

    def messages(self, pid=None):
        """The log lines' messages without location, optionally of one process."""
        out = []
        for line in self.log.splitlines():
            match = LINE.match(line)
            if match and (pid is None or int(match.group(2)) == pid):
                out.append(re.sub(r" \([A-Za-z_~]+:\d+\)$", "", match.group(5)))
        return out

    def pids(self):
        return sorted({int(m.group(2)) for m in map(LINE.match, self.log.splitlines()) if m})

    def pids_in_order(self):
        """The processes in the order of their first log line (Wine reuses
        ids, so a later process may have the smaller one)."""
        order = []
        for match in map(LINE.match, self.log.splitlines()):
            if match and int(match.group(2)) not in order:
                order.append(int(match.group(2)))
        return order


class InstallerRunner:
    def __init__(self, wine, build_dir, tmp_path):
        self.wine = wine
        self.exe = build_dir / "lite_installer.exe"
        self.helper = wine.exe("win_test_helper")
        self.temp = tmp_path / "temp"
        self.temp.mkdir()

    def env_args(self, env, temp):
        temp_windows = self.wine.windows_path(temp) + "\\"
        # Failing downloads retry without the real 15 s pauses.
        pairs = {"TMP": temp_windows, "TEMP": temp_windows, "TX_TEST_ATTEMPT_PAUSE_MS": "50",
                 **(env or {})}
        return [f"{k}={v}" for k, v in pairs.items()]

    @staticmethod
    def loader_env(env):
        """Wine reads its DLL load order when the Unix process starts, so an
        override must reach the launcher's environment too."""
        return {k: v for k, v in (env or {}).items() if k == "WINEDLLOVERRIDES"}

    def run(self, *args, env=None, exe=None, temp=None, timeout=120, cwd=None):
        temp = temp or self.temp
        result = self.wine(self.helper, "run", *self.env_args(env, temp), "--",
                           self.wine.windows_path(exe or self.exe), *args,
                           timeout=timeout, cwd=cwd, env=self.loader_env(env))
        code = result.fields().get("exit_code")
        return Run(int(code) if code is not None else None,
                   result.stdout + result.stderr, temp / LOG_NAME)

    def start(self, *args, env=None, exe=None):
        """Starts the installer in the background; answers the Popen."""
        command = [str(self.wine.runner), str(self.helper), "run",
                   *self.env_args(env, self.temp), "--",
                   self.wine.windows_path(exe or self.exe), *args]
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL,
                                env={**os.environ, **self.loader_env(env)})

    def helper_start(self, *args):
        """Starts win_test_helper and waits for its "ready" line."""
        process = subprocess.Popen([str(self.wine.runner), str(self.helper), *args],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   stdin=subprocess.DEVNULL)
        line = process.stdout.readline().decode().strip()
        assert line == "ready", f"win_test_helper {args} said {line!r}"
        return process

    def start_elevated_child(self, *extra, env=None):
        """Starts an elevated child as its parent would, under win_test_helper's
        events, and waits for the helper's "ready"; answers the helper process."""
        process = subprocess.Popen(
            [str(self.wine.runner), str(self.helper), "elevation", "none", "0",
             self.wine.windows_path(self.exe), "--run-as-admin",
             "--parent-installer-process-id={pid}", *extra],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            env={**os.environ, **(env or {})})
        assert process.stdout.readline().decode().strip() == "ready"
        return process

    def release_elevated_child(self, archive, env, *extra):
        """Starts a waiting elevated child with `extra`, releases it through
        the shared section with `archive` as the parent would, and answers
        the child's exit code as win_test_helper printed it."""
        self.clear_default_log()
        child = self.start_elevated_child(*extra, env=env)
        try:
            wait_for(lambda: "Start installer as admin" in self.default_log_messages(),
                     timeout=60)
            release = self.run("--tx-test-release-elevated-child=" +
                               self.wine.windows_path(archive), env=env)
            assert release.exit_code == 0
        finally:
            out, _ = child.communicate(timeout=120)
        return out.decode().split()[-1]

    def run_log_messages(self):
        return Run(None, "", self.temp / LOG_NAME).messages()

    def first_pid(self):
        """The process that logged first. Not the smallest id: Wine takes
        process and thread ids from one pool, so a later process may get the
        smaller id that an ended thread freed."""
        log = Run(None, "", self.temp / LOG_NAME).log
        return next(int(m.group(2)) for m in map(LINE.match, log.splitlines()) if m)

    def default_log_path(self):
        """The log in the prefix's own temporary directory, where a process
        started without TMP overrides writes."""
        users = self.wine.build_dir / "wineprefix" / "drive_c" / "users"
        found = sorted(users.glob(f"*/Temp/{LOG_NAME}")) or sorted(users.glob("*/Temp"))
        return found[0] if found[0].name == LOG_NAME else found[0] / LOG_NAME

    def default_log_messages(self):
        return Run(None, "", self.default_log_path()).messages()

    def clear_default_log(self):
        self.default_log_path().unlink(missing_ok=True)

    @contextlib.contextmanager
    def holding(self, *args):
        """Runs win_test_helper with `args` (ready first) for the block's length."""
        process = self.helper_start(*args)
        try:
            yield process
        finally:
            process.kill()
            process.wait()

    def registry_values(self):
        """The string values under the installer's key in the prefix."""
        result = subprocess.run([str(self.wine.runner), "reg", "query", INSTALLER_KEY],
                                capture_output=True, timeout=120)
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values

    def clear_registry_values(self):
        subprocess.run([str(self.wine.runner), "reg", "delete", INSTALLER_KEY, "/va", "/f"],
                       capture_output=True, timeout=120)

    def log_mutex_name(self, temp=None):
        # The installer names it GetTempPathW (with its own trailing
        # separator) + "\\" + the file name.
        path = self.wine.windows_path(temp or self.temp) + "\\\\" + LOG_NAME
        return "navupdater log " + hashlib.md5(path.encode("utf-8")).hexdigest().upper()


class StandinRecord:
    """The stand-in setup's record of the command line it received."""

    def __init__(self, installer, tmp_path):
        self.record = tmp_path / "standin_cmdline.txt"
        self.env = {"TX_STANDIN_RECORD": installer.wine.windows_path(self.record),
                    "TX_TEST_ATTEMPT_PAUSE_MS": "100"}

    @property
    def ran(self):
        return self.record.exists()

    def argv(self):
        """The arguments as CommandLineToArgvW split them in the setup."""
        path = self.record.with_name(self.record.name + ".argv")
        return path.read_text("utf-8").splitlines()

    def switches(self):
        """The recorded text and its switches (values without their quotes;
        the tests use no values with blanks)."""
        text = self.record.read_text("utf-8")
        pairs = ((part[2:].split("=", 1) + [""])[:2] for part in text.split()
                 if part.startswith("--"))
        return text, {name: value.strip('"') for name, value in pairs}


def wait_for(predicate, timeout=60, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("condition not met in time")

"""Fixtures shared by the end-to-end tests.

  build_dir, source_dir   the build tree (TX_BUILD_DIR) and the sources (TX_SOURCE_DIR)
  pki                     the test CA and the localhost server certificate
  wine                    runs a Windows program of the build under wine64
  server                  the test server on the port the test build talks to
  private_server          a test server of its own on a free port
  https                   http.client connections to a test server, trusting the test CA
  installer               runs lite_installer.exe with a temporary directory of its own
  archives                the signed stand-in setup archives and their manifest
  setup_record            what the stand-in setup received
  window_driver           works the installer's window by control id (needs an X display)
  screenshots             the folder where window tests leave their screenshots

ctest sets TX_BUILD_DIR and TX_SOURCE_DIR; run by hand, the defaults are this
checkout and its build/win64-test. TX_TEST_SERVER_PORT overrides the port of
`server` (it must match the hosts the build was configured with).
"""

import dataclasses
import http.client
import json
import os
import signal
import ssl
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ.get("TX_SOURCE_DIR") or Path(__file__).resolve().parents[2])
BUILD_DIR = Path(os.environ.get("TX_BUILD_DIR") or SOURCE_DIR / "build" / "win64-test")
SERVER_PORT = int(os.environ.get("TX_TEST_SERVER_PORT", "18443"))

sys.path.insert(0, str(SOURCE_DIR / "testing" / "server"))
from test_server import TestServer  # noqa: E402
from installer_run import InstallerRunner, StandinRecord  # noqa: E402
from window_driver import WindowDriver  # noqa: E402


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE_DIR


@pytest.fixture(scope="session")
def build_dir():
    if not (BUILD_DIR / "CMakeCache.txt").is_file():
        pytest.fail(f"no configured build in {BUILD_DIR} (cmake --preset win64-test)")
    return BUILD_DIR


@dataclasses.dataclass
class Pki:
    ca: Path  # PEM
    ca_der: Path
    server_cert: Path
    server_key: Path

    def client_context(self):
        """A TLS client context that trusts the test CA only."""
        return ssl.create_default_context(cafile=str(self.ca))


@pytest.fixture(scope="session")
def pki(build_dir):
    directory = build_dir / "pki"
    found = Pki(ca=directory / "ca.pem", ca_der=directory / "ca.der",
                server_cert=directory / "server.pem", server_key=directory / "server.key")
    missing = [p.name for p in dataclasses.astuple(found) if not p.is_file()]
    if missing:
        pytest.fail(f"test PKI incomplete in {directory} ({', '.join(missing)}): "
                    "build the tx_test_pki target")
    return found


@dataclasses.dataclass
class WineResult:
    args: list
    returncode: int | None  # None after a timeout; only the low 8 bits of the exit code
    stdout: str
    stderr: str
    timed_out: bool = False

    def fields(self):
        """The "key=value" lines of stdout as a dict."""
        pairs = (line.split("=", 1) for line in self.stdout.splitlines() if "=" in line)
        return {key.strip(): value.strip() for key, value in pairs}


class Wine:
    """Runs programs of the build under wine64, in the build's private prefix."""

    def __init__(self, build_dir):
        self.build_dir = build_dir
        self.runner = build_dir / "wine-run"

    def __call__(self, program, *args, timeout=120, env=None, cwd=None, check=False):
        """Runs `program` (a path, or the name of a program of the build) with
        `args` and waits at most `timeout` seconds; the process group is killed
        after that. With `check`, anything but exit code 0 fails the test."""
        command = [str(self.runner), str(self.exe(program)), *map(str, args)]
        process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            cwd=cwd, env={**os.environ, **(env or {})}, start_new_session=True)
        timed_out = False
        try:
            stdout, stderr = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            timed_out = True
            os.killpg(process.pid, signal.SIGKILL)
            stdout, stderr = process.communicate()
        result = WineResult(args=command,
                            returncode=None if timed_out else process.returncode,
                            stdout=stdout.decode("utf-8", "replace"),
                            stderr=stderr.decode("utf-8", "replace"),
                            timed_out=timed_out)
        if check and result.returncode != 0:
            pytest.fail(f"{command} ended with {result.returncode}"
                        f"{' (timed out)' if timed_out else ''}\n"
                        f"stdout:\n{result.stdout}\nstderr:\n{result.stderr}")
        return result

    def exe(self, program):
        """A path as it is, or the .exe of a program of the build found by name."""
        if isinstance(program, Path) or os.sep in str(program):
            return Path(program)
        name = program if program.endswith(".exe") else program + ".exe"
        for candidate in (self.build_dir / name, self.build_dir / "tools" / program / name):
            if candidate.is_file():
                return candidate
        found = sorted(self.build_dir.glob(f"**/{name}"))
        if not found:
            pytest.fail(f"{name} is not built in {self.build_dir}")
        return found[0]

    @staticmethod
    def windows_path(path):
        """The Windows form of a Linux path (drive Z: is the Linux root)."""
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    @property
    def prefix_ready(self):
        """True when the prefix exists and trusts the test CA."""
        return (self.build_dir / "wineprefix" / ".tx-ready").is_file()


@pytest.fixture(scope="session")
def wine(build_dir):
    runner = Wine(build_dir)
    if not runner.runner.is_file():
        pytest.fail(f"{runner.runner} missing: configure the build with the win64-test preset")
    return runner


@pytest.fixture(scope="session")
def _shared_server(pki):
    # Another test run on this machine may hold the port for a while.
    server = TestServer(port=SERVER_PORT, cert=pki.server_cert, key=pki.server_key,
                        bind_timeout=180)
    server.start()
    yield server
    server.stop()


@pytest.fixture
def server(_shared_server, tmp_path):
    """The test server on the port the test build talks to, with an empty
    files directory and request log of this test, and no faults."""
    files = tmp_path / "server-files"
    files.mkdir()
    _shared_server.reset(files_dir=files, log_path=tmp_path / "requests.jsonl")
    yield _shared_server
    _shared_server.close_connections()
    _shared_server.reset()


@pytest.fixture
def private_server(pki, tmp_path):
    """A test server of this test alone, on a free port."""
    files = tmp_path / "private-server-files"
    files.mkdir()
    with TestServer(port=0, cert=pki.server_cert, key=pki.server_key, files_dir=files,
                    log_path=tmp_path / "private-requests.jsonl") as server:
        yield server


@pytest.fixture
def https(pki):
    """https(server or port) -> http.client.HTTPSConnection to "localhost" on
    that port, trusting the test CA; closed after the test."""
    connections = []

    def connect(server, timeout=30):
        port = server if isinstance(server, int) else server.port
        connection = http.client.HTTPSConnection("localhost", port, timeout=timeout,
                                                 context=pki.client_context())
        connections.append(connection)
        return connection

    yield connect
    for connection in connections:
        connection.close()


@pytest.fixture
def installer(wine, build_dir, tmp_path):
    return InstallerRunner(wine, build_dir, tmp_path)


@pytest.fixture(scope="session")
def archives(build_dir):
    directory = build_dir / "testing" / "archives"
    manifest = json.loads((directory / "variants.json").read_text())
    return directory, {a["file"]: a for a in manifest["archives"]}


@pytest.fixture
def setup_record(installer, tmp_path):
    return StandinRecord(installer, tmp_path)


@pytest.fixture
def window_driver(wine):
    if not os.environ.get("DISPLAY"):
        pytest.fail("the window tests need an X display (run them under xvfb-run)")
    driver = WindowDriver(wine)
    yield driver
    driver.close()


@pytest.fixture(scope="session")
def screenshots(build_dir):
    """Screenshots are test artifacts, kept in the build tree for people to
    look at."""
    folder = build_dir / "testing" / "screenshots"
    folder.mkdir(parents=True, exist_ok=True)
    return folder

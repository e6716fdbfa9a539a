#!/usr/bin/python3
"""Loopback HTTPS server that stands in for every host the installer talks to.

One port serves every host kind, routed by path:

  GET  /browser/...                         CDN: files under the files directory
  GET  /content/get/experiments/browser.proto   variations seed (with X-Seed-Signature)
  GET  /configs/all_zip                      server configuration bundle
  GET  /ab/get/abt_config                    A/B-test configuration
  GET  /installstats/send/...                statistics: 200, body never read
  GET  /get/browser/install                  installation-finished report: 200
  POST /submit                               crash report: body stored, 200

A canned answer set with set_response() wins over a file, a file in the files
directory (at the URL path) wins over the built-in answer, and anything else
is 404. Every request is recorded. Faults (add_fault) make chosen paths fail
the way real networks do; ranged GETs get correct 206 answers unless a fault
says otherwise. Every 200 answer carries an ETag made from its body (files
also a Last-Modified), and a Range whose If-Range no longer matches gets the
whole current body, as real servers do.

In-process use (pytest):

    server = TestServer(port=0, cert=..., key=..., files_dir=...).start()
    server.put_file("/browser/tarnix/browser-setup.arc", data)
    server.add_fault("/browser/*", status=500, times=1)
    ...
    server.requests("/browser/tarnix/browser-setup.arc")
    server.stop()

Out of process: run this file (see --help); it prints a "ready" line, and
/__control takes the same settings as JSON:

    POST /__control {"op": "fault", "path": "/browser/*", "cut_after": 1000}
    POST /__control {"op": "response", "path": "/ab/get/abt_config", "body": "{}"}
    POST /__control {"op": "reset"}
    GET  /__control/requests     recorded requests as JSON
"""

import argparse
import base64
import dataclasses
import email.utils
import hashlib
import json
import mimetypes
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

DEFAULT_PORT = 18443
CONTROL_PATH = "/__control"
REDIRECT_PREFIX = "/__redirect/"

# Built-in answers of the API hosts; a test replaces them with set_response().
SEED_PATH = "/content/get/experiments/browser.proto"
DEFAULT_SEED_BODY = b"tarnix test variations seed"
DEFAULT_SEED_HEADERS = {
    "X-Seed-Signature": "dGVzdC1zZWVkLXNpZ25hdHVyZQ==",
    "Last-Modified": "Tue, 01 Dec 2026 10:00:00 GMT",
    "X-Country": "nl",
}
# An empty zip archive (end-of-central-directory record only).
DEFAULT_CONFIG_BUNDLE = b"PK\x05\x06" + b"\x00" * 18
DEFAULT_ABT_BODY = b'{"experiments":[]}'
# The installer saves the A/B-test answer like the seed, signature included.
DEFAULT_ABT_HEADERS = {"Content-Type": "application/json",
                       "X-Seed-Signature": "dGVzdC1hYnQtc2lnbmF0dXJl"}


@dataclasses.dataclass
class Response:
    status: int = 200
    body: bytes = b""
    headers: dict = dataclasses.field(default_factory=dict)


@dataclasses.dataclass
class Fault:
    """How to misbehave on requests whose path matches `path`.

    `path` matches the URL path without the query: exactly, or as a prefix
    when it ends with "*". Faults are tried in the order they were added; the
    first one that matches and is not used up applies to the request.
    """

    path: str
    method: str | None = None  # only this method; None: any
    times: int | None = None  # applies to the first `times` matches only
    status: int | None = None  # answer this status (with a short body)
    body: bytes | None = None  # with `status`: this body; without: the file's content instead
    headers: dict = dataclasses.field(default_factory=dict)  # extra response headers
    delay: float = 0.0  # seconds before the status line
    redirects: int = 0  # redirect answers: the request, then redirects-1 hop paths
    redirect_status: int = 302
    redirect_to: str | None = None  # final target; default the requested URL
    absolute_redirect: bool = False  # Location with scheme and host
    cut_after: int | None = None  # close the connection after N body bytes
    cut_fraction: float | None = None  # ... or after this fraction of the body
    no_content_length: bool = False  # body delimited by closing the connection
    chunked: bool = False  # Transfer-Encoding: chunked
    ignore_range: bool = False  # answer Range requests with 200 and everything
    chunk_size: int = 16384
    chunk_delay: float = 0.0  # seconds between body chunks
    stall: float | None = None  # send headers, then nothing for this long, then close
    stall_after: int = 0  # with `stall`: body bytes sent before stalling
    hits: int = dataclasses.field(default=0, compare=False)

    def __post_init__(self):
        if isinstance(self.body, str):
            self.body = self.body.encode()
        if self.cut_after is not None and self.cut_fraction is not None:
            raise ValueError("cut_after and cut_fraction exclude each other")
        if self.cut_fraction is not None and not 0 <= self.cut_fraction <= 1:
            raise ValueError("cut_fraction must be within 0..1")
        if self.redirects < 0 or (self.times is not None and self.times < 0):
            raise ValueError("redirects and times cannot be negative")
        if self.redirects and self.redirect_status not in (301, 302, 303, 307, 308):
            raise ValueError("redirect_status must be a redirect status")
        if self.chunk_size <= 0:
            raise ValueError("chunk_size must be positive")

    def matches(self, method, path):
        if self.method is not None and self.method != method:
            return False
        # Redirect hops belong to the fault that made them, not to "/*".
        if path.startswith(REDIRECT_PREFIX) and not self.path.startswith(REDIRECT_PREFIX):
            return False
        if self.path.endswith("*"):
            return path.startswith(self.path[:-1])
        return path == self.path

    def used_up(self):
        return self.times is not None and self.hits >= self.times

    def describe(self):
        fields = {f.name: getattr(self, f.name) for f in dataclasses.fields(self)
                  if f.name not in ("hits", "path")}
        defaults = Fault(path=self.path)
        changed = {k: v for k, v in fields.items() if getattr(defaults, k) != v}
        return ", ".join(f"{k}={v!r}" for k, v in changed.items())


@dataclasses.dataclass
class RecordedRequest:
    method: str
    path: str  # with the query
    headers: list  # (name, value) pairs as received
    body: bytes
    time: float  # time.time() when the request was read
    connection: int  # same number: same TCP connection (keep-alive)
    status: int | None = None  # what was answered (None: nothing sent)
    bytes_sent: int = 0  # body bytes sent
    fault: str | None = None  # description of the fault applied
    # With a chunked request body: each chunk's size line as received.
    chunk_lines: list = dataclasses.field(default_factory=list)

    @property
    def body_size(self):
        return len(self.body)

    @property
    def path_only(self):
        return self.path.split("?", 1)[0]

    @property
    def query(self):
        """The query as a dict of lists, as urllib.parse.parse_qs gives it."""
        return urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query,
                                     keep_blank_values=True)

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def to_json(self):
        return {
            "method": self.method,
            "path": self.path,
            "headers": self.headers,
            "body_size": self.body_size,
            "body_base64": base64.b64encode(self.body).decode(),
            "time": self.time,
            "connection": self.connection,
            "status": self.status,
            "bytes_sent": self.bytes_sent,
            "fault": self.fault,
            "chunk_lines": self.chunk_lines,
        }


class _ConnectionAborted(Exception):
    """The client went away, or a fault closed the connection on purpose."""


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TarnixTestServer/1.0"
    # An idle keep-alive connection is dropped after this many seconds.
    timeout = 60

    def log_message(self, format, *args):
        if self.server.owner.verbose:
            super().log_message(format, *args)

    def do_GET(self):
        self._handle()

    do_HEAD = do_POST = do_PUT = do_DELETE = do_OPTIONS = do_GET

    # -- request -------------------------------------------------------------

    def _read_body(self):
        self._chunk_lines = []
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            body = bytearray()
            while True:
                line = self.rfile.readline()
                self._chunk_lines.append(line.rstrip(b"\r\n").decode("latin-1"))
                size = int(line.split(b";", 1)[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(body)
                body += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _handle(self):
        owner = self.server.owner
        body = self._read_body()
        path = self.path
        if path == CONTROL_PATH or path.startswith(CONTROL_PATH + "/"):
            self._handle_control(path, body)
            return
        # Stalls and delays end early when the test resets the server or stops it.
        self._interrupt, generation = owner._current_generation()
        record = owner._record(self.command, path, list(self.headers.items()), body,
                               self._chunk_lines)
        fault = owner._take_fault(self.command, record.path_only)
        if fault is not None:
            record.fault = fault.describe()
        try:
            response = self._respond_to(record, fault)
            self._send(record, response, fault)
        except _ConnectionAborted:
            self.close_connection = True
        finally:
            owner._finish(record, generation)

    # -- answers -------------------------------------------------------------

    def _respond_to(self, record, fault):
        owner = self.server.owner
        if fault is not None and fault.delay:
            self._interrupt.wait(fault.delay)
        if fault is not None and fault.redirects:
            target = fault.redirect_to or record.path
            return self._redirect(fault.redirects, target, fault.redirect_status,
                                  fault.absolute_redirect)
        if fault is not None and fault.status is not None:
            body = fault.body if fault.body is not None else (
                f"test server fault: status {fault.status}\n".encode())
            return Response(fault.status, body, {"Content-Type": "text/plain"})
        if fault is not None and fault.body is not None:
            # What the file held before it was replaced, say.
            return Response(200, fault.body)
        if record.path_only.startswith(REDIRECT_PREFIX):
            return self._redirect_hop(record.path)
        return owner._route(record.method, record.path_only, record.body)

    def _redirect(self, hops, target, status, absolute):
        # Each hop is a path of its own that knows the rest of the chain.
        if hops > 1:
            query = urllib.parse.urlencode(
                {"to": target, "s": status, "a": int(absolute)})
            location = f"{REDIRECT_PREFIX}{hops - 1}?{query}"
        else:
            location = target
        if absolute and location.startswith("/"):
            host = self.headers.get("Host") or f"localhost:{self.server.server_port}"
            location = f"https://{host}{location}"
        return Response(status, b"", {"Location": location})

    def _redirect_hop(self, path):
        split = urllib.parse.urlsplit(path)
        query = urllib.parse.parse_qs(split.query)
        try:
            hops = int(split.path[len(REDIRECT_PREFIX):])
            target = query["to"][0]
            status = int(query.get("s", ["302"])[0])
            absolute = query.get("a", ["0"])[0] == "1"
        except (ValueError, KeyError):
            return Response(400, b"bad redirect hop\n")
        return self._redirect(hops, target, status, absolute)

    # -- sending -------------------------------------------------------------

    def _send(self, record, response, fault):
        fault = fault or Fault(path="")
        status, body = response.status, response.body
        headers = {"Content-Type": "application/octet-stream"}
        headers.update(response.headers)
        total = len(body)
        range_header = self.headers.get("Range")
        if status == 200:
            headers.setdefault("ETag", '"%s"' % hashlib.sha256(body).hexdigest()[:20])
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in (headers.get("ETag"),
                                                     headers.get("Last-Modified")):
            range_header = None  # another version: all of the current one
        if status == 200 and self.command == "GET" and not fault.ignore_range:
            headers["Accept-Ranges"] = "bytes"
            if range_header:
                span = _parse_range(range_header, total)
                if span == "unsatisfiable":
                    status, body = 416, b""
                    headers["Content-Range"] = f"bytes */{total}"
                elif span is not None:
                    first, last = span
                    status, body = 206, body[first:last + 1]
                    headers["Content-Range"] = f"bytes {first}-{last}/{total}"
        headers.update(fault.headers)

        limit = len(body)
        if fault.cut_after is not None:
            limit = min(limit, fault.cut_after)
        elif fault.cut_fraction is not None:
            limit = int(len(body) * fault.cut_fraction)
        cut = limit < len(body)

        record.status = status
        self.send_response(status)
        if fault.chunked:
            headers["Transfer-Encoding"] = "chunked"
        elif fault.no_content_length:
            headers["Connection"] = "close"
        else:
            # A fault may announce a wrong length on purpose.
            headers.setdefault("Content-Length", str(len(body)))
        for name, value in headers.items():
            self.send_header(name, value)
        try:
            self.end_headers()
        except OSError as error:
            raise _ConnectionAborted() from error

        if self.command == "HEAD" or status in (204, 304):
            return
        stall_at = min(fault.stall_after, limit) if fault.stall is not None else None
        stop = limit if stall_at is None else stall_at
        sent = 0
        while sent < stop:
            end = min(sent + fault.chunk_size, stop)
            self._write_body(body[sent:end], fault.chunked)
            sent = record.bytes_sent = end
            if fault.chunk_delay and sent < stop:
                self._interrupt.wait(fault.chunk_delay)
        if stall_at is not None:
            self._interrupt.wait(fault.stall)
            self._abort()
        if cut:
            self._abort()
        if fault.chunked:
            self._write_or_abort(b"0\r\n\r\n")
        if fault.no_content_length:
            self._close_cleanly()

    def _write_body(self, data, chunked):
        if chunked:
            data = b"%x\r\n%s\r\n" % (len(data), data)
        self._write_or_abort(data)

    def _write_or_abort(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
        except (OSError, ValueError) as error:
            raise _ConnectionAborted() from error

    def _abort(self):
        """Drops the connection mid-answer, the way a broken network does."""
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        raise _ConnectionAborted()

    def _close_cleanly(self):
        """Ends a close-delimited body with a TLS close_notify, then closes."""
        self.close_connection = True
        try:
            self.connection.settimeout(0)
            self.connection.unwrap()
        except (OSError, ValueError):
            pass
        raise _ConnectionAborted()

    # -- control -------------------------------------------------------------

    def _handle_control(self, path, body):
        owner = self.server.owner
        try:
            if self.command == "GET" and path == CONTROL_PATH + "/requests":
                answer = {"requests": [r.to_json() for r in owner.requests()]}
            elif self.command == "GET" and path == CONTROL_PATH + "/faults":
                answer = {"faults": owner.faults()}
            elif self.command == "POST" and path == CONTROL_PATH:
                answer = owner._control(json.loads(body or b"{}"))
            else:
                raise ValueError(f"unknown control request {self.command} {path}")
            status, payload = 200, json.dumps(answer).encode()
        except (ValueError, TypeError, KeyError) as error:
            status, payload = 400, json.dumps({"error": str(error)}).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)


def _parse_range(value, total):
    """Answers (first, last) for one "bytes=" range, "unsatisfiable", or None
    when the header is to be ignored (malformed or several ranges)."""
    unit, _, ranges = value.partition("=")
    if unit.strip().lower() != "bytes" or "," in ranges:
        return None
    start, dash, end = ranges.strip().partition("-")
    if not dash:
        return None
    try:
        if start == "":
            suffix = int(end)
            if suffix <= 0:
                return "unsatisfiable"
            return (max(total - suffix, 0), total - 1) if total else "unsatisfiable"
        first = int(start)
        last = int(end) if end else total - 1
    except ValueError:
        return None
    if first >= total:
        return "unsatisfiable"
    if last < first:
        return None
    return first, min(last, total - 1)


class _Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, owner):
        self.owner = owner
        super().__init__(address, _Handler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so one slow
        # client cannot hold up the others.
        owner = self.owner
        request.settimeout(_Handler.timeout)
        try:
            tls = owner._tls.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError) as error:
            owner._note_tls_failure(error)
            return
        owner._connection_opened(tls)
        try:
            _Handler(tls, client_address, self)
        except (OSError, ssl.SSLError):
            pass
        finally:
            owner._connection_closed(tls)
            try:
                tls.close()
            except OSError:
                pass


class TestServer:
    """The test server; see the module description."""

    __test__ = False  # not a pytest test class

    def __init__(self, port=DEFAULT_PORT, cert=None, key=None, files_dir=None,
                 log_path=None, host="127.0.0.1", verbose=False, bind_timeout=0.0):
        self.verbose = verbose
        self.files_dir = Path(files_dir) if files_dir else None
        self.log_path = Path(log_path) if log_path else None
        self.tls_failures = []
        self._requested_port = port
        self._host = host
        self._bind_timeout = bind_timeout
        self._tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self._tls.load_cert_chain(cert, key)
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._interrupt = threading.Event()
        self._generation = 0
        self._records = []
        self._faults = []
        self._responses = {}
        self._connections = {}
        self._local = threading.local()
        self._next_connection = 1
        self._httpd = None
        self._port = None
        self._thread = None

    # -- lifetime ------------------------------------------------------------

    def start(self):
        """Binds and serves on a thread of its own. When the port is busy it
        keeps trying for `bind_timeout` seconds (another test run may hold it)."""
        deadline = time.monotonic() + self._bind_timeout
        while True:
            try:
                self._httpd = _Server((self._host, self._requested_port), self)
                self._port = self._httpd.server_address[1]
                break
            except OSError as error:
                if time.monotonic() >= deadline:
                    raise OSError(f"test server cannot listen on {self._host}:"
                                  f"{self._requested_port}: {error}") from error
                time.sleep(0.5)
        self._interrupt = threading.Event()
        self._thread = threading.Thread(target=self._httpd.serve_forever,
                                        kwargs={"poll_interval": 0.1},
                                        name="test-server", daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Stops serving and drops every connection. May be called from any
        thread, more than once."""
        with self._lock:
            httpd, self._httpd = self._httpd, None
        if httpd is None:
            return
        self._interrupt.set()  # ends stalls and delays at once
        httpd.shutdown()
        self.close_connections()
        httpd.server_close()
        self._thread.join()

    def close_connections(self):
        """Drops every open connection (idle keep-alive ones included)."""
        with self._lock:
            connections = list(self._connections.values())
        for tls in connections:
            try:
                tls.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._port

    @property
    def base_url(self):
        return f"https://localhost:{self.port}"

    def url(self, path):
        return self.base_url + path

    # -- configuration -------------------------------------------------------

    def reset(self, files_dir=None, log_path=None):
        """Forgets faults, canned answers and records, and ends running stalls
        and delays; optionally switches the files directory and the request log."""
        with self._lock:
            interrupt, self._interrupt = self._interrupt, threading.Event()
            self._generation += 1
            self._faults.clear()
            self._responses.clear()
            self._records.clear()
            self.tls_failures.clear()
            if files_dir is not None:
                self.files_dir = Path(files_dir)
            if log_path is not None:
                self.log_path = Path(log_path)
        interrupt.set()

    def add_fault(self, path, **settings):
        """Adds a fault (see Fault for the settings) and returns it; its `hits`
        counts the requests it applied to."""
        fault = Fault(path=path, **settings)
        with self._lock:
            self._faults.append(fault)
        return fault

    def clear_faults(self):
        with self._lock:
            self._faults.clear()

    def faults(self):
        with self._lock:
            return [{"path": f.path, "settings": f.describe(), "hits": f.hits}
                    for f in self._faults]

    def set_response(self, path, body=b"", status=200, headers=None):
        """Answers GETs and POSTs of exactly `path` with this, instead of a
        file or the built-in answer."""
        if isinstance(body, str):
            body = body.encode()
        with self._lock:
            self._responses[path] = Response(status, body, dict(headers or {}))

    def put_file(self, url_path, data):
        """Writes a file that GET `url_path` then serves; answers its path."""
        target = self._file_for(url_path)
        if target is None:
            raise ValueError(f"no files directory, or a path outside it: {url_path}")
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data.encode() if isinstance(data, str) else data)
        return target

    # -- records -------------------------------------------------------------

    def requests(self, path=None, method=None):
        """Recorded requests in arrival order. `path` filters like a fault path
        (exact, or a prefix ending in "*") on the path without the query."""
        with self._lock:
            return self._matching(path, method)

    def wait_for_requests(self, path=None, count=1, method=None, timeout=30.0):
        """Waits until at least `count` matching requests have arrived and
        returns them; raises TimeoutError otherwise."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                found = self._matching(path, method)
                if len(found) >= count:
                    return found
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError(f"{len(found)} of {count} requests for {path!r} "
                                       f"after {timeout} s")
                self._changed.wait(remaining)

    def read_log(self):
        """The request log file's entries as dicts (without request bodies)."""
        if self.log_path is None or not self.log_path.is_file():
            return []
        with self._lock, open(self.log_path, encoding="utf-8") as log:
            return [json.loads(line) for line in log if line.strip()]

    def _matching(self, path, method):
        matcher = Fault(path=path) if path is not None else None
        return [r for r in self._records
                if (method is None or r.method == method)
                and (matcher is None or matcher.matches(r.method, r.path_only))]

    # -- used by the handler -------------------------------------------------

    def _record(self, method, path, headers, body, chunk_lines=()):
        record = RecordedRequest(method=method, path=path, headers=headers, body=body,
                                 time=time.time(), connection=self._local_connection(),
                                 chunk_lines=list(chunk_lines))
        with self._changed:
            self._records.append(record)
            self._changed.notify_all()
        return record

    def _finish(self, record, generation):
        with self._changed:
            self._changed.notify_all()
            # A request that outlived a reset belongs to the previous test's log.
            log_path = self.log_path if generation == self._generation else None
        if log_path is not None:
            line = json.dumps({k: v for k, v in record.to_json().items() if k != "body_base64"})
            with self._lock, open(log_path, "a", encoding="utf-8") as log:
                log.write(line + "\n")

    def _take_fault(self, method, path):
        with self._lock:
            for fault in self._faults:
                if fault.matches(method, path) and not fault.used_up():
                    fault.hits += 1
                    return fault
        return None

    def _route(self, method, path, body):
        with self._lock:
            canned = self._responses.get(path)
        if canned is not None:
            return canned
        if method in ("GET", "HEAD"):
            target = self._file_for(path)
            if target is not None and target.is_file():
                content_type = mimetypes.guess_type(target.name)[0] or "application/octet-stream"
                modified = email.utils.formatdate(target.stat().st_mtime, usegmt=True)
                return Response(200, target.read_bytes(),
                                {"Content-Type": content_type, "Last-Modified": modified})
            if path == SEED_PATH:
                return Response(200, DEFAULT_SEED_BODY, dict(DEFAULT_SEED_HEADERS))
            if path == "/configs/all_zip":
                return Response(200, DEFAULT_CONFIG_BUNDLE, {"Content-Type": "application/zip"})
            if path == "/ab/get/abt_config":
                return Response(200, DEFAULT_ABT_BODY, dict(DEFAULT_ABT_HEADERS))
            if path.startswith("/installstats/send/") or path == "/get/browser/install":
                return Response(200, b"ok", {"Content-Type": "text/plain"})
        if method == "POST" and path == "/submit":
            return Response(200, b"test-crash-report-id", {"Content-Type": "text/plain"})
        return Response(404, b"not found\n", {"Content-Type": "text/plain"})

    def _file_for(self, url_path):
        if self.files_dir is None:
            return None
        relative = urllib.parse.unquote(url_path.split("?", 1)[0]).lstrip("/")
        root = self.files_dir.resolve()
        target = (root / relative).resolve()
        if target != root and root not in target.parents:
            return None
        return target

    def _control(self, command):
        op = command.pop("op", None)
        if op == "reset":
            self.reset()
        elif op == "fault":
            if "body" in command and isinstance(command["body"], str):
                command["body"] = command["body"].encode()
            self.add_fault(command.pop("path"), **command)
        elif op == "clear_faults":
            self.clear_faults()
        elif op == "response":
            body = command.get("body", "").encode()
            if "body_base64" in command:
                body = base64.b64decode(command["body_base64"])
            self.set_response(command["path"], body, command.get("status", 200),
                              command.get("headers"))
        else:
            raise ValueError(f"unknown op {op!r}")
        return {"ok": True}

    def _current_generation(self):
        with self._lock:
            return self._interrupt, self._generation

    def _local_connection(self):
        return getattr(self._local, "connection", 0)

    def _connection_opened(self, tls):
        with self._lock:
            number = self._next_connection
            self._next_connection += 1
            self._connections[number] = tls
        self._local.connection = number

    def _connection_closed(self, tls):
        with self._lock:
            self._connections.pop(self._local.connection, None)

    def _note_tls_failure(self, error):
        with self._lock:
            self.tls_failures.append(str(error))


def main(argv=None):
    here = Path(__file__).resolve().parent
    build_dir = Path(os.environ.get("TX_BUILD_DIR", here.parent.parent / "build" / "win64-test"))
    parser = argparse.ArgumentParser(description="Loopback HTTPS test server.")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT, help="0: any free port")
    parser.add_argument("--files", type=Path, help="directory served at the URL paths")
    parser.add_argument("--cert", type=Path, default=build_dir / "pki" / "server.pem")
    parser.add_argument("--key", type=Path, default=build_dir / "pki" / "server.key")
    parser.add_argument("--log", type=Path, help="append every request as a JSON line")
    parser.add_argument("--verbose", action="store_true", help="log requests to stderr")
    args = parser.parse_args(argv)

    server = TestServer(port=args.port, cert=args.cert, key=args.key, files_dir=args.files,
                        log_path=args.log, verbose=args.verbose).start()
    print(f"ready {server.base_url}/", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

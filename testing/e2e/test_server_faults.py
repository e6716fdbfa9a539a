"""The test server itself: routing, recording, ranges and every fault kind,
seen through Python's own HTTPS client (no Wine involved)."""

import http.client
import json
import os
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

import pytest
from test_server import TestServer

SETUP = "/browser/tarnix/browser-setup.arc"
BODY = bytes(range(256)) * 40  # 10240 bytes, every offset distinguishable


def get(connection, path, method="GET", body=None, headers=None):
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    return response, response.read()


@pytest.fixture
def srv(private_server):
    private_server.put_file(SETUP, BODY)
    return private_server


class TestRouting:
    @pytest.mark.parametrize("method, path, status, expected_body", [
        ("GET", SETUP + "?from_installer=true", 200, BODY),
        ("GET", "/browser/tarnix/missing.arc", 404, None),
        ("GET", "/configs/all_zip?brandID=1&partnerID=2", 200, b"PK\x05\x06" + b"\0" * 18),
        ("GET", "/ab/get/abt_config?brand=tarnix", 200, b'{"experiments":[]}'),
        ("GET", "/installstats/send/dtype=stred/pid=457/cid=1/path=x", 200, b"ok"),
        ("GET", "/get/browser/install?ui={1}&result=success", 200, b"ok"),
        ("POST", "/submit?product=x", 200, b"test-crash-report-id"),
        ("GET", "/submit", 404, None),
        ("GET", "/browser/" + "../" * 30 + "etc/passwd", 404, None),
        ("GET", "/nothing/here", 404, None),
    ])
    def test_paths(self, srv, https, method, path, status, expected_body):
        response, body = get(https(srv), path, method=method,
                             body=b"x" if method == "POST" else None)
        assert response.status == status
        if expected_body is not None:
            assert body == expected_body
            assert response.getheader("Content-Length") == str(len(expected_body))

    def test_seed_comes_with_signature_headers(self, srv, https):
        response, body = get(https(srv), "/content/get/experiments/browser.proto?brand=t")
        assert response.status == 200 and body
        assert response.getheader("X-Seed-Signature")
        assert response.getheader("Last-Modified")
        assert response.getheader("X-Country")

    def test_canned_response_beats_file_and_builtin(self, srv, https):
        srv.set_response(SETUP, b"canned", headers={"X-Extra": "1"})
        srv.set_response("/ab/get/abt_config", b"", status=503)
        connection = https(srv)
        response, body = get(connection, SETUP)
        assert (response.status, body, response.getheader("X-Extra")) == (200, b"canned", "1")
        response, _ = get(connection, "/ab/get/abt_config")
        assert response.status == 503

    def test_file_beats_builtin_answer(self, srv, https):
        srv.put_file("/configs/all_zip", b"bundle from file")
        assert get(https(srv), "/configs/all_zip")[1] == b"bundle from file"


class TestRecording:
    def test_every_request_is_recorded_in_order(self, srv, https):
        before = time.time()
        connection = https(srv)
        get(connection, SETUP + "?from_installer=true", headers={"User-Agent": "probe"})
        get(connection, "/submit", method="POST", body=b"\x1f\x8b" + b"z" * 98,
            headers={"Content-Type": "multipart/form-data; boundary=b"})
        get(connection, "/missing")
        after = time.time()

        first, second, third = srv.requests()
        assert (first.method, first.path, first.path_only) == (
            "GET", SETUP + "?from_installer=true", SETUP)
        assert first.query == {"from_installer": ["true"]}
        assert first.header("user-agent") == "probe"
        assert (first.status, first.bytes_sent, first.body_size) == (200, len(BODY), 0)
        assert (second.method, second.body_size, second.body[:2]) == ("POST", 100, b"\x1f\x8b")
        assert second.header("Content-Type").startswith("multipart/form-data")
        assert third.status == 404
        assert before <= first.time <= second.time <= third.time <= after
        # One keep-alive connection carried all three.
        assert first.connection == second.connection == third.connection

        logged = srv.read_log()
        assert [(e["method"], e["path"], e["status"], e["body_size"]) for e in logged] == [
            ("GET", SETUP + "?from_installer=true", 200, 0), ("POST", "/submit", 200, 100),
            ("GET", "/missing", 404, 0)]

    def test_filters_and_separate_connections(self, srv, https):
        get(https(srv), "/installstats/send/dtype=stred/pid=457/a")
        get(https(srv), "/installstats/send/dtype=stred/pid=457/b")
        get(https(srv), SETUP)
        stats = srv.requests("/installstats/send/*")
        assert [r.path.rsplit("/", 1)[1] for r in stats] == ["a", "b"]
        assert stats[0].connection != stats[1].connection
        assert srv.requests(SETUP, method="POST") == []
        assert len(srv.wait_for_requests("/installstats/send/*", count=2, timeout=1)) == 2
        with pytest.raises(TimeoutError):
            srv.wait_for_requests("/installstats/send/*", count=3, timeout=0.2)

    def test_control_requests_are_not_recorded(self, srv, https):
        get(https(srv), "/__control", method="POST", body=b'{"op": "clear_faults"}')
        get(https(srv), "/__control/requests")
        assert srv.requests() == []


class TestRanges:
    @pytest.mark.parametrize("range_header, first, last", [
        ("bytes=100-", 100, len(BODY) - 1),
        ("bytes=0-9", 0, 9),
        ("bytes=10000-99999", 10000, len(BODY) - 1),
        ("bytes=-16", len(BODY) - 16, len(BODY) - 1),
    ])
    def test_partial_answer(self, srv, https, range_header, first, last):
        response, body = get(https(srv), SETUP, headers={"Range": range_header})
        assert response.status == 206
        assert response.getheader("Content-Range") == f"bytes {first}-{last}/{len(BODY)}"
        assert response.getheader("Content-Length") == str(last - first + 1)
        assert body == BODY[first:last + 1]

    def test_range_past_the_end_is_unsatisfiable(self, srv, https):
        response, body = get(https(srv), SETUP, headers={"Range": f"bytes={len(BODY)}-"})
        assert (response.status, body) == (416, b"")
        assert response.getheader("Content-Range") == f"bytes */{len(BODY)}"

    def test_ignored_range_answers_everything(self, srv, https):
        srv.add_fault(SETUP, ignore_range=True)
        response, body = get(https(srv), SETUP, headers={"Range": "bytes=100-"})
        assert (response.status, body) == (200, BODY)
        assert response.getheader("Content-Range") is None

    def test_if_range_names_the_version_the_range_belongs_to(self, srv, https):
        connection = https(srv)
        response, _ = get(connection, SETUP)
        etag, modified = response.getheader("ETag"), response.getheader("Last-Modified")
        assert etag.startswith('"') and modified
        for validator in (etag, modified):
            response, body = get(connection, SETUP,
                                 headers={"Range": "bytes=100-", "If-Range": validator})
            assert (response.status, body) == (206, BODY[100:])
        # Another version: all of the current one, with its own tag.
        srv.put_file(SETUP, BODY[::-1])
        response, body = get(connection, SETUP, headers={"Range": "bytes=100-", "If-Range": etag})
        assert (response.status, body) == (200, BODY[::-1])
        assert response.getheader("ETag") not in (None, etag)

    def test_body_fault_serves_an_older_file(self, srv, https):
        srv.add_fault(SETUP, body=b"older", times=1)
        connection = https(srv)
        older, body = get(connection, SETUP)
        assert (older.status, body) == (200, b"older")
        current, body = get(connection, SETUP)
        assert body == BODY and older.getheader("ETag") != current.getheader("ETag")

    def test_ranges_apply_to_builtin_answers_too(self, srv, https):
        response, body = get(https(srv), "/ab/get/abt_config", headers={"Range": "bytes=2-"})
        assert (response.status, body) == (206, b'{"experiments":[]}'[2:])


class TestFaults:
    @pytest.mark.parametrize("status", [404, 500, 503])
    def test_status_applies_to_its_path_only(self, srv, https, status):
        srv.add_fault("/browser/*", status=status)
        connection = https(srv)
        assert get(connection, SETUP)[0].status == status
        # Error answers keep the connection usable, and other paths are untouched.
        assert get(connection, "/get/browser/install")[0].status == 200
        assert srv.requests()[0].connection == srv.requests()[1].connection

    def test_one_shot_faults_run_in_order_then_expire(self, srv, https):
        first = srv.add_fault(SETUP, status=500, times=1)
        second = srv.add_fault(SETUP, status=404, times=2)
        connection = https(srv)
        statuses = [get(connection, SETUP)[0].status for _ in range(5)]
        assert statuses == [500, 404, 404, 200, 200]
        assert (first.hits, second.hits) == (1, 2)

    def test_method_limited_fault(self, srv, https):
        srv.add_fault("/submit", method="POST", status=500)
        assert get(https(srv), "/submit", method="POST", body=b"x")[0].status == 500
        assert get(https(srv), "/get/browser/install")[0].status == 200

    @pytest.mark.parametrize("settings, sent", [
        ({"cut_after": 1000}, 1000),
        ({"cut_fraction": 0.5}, len(BODY) // 2),
        ({"cut_after": 0}, 0),
    ])
    def test_cut_body_announces_everything_then_closes(self, srv, https, settings, sent):
        srv.add_fault(SETUP, **settings)
        connection = https(srv)
        connection.request("GET", SETUP)
        response = connection.getresponse()
        assert response.getheader("Content-Length") == str(len(BODY))
        with pytest.raises(http.client.IncompleteRead) as cut:
            response.read()
        assert cut.value.partial == BODY[:sent]
        assert srv.requests()[0].bytes_sent == sent

    def test_cut_applies_to_a_ranged_answer(self, srv, https):
        srv.add_fault(SETUP, cut_after=10)
        connection = https(srv)
        connection.request("GET", SETUP, headers={"Range": "bytes=5000-"})
        response = connection.getresponse()
        assert response.status == 206
        with pytest.raises(http.client.IncompleteRead) as cut:
            response.read()
        assert cut.value.partial == BODY[5000:5010]

    def test_no_content_length_ends_the_body_by_closing(self, srv, https):
        srv.add_fault(SETUP, no_content_length=True)
        response, body = get(https(srv), SETUP)
        assert response.getheader("Content-Length") is None
        assert response.getheader("Transfer-Encoding") is None
        assert body == BODY and response.will_close

    def test_chunked_body(self, srv, https):
        srv.add_fault(SETUP, chunked=True, chunk_size=3000)
        connection = https(srv)
        response, body = get(connection, SETUP)
        assert response.getheader("Transfer-Encoding") == "chunked"
        assert body == BODY
        assert get(connection, SETUP)[1] == BODY  # the connection is still good

    def test_slow_body_and_delayed_headers(self, srv, https):
        srv.add_fault(SETUP, delay=0.3, chunk_size=4096, chunk_delay=0.2)
        started = time.monotonic()
        response, body = get(https(srv), SETUP)
        # 0.3 s before the headers, two pauses between three chunks.
        assert time.monotonic() - started >= 0.7
        assert body == BODY

    def test_stalled_body_sends_headers_then_nothing(self, srv, https):
        srv.add_fault(SETUP, stall=60, stall_after=100)
        connection = https(srv, timeout=1)
        connection.request("GET", SETUP)
        response = connection.getresponse()
        assert response.status == 200
        assert response.read(100) == BODY[:100]
        with pytest.raises(TimeoutError):
            response.read(1)
        # Meanwhile other connections are served.
        assert get(https(srv), "/get/browser/install")[0].status == 200

    @pytest.mark.parametrize("ending", ["stop", "reset"])
    def test_stop_or_reset_ends_a_stall_at_once(self, pki, tmp_path, https, ending):
        next_log = tmp_path / "next-test.jsonl"
        with TestServer(port=0, cert=pki.server_cert, key=pki.server_key, files_dir=tmp_path,
                        log_path=tmp_path / "this-test.jsonl") as server:
            server.put_file(SETUP, BODY)
            server.add_fault(SETUP, stall=60)
            connection = https(server, timeout=30)
            connection.request("GET", SETUP)
            response = connection.getresponse()
            started = time.monotonic()
            end = server.stop if ending == "stop" else (
                lambda: server.reset(files_dir=tmp_path, log_path=next_log))
            threading.Timer(0.2, end).start()
            with pytest.raises(http.client.IncompleteRead):
                response.read()
            assert time.monotonic() - started < 10
            if ending == "reset":
                # The stalled request stays out of the next test's records and log.
                get(https(server), "/get/browser/install")
                time.sleep(0.5)
                assert [r.path for r in server.requests()] == ["/get/browser/install"]
                assert [e["path"] for e in server.read_log()] == ["/get/browser/install"]


class TestRedirects:
    def follow(self, connection, path, limit=10):
        """Follows Location headers; answers the visited paths and the last response."""
        visited = [path]
        for _ in range(limit):
            response, body = get(connection, path)
            location = response.getheader("Location")
            if response.status not in (301, 302, 303, 307, 308):
                return visited, response, body
            split = urllib.parse.urlsplit(location)
            path = split.path + ("?" + split.query if split.query else "")
            visited.append(location)
        raise AssertionError(f"redirect loop: {visited}")

    def test_chain_through_other_paths_back_to_the_file(self, srv, https):
        srv.add_fault(SETUP, redirects=3, times=1)
        visited, response, body = self.follow(https(srv), SETUP + "?from_installer=true")
        assert (response.status, body) == (200, BODY)
        assert len(visited) == 4  # the request, two hops, the request again
        assert len(set(visited[:3])) == 3 and visited[-1] == visited[0]
        assert [r.status for r in srv.requests()] == [302, 302, 302, 200]

    def test_absolute_locations_and_status(self, srv, https):
        srv.add_fault(SETUP, redirects=2, redirect_status=301, absolute_redirect=True,
                      redirect_to="/browser/tarnix/mirror.arc")
        srv.put_file("/browser/tarnix/mirror.arc", b"mirror")
        visited, response, body = self.follow(https(srv), SETUP)
        assert body == b"mirror"
        assert all(v.startswith(f"https://localhost:{srv.port}/") for v in visited[1:])
        assert visited[-1].endswith("/browser/tarnix/mirror.arc")
        assert [r.status for r in srv.requests()] == [301, 301, 200]

    def test_endless_redirect_without_times(self, srv, https):
        srv.add_fault(SETUP, redirects=1)
        with pytest.raises(AssertionError, match="redirect loop"):
            self.follow(https(srv), SETUP, limit=5)


class TestControlEndpoint:
    def post(self, connection, command):
        response, body = get(connection, "/__control", method="POST",
                             body=json.dumps(command).encode())
        return response.status, json.loads(body)

    def test_faults_responses_records_and_reset(self, srv, https):
        control = https(srv)
        assert self.post(control, {"op": "fault", "path": SETUP, "status": 500, "times": 1,
                                   "headers": {"Retry-After": "1"}})[0] == 200
        assert self.post(control, {"op": "response", "path": "/ab/get/abt_config",
                                   "body": "{\"a\":1}"})[0] == 200
        client = https(srv)
        response, _ = get(client, SETUP)
        assert (response.status, response.getheader("Retry-After")) == (500, "1")
        assert get(client, SETUP)[0].status == 200
        assert get(client, "/ab/get/abt_config")[1] == b'{"a":1}'

        response, body = get(control, "/__control/requests")
        listed = json.loads(body)["requests"]
        assert [(r["path"], r["status"]) for r in listed] == [
            (SETUP, 500), (SETUP, 200), ("/ab/get/abt_config", 200)]

        assert self.post(control, {"op": "reset"})[0] == 200
        assert srv.requests() == [] and srv.faults() == []
        assert get(client, "/ab/get/abt_config")[1] == b'{"experiments":[]}'

    @pytest.mark.parametrize("command", [
        {"op": "explode"},
        {"op": "fault", "path": SETUP, "no_such_setting": 1},
        {"op": "fault", "path": SETUP, "cut_after": 1, "cut_fraction": 0.5},
        {"op": "fault", "status": 500},
    ])
    def test_bad_commands_are_refused(self, srv, https, command):
        status, answer = self.post(https(srv), command)
        assert status == 400 and answer["error"]
        assert srv.faults() == []


def test_runs_standalone(pki, tmp_path, https):
    files = tmp_path / "files"
    (files / "browser" / "x").mkdir(parents=True)
    (files / "browser" / "x" / "f.bin").write_bytes(b"standalone")
    log = tmp_path / "requests.jsonl"
    script = os.path.join(os.path.dirname(__file__), "..", "server", "test_server.py")
    process = subprocess.Popen(
        [sys.executable, script, "--port", "0", "--files", str(files), "--cert",
         str(pki.server_cert), "--key", str(pki.server_key), "--log", str(log)],
        stdout=subprocess.PIPE, text=True)
    try:
        ready = process.stdout.readline()
        assert ready.startswith("ready https://localhost:")
        port = int(ready.rsplit(":", 1)[1].strip("/\n"))
        response, body = get(https(port), "/browser/x/f.bin?q=1")
        assert (response.status, body) == (200, b"standalone")
        entries = [json.loads(line) for line in log.read_text().splitlines()]
        assert [(e["path"], e["status"]) for e in entries] == [("/browser/x/f.bin?q=1", 200)]
    finally:
        process.kill()
        process.wait()


def test_busy_port_is_reported(pki, private_server):
    from test_server import TestServer
    with pytest.raises(OSError, match="cannot listen"):
        TestServer(port=private_server.port, cert=pki.server_cert,
                   key=pki.server_key).start()
    # The running server is unharmed.
    with socket.create_connection(("127.0.0.1", private_server.port), timeout=5):
        pass

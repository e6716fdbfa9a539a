"""WinINet under wine64 against the test server: the private prefix trusts
the test CA, and the server's answers reach a Windows client intact."""

import os

import pytest

SETUP = "/browser/tarnix/browser-setup.arc"


@pytest.fixture
def setup_archive(server):
    data = os.urandom(300_000)
    server.put_file(SETUP, data)
    return data


@pytest.fixture
def fetch(wine, server):
    if not wine.prefix_ready:
        pytest.fail("the Wine prefix does not trust the test CA yet: "
                    "build the tx_e2e_fixtures target")

    def run(path, *args):
        result = wine("fetch_url", server.url(path), *args, timeout=120)
        assert not result.timed_out, result
        return result
    return run


def test_https_download_is_trusted_and_complete(fetch, wine, server, setup_archive, tmp_path):
    out = tmp_path / "downloaded.arc"
    result = fetch(SETUP + "?from_installer=true", wine.windows_path(out))
    assert result.returncode == 0, result.stderr
    assert result.fields() == {"status": "200", "content_length": str(len(setup_archive)),
                               "bytes": str(len(setup_archive))}
    assert out.read_bytes() == setup_archive
    (request,) = server.requests(SETUP)
    assert request.path == SETUP + "?from_installer=true"
    assert request.header("User-Agent") == "fetch_url"


def test_status_fault_reaches_the_client(fetch, server, setup_archive):
    fault = server.add_fault(SETUP, status=404)
    result = fetch(SETUP)
    assert result.returncode == 0, result.stderr
    assert result.fields()["status"] == "404"
    assert fault.hits == 1


def test_body_without_content_length(fetch, server, setup_archive):
    server.add_fault(SETUP, no_content_length=True)
    result = fetch(SETUP)
    assert result.returncode == 0, result.stderr
    assert result.fields() == {"status": "200", "content_length": "none",
                               "bytes": str(len(setup_archive))}


def test_redirect_chain_is_followed(fetch, server, setup_archive):
    server.add_fault(SETUP, redirects=3, times=1, absolute_redirect=True)
    result = fetch(SETUP)
    assert result.returncode == 0, result.stderr
    assert result.fields()["bytes"] == str(len(setup_archive))
    assert [r.status for r in server.requests()] == [302, 302, 302, 200]


def test_runner_kills_a_hung_program(fetch, wine, server, setup_archive):
    server.add_fault(SETUP, stall=120)
    hung = wine("fetch_url", server.url(SETUP), timeout=5)
    assert hung.timed_out and hung.returncode is None
    assert hung.fields()["status"] == "200"  # headers came, the body never did
    # The prefix stays usable.
    server.clear_faults()
    assert fetch(SETUP).fields()["bytes"] == str(len(setup_archive))

#!/usr/bin/python3
"""The few lines a person reads first after a demo run: how the installer
ended, what it downloaded and how fast, whether the archive's signature held
and whose it is, what the setup was told, and what the statistics and
report servers heard. Used by scripts/demo.sh and scripts/demo_window.py.

  demo_summary.py --exit-code N --archive FILE --log LOG --requests JSONL
                  [--setup-command-line FILE]
"""

import argparse
import datetime
import json
import re
import subprocess
import sys
import urllib.parse
from pathlib import Path

# What the installer's exit codes mean to whoever started it. Any other code
# is the setup's own, passed through after a direct run.
MEANINGS = {
    0: "success",
    -1: "the elevated run failed",
    -200: "refused: a system DLL was found in the working directory",
    400: "the installation did not finish",
    401: "the setup archive could not be downloaded",
    402: "the setup archive failed verification",
    403: "not enough disk space",
    404: "the processor is not supported",
    500: "the user cancelled",
    600: "another installer is running",
}
LOG_LINE = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \d+:\d+ \w+: (.*?)(?: \([\w~]+:\d+\))?$")
STATS_PATH = "/installstats/"
REPORT_PATH = "/get/browser/install"
SETUP_PATH = "/browser/"


def log_entries(log_path):
    """(time, message) of every log line."""
    entries = []
    text = log_path.read_text("utf-8", "replace") if log_path.exists() else ""
    for line in text.splitlines():
        match = LOG_LINE.match(line)
        if match:
            when = datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f")
            entries.append((when, match.group(2)))
    return entries


def first(entries, prefix):
    return next(((when, text) for when, text in entries if text.startswith(prefix)), None)


def exit_line(code, entries):
    if code is None:
        return "exit code: none (the installer did not end)"
    meaning = MEANINGS.get(code)
    elevated = first(entries, "The elevated installer has finished, success=")
    if code == 400 and elevated:
        # The elevated copy ran the setup; its exit code stays with that copy.
        meaning = ("the setup ran in the elevated copy, which reported success="
                   + elevated[1].rsplit("=", 1)[1])
    setup = first(entries, "Setup process exit with code: ")
    if setup:
        described = setup[1][len("Setup process exit with code: "):]
        meaning = f"{meaning or 'the setup exit code'} (the setup ended with {described})"
    return f"exit code: {code}, {meaning or 'the setup exit code'}"


def download_line(archive, requests, entries):
    size = archive.stat().st_size if archive.exists() else 0
    # Slides and install scenarios live under the same prefix; only the
    # archive's own requests count.
    served = [r for r in requests if r["path"].startswith(SETUP_PATH)
              and r["path"].split("?")[0].endswith(".arc")]
    sent = sum(r.get("bytes_sent") or 0 for r in served)
    # The download runs from the URL list to the downloaded module.
    start, end = first(entries, "Selected download urls:"), first(entries, "Module downloaded: ")
    timing = (f"in {(end[0] - start[0]).total_seconds():.2f} s" if start and end
              else "not completed")
    return (f"archive: {size:,} bytes, {sent:,} bytes served in {len(served)} request(s), "
            f"downloaded {timing}")


def signer(archive):
    """The archive's signer as osslsigncode reads it, or None."""
    result = subprocess.run(["osslsigncode", "verify", "-in", str(archive)],
                            capture_output=True, text=True)
    match = re.search(r"Signer's certificate:.*?Subject: (.*?)\n", result.stdout, re.DOTALL)
    if not match:
        return None
    subject = match.group(1)
    common_name = re.search(r"CN=([^/]+)", subject)
    return common_name.group(1) if common_name else subject


def verification_line(archive, entries):
    if first(entries, "Verification succeeded: "):
        result = "succeeded"
    elif first(entries, "Module verification failed: "):
        result = "FAILED"
    else:
        result = "not reached"
    name = signer(archive) if archive.exists() else None
    return f"verification: {result}; signed by {name or 'nobody'}"


def switches_line(command_line_file):
    if command_line_file is None or not command_line_file.exists():
        return "setup switches: (the setup did not run)"
    text = command_line_file.read_text("utf-8", "replace")
    shown = []
    for match in re.finditer(r'--([\w-]+)(?:=("[^"]*"|\S*))?', text):
        name, value = match.group(1), (match.group(2) or "").strip('"')
        # Paths are long and say little here; the details below show them.
        if "\\" in value or len(value) > 24:
            value = "…"
        shown.append(f"--{name}={value}" if value else f"--{name}")
    return "setup switches: " + " ".join(shown)


def statistics_line(requests):
    stats = [r for r in requests if r["path"].startswith(STATS_PATH)]
    reports = [r for r in requests if r["path"].startswith(REPORT_PATH)]
    if reports:
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(reports[-1]["path"]).query)
        fields = ", ".join(f"{key}={query[key][0]}" for key in
                           ("result", "time", "download_time", "install_time") if key in query)
        report = f"report {fields} (HTTP {reports[-1].get('status')})"
    else:
        report = "no report"
    return f"statistics: {len(stats)} request(s); {report}"


def summary(exit_code, archive, log_path, requests, command_line_file=None):
    entries = log_entries(log_path)
    return [exit_line(exit_code, entries),
            download_line(archive, requests, entries),
            verification_line(archive, entries),
            switches_line(command_line_file),
            statistics_line(requests)]


def read_requests(path):
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text("utf-8").splitlines() if line.strip()]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exit-code", default="")
    parser.add_argument("--archive", type=Path, required=True)
    parser.add_argument("--log", type=Path, required=True)
    parser.add_argument("--requests", type=Path, required=True)
    parser.add_argument("--setup-command-line", type=Path)
    args = parser.parse_args(argv)
    text = args.exit_code.strip()
    code = int(text) if re.fullmatch(r"-?\d+", text) else None
    for line in summary(code, args.archive, args.log, read_requests(args.requests),
                        args.setup_command_line):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# The installer's main job under wine64 against the loopback test server: the
# server offers the signed stand-in setup archive, `lite_installer.exe --silent`
# downloads, verifies and runs it in the build's private Wine prefix. This
# prints a short summary first (exit code, download, verification, the setup's
# switches, statistics), then the details: the exit code line, the setup
# command line the stand-in received, the requests the server saw and the
# installer's log.
#
#   scripts/demo.sh --window [FOLDER]   the interactive road instead: the window
#                                       under Xvfb, clicked through, with a
#                                       screenshot of each screen in FOLDER
#
# The server listens on the port the build's hosts name (18443 for the preset).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# A configured build keeps its settings (its hosts may name another port), and
# brings itself up to date quietly, so that the summary comes first.
if [ -f build/win64-test/CMakeCache.txt ]; then
  cmake --build --preset win64-test > build/win64-test/demo-build.log 2>&1 ||
    { cat build/win64-test/demo-build.log; exit 1; }
else
  scripts/build.sh win64-test
fi

if [ "${1:-}" = "--window" ]; then
  shift
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1200x24" /usr/bin/python3 scripts/demo_window.py "$@"
  fi
  exec /usr/bin/python3 scripts/demo_window.py "$@"
fi

build=build/win64-test
work=$(mktemp -d)
trap 'kill "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/files/browser/int" "$work/temp"
cp "$build/testing/archives/browser-setup.arc" "$work/files/browser/int/browser-setup.arc"

port=$(sed -n 's/^TX_CDN_HOST:[A-Z]*=localhost:\([0-9]*\)$/\1/p' "$build/CMakeCache.txt")
/usr/bin/python3 testing/server/test_server.py --port "${port:-18443}" --files "$work/files" \
  --cert "$build/pki/server.pem" --key "$build/pki/server.key" \
  --log "$work/requests.jsonl" > "$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q ready "$work/server.out" 2>/dev/null && break; sleep 0.1; done

windows_path() { echo "Z:$(echo "$1" | tr / '\\')"; }
temp_windows="$(windows_path "$work/temp")\\"
helper_output=$("$build/wine-run" "$build/tools/win_test_helper/win_test_helper.exe" run \
  "TMP=$temp_windows" "TEMP=$temp_windows" \
  "TX_STANDIN_RECORD=$(windows_path "$work/setup-command-line.txt")" \
  -- "$build/lite_installer.exe" --silent 2>&1) || true
# The server writes a request down once it has answered it.
sleep 0.5
echo "== summary"
/usr/bin/python3 scripts/demo_summary.py \
  --exit-code "$(echo "$helper_output" | sed -n 's/^exit_code=//p' | tail -1)" \
  --archive "$work/files/browser/int/browser-setup.arc" --log "$work/temp/thin_installer.log" \
  --requests "$work/requests.jsonl" --setup-command-line "$work/setup-command-line.txt"
echo
echo "== lite_installer.exe --silent"
echo "$helper_output"
echo "== the setup command line the stand-in received"
cat "$work/setup-command-line.txt" 2>/dev/null && echo || echo "(the setup did not run)"
echo "== requests the server saw"
cat "$work/requests.jsonl" 2>/dev/null || true
echo "== thin_installer.log"
cat "$work/temp/thin_installer.log"

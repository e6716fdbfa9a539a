#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh win32-release win64-test
scripts/measure-size.sh
# Windows programs run under wine64; the GUI ones need an X display.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1200x24" ctest --preset win64-test "$@"
fi
exec ctest --preset win64-test "$@"

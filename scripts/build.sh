#!/usr/bin/env bash
# Configures and builds one preset (default: both). Usage: scripts/build.sh [preset...]
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32-release win64-test)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset"
done

#!/usr/bin/env bash
# Builds everything and runs every test. Tests that need a real X display get one from Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)" "$@"
fi
exec ctest --output-on-failure -j"$(nproc)" "$@"

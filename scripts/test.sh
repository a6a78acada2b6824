#!/usr/bin/env bash
# Builds everything and runs every test. Tests that need a real X display get one from Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
# A failing test runs once more before it counts: the virtual camera tests start a PipeWire
# daemon and session manager of their own, which a loaded machine now and then starts too slowly.
# A real fault fails both times.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2 "$@"
fi
exec ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2 "$@"

#!/usr/bin/env bash
# Takes docs/screenshot-light.png (or the file given): the window on the built-in demo scene, on a
# virtual X display, a few seconds after start so that the history ring has filled.
# Usage: scripts/screenshot.sh [OUTPUT.png] [wobblescope options, e.g. --camera demo]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot-light.png}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] || set -- --camera demo
if [ -z "${WOBBLE_SCREENSHOT_XVFB:-}" ]; then
    [ -x build/app/wobblescope ] || scripts/build.sh
    exec env WOBBLE_SCREENSHOT_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$out" "$@"
fi

build/app/wobblescope "$@" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

window=""
for _ in $(seq 100); do
    window=$(xwininfo -root -tree | awk '/"Wobblescope": \("wobblescope"/ { print $1; exit }')
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "screenshot: wobblescope ended early" >&2; exit 1; }
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: no Wobblescope window appeared" >&2; exit 1; }
# 60 frames at 30 per second fill the history; the wave time warp then shows its full depth.
sleep "${WOBBLE_SCREENSHOT_DELAY:-4}"
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "Saved $out"

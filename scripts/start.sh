#!/usr/bin/env bash
# Builds the program and opens its window: on the first camera found (/dev/video*), otherwise on
# the built-in demo scene. Arguments are passed on to wobblescope (e.g. --camera lavfi:...).
# Without an X display the window runs on a virtual one (Xvfb): a screenshot is saved to
# build/start-screenshot.png after a few seconds, and the program runs until Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
    if compgen -G "/dev/video*" >/dev/null; then
        echo "Opening the camera $(compgen -G "/dev/video*" | head -n 1)." >&2
    else
        echo "No camera found (/dev/video*): opening the built-in demo scene." >&2
        args=(--camera demo)
    fi
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/app/wobblescope "${args[@]}"
fi

echo "No display: running the window on a virtual X display (Xvfb); stop it with Ctrl+C." >&2
export WOBBLE_SHOT=build/start-screenshot.png
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    build/app/wobblescope "$@" &
    pid=$!
    trap "kill $pid 2>/dev/null" INT TERM
    sleep 5
    window=$(xwininfo -root -tree | awk "/\"Wobblescope\": \\(\"wobblescope\"/ { print \$1; exit }")
    if [ -n "$window" ] && import -window "$window" "$WOBBLE_SHOT" 2>/dev/null; then
        echo "The window is running; a screenshot of it is in $WOBBLE_SHOT." >&2
    fi
    wait $pid
' wobblescope "${args[@]}"

#!/usr/bin/env bash
# Builds the program and opens its window: on the first camera found (/dev/video*), otherwise on
# the built-in demo scene. Arguments are passed on to wobblescope (e.g. --camera lavfi:...).
# Only the program is built before the window opens; the tests and benchmarks are built after
# it, at low priority, into build/rest-of-build.log. Without a display the window runs on a
# virtual X display (Xvfb): a screenshot is saved to build/start-screenshot.png after 5 seconds.
# Ctrl+C ends the program (and the build behind it) quietly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target wobblescope -j"$(nproc)"

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
    if compgen -G "/dev/video*" >/dev/null; then
        echo "Opening the camera $(compgen -G "/dev/video*" | head -n 1)." >&2
    else
        echo "No camera found (/dev/video*): opening the built-in demo scene." >&2
        args=(--camera demo)
    fi
fi

# The rest of the build, in a process group of its own so that it can be stopped as a whole.
setsid nice -n 10 cmake --build build -j"$(nproc)" >build/rest-of-build.log 2>&1 &
rest=$!
echo "Building the tests and benchmarks behind the window (build/rest-of-build.log)." >&2

xvfb=""
stop_all() {
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    kill -TERM -- "-$rest" 2>/dev/null || true
    wait "$rest" 2>/dev/null || true
    # The X server goes last, so the program never loses its display.
    [ -z "$xvfb" ] || kill -TERM "$xvfb" 2>/dev/null || true
    exit 0
}

# No display: a virtual X server of its own, in a session of its own, so that Ctrl+C on the
# terminal does not reach it before the program has ended.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the window on a virtual X display (Xvfb); stop it with Ctrl+C." >&2
    number=$(mktemp)
    setsid Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$number" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n 1 "$number")"
    rm -f "$number"
    (
        sleep 5
        window=$(xwininfo -root -tree | awk '/"Wobblescope": \("wobblescope"/ { print $1; exit }')
        if [ -n "$window" ] && import -window "$window" build/start-screenshot.png 2>/dev/null; then
            echo "The window is running; a screenshot of it is in build/start-screenshot.png." >&2
        fi
    ) &
fi

build/app/wobblescope "${args[@]}" &
pid=$!
trap stop_all INT TERM
status=0
wait "$pid" || status=$?
[ -z "$xvfb" ] || kill -TERM "$xvfb" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
    kill -TERM -- "-$rest" 2>/dev/null || true
    exit "$status"
fi

trap 'kill -TERM -- "-$rest" 2>/dev/null; exit 0' INT TERM
if kill -0 "$rest" 2>/dev/null; then
    echo "Finishing the build of the tests and benchmarks (Ctrl+C stops it)..." >&2
fi
if wait "$rest"; then
    echo "Build complete." >&2
else
    echo "The rest of the build failed: see build/rest-of-build.log." >&2
    exit 1
fi

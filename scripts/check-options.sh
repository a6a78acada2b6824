#!/usr/bin/env bash
# Builds the two reduced configurations once: without tests (the benchmarks build alone) and
# without the window (the render tool builds and renders without Qt Widgets).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
jobs=-j"$(nproc)"

echo "== Without tests: the benchmarks" >&2
cmake -S . -B build-notests -DWOBBLE_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-notests "$jobs"

echo "== Without the window: the render tool" >&2
cmake -S . -B build-nogui -DWOBBLE_BUILD_GUI=OFF -DWOBBLE_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-nogui "$jobs"
if ldd build-nogui/app/wobblescope | grep -q Qt6Widgets; then
    echo "check-options: the window-less program links Qt Widgets" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# 8 frames in: the first two deliveries are dropped, the first pass needs two frames.
build-nogui/app/wobblescope render --quiet --effect wave --frames 8 \
    "lavfi:testsrc2=size=64x48:rate=30" "$out/pictures.rgb"
[ "$(stat -c %s "$out/pictures.rgb")" -eq $((5 * 32 * 24 * 3)) ] || {
    echo "check-options: the window-less render tool wrote the wrong number of bytes" >&2
    exit 1
}
if build-nogui/app/wobblescope 2>/dev/null; then
    echo "check-options: the window-less program claimed to open a window" >&2
    exit 1
fi
echo "check-options: both reduced builds build and work" >&2

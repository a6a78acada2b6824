#!/usr/bin/env bash
# Builds the program without the window (WOBBLE_BUILD_GUI=OFF) with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/ and runs its tests once so built: the image core,
# the camera, the recording and the render tool. The window's tests (Qt, Xvfb) are left to
# scripts/test.sh, which keeps CI well within its hour on two cores. Any report of either
# sanitizer fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
here="$(pwd)/scripts/sanitizers"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWOBBLE_SANITIZE=ON \
    -DWOBBLE_BUILD_BENCH=OFF -DWOBBLE_BUILD_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build build-sanitize -j"$(nproc)"
# allocator_may_return_null: the pipeline's allocation-failure test asks for more memory than
# the machine has and expects a null pointer, not ASan's own out-of-memory abort.
export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$here/ubsan.supp"
cd build-sanitize
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2 "$@"
fi
exec ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2 "$@"

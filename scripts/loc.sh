#!/usr/bin/env bash
# Prints C++ code lines and test lines per folder and their ratio: non-blank, non-comment lines
# of the tracked .c/.cc/.cpp/.cxx/.h/.hpp files; test lines are those of files under a tests/
# folder; benchmarks count as code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r cat 2>/dev/null | grep -c -v -E '^\s*$|^\s*//' || true; }
sources() { git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hpp)$' || true; }
printf '%-12s %7s %7s %7s\n' folder code tests ratio
total_code=0 total_tests=0
for d in app view effects capture recording; do
    t=$(sources "$d" | grep -E '(^|/)tests?/' | count)
    a=$(sources "$d" | count)
    c=$((a - t))
    total_code=$((total_code + c)) total_tests=$((total_tests + t))
    printf '%-12s %7d %7d %6d%%\n' "$d" "$c" "$t" $((c ? 100 * t / c : 0))
done
printf '%-12s %7d %7d %6d%%\n' all "$total_code" "$total_tests" \
    $((total_code ? 100 * total_tests / total_code : 0))

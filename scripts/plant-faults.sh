#!/usr/bin/env bash
# Plants faults in the code one at a time and says which tests catch each: for every line of the
# fault list (default: every list in scripts/faults/, one per folder) it changes the first occurrence of a text in a file,
# rebuilds, runs the tests (all of them through ctest, or the test programs named in the line's
# fourth field, paths under build/), and restores the file. A fault that no test catches is reported as MISSED; the exit
# status is the number of missed faults.
#
# Fault list: one fault per line, fields separated by " | ":
#   FILE | TEXT | REPLACEMENT | TEST PROGRAMS (may be empty: all tests) | what the fault breaks
# A \n in TEXT or REPLACEMENT stands for a line break.
set -uo pipefail
cd "$(dirname "$0")/.."
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(scripts/faults/*.txt)
for list in "${lists[@]}"; do
    [ -f "$list" ] || { echo "plant-faults: no fault list $list" >&2; exit 2; }
done
[ -d build ] || scripts/build.sh >/dev/null
run=()
[ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null && run=(xvfb-run -a -s "-screen 0 1280x1024x24")
missed=0
backup=$(mktemp)
planted=""
# An interrupted run puts the file with the live fault back.
trap '[ -n "$planted" ] && cp "$backup" "$planted"; rm -f "$backup"' EXIT
trap 'exit 130' INT TERM
while IFS= read -r line; do
    [[ -z "$line" || "$line" == \#* ]] && continue
    IFS='|' read -r file text repl programs what <<<"$line"
    file=$(echo "$file" | xargs); programs=$(echo "$programs" | xargs)
    text=${text# }; text=${text% }; repl=${repl# }; repl=${repl% }
    cp "$file" "$backup"
    planted=$file
    if ! python3 - "$file" "$text" "$repl" <<'PY'
import sys
path, text, repl = (a.replace("\\n", "\n") for a in sys.argv[1:4])
s = open(path).read()
if text not in s:
    sys.exit(1)
open(path, "w").write(s.replace(text, repl, 1))
PY
    then
        echo "NOT FOUND  $file: $text" >&2
        planted=""
        missed=$((missed + 1))
        continue
    fi
    targets=()
    for p in $programs; do targets+=(--target "$(basename "$p")"); done
    if ! cmake --build build -j"$(nproc)" "${targets[@]}" >/dev/null 2>&1; then
        echo "NO BUILD   $file: $what"
    else
        if [ -n "$programs" ]; then
            out=$(cd build && for p in $programs; do QT_QPA_PLATFORM=offscreen timeout 600 "./$p" 2>&1 || echo "[  FAILED  ] $p (status $?)"; done)
            failed=$(echo "$out" | sed -n 's/^\[  FAILED  \] \([A-Za-z_][^ ,]*\).*/\1/p' | sort -u | head -n 3 | tr '\n' ' ')
        else
            out=$(cd build && "${run[@]}" ctest --output-on-failure -j"$(nproc)" --timeout 300 2>&1)
            failed=$(echo "$out" | sed -n 's/^\s*[0-9]* - \(\S*\) .*/\1/p' | head -n 3 | tr '\n' ' ')
        fi
        if [ -n "$failed" ]; then
            echo "CAUGHT     $file: $what  <- $failed"
        else
            echo "MISSED     $file: $what"
            missed=$((missed + 1))
        fi
    fi
    cp "$backup" "$file"
    planted=""
    touch "$file"
done < <(cat "${lists[@]}")
cmake --build build -j"$(nproc)" >/dev/null 2>&1
exit "$missed"

#!/usr/bin/env bash
# Times the render tool's effects beside their nearest analogues in FFmpeg, GStreamer's effectv
# elements and frei0r, on one generated clip, and prints a markdown table. With --hd, measures
# the render tool alone at 1920x1080 and 1280x720 in frames per second instead.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'EOF'
Usage: scripts/compare-analogues.sh [OPTIONS]

Side by side (the default): at 640x480, each tool with its default number of threads, the cost
of an effect is (wall time with the effect - wall time of the same tool's pass-through) / frames,
best of N rounds in which every command runs once. Every tool reads the same raw A,R,G,B clip
(FFmpeg testsrc2) from memory and discards its pictures the same way in both runs: FFmpeg to
its null muxer, GStreamer to a fakesink, the render tool to a .rgb file in the scratch folder. Before timing, each effect is
run on the first frames and its pictures compared with the pass-through's (they must differ),
and each non-default parameter with the effect's defaults (they must differ too). The last
column gives the same difference in processor time (user plus system, all threads), which other
work on the machine disturbs less than wall time.

HD (--hd): the render tool alone, every effect and the plain picture, raw frames in, a .rgb file
out, at 1920x1080 and 1280x720, in input frames per second of wall time, with --threads 2 and
--max-height native when the binary has them.

Options:
  --binary PATH   the wobblescope program (default build/app/wobblescope)
  --runs N        rounds (runs of each command), the best one counts (default 3)
  --frames K      frames of the clip (default 300; 120 with --hd)
  --mirror on|off the render tool's mirror (default on, as at launch)
  --hd            the HD frame rates instead of the side-by-side table
  --no-install    do not install missing Debian packages
  -h, --help      this text

Installs ffmpeg, gstreamer1.0-tools, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good and
frei0r-plugins with apt-get when missing. The machine should be otherwise idle: the load
average is printed before and after.
EOF
}

fail() {
    echo "compare-analogues: $*" >&2
    exit 2
}

binary=build/app/wobblescope runs=3 frames="" mirror=on hd=0 install=1
while [ $# -gt 0 ]; do
    case "$1" in
        -h | --help) usage; exit 0 ;;
        --binary) [ $# -ge 2 ] || fail "--binary wants a path"; binary=$2; shift ;;
        --runs) [ $# -ge 2 ] || fail "--runs wants a number"; runs=$2; shift ;;
        --frames) [ $# -ge 2 ] || fail "--frames wants a number"; frames=$2; shift ;;
        --mirror) [ $# -ge 2 ] || fail "--mirror wants on or off"; mirror=$2; shift ;;
        --hd) hd=1 ;;
        --no-install) install=0 ;;
        *) fail "unknown option '$1' (see --help)" ;;
    esac
    shift
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || fail "--runs wants a whole number from 1 up"
[ -n "$frames" ] || frames=$((hd ? 120 : 300))
if ! [[ $frames =~ ^[0-9]+$ ]] || [ "$frames" -lt 30 ]; then
    fail "--frames wants a whole number from 30 up"
fi
[[ $mirror =~ ^(on|off)$ ]] || fail "--mirror wants on or off"
[ -x "$binary" ] || fail "$binary: no such program (build the wobblescope target, or give --binary)"

install_missing() {
    local pkgs=(ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
                frei0r-plugins) missing=() p sudo=""
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}
[ "$install" -eq 1 ] && install_missing

scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=${TMPDIR:-/tmp}
work=$(mktemp -d "$scratch/compare-analogues.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/log

# Runs a command with its output in the log; stops the script with the log when it fails.
run() {
    if ! "$@" >"$log" 2>&1; then
        echo "compare-analogues: failed: $*" >&2
        cat "$log" >&2
        exit 1
    fi
}

# Prints the best wall time of `runs` runs of a command, in nanoseconds.
best_ns() {
    local best="" i start t
    for ((i = 0; i < runs; ++i)); do
        start=$(date +%s%N)
        run "$@"
        t=$(($(date +%s%N) - start))
        [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
        rm -f "$work"/out.*
    done
    echo "$best"
}

# Writes `frames` frames of FFmpeg's moving test picture as raw A,R,G,B bytes.
make_clip() { # WIDTH HEIGHT FILE
    run ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$1x$2:rate=30" \
        -frames:v "$frames" -pix_fmt argb -f rawvideo -y "$3"
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

help_text=$("$binary" render --help)
has_option() { grep -q -- "$1" <<<"$help_text"; }

# ---- the render tool at HD sizes ----
if [ "$hd" -eq 1 ]; then
    extra=()
    notes=()
    if has_option --threads; then
        extra+=(--threads 2)
    else
        notes+=("this binary has no --threads: one thread")
    fi
    if has_option --max-height; then
        extra+=(--max-height native)
    else
        notes+=("this binary has no --max-height: it works at 480 lines (not an HD working size)")
    fi
    echo "Load average before: $(load)" >&2
    declare -A fps
    effects=(normal wave exposure trace delay scatter paint)
    sizes=(1920x1080 1280x720)
    for size in "${sizes[@]}"; do
        make_clip "${size%x*}" "${size#*x}" "$work/clip.argb"
        for e in "${effects[@]}"; do
            t=$(best_ns "$binary" render --quiet --raw-size "$size" --size full \
                --mirror "$mirror" --seed 1 --effect "$e" "${extra[@]}" \
                "$work/clip.argb" "$work/out.rgb")
            fps[$size/$e]=$(awk -v f="$frames" -v t="$t" 'BEGIN { printf "%.1f", f * 1e9 / t }')
        done
        rm -f "$work/clip.argb"
    done
    echo "Load average after: $(load)" >&2
    echo "Render tool, $frames raw frames in, .rgb out, best of $runs," \
        "options: --size full --mirror $mirror${extra[*]:+ ${extra[*]}}"
    for n in "${notes[@]}"; do echo "Note: $n"; done
    echo
    echo "| effect | 1920x1080 frames/s | at least 30 | 1280x720 frames/s | at least 60 |"
    echo "|---|---:|---|---:|---|"
    for e in "${effects[@]}"; do
        a=${fps[1920x1080/$e]} b=${fps[1280x720/$e]}
        echo "| $e | $a | $(awk -v v="$a" 'BEGIN { print (v >= 30 ? "yes" : "no") }')" \
            "| $b | $(awk -v v="$b" 'BEGIN { print (v >= 60 ? "yes" : "no") }') |"
    done
    exit 0
fi

# ---- side by side at 640x480 ----
width=640 height=480
frame_bytes=$((4 * width * height))
check_frames=30
clip=$work/clip.argb

# One row per comparison: our effect | analogue's name | tool | preparation common to both of
# the tool's runs (FFmpeg filters, GStreamer elements) | the analogue | the analogue at its
# defaults, when the row sets a parameter.
rows=(
    "paint|effectv streaktv|gst||streaktv|"
    "paint|FFmpeg lagfun|ffmpeg|format=gbrp|lagfun|"
    "paint|effectv radioactv|gst|videoconvert ! video/x-raw,format=BGRx|radioactv|"
    "delay|frei0r delaygrab|ffmpeg|format=bgra|frei0r=filter_name=delaygrab|"
    "trace|FFmpeg amplify|ffmpeg|format=gbrp|amplify|"
    "wave|frei0r delaygrab|ffmpeg|format=bgra|frei0r=filter_name=delaygrab|"
    "scatter|effectv quarktv planes=60|gst||quarktv planes=60|quarktv"
    "exposure|FFmpeg tmix frames=60|ffmpeg|format=gbrp|tmix=frames=60|tmix"
)
declare -A title=([paint]="motion paint" [delay]="motion-driven delay" [trace]="motion trace"
                  [wave]="wave time warp" [scatter]="random time scatter" [exposure]="exposure")

# The command of one run: tool, preparation, effect (empty: pass-through), output (empty:
# discard), frames to read (empty: all).
command_for() { # TOOL PREP EFFECT OUT FRAMES
    local tool=$1 prep=$2 effect=$3 out=$4 count=$5
    case "$tool" in
        ours)
            printf '%s\0' "$binary" render --quiet --raw-size "${width}x$height" --size full \
                --mirror "$mirror" --seed 1 --effect "${effect:-normal}" \
                ${count:+--frames "$count"} "$clip" "${out:-$work/out.rgb}"
            ;;
        ffmpeg)
            local chain=${prep}${prep:+${effect:+,}}${effect}
            printf '%s\0' ffmpeg -nostdin -v error -f rawvideo -pix_fmt argb \
                -video_size "${width}x$height" -framerate 30 -i "$clip" \
                ${chain:+-vf "$chain"} ${count:+-frames:v "$count"}
            if [ -n "$out" ]; then printf '%s\0' -f rawvideo -y "$out"; else
                printf '%s\0' -f null -; fi
            ;;
        gst)
            # gst-launch-1.0 joins its arguments into one description; a file name stays
            # one argument, as spaces inside an argument are taken as part of a value.
            local words=()
            read -r -a words <<<"${prep:+! $prep} ${effect:+! $effect}"
            printf '%s\0' gst-launch-1.0 -q filesrc "location=$clip" "blocksize=$frame_bytes" \
                ${count:+"num-buffers=$count"} ! rawvideoparse format=xrgb "width=$width" \
                "height=$height" framerate=30/1 "${words[@]}" !
            if [ -n "$out" ]; then printf '%s\0' filesink "location=$out"; else
                printf '%s\0' fakesink; fi
            ;;
    esac
}

# Runs the first frames and keeps the pictures in FILE.
short_run() { # TOOL PREP EFFECT FILE
    local cmd=()
    mapfile -d '' cmd < <(command_for "$1" "$2" "$3" "$4" "$check_frames")
    run "${cmd[@]}"
    [ -s "$4" ] || fail "$1 wrote no pictures for '${3:-pass-through}'"
}

# Stops unless the effect's pictures differ from the other run's.
must_differ() { # TOOL PREP EFFECT OTHER_EFFECT WHAT
    short_run "$1" "$2" "$3" "$work/a.rgb"
    short_run "$1" "$2" "$4" "$work/b.rgb"
    if cmp -s "$work/a.rgb" "$work/b.rgb"; then
        fail "$1 '$3' gave the same pictures as $5: the effect is not applied"
    fi
    rm -f "$work/a.rgb" "$work/b.rgb"
}

make_clip "$width" "$height" "$clip"
[ "$(stat -c %s "$clip")" -eq $((frames * frame_bytes)) ] || fail "the clip has the wrong size"

echo "Checking that every effect changes the picture ..." >&2
for e in paint delay trace wave scatter exposure; do
    must_differ ours "" "$e" "" "the plain picture"
done
for row in "${rows[@]}"; do
    IFS='|' read -r _ _ tool prep effect defaults <<<"$row"
    must_differ "$tool" "$prep" "$effect" "" "the pass-through"
    if [ -n "$defaults" ]; then
        must_differ "$tool" "$prep" "$effect" "$defaults" "'$defaults' at its defaults"
    fi
done

# User plus system time of this shell's finished children, in clock ticks.
child_ticks() {
    local f
    read -r -a f <"/proc/$$/stat"
    echo $((f[15] + f[16]))
}
tick_ns=$((1000000000 / $(getconf CLK_TCK)))

# Every command once per round, best of the rounds, so that a change in the machine's load
# falls on all of them alike. Wall time decides; processor time (all threads) is shown too,
# being less disturbed by other work on the machine.
declare -A ns cpu
keys=()
for row in "${rows[@]}"; do
    IFS='|' read -r ours _ tool prep effect _ <<<"$row"
    for k in "ours||" "ours||$ours" "$tool|$prep|" "$tool|$prep|$effect"; do
        [ -n "${ns[$k]:-}" ] || { ns[$k]="unset"; keys+=("$k"); }
    done
done
echo "Load average before: $(load)" >&2
for ((round = 1; round <= runs; ++round)); do
    echo "Round $round of $runs: ${#keys[@]} runs ..." >&2
    for k in "${keys[@]}"; do
        IFS='|' read -r t p e <<<"$k"
        mapfile -d '' cmd < <(command_for "$t" "$p" "$e" "" "")
        ticks=$(child_ticks)
        start=$(date +%s%N)
        run "${cmd[@]}"
        wall=$(($(date +%s%N) - start))
        used=$((($(child_ticks) - ticks) * tick_ns))
        rm -f "$work"/out.*
        if [ "${ns[$k]}" = unset ] || [ "$wall" -lt "${ns[$k]}" ]; then ns[$k]=$wall; fi
        if [ -z "${cpu[$k]:-}" ] || [ "$used" -lt "${cpu[$k]}" ]; then cpu[$k]=$used; fi
    done
done
echo "Load average after: $(load)" >&2

# Cost per frame in milliseconds, from the effect's and the pass-through's times.
cost() { awk -v a="$1" -v b="$2" -v f="$frames" 'BEGIN { printf "%.2f", (a - b) / f / 1e6 }'; }

echo "$frames frames of ${width}x$height, best of $runs runs, each tool with its default threads;" \
    "render tool: --size full --mirror $mirror. Cost = (with the effect - pass-through) / frames."
echo
echo "| effect | ours ms/frame | analogue | analogue ms/frame | analogue / ours" \
    "| ours at least 2x faster | processor ms/frame, ours / analogue's |"
echo "|---|---:|---|---:|---:|---|---:|"
for row in "${rows[@]}"; do
    IFS='|' read -r ours name tool prep effect _ <<<"$row"
    a=$(cost "${ns[ours||$ours]}" "${ns[ours||]}")
    b=$(cost "${ns[$tool|$prep|$effect]}" "${ns[$tool|$prep|]}")
    c="$(cost "${cpu[ours||$ours]}" "${cpu[ours||]}") /"
    c+=" $(cost "${cpu[$tool|$prep|$effect]}" "${cpu[$tool|$prep|]}")"
    awk -v t="${title[$ours]}" -v a="$a" -v n="$name" -v b="$b" -v c="$c" 'BEGIN {
        if (a > 0) { r = sprintf("%.1f", b / a); ok = (b >= 2 * a) ? "yes" : "no" }
        else { r = "-"; ok = "yes (no cost above the pass-through)" }
        printf "| %s | %s | %s | %s | %s | %s | %s |\n", t, a, n, b, r, ok, c }'
done
echo
echo "Pass-through ms/frame (wall): render tool $(cost "${ns[ours||]}" 0)," \
    "FFmpeg $(cost "${ns[ffmpeg|format=gbrp|]}" 0) (gbrp)," \
    "$(cost "${ns[ffmpeg|format=bgra|]}" 0) (bgra), GStreamer $(cost "${ns[gst||]}" 0)"

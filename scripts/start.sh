#!/usr/bin/env bash
# Builds the program and starts it on a generated clip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
clip=build/demo-640x480.argb
out=build/demo-wave.rgb
ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=640x480:rate=30 -frames:v 90 \
    -pix_fmt argb -f rawvideo "$clip"
build/app/wobblescope render --raw-size 640x480 --effect wave --size full "$clip" "$out"
echo "Rendered the wave time warp of a generated clip to $out (640 x 480 RGB pictures)."

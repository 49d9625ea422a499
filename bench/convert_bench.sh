#!/bin/bash
# Conversion benchmark: makes a 720p H.264 clip once, then times the engine against the ffmpeg
# command line with the same settings.  Usage: bench/convert_bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
media="$build/bench-media"
mkdir -p "$media"
clip="$media/convert_720p.mp4"
[ -s "$clip" ] || ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$clip"
"$build/bin/vornic-bench-convert" --runs "$runs" "$clip" "$media/convert-out"

#!/bin/bash
# Conversion benchmark: makes its clips once, then times the engine against the ffmpeg command
# line with the same settings, alternately, and measures the engine's peak resident memory with
# and without its stage threads.
#   Usage: bench/convert_bench.sh <build dir> [runs] [quick]   (quick: the 720p rows only)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
quick=${3:-}
media="$build/bench-media"
bench="$build/bin/vornic-bench-convert"
mkdir -p "$media"
clip="$media/convert_720p.mp4"
[ -s "$clip" ] || ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$clip"
echo "== 10 s 720p H.264 + AAC"
"$bench" --runs "$runs" "$clip" "$media/convert-out"
[ -n "$quick" ] && exit 0

full="$media/convert_1080p.mp4"
[ -s "$full" ] || ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$full"
echo "== 60 s 1080p H.264 + AAC"
"$bench" --runs "$runs" --only "AVI" "$full" "$media/convert-out"
"$bench" --runs "$runs" --only "H.264" "$full" "$media/convert-out"

echo "== peak resident memory (one conversion per process)"
for mode in serial staged; do "$bench" --rss $mode --only "AVI" "$full" "$media/convert-out"; done
long="$media/convert_2h.flac"
[ -s "$long" ] || ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100 -ac 2 -t 7200 \
    -c:a flac "$long"
for mode in serial staged; do "$bench" --rss $mode --only "MP3 256" "$long" "$media/convert-out"; done

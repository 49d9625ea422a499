#!/bin/bash
# The command-line converter against the ffmpeg command line, whole programs side by side, on
# one 10 s 720p clip with the same settings as three catalogue presets. Runs alternate; the
# median wall time of each side is compared.  Usage: bench/cli_bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
media="$build/bench-media"
out="$media/cli-out"
mkdir -p "$media" "$out"
clip="$media/convert_720p.mp4"
[ -s "$clip" ] || ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$clip"
cli="$build/bin/vornic-convert"

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

# name | converter arguments | ffmpeg arguments after the input (output name appended)
cases=(
  "AVI 3 (MPEG-4 1500k + MP3 192k, original size)|--format AVI --preset 3|-c:v mpeg4 -b:v 1500k -vtag XVID -c:a libmp3lame -ac 2 -ar 44100 -b:a 192k|avi"
  "AVI 7 (fit 320x240 with borders)|--format AVI --preset 7|-c:v mpeg4 -b:v 768k -vtag XVID -vf scale=320:180,pad=320:240:0:30,setdar=4/3 -c:a libmp3lame -ac 2 -ar 44100 -b:a 96k|avi"
  "MP3 1 (48 kHz 128k)|--format MP3 --preset 1|-vn -c:a libmp3lame -ac 2 -ar 48000 -b:a 128k|mp3"
)
printf '%-50s %10s %10s %8s\n' "preset" "converter" "ffmpeg" "ratio"
for entry in "${cases[@]}"; do
  IFS='|' read -r name cliargs ffargs ext <<<"$entry"
  ours=(); theirs=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$out"/*
    # shellcheck disable=SC2086
    ours+=("$(seconds "$cli" $cliargs --output-dir "$out" "$clip")")
    # shellcheck disable=SC2086
    theirs+=("$(seconds ffmpeg -v error -y -i "$clip" $ffargs "$out/ffmpeg.$ext")")
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-50s %9.3fs %9.3fs %8.2f\n' "$name" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN {print a / b}')"
done

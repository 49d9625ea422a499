#!/bin/bash
# Parallel batch conversion: vornic-convert with --jobs 1, 2 and auto against the same files
# converted one after another by the ffmpeg command line (and, for reference, by as many
# ffmpeg processes at once as there are cores). Two batches: 16 short AAC files to MP3
# preset 1, and 4 video clips to the H.264 preset MP4 0. Runs alternate; medians of the wall
# time are compared with the serial command line.
#   Usage: bench/jobs_bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-3}
media="$build/bench-media/jobs"
out="$media/out"
mkdir -p "$media" "$out"
cli="$build/bin/vornic-convert"
cores=$(nproc)

audio=()
for i in $(seq -w 1 16); do
  f="$media/tone_$i.m4a"
  [ -s "$f" ] || ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=$((200 + 10#$i * 37)):sample_rate=44100:duration=20" \
      -ac 2 -c:a aac -b:a 160k "$f"
  audio+=("$f")
done
video=()
for i in 1 2 3 4; do
  f="$media/clip_$i.mp4"
  [ -s "$f" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=10" \
      -f lavfi -i "sine=frequency=$((300 + i * 50)):sample_rate=44100:duration=10" \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$f"
  video+=("$f")
done

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

# The settings of the presets on the command line.
mp3_args=(-vn -c:a libmp3lame -ac 2 -ar 48000 -b:a 128k)
h264_args=(-c:v libx264 -b:v 640k -r 30 -vf "scale=320:180,pad=320:240:0:30,setdar=4/3" -coder 0 -refs 1
           -me_range 16 -subq 5 -partitions +parti4x4+parti8x8+partp8x8 -g 250 -keyint_min 25 -level 30
           -qmin 10 -qmax 51 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -c:a aac -ac 2 -ar 44100 -b:a 128k)

ffmpeg_serial() { # ext args... -- files...
  local ext=$1; shift; local args=(); while [ "$1" != -- ]; do args+=("$1"); shift; done; shift
  for f in "$@"; do ffmpeg -nostdin -v error -y -i "$f" "${args[@]}" "$out/$(basename "${f%.*}").$ext"; done
}
ffmpeg_parallel() { # ext args... -- files...
  local ext=$1; shift; local args=(); while [ "$1" != -- ]; do args+=("$1"); shift; done; shift
  printf '%s\0' "$@" | xargs -0 -P "$cores" -I{} sh -c \
    'f="$1"; shift; ext="$1"; shift; out="$1"; shift; b=$(basename "$f"); exec ffmpeg -nostdin -v error -y -i "$f" "$@" "$out/${b%.*}.$ext"' \
    sh {} "$ext" "$out" "${args[@]}"
}

bench() { # title format preset ext ffmpeg-args... -- files...
  local title=$1 format=$2 preset=$3 ext=$4; shift 4
  local args=(); while [ "$1" != -- ]; do args+=("$1"); shift; done; shift
  local files=("$@")
  local -a serial=() parallel=() j1=() j2=() jauto=()
  for ((r = 0; r < runs; r++)); do
    rm -f "$out"/*; serial+=("$(seconds ffmpeg_serial "$ext" "${args[@]}" -- "${files[@]}")")
    rm -f "$out"/*; j1+=("$(seconds "$cli" --format "$format" --preset "$preset" --jobs 1 --output-dir "$out" "${files[@]}")")
    rm -f "$out"/*; j2+=("$(seconds "$cli" --format "$format" --preset "$preset" --jobs 2 --output-dir "$out" "${files[@]}")")
    rm -f "$out"/*; jauto+=("$(seconds "$cli" --format "$format" --preset "$preset" --jobs auto --output-dir "$out" "${files[@]}")")
    rm -f "$out"/*; parallel+=("$(seconds ffmpeg_parallel "$ext" "${args[@]}" -- "${files[@]}")")
  done
  local base; base=$(printf '%s\n' "${serial[@]}" | median)
  echo "$title (${#files[@]} files, $runs runs, $cores cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
  printf '  %-36s %9s %12s\n' "side" "median" "vs serial"
  row() { local m; m=$(printf '%s\n' "${@:2}" | median); printf '  %-36s %8.2fs %12.2f\n' "$1" "$m" "$(awk -v a="$m" -v b="$base" 'BEGIN {print a / b}')"; }
  row "ffmpeg, one file after another" "${serial[@]}"
  row "vornic-convert --jobs 1" "${j1[@]}"
  row "vornic-convert --jobs 2" "${j2[@]}"
  row "vornic-convert --jobs auto" "${jauto[@]}"
  row "ffmpeg, $cores processes at once" "${parallel[@]}"
}

bench "MP3 preset 1 (48 kHz, 128 kbps) from 20 s AAC files" MP3 1 mp3 "${mp3_args[@]}" -- "${audio[@]}"
bench "MP4 preset 0 (H.264 320x240, AAC) from 10 s 640x360 clips" MP4 0 mp4 "${h264_args[@]}" -- "${video[@]}"

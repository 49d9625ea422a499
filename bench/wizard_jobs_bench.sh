#!/bin/bash
# A batch through the wizard: 16 songs of 40 s (FLAC) to MP3 preset 2 by the wizard's own run
# with its default setting of files at once (auto, one per core), against the same files
# converted one after another by the ffmpeg command line with the preset's settings. For
# reference also the wizard with one file at a time and vornic-convert --jobs auto. Runs
# alternate; medians of the wall time are compared with the serial command line, and the
# longest main-thread stall of the wizard's runs is given.
#   Usage: bench/wizard_jobs_bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-3}
media="$build/bench-media/wizard-jobs"
out="$media/out"
mkdir -p "$media" "$out"
wizard="$build/bin/vornic-bench-wizard-jobs"
cli="$build/bin/vornic-convert"
cores=$(nproc)

songs=()
for i in $(seq -w 1 16); do
  f="$media/song_$i.flac"
  # Two tones and a little noise per channel: lame works on it as on music, not on silence.
  [ -s "$f" ] || ffmpeg -nostdin -v error -y -f lavfi \
      -i "aevalsrc=0.4*sin(2*PI*$((180 + 10#$i * 23))*t)+0.05*(random(0)-0.5)|0.4*sin(2*PI*$((270 + 10#$i * 31))*t)+0.05*(random(1)-0.5):s=44100:d=40" \
      -c:a flac "$f"
  songs+=("$f")
done

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

# MP3 preset 2 on the command line.
mp3_args=(-vn -c:a libmp3lame -ac 2 -ar 48000 -b:a 256k)
ffmpeg_serial() {
  for f in "${songs[@]}"; do ffmpeg -nostdin -v error -y -i "$f" "${mp3_args[@]}" "$out/$(basename "${f%.*}").mp3"; done
}
# Prints the wall time; the stall goes to the file named by $1.
wizard_run() { # stall-file [--jobs N]
  local stalls=$1; shift
  local line; line=$("$wizard" "$build/bin" "$out" "$@" "${songs[@]}")
  case "$line" in *"ok=${#songs[@]}"*) ;; *) echo "wizard run failed: $line" >&2; exit 1 ;; esac
  sed -E 's/.*stall=([0-9.]+) stall_at=([0-9.]+).*/\1 ms at \2 s/' <<<"$line" >>"$stalls"
  sed -E 's/.*wall=([0-9.]+).*/\1/' <<<"$line"
}

stall_auto=$(mktemp) stall_one=$(mktemp)
trap 'rm -f "$stall_auto" "$stall_one"' EXIT
declare -a serial=() auto=() one=() cliauto=()
for ((r = 0; r < runs; r++)); do
  rm -f "$out"/*; serial+=("$(seconds ffmpeg_serial)")
  rm -f "$out"/*; auto+=("$(wizard_run "$stall_auto")")
  rm -f "$out"/*; one+=("$(wizard_run "$stall_one" --jobs 1)")
  rm -f "$out"/*; cliauto+=("$(seconds "$cli" --format MP3 --preset 2 --jobs auto --output-dir "$out" "${songs[@]}")")
done
rm -f "$out"/*

base=$(printf '%s\n' "${serial[@]}" | median)
echo "MP3 preset 2 (48 kHz, 256 kbps) from 40 s FLAC songs (${#songs[@]} files, $runs runs, $cores cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
printf '  %-40s %9s %10s   %s\n' "side" "median" "vs serial" "longest stall (and when in the run)"
row() { # title stall-file times...
  local m; m=$(printf '%s\n' "${@:3}" | median)
  local s=""; [ -n "$2" ] && s=$(sort -g "$2" | tail -1)
  printf '  %-40s %8.2fs %10.2f   %s\n' "$1" "$m" "$(awk -v a="$m" -v b="$base" 'BEGIN {print a / b}')" "$s"
}
row "ffmpeg, one file after another" "" "${serial[@]}"
row "wizard, default (auto = $cores at once)" "$stall_auto" "${auto[@]}"
row "wizard, one file at a time" "$stall_one" "${one[@]}"
row "vornic-convert --jobs auto" "" "${cliauto[@]}"

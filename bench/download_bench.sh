#!/bin/bash
# The command-line downloader against curl, whole programs side by side: one large generated
# media file from a stand-in video service on 127.0.0.1, saved to disk by each in turn. Runs
# alternate; the median wall times give the throughput ratio, /usr/bin/time the peak memory.
#   Usage: bench/download_bench.sh <build dir> [runs] [size MB] [output parent folder]
# (a parent folder on tmpfs, such as /dev/shm, leaves the disk out of the comparison)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
size=${3:-1024}
work="$build/bench-download"
# A folder of its own: everything in it is removed between runs.
out="${4:-$work}/download-bench-out"
mkdir -p "$work" "$out"
media="$work/media-${size}m.bin"
name=download_bench
source "$(dirname "$0")/download_common.sh"
make_media $((size * 1048576))
start_server
link="http://$host/watch?v=bench"
mediaurl="http://$host/get_video?video_id=bench&&t=tokbench&"

best() { sort -g | head -1; }
check() {
  [ "$(stat -c %s "$1")" -eq $((size * 1048576)) ] || { echo "download_bench: $1 has the wrong size" >&2; exit 1; }
}

ours=(); theirs=(); ourcpu=(); theircpu=(); ourmem=0; theirmem=0
for ((i = 0; i < runs; i++)); do
  rm -f "$out"/*; sync
  read -r s m c < <(VORNIC_VIDEO_HOST="$host" measure /dev/null "$build/bin/vornic-download" --default-quality --output-dir "$out" "$link")
  check "$out/Benchmark clip.flv"
  ours+=("$s"); ourcpu+=("$c"); ((m > ourmem)) && ourmem=$m
  rm -f "$out"/*; sync
  read -r s m c < <(measure /dev/null curl -s -f --noproxy '*' -o "$out/curl.bin" "$mediaurl")
  check "$out/curl.bin"
  theirs+=("$s"); theircpu+=("$c"); ((m > theirmem)) && theirmem=$m
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
a1=$(printf '%s\n' "${ours[@]}" | best)
b1=$(printf '%s\n' "${theirs[@]}" | best)
ac=$(printf '%s\n' "${ourcpu[@]}" | median)
bc=$(printf '%s\n' "${theircpu[@]}" | median)
mbps() { awk -v s="$size" -v t="$1" 'BEGIN {printf "%.0f", s / t}'; }
echo "Downloader benchmark: $size MB from 127.0.0.1 into $out, $runs alternating runs each"
printf '%-16s %12s %10s %12s %10s %16s\n' "" "median s" "MB/s" "fastest s" "MB/s" "CPU s (median)" 
printf '%-16s %12.3f %10s %12.3f %10s %16.2f\n' "vornic-download" "$a" "$(mbps "$a")" "$a1" "$(mbps "$a1")" "$ac"
printf '%-16s %12.3f %10s %12.3f %10s %16.2f\n' "curl -o" "$b" "$(mbps "$b")" "$b1" "$(mbps "$b1")" "$bc"
printf 'peak resident memory: vornic-download %.1f MB, curl %.1f MB\n' "$(awk -v m="$ourmem" 'BEGIN {print m / 1024}')" "$(awk -v m="$theirmem" 'BEGIN {print m / 1024}')"
echo "runs (s): vornic-download ${ours[*]}; curl ${theirs[*]}"
printf 'throughput ratio vornic-download/curl: %.2f median, %.2f fastest\n' \
  "$(awk -v a="$a" -v b="$b" 'BEGIN {print b / a}')" "$(awk -v a="$a1" -v b="$b1" 'BEGIN {print b / a}')"

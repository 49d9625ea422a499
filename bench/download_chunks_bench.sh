#!/bin/bash
# The command-line downloader on a format the extractor hands over with a chunk size, against
# curl asking the same byte ranges one after the other on one connection into one file. Both
# fetch from video_bench_server on 127.0.0.1; the extractor is bench/extractor_standin.sh.
# Runs alternate; median wall times give the throughput ratio, /usr/bin/time the peak memory.
#   Usage: bench/download_chunks_bench.sh <build dir> [runs] [size MB] [chunk MB] [output parent]
# (an output parent on tmpfs, such as /dev/shm, leaves the disk out of the comparison)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
size=${3:-300}
chunkmb=${4:-10}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/bench-download-chunks"
out="${5:-$work}/download-chunks-out"
mkdir -p "$work" "$out"
bytes=$((size * 1048576))
chunk=$((chunkmb * 1048576))
media="$work/media-${size}m.bin"
name=download_chunks_bench
source "$here/download_common.sh"
make_media "$bytes"
start_server
link="http://$host/watch?v=chunked"
mediaurl="http://$host/media?id=bench"

# curl: one process, one connection, the ranges in order, all written to standard output.
curlargs=()
for ((start = 0; start < bytes; start += chunk)); do
  end=$((start + chunk - 1))
  ((end >= bytes)) && end=$((bytes - 1))
  ((start > 0)) && curlargs+=(--next)
  curlargs+=(-s -f --noproxy '*' -r "$start-$end" "$mediaurl")
done

# Runs a command under /usr/bin/time with standard output into $1; prints "seconds peak-KB cpu-seconds".
check() {
  cmp -s "$1" "$media" || { echo "download_chunks_bench: $1 differs from the served file" >&2; exit 1; }
}

ours=(); theirs=(); ourcpu=(); theircpu=(); ourmem=0; theirmem=0
for ((i = 0; i < runs; i++)); do
  rm -f "$out"/* "$out"/.vornic-*; sync
  read -r s m c < <(VORNIC_VIDEO_HOST="$host" VORNIC_EXTRACTOR="$here/extractor_standin.sh" \
    BENCH_SIZE="$bytes" BENCH_CHUNK="$chunk" \
    measure /dev/null "$build/bin/vornic-download" --output-dir "$out" "$link")
  check "$out/Benchmark clip.mp4"
  ours+=("$s"); ourcpu+=("$c"); ((m > ourmem)) && ourmem=$m
  rm -f "$out"/*; sync
  read -r s m c < <(measure "$out/curl.bin" curl "${curlargs[@]}")
  check "$out/curl.bin"
  theirs+=("$s"); theircpu+=("$c"); ((m > theirmem)) && theirmem=$m
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
ac=$(printf '%s\n' "${ourcpu[@]}" | median)
bc=$(printf '%s\n' "${theircpu[@]}" | median)
mbps() { awk -v s="$size" -v t="$1" 'BEGIN {printf "%.0f", s / t}'; }
echo "Chunked download benchmark: $size MB in ${chunkmb} MB ranges from 127.0.0.1 into $out, $runs alternating runs each"
printf '%-22s %10s %8s %16s %14s\n' "" "median s" "MB/s" "CPU s (median)" "peak RSS MB"
printf '%-22s %10.3f %8s %16.2f %14.1f\n' "vornic-download" "$a" "$(mbps "$a")" "$ac" "$(awk -v m="$ourmem" 'BEGIN {print m / 1024}')"
printf '%-22s %10.3f %8s %16.2f %14.1f\n' "curl -r ... --next" "$b" "$(mbps "$b")" "$bc" "$(awk -v m="$theirmem" 'BEGIN {print m / 1024}')"
echo "runs (s): vornic-download ${ours[*]}; curl ${theirs[*]}"
ratio=$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", b / a}')
echo "throughput ratio vornic-download/curl: $ratio (aim >= 0.9); peak resident memory of vornic-download $(awk -v m="$ourmem" 'BEGIN {printf "%.1f", m / 1024}') MB (aim < 100 MB)"

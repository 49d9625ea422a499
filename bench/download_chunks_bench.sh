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
if [ ! -s "$media" ] || [ "$(stat -c %s "$media")" -ne "$bytes" ]; then
  head -c "$bytes" /dev/urandom > "$media.tmp" && mv "$media.tmp" "$media"
fi
[ -x /usr/bin/time ] || { echo "download_chunks_bench: /usr/bin/time is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

rm -f "$work/port"
"$build/bin/video_bench_server" --media "$media" --port-file "$work/port" --max-seconds 1800 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$out"' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
host="127.0.0.1:$port"
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
measure() {
  local into=$1 t0 t1
  shift
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/mem" "$@" >"$into" 2>"$work/err" || { cat "$work/err" >&2; return 1; }
  t1=$(date +%s.%N)
  read -r kb user sys < <(tail -1 "$work/mem")
  awk -v a="$t0" -v b="$t1" -v m="$kb" -v u="$user" -v s="$sys" 'BEGIN {printf "%.3f %d %.2f\n", b - a, m, u + s}'
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
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

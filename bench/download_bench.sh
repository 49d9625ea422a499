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
# Generated once into the build folder; random bytes so nothing on the way can shortcut them.
if [ ! -s "$media" ] || [ "$(stat -c %s "$media")" -ne $((size * 1048576)) ]; then
  head -c $((size * 1048576)) /dev/urandom > "$media.tmp" && mv "$media.tmp" "$media"
fi
[ -x /usr/bin/time ] || { echo "download_bench: /usr/bin/time is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

rm -f "$work/port"
"$build/bin/video_bench_server" --media "$media" --port-file "$work/port" --max-seconds 1800 &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$out"' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
host="127.0.0.1:$port"
link="http://$host/watch?v=bench"
mediaurl="http://$host/get_video?video_id=bench&&t=tokbench&"

# Runs a command under /usr/bin/time; prints "seconds peak-KB cpu-seconds". Fails when the command does.
measure() {
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/mem" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
  t1=$(date +%s.%N)
  read -r kb user sys < <(tail -1 "$work/mem")
  awk -v a="$t0" -v b="$t1" -v m="$kb" -v u="$user" -v s="$sys" 'BEGIN {printf "%.3f %d %.2f\n", b - a, m, u + s}'
}
best() { sort -g | head -1; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
check() {
  [ "$(stat -c %s "$1")" -eq $((size * 1048576)) ] || { echo "download_bench: $1 has the wrong size" >&2; exit 1; }
}

ours=(); theirs=(); ourcpu=(); theircpu=(); ourmem=0; theirmem=0
for ((i = 0; i < runs; i++)); do
  rm -f "$out"/*; sync
  read -r s m c < <(VORNIC_VIDEO_HOST="$host" measure "$build/bin/vornic-download" --default-quality --output-dir "$out" "$link")
  check "$out/Benchmark clip.flv"
  ours+=("$s"); ourcpu+=("$c"); ((m > ourmem)) && ourmem=$m
  rm -f "$out"/*; sync
  read -r s m c < <(measure curl -s -f --noproxy '*' -o "$out/curl.bin" "$mediaurl")
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

#!/bin/bash
# The window's longest main-thread stall while it adds 50 files, while it converts them, and
# while it prepares a run of them and a DVD title, and while the DVD dialog reads a dvdauthor
# folder's title sets.
#   Usage: bench/ui_latency.sh <build dir> [files] [runs]
set -euo pipefail
build=${1:-build}
files=${2:-50}
runs=${3:-3}
media="$build/bench-media"
mkdir -p "$media"
clip="$media/latency_640x360_4s.avi"
[ -s "$clip" ] || ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 -t 4 -c:v mpeg4 -q:v 4 -c:a mp2 "$clip"
dvd="$media/dvd"
bash "$(dirname "$0")/../scripts/make-dvd-fixture.sh" "$dvd"
for ((r = 1; r <= runs; r++)); do
  echo "run $r (load $(cut -d' ' -f1-3 /proc/loadavg))"
  "$build/bin/vornic-bench-ui-latency" "$build/bin" "$clip" "$files" "$dvd/two-titles"
done

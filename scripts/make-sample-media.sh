#!/usr/bin/env bash
# Short sample clips for the screenshot tool, drawn with the ffmpeg command line into the
# folder given (inside the build tree; never committed). Existing clips are kept.
set -euo pipefail
dir=${1:?usage: make-sample-media.sh <folder>}
mkdir -p "$dir"

clip() {
    local name=$1; shift
    [ -s "$dir/$name" ] && return 0
    ffmpeg -hide_banner -loglevel error -y "$@" "$dir/partial-$name"
    mv "$dir/partial-$name" "$dir/$name"
}

# Six seconds at 640x360: long enough that the run page can be caught in the middle.
clip "Summer holiday.mp4" -f lavfi -i "gradients=size=640x360:rate=25:duration=6:nb_colors=5:speed=0.02:seed=7" \
    -f lavfi -i "sine=frequency=330:duration=6" -c:v mpeg4 -q:v 4 -c:a aac -shortest
clip "City lights.mov" -f lavfi -i "mandelbrot=size=640x360:rate=25" -t 6 \
    -f lavfi -i "sine=frequency=440:duration=6" -c:v mpeg4 -q:v 4 -c:a aac -shortest
clip "Test pattern.avi" -f lavfi -i "testsrc2=size=640x360:rate=25:duration=6" \
    -f lavfi -i "sine=frequency=550:duration=6" -c:v mpeg4 -q:v 4 -c:a libmp3lame -shortest
clip "Podcast episode 12.mp3" -f lavfi -i "sine=frequency=220:duration=6" -c:a libmp3lame -b:a 128k

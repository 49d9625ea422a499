#!/bin/bash
# Probe benchmark: makes a set of media files once, then times adding them with the engine's
# probe against ffprobe + ffmpeg on the same files.  Usage: bench/probe-bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
media="$build/bench-media"
mkdir -p "$media"
src=(-f lavfi -i testsrc=size=640x360:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10)
make_file() { # name, codec arguments...
    local name=$1; shift
    [ -s "$media/$name" ] || ffmpeg -v error -y "${src[@]}" "$@" "$media/$name"
}
make_file a.mp4 -c:v libx264 -pix_fmt yuv420p -c:a aac
make_file b.avi -c:v mpeg4 -c:a libmp3lame
make_file c.mkv -c:v libx264 -pix_fmt yuv420p -c:a libopus
make_file d.mpg -c:v mpeg2video -c:a mp2 -f vob
make_file e.flv -c:v flv -c:a libmp3lame
make_file f.ogv -c:v libtheora -c:a libvorbis
make_file g.webm -c:v libvpx -b:v 1M -c:a libopus
make_file h.mp4 -c:v mpeg4 -c:a aac
"$build/bin/vornic-bench-probe" --runs "$runs" "$media"/*

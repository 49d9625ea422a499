#!/bin/bash
# Damaged-input benchmark: makes an MPEG-2 transport stream with a few thousand corrupt packets
# once, then times the engine against the ffmpeg command line converting it.
# Usage: bench/damaged_bench.sh <build dir> [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
media="$build/bench-media"
mkdir -p "$media"
clean="$media/damaged_clean.ts"
damaged="$media/damaged.ts"
[ -s "$clean" ] || ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 \
    -f lavfi -i sine=frequency=440:sample_rate=44100 -t 60 \
    -c:v mpeg2video -b:v 2M -c:a mp2 "$clean"
if [ ! -s "$damaged" ]; then
    # Overwrite 3 bytes of payload in every 7th transport packet, past the 4-byte header.
    python3 - "$clean" "$damaged" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
for n, off in enumerate(range(0, len(data) - 188, 188 * 7)):
    for k in range(3):
        data[off + 40 + k * 50] ^= 0x5A + n % 7
open(sys.argv[2], 'wb').write(data)
PY
fi
"$build/bin/vornic-bench-damaged" --runs "$runs" "$damaged" "$media/damaged-out"

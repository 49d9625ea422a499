#!/bin/bash
# Stand-in for the extractor in the downloader benchmark: called as the real one is
# (--dump-single-json --no-playlist --no-warnings LINK), it prints JSON of the same shape for
# one progressive MP4 format served by video_bench_server in ranges of BENCH_CHUNK bytes.
# The media address is on the link's own host; BENCH_SIZE is the file's length in bytes.
set -euo pipefail
link="${!#}"
hostport=${link#*://}
hostport=${hostport%%/*}
chunk=${BENCH_CHUNK:-10485760}
size=${BENCH_SIZE:-0}
cat <<JSON
{"id": "bench", "title": "Benchmark clip", "ext": "mp4", "format_id": "18",
 "webpage_url": "$link", "extractor": "generic", "duration": 600,
 "url": "http://$hostport/media?id=bench", "protocol": "http", "filesize": $size,
 "http_headers": {"User-Agent": "Mozilla/5.0 (X11; Linux x86_64) bench", "Accept": "*/*"},
 "downloader_options": {"http_chunk_size": $chunk},
 "formats": [
  {"format_id": "18", "url": "http://$hostport/media?id=bench", "ext": "mp4", "protocol": "http",
   "vcodec": "avc1.42001E", "acodec": "mp4a.40.2", "width": 640, "height": 360, "filesize": $size,
   "http_headers": {"User-Agent": "Mozilla/5.0 (X11; Linux x86_64) bench", "Accept": "*/*",
                    "Accept-Language": "en-us,en;q=0.5", "Sec-Fetch-Mode": "navigate"},
   "downloader_options": {"http_chunk_size": $chunk}}
 ]}
JSON

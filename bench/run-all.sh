#!/bin/bash
# Runs every benchmark against a build folder: bash bench/run-all.sh <build dir>
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
cmake --build "$build" --target vornic-bench-probe
bash "$here/probe-bench.sh" "$build"
cmake --build "$build" --target http_bench
bash "$here/http_bench.sh" "$build"
cmake --build "$build" --target vornic-bench-convert
bash "$here/convert_bench.sh" "$build"
cmake --build "$build" --target vornic-bench-damaged
bash "$here/damaged_bench.sh" "$build"
cmake --build "$build" --target vornic-convert
bash "$here/cli_bench.sh" "$build"
cmake --build "$build" --target vornic-download video_bench_server
bash "$here/download_bench.sh" "$build"
bash "$here/download_chunks_bench.sh" "$build"
bash "$here/jobs_bench.sh" "$build"
cmake --build "$build" --target vornic-bench-wizard-jobs
bash "$here/wizard_jobs_bench.sh" "$build"
cmake --build "$build" --target vornic-bench-ui-latency
bash "$here/ui_latency.sh" "$build"

#!/bin/bash
# HTTP transfer benchmark: the transfer component against the curl command line on one large
# generated body served from 127.0.0.1.  Usage: bench/http_bench.sh <build dir> [runs] [size MB]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
size=${3:-256}
mkdir -p "$build/bench-http"
"$build/bin/http_bench" --runs "$runs" --size-mb "$size" --dir "$build/bench-http"

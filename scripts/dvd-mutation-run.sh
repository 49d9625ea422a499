#!/usr/bin/env bash
# The big run of damaged DVD folders (tests/dvd/test_mutation.cpp) with its figures, by default
# 300 cases in the AddressSanitizer build:
#   scripts/dvd-mutation-run.sh [build dir (build-asan)] [cases (300)]
# Build it first: cmake -S . -B build-asan -DVORNIC_SANITIZE=address && cmake --build build-asan --target asan_tests
set -euo pipefail
build=${1:-build-asan}
cases=${2:-300}
test=$(find "$build/tests" -name dvd_test_mutation -type f -perm -u+x | head -1)
[ -n "$test" ] || { echo "no dvd_test_mutation in $build; build the asan_tests target first" >&2; exit 1; }
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export VORNIC_DVD_MUTATIONS=$cases
start=$(date +%s)
QT_QPA_PLATFORM=offscreen "$test" --gtest_color=no
echo "$cases cases in $(( $(date +%s) - start )) s"

#!/usr/bin/env bash
# Pass-through throughput of optvx: generates an I-code file with MEGABYTES
# of function bodies (generate.cpp, through the format layer's writer), runs
# "optvx -o0" on it RUNS times with tracing off, and reports for each run
# the wall time, the throughput in MB of input per second and the peak
# resident set size against the input's size.
#
#   bench/passthrough/run.sh [BUILD_DIR] [MEGABYTES] [RUNS]
#
# BUILD_DIR defaults to build/ (configured with the default RelWithDebInfo
# type), MEGABYTES to 100, RUNS to 3.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
megabytes=${2:-100}
runs=${3:-3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ninja -C "$build" optvx >/dev/null
c++ -std=c++20 -O2 -I"$root/src" "$root/bench/passthrough/generate.cpp" "$build/libvxopt.a" \
    -o "$work/generate"
"$work/generate" "$work/in.icode" "$megabytes"
size=$(stat -c %s "$work/in.icode")

for run in $(seq "$runs"); do
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$work/rss" "$build/optvx" -o0 "$work/in.icode" "$work/out.icode"
    end=$(date +%s.%N)
    awk -v start="$start" -v end="$end" -v rss_kb="$(cat "$work/rss")" -v bytes="$size" \
        -v run="$run" 'BEGIN {
            seconds = end - start
            printf "run %d: %.2f s, %.1f MB/s of input, peak RSS %.0f MB = %.1f x input\n",
                   run, seconds, bytes / 1048576 / seconds, rss_kb / 1024, rss_kb * 1024 / bytes
        }'
done

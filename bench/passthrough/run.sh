#!/usr/bin/env bash
# Pass-through throughput of optvx: generates an I-code file with MEGABYTES
# of function bodies (generate.cpp, through the format layer's writer), runs
# optvx on it RUNS times with tracing off, and reports for each run the wall,
# user and system time, the throughput in MB of input per second (by wall
# time and by user time, the steadier figure on a shared host) and the peak
# resident set size against the input's size.
#
#   bench/passthrough/run.sh [BUILD_DIR] [MEGABYTES] [RUNS] [MODE]
#
# BUILD_DIR defaults to build/ (configured with the default RelWithDebInfo
# type), MEGABYTES to 100, RUNS to 3.  MODE is "o0" (the default: "optvx
# -o0", which builds, cleans up and flattens each function's flow graph) or
# "passthrough" ("-o0 --debug=passthrough": the reader and the writer only).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
megabytes=${2:-100}
runs=${3:-3}
mode=${4:-o0}

case "$mode" in
o0) options=(-o0) ;;
passthrough) options=(-o0 --debug=passthrough) ;;
*)
    echo "run.sh: MODE must be o0 or passthrough, not '$mode'" >&2
    exit 1
    ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ninja -C "$build" optvx >/dev/null
c++ -std=c++20 -O2 -I"$root/src" "$root/bench/passthrough/generate.cpp" "$build/libvxopt.a" \
    -o "$work/generate"
"$work/generate" "$work/in.icode" "$megabytes"
size=$(stat -c %s "$work/in.icode")

echo "mode $mode, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$build/optvx" "${options[@]}" \
        "$work/in.icode" "$work/out.icode"
    read -r wall user sys rss_kb <"$work/time"
    awk -v wall="$wall" -v user="$user" -v sys="$sys" -v rss_kb="$rss_kb" -v bytes="$size" \
        -v run="$run" 'BEGIN {
            mb = bytes / 1048576
            printf "run %d: wall %.2f s (%.1f MB/s), user %.2f s (%.1f MB/s), sys %.2f s, " \
                   "peak RSS %.0f MB = %.1f x input\n",
                   run, wall, mb / wall, user, mb / user, sys, rss_kb / 1024, rss_kb * 1024 / bytes
        }'
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"

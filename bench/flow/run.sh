#!/usr/bin/env bash
# Flow-analysis scaling benchmark: builds flow_bench.cpp against the
# library and prints a table of times for 5 000 to 80 000 blocks with the
# ratio per doubling.
#
#   bench/flow/run.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ninja -C "$build" vxopt >/dev/null
c++ -std=c++20 -O2 -I"$root/src" "$root/bench/flow/flow_bench.cpp" "$build/libvxopt.a" -o "$work/flow_bench"
"$work/flow_bench"

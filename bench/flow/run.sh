#!/usr/bin/env bash
# Flow-analysis scaling benchmark: builds flow_bench.cpp against the
# library and prints a table of times with the ratio per doubling, for
# 5 000 to 80 000 blocks unless block counts are given.
#
#   bench/flow/run.sh [BUILD_DIR] [--cold] [--padding N] [--runs N] [BLOCKS...]
#
# --cold evicts the caches before every timed phase, so that every size
# starts from the same memory state; --padding N adds N assignments to
# every block; --runs N takes the best of N runs per size instead of 30.
# docs/flow.md explains them and has the measurements.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
if [[ $# -gt 0 && $1 != -* && ! $1 =~ ^[0-9]+$ ]]; then
    build=$1
    shift
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ninja -C "$build" vxopt >/dev/null
c++ -std=c++20 -O2 -I"$root/src" "$root/bench/flow/flow_bench.cpp" "$build/libvxopt.a" -o "$work/flow_bench"
"$work/flow_bench" "$@"

#!/bin/sh
# The interpreter's speed on a loop-heavy kernel, in tree nodes evaluated
# per second.  Run on demand, not by the tests:
#
#   bench/interp/run_bench.sh [BUILD_DIR] [REPEATS]
#
# BUILD_DIR defaults to build-interp next to this repository's sources and
# must hold a built ictool (ninja -C BUILD_DIR ictool).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-interp}
repeats=${2:-40}
ictool=$build/tools/ictool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$ictool" asm "$here/kernel.ict" -o "$work/kernel.icode"
start=$(date +%s.%N)
"$ictool" run "$work/kernel.icode" --arg "$repeats" --max-steps 100000000000 > "$work/out"
end=$(date +%s.%N)
summary=$(tail -n 1 "$work/out")
echo "$summary"
ops=$(echo "$summary" | sed 's/.* ops=\([0-9]*\).*/\1/')
awk -v ops="$ops" -v start="$start" -v end="$end" 'BEGIN {
    seconds = end - start
    printf "%d nodes in %.3f s: %.1f million nodes per second\n", ops, seconds, ops / seconds / 1e6
}'

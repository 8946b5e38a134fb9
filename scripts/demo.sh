#!/usr/bin/env bash
# The demo: runs the optimizer on a bundled example with the debug log and
# the info file on, and says where the outputs are; then compiles a C
# kernel (the FIR filter of examples/fir.c) with vxcc, optimizes it at -o3,
# runs both versions with the interpreter and shows the dynamic cost before
# and after.  $1 is the build directory (default build).
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
out=$build/demo
mkdir -p "$out"

# Part 1: sum.ict (a loop over an array) is assembled into the build by
# ictool.
cp "$build/examples/sum.icode" "$out/example.icode"
"$build/optvx" -o3 --debug_output=1 --info=1 "$out/example.icode"
echo
echo "demo: optimized $out/example.icode"
echo "demo:   output I-code  $out/example.opt"
echo "demo:   debug log      $out/example.odb"
echo "demo:   info file      $out/example.nfo"

# Part 2: a C kernel before and after the optimizer.
kernel=fir
"$build/tools/vxcc" "$here/examples/$kernel.c" -o "$out/$kernel.if"
"$build/optvx" -o3 "$out/$kernel.if" "$out/$kernel.opt"
"$build/tools/ictool" run "$out/$kernel.if" >"$out/$kernel.before"
"$build/tools/ictool" run "$out/$kernel.opt" >"$out/$kernel.after"
echo
echo "demo: examples/$kernel.c compiled by vxcc, optimized by optvx -o3, run by ictool run"
if cmp -s <(sed '$d' "$out/$kernel.before") <(sed '$d' "$out/$kernel.after"); then
    echo "demo:   both versions print the same $(sed '$d' "$out/$kernel.before" | wc -l) lines"
else
    echo "demo:   the optimized program prints something else:" >&2
    diff <(sed '$d' "$out/$kernel.before") <(sed '$d' "$out/$kernel.after") >&2 || true
    exit 1
fi
echo "demo:   before  $(tail -n 1 "$out/$kernel.before")"
echo "demo:   after   $(tail -n 1 "$out/$kernel.after")"

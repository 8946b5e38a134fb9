#!/usr/bin/env bash
# Runs the optimizer on a bundled example with the debug log and the info
# file on, and says where the outputs are.
set -euo pipefail
build=${1:-build}
out=$build/demo
mkdir -p "$out"
# sum.ict (a loop over an array) is assembled into the build by ictool.
cp "$build/examples/sum.icode" "$out/example.icode"
"$build/optvx" -o3 --debug_output=1 --info=1 "$out/example.icode"
echo
echo "demo: optimized $out/example.icode"
echo "demo:   output I-code  $out/example.opt"
echo "demo:   debug log      $out/example.odb"
echo "demo:   info file      $out/example.nfo"

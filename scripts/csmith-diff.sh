#!/bin/sh
# csmith-diff.sh N: differential test of the optimizer on random C programs.
#
# For the seeds 1..N (or FIRST..FIRST+N-1 with FIRST set): generates a
# program with csmith in the subset vxcc compiles, compiles it with vxcc,
# runs it with `ictool run`, optimizes it with `optvx -o0` ... `-o3`, runs
# every result and compares the output (the checksum line) with the
# unoptimized run.  A program that exceeds the step limit unoptimized is
# skipped.  On a difference it prints the command that replays the seed
# and exits with status 1.
#
# Environment: BUILD (build directory, default <repo>/build), FIRST (first
# seed, default 1), STEPS (step limit, default 20000000), WORK (scratch
# directory, default a fresh one under /tmp).
set -u
count=${1:?usage: csmith-diff.sh N}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
first=${FIRST:-1}
steps=${STEPS:-20000000}
work=${WORK:-$(mktemp -d /tmp/csmith-diff.XXXXXX)}
vxcc=$build/tools/vxcc
ictool=$build/tools/ictool
optvx=$build/optvx
flags="--no-bitfields --no-unions --no-packed-struct --no-int8 --no-uint8 --no-float --no-volatile-pointers"

for tool in csmith "$vxcc" "$ictool" "$optvx"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "csmith-diff: missing $tool" >&2; exit 2; }
done

passed=0 skipped=0
seed=$first
last=$((first + count - 1))
while [ "$seed" -le "$last" ]; do
    base=$work/s$seed
    replay="FIRST=$seed BUILD=$build $0 1"
    csmith $flags -s "$seed" -o "$base.c" >/dev/null 2>&1 || { echo "seed $seed: csmith failed"; seed=$((seed + 1)); continue; }
    if ! "$vxcc" "$base.c" -o "$base.if" 2>"$base.err"; then
        echo "seed $seed: vxcc rejected the program: $(head -1 "$base.err")"
        echo "replay: $replay"
        exit 1
    fi
    "$ictool" run "$base.if" --max-steps "$steps" >"$base.out" 2>"$base.err"
    status=$?
    if [ $status -eq 6 ]; then
        skipped=$((skipped + 1))
        seed=$((seed + 1))
        continue
    fi
    if [ $status -ne 0 ]; then
        echo "seed $seed: the unoptimized program failed (status $status): $(head -1 "$base.err")"
        echo "replay: $replay"
        exit 1
    fi
    expected=$(grep '^checksum' "$base.out")
    for level in 0 1 2 3; do
        if ! "$optvx" -o$level "$base.if" "$base.o$level" >"$base.opt.log" 2>&1; then
            echo "seed $seed: optvx -o$level failed: $(head -3 "$base.opt.log")"
            echo "replay: $replay"
            exit 1
        fi
        "$ictool" run "$base.o$level" --max-steps $((steps * 2)) >"$base.o$level.out" 2>"$base.err"
        got=$(grep '^checksum' "$base.o$level.out")
        if [ "$got" != "$expected" ]; then
            echo "seed $seed: -o$level prints '$got', unoptimized '$expected'"
            echo "replay: $replay"
            exit 1
        fi
    done
    passed=$((passed + 1))
    seed=$((seed + 1))
done
echo "csmith-diff: $passed passed, $skipped skipped (step limit), seeds $first..$last"
[ -z "${WORK:-}" ] && rm -rf "$work"
exit 0

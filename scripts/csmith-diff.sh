#!/bin/sh
# csmith-diff.sh N: differential test of the optimizer on random C programs.
#
# For the seeds 1..N (or FIRST..FIRST+N-1 with FIRST set, or the seeds
# listed in SEEDS): generates a program with csmith in the subset vxcc
# compiles, compiles it with vxcc, runs it with `ictool run`, optimizes it
# with `optvx -o0` ... `-o3`, runs every result and compares the output
# (the checksum line) with the unoptimized run.  A program that exceeds the
# step limit unoptimized is skipped: csmith proves its loops finite for a
# 32-bit int, and with this target's 16-bit int some of them are not.  On a
# failure it prints the command that replays the seed and stops, or with
# KEEP_GOING=1 goes on and counts it.  Exit status: 0 all ran programs
# passed, 1 a failure, 2 a missing tool, 77 csmith is not installed.
#
# Environment: BUILD (build directory, default <repo>/build), FIRST (first
# seed, default 1), SEEDS (explicit seeds, overrides N and FIRST), STEPS
# (step limit, default 50000000), WORK (scratch directory, default a fresh
# one under /tmp), CSMITH_OPTIONS (replaces the size options below).
set -u
count=${1:-0}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
first=${FIRST:-1}
steps=${STEPS:-50000000}
keep_going=${KEEP_GOING:-0}
if ! command -v csmith >/dev/null 2>&1; then
    echo "csmith-diff: csmith is not installed (apt-get install csmith); skipped" >&2
    exit 77
fi
vxcc=$build/tools/vxcc
ictool=$build/tools/ictool
optvx=$build/optvx
for tool in "$vxcc" "$ictool" "$optvx"; do
    [ -x "$tool" ] || { echo "csmith-diff: missing $tool" >&2; exit 2; }
done
work=${WORK:-$(mktemp -d /tmp/csmith-diff.XXXXXX)}
mkdir -p "$work"
# The subset vxcc compiles: no unions, bit-fields, 8-bit types or floats.
flags="--no-bitfields --no-unions --no-packed-struct --no-int8 --no-uint8 --no-float --no-volatile-pointers"
# Smaller programs than csmith's defaults: they run in a fraction of a
# second.  Backward gotos are what makes a program loop for long, so only
# every eighth seed has them (about 2% of all programs are then skipped).
sizes=${CSMITH_OPTIONS:---max-funcs 5 --max-block-depth 3 --max-expr-complexity 6 --max-array-len-per-dim 5}

if [ -n "${SEEDS:-}" ]; then
    seeds=$SEEDS
else
    [ "$count" -gt 0 ] 2>/dev/null || { echo "usage: csmith-diff.sh N (or SEEDS=\"...\")" >&2; exit 2; }
    seeds=$(seq "$first" $((first + count - 1)))
fi

passed=0 skipped=0 failed=0

# Reports a failure of the current seed; stops unless KEEP_GOING is set.
fail() {
    echo "seed $seed: $1"
    echo "replay: SEEDS=$seed BUILD=$build $0"
    failed=$((failed + 1))
    [ "$keep_going" = 1 ] || finish
}

finish() {
    echo "csmith-diff: $passed passed, $failed failed, $skipped skipped (step limit)"
    [ -z "${WORK:-}" ] && rm -rf "$work"
    [ "$failed" -eq 0 ] && exit 0
    exit 1
}

# Runs one seed; returns after counting it.
check_seed() {
    base=$work/s$seed
    jumps=--no-jumps
    [ $((seed % 8)) -eq 0 ] && jumps=--jumps
    if ! csmith $flags $sizes $jumps -s "$seed" -o "$base.c" >/dev/null 2>&1; then
        fail "csmith failed"
        return
    fi
    if ! "$vxcc" "$base.c" -o "$base.if" 2>"$base.err"; then
        fail "vxcc rejected the program: $(head -1 "$base.err")"
        return
    fi
    "$ictool" run "$base.if" --max-steps "$steps" >"$base.out" 2>"$base.err"
    status=$?
    if [ $status -eq 6 ]; then
        skipped=$((skipped + 1))
        return
    fi
    if [ $status -ne 0 ]; then
        fail "the unoptimized program failed (status $status): $(head -1 "$base.err")"
        return
    fi
    expected=$(grep '^checksum' "$base.out")
    for level in 0 1 2 3; do
        if ! "$optvx" -o$level "$base.if" "$base.o$level" >"$base.opt.log" 2>&1; then
            fail "optvx -o$level failed: $(head -3 "$base.opt.log")"
            return
        fi
        "$ictool" run "$base.o$level" --max-steps $((steps * 2)) >"$base.o$level.out" 2>"$base.err"
        status=$?
        got=$(grep '^checksum' "$base.o$level.out")
        if [ $status -ne 0 ] || [ "$got" != "$expected" ]; then
            fail "-o$level prints '$got' (status $status: $(head -1 "$base.err")), unoptimized '$expected'"
            return
        fi
    done
    passed=$((passed + 1))
}

for seed in $seeds; do
    check_seed
done
finish

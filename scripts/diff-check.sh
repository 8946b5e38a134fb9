#!/usr/bin/env bash
# Differential checking: random programs run before and after optimization.
#
#   scripts/diff-check.sh [--build DIR] --seeds A-B [--levels 0,1,2,3] [--jobs N]
#                         [--keep DIR] [--size small|medium|large] [--verify]
#
# Per seed: `ictool gen` writes a program, `ictool run` runs it (the
# reference), then for every level and option variant `optvx` optimizes it
# and the result runs again.  The program output and the summary's exit
# value must match the reference (the cost counts may differ), and so must
# the interpreter's exit status.  Every failure keeps its reproducer under
# the keep directory and prints the commands that replay it.  The exit
# status is 1 when anything failed.  See docs/diff-check.md.
set -u

BUILD=build
SEEDS=
LEVELS=0,1,2,3
JOBS=$(nproc 2>/dev/null || echo 2)
KEEP=diff-check-failures
SIZE=small
VERIFY=0

usage() {
    echo "usage: $0 [--build DIR] --seeds A-B [--levels 0,1,2,3] [--jobs N] [--keep DIR]" >&2
    echo "       [--size small|medium|large] [--verify]" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
        --build) BUILD=${2:?}; shift 2 ;;
        --seeds) SEEDS=${2:?}; shift 2 ;;
        --levels) LEVELS=${2:?}; shift 2 ;;
        --jobs) JOBS=${2:?}; shift 2 ;;
        --keep) KEEP=${2:?}; shift 2 ;;
        --size) SIZE=${2:?}; shift 2 ;;
        --verify) VERIFY=1; shift ;;
        -h|--help) usage ;;
        *) echo "$0: unknown argument '$1'" >&2; usage ;;
    esac
done

case "$SEEDS" in
    *-*) FIRST=${SEEDS%-*}; LAST=${SEEDS#*-} ;;
    '') usage ;;
    *) FIRST=$SEEDS; LAST=$SEEDS ;;
esac
if ! [[ "$FIRST" =~ ^[0-9]+$ && "$LAST" =~ ^[0-9]+$ ]] || [ "$FIRST" -gt "$LAST" ]; then
    echo "$0: --seeds wants A-B with A <= B, got '$SEEDS'" >&2
    exit 2
fi
if ! [[ "$LEVELS" =~ ^[0-4](,[0-4])*$ ]]; then
    echo "$0: --levels wants a comma-separated list of 0..4, got '$LEVELS'" >&2
    exit 2
fi

ICTOOL=$(realpath -m "$BUILD/tools/ictool")
OPTVX=$(realpath -m "$BUILD/optvx")
for program in "$ICTOOL" "$OPTVX"; do
    if [ ! -x "$program" ]; then
        echo "$0: $program is missing; build it first (ninja -C $BUILD ictool optvx)" >&2
        exit 2
    fi
done

# The IR verifier runs under the debug switch verify.  Switch names are
# free-form, so an optimizer without a verifier would ignore it silently:
# look for the name in the binary first.
EXTRA=
if [ "$VERIFY" = 1 ]; then
    if grep -aq 'verify' "$OPTVX"; then
        EXTRA=--debug=verify
    else
        echo "note: this optvx has no debug:verify switch; running without it" >&2
    fi
fi

mkdir -p "$KEEP"
KEEP=$(realpath "$KEEP")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/diff-check.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Large programs may do some tens of millions of operations; a loop that an
# optimization made endless still stops after a few seconds.
MAX_STEPS=400000000

export ICTOOL OPTVX LEVELS SIZE EXTRA KEEP WORK BUILD MAX_STEPS

# The last line of `ictool run` without its cost counts.
normalize() {
    sed -E 's/^(exit=[^ ]*) ops=.*/\1/' "$1"
}

# Keeps one failure and prints how to replay it.
keep_failure() {
    local seed=$1 tag=$2 reason=$3 dir=$4
    local place="$KEEP/seed-$seed-$tag"
    rm -rf "$place"
    mkdir -p "$place"
    cp "$dir"/program.icode "$place"/ 2>/dev/null
    "$ICTOOL" gen --seed "$seed" --size "$SIZE" --text > "$place/program.ict" 2>/dev/null
    cp "$dir"/reference.out "$dir"/reference.err "$place"/ 2>/dev/null
    for f in optimized.icode optimized.out optimized.err optvx.log; do
        [ -f "$dir/$tag.$f" ] && cp "$dir/$tag.$f" "$place/$f"
    done
    {
        echo "# $reason"
        local levels=$LEVELS
        [[ "$tag" =~ ^o[0-9] ]] && levels=${tag:1:1}
        echo "# the same check alone: scripts/diff-check.sh --build $BUILD --seeds $seed-$seed --levels $levels --size $SIZE"
        echo "$ICTOOL gen --seed $seed --size $SIZE -o program.icode"
        echo "$ICTOOL run --max-steps $MAX_STEPS program.icode"
        echo "$OPTVX $(cat "$dir/$tag.cmd" 2>/dev/null) program.icode optimized.icode"
        echo "$ICTOOL run --max-steps $MAX_STEPS optimized.icode"
    } > "$place/replay.sh"
    echo "FAIL seed $seed ($tag): $reason"
    echo "     kept in $place; replay: sh $place/replay.sh"
}

check_seed() {
    local seed=$1 dir="$WORK/$1" runs=0 failures=0
    mkdir -p "$dir"
    if ! "$ICTOOL" gen --seed "$seed" --size "$SIZE" -o "$dir/program.icode" 2> "$dir/gen.err"; then
        keep_failure "$seed" gen "ictool gen failed: $(head -1 "$dir/gen.err")" "$dir"
        echo "RESULT 0 1" > "$dir/result"
        return
    fi
    timeout 120 "$ICTOOL" run --max-steps "$MAX_STEPS" "$dir/program.icode" > "$dir/reference.out" 2> "$dir/reference.err"
    local reference=$?
    if [ "$reference" != 0 ]; then
        keep_failure "$seed" reference "the unoptimized program fails (status $reference): $(head -1 "$dir/reference.err")" "$dir"
        echo "RESULT 1 1" > "$dir/result"
        return
    fi
    normalize "$dir/reference.out" > "$dir/reference.norm"
    local level variant tag
    for level in ${LEVELS//,/ }; do
        for variant in plain --simd=on --no_inlining; do
            tag="o$level${variant#--}"
            [ "$variant" = plain ] && tag="o$level" && variant=
            tag=${tag//=/-}
            echo "-o$level $variant $EXTRA" | tr -s ' ' > "$dir/$tag.cmd"
            runs=$((runs + 1))
            timeout 300 "$OPTVX" -o"$level" $variant $EXTRA "$dir/program.icode" \
                "$dir/$tag.optimized.icode" > "$dir/$tag.optvx.log" 2>&1
            local status=$?
            if [ "$status" != 0 ]; then
                failures=$((failures + 1))
                keep_failure "$seed" "$tag" "optvx exits with status $status: $(grep -m1 . "$dir/$tag.optvx.log")" "$dir"
                continue
            fi
            timeout 120 "$ICTOOL" run --max-steps "$MAX_STEPS" "$dir/$tag.optimized.icode" > "$dir/$tag.optimized.out" \
                2> "$dir/$tag.optimized.err"
            status=$?
            if [ "$status" != 0 ]; then
                failures=$((failures + 1))
                keep_failure "$seed" "$tag" "the optimized program fails (status $status): $(head -1 "$dir/$tag.optimized.err")" "$dir"
                continue
            fi
            if ! normalize "$dir/$tag.optimized.out" | cmp -s - "$dir/reference.norm"; then
                failures=$((failures + 1))
                keep_failure "$seed" "$tag" "the output differs from the reference" "$dir"
            fi
        done
    done
    echo "RESULT $runs $failures" > "$dir/result"
    [ "$failures" = 0 ] && rm -f "$dir"/*.icode "$dir"/*.out "$dir"/*.err
}

export -f normalize keep_failure check_seed

START=$(date +%s)
seq "$FIRST" "$LAST" | xargs -P "$JOBS" -I{} bash -c 'check_seed {}'
END=$(date +%s)

RUNS=0
FAILURES=0
while read -r _ runs failures; do
    RUNS=$((RUNS + runs))
    FAILURES=$((FAILURES + failures))
done < <(cat "$WORK"/*/result 2>/dev/null)
SEED_COUNT=$((LAST - FIRST + 1))
echo "diff-check: seeds $FIRST-$LAST ($SEED_COUNT, $SIZE), levels $LEVELS, runs $RUNS, failures $FAILURES, time $((END - START))s"
[ "$FAILURES" = 0 ]

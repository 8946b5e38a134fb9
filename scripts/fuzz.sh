#!/usr/bin/env bash
# Fuzzes the I-code decoder (and the text form's round trip), or the
# optimizer's whole reader, with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [SECONDS] [decoder|reader]
#       run for SECONDS (default 60); "decoder" (the default) fuzzes the
#       format layer and the text form, "reader" the optimizer's reader:
#       pass 1 and every function body, nodes made and converted
#
# Builds with clang in build-fuzz/, seeds the corpus (build-fuzz/corpus)
# with the assembled examples and tests/fuzz/seeds/*.ict (a stream that holds
# every record kind), and keeps what it finds in
# build-fuzz/findings/.  A finding worth keeping goes to
# tests/data/icode-crashes/, where the unit tests replay it.  The target's
# own messages are silenced while fuzzing (-close_fd_mask=2); run the
# target on a finding to see its report:
#   build-fuzz/tests/fuzz/icode_decoder_fuzz build-fuzz/findings/crash-...
set -euo pipefail

seconds=${1:-60}
target=icode_${2:-decoder}_fuzz
case "$target" in
icode_decoder_fuzz | icode_reader_fuzz) ;;
*)
    echo "fuzz.sh: the target must be decoder or reader, not '${2}'" >&2
    exit 1
    ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DVXOPT_SANITIZE=ON -DVXOPT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
ninja -C "$build" "$target" examples

mkdir -p "$build/corpus" "$build/findings"
cp "$build"/examples/*.icode "$root"/examples/*.icode "$build/corpus/"
for seed in "$root"/tests/fuzz/seeds/*.ict; do
    "$build/tools/ictool" asm "$seed" -o "$build/corpus/$(basename "$seed" .ict).icode"
done
for finding in "$root"/tests/data/icode-crashes/*; do
    [ "${finding##*.}" = md ] || cp "$finding" "$build/corpus/"
done

"$build/tests/fuzz/$target" "$build/corpus" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix="$build/findings/"

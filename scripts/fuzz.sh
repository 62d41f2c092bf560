#!/bin/bash
# fuzz.sh [SECONDS] -- builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and runs each for SECONDS (60 by default), starting from its
# committed corpus in tests/fuzz/corpus/<target>/ (request_wire shares request_head's). New inputs that
# reach new code go to build-fuzz/fuzz/work/<target>/; an input that crashed, hung, broke an expectation
# or made a sanitizer report goes to build-fuzz/fuzz/findings/<target>/ -- add it to the committed corpus
# once it is fixed, so that the normal test build replays it from then on. Exits non-zero when any target
# found anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=$root/build-fuzz
"$root/scripts/install-deps.sh" build test

cmake -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON \
    -DQV_SANITIZE=address,undefined -DQV_BUILD_TESTS=OFF -DQV_BUILD_UI=OFF >/dev/null
targets=(request_head request_wire click_query profile_reader)
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# Longest input per target: past the 1024-byte head bound, past every click text, a settings file of a
# few dozen lines.
declare -A max_length=([request_head]=2048 [request_wire]=2048 [click_query]=2048 [profile_reader]=4096)
# The wire target reads the same inputs as the parser target.
declare -A corpus=([request_wire]=request_head)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
    work=$dir/fuzz/work/$target
    findings=$dir/fuzz/findings/$target
    mkdir -p "$work" "$findings"
    echo "== fuzz_$target for $seconds s"
    if "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="${max_length[$target]}" -timeout=60 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "$root/tests/fuzz/corpus/${corpus[$target]:-$target}" > "$dir/fuzz/$target.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done [0-9]+ runs' "$dir/fuzz/$target.log" || true
    else
        failed+=("$target")
        echo "fuzz_$target found a fault; input in $findings, output in $dir/fuzz/$target.log"
        grep -E -A30 'ERROR: |runtime error|fuzz target: |deadly signal|timeout' "$dir/fuzz/$target.log" | head -n 60
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: findings in ${failed[*]}"
    exit 1
fi
echo "fuzz.sh: no findings"

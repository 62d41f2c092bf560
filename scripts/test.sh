#!/bin/bash
# test.sh -- installs what is missing, checks the layout of the sources against .clang-format, then builds
# with warnings as errors and runs every test three times: a normal build, an
# AddressSanitizer+UndefinedBehaviorSanitizer build and a ThreadSanitizer build; after the normal build,
# scripts/user-checks.sh (live page, installed package, reverse proxy). Tests that need a screen
# run on a private Xvfb that CTest starts and stops itself. Then the Windows build runs its tests under
# Wine. Last, the fuzz targets run for QV_FUZZ_SECONDS each (60 by default; 0 skips them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build test
"$root/scripts/format.sh" --check

status=0
run_suite() {
    local dir=$1 sanitize=$2
    echo "== build $dir ${sanitize:-(no sanitizers)}"
    # The sanitizer builds skip the benchmark hosts: only the tests run there.
    local bench=ON
    [ -n "$sanitize" ] && bench=OFF
    "$root/scripts/build.sh" "$dir" "$sanitize" -DQV_BUILD_BENCH=$bench -DQV_WERROR=ON
    echo "== test $dir"
    (cd "$dir" && ctest --output-on-failure -j "$(nproc)") || status=1
}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp"
run_suite "$root/build" ""
"$root/scripts/user-checks.sh" "$root/build" || status=1
run_suite "$root/build-asan" "address,undefined"
run_suite "$root/build-tsan" "thread"

echo "== windows: cross-build, then the tests under Wine"
# Wine's desktop now and then drops a synthetic pointer move under load: a failed Wine test gets one
# more run, and a fault that is really there fails both.
"$root/scripts/install-deps.sh" windows
"$root/scripts/build-windows.sh" "$root/build-win" && (cd "$root/build-win" && ctest -L windows --output-on-failure -j "$(nproc)" --repeat until-pass:2) || status=1

fuzz_seconds=${QV_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== fuzz, $fuzz_seconds s per target"
    "$root/scripts/fuzz.sh" "$fuzz_seconds" || status=1
fi
exit $status

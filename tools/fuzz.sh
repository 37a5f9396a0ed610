#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang and runs each one for
# a bounded time, starting from its seed corpus (tests/fuzz/corpus/<target>,
# which is only read). Any crash, leak, sanitizer report or failed check of a
# target fails it; its report and the input that caused it are kept in
# <build>/artifacts/.
#
#   tools/fuzz.sh [TARGET...]
#   FUZZ_SECONDS    seconds per target (default 30)
#   FUZZ_BUILD_DIR  build folder (default build/fuzz)
#
# Prints one line per target, "fuzz TARGET: ok (N executions)" or
# "fuzz TARGET: FAILED (...)", and exits non-zero if any target failed.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
build=${FUZZ_BUILD_DIR:-build/fuzz}
targets=(fuzz_profile fuzz_registry_file fuzz_run)
[ $# -gt 0 ] && targets=("$@")

if ! command -v clang++ >/dev/null; then
    for target in "${targets[@]}"; do echo "fuzz $target: FAILED (clang++ is not installed)"; done
    exit 1
fi
if ! CC=clang CXX=clang++ cmake -S . -B "$build" -DREGOST_FUZZ=ON -DBUILD_TESTING=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1 ||
   ! cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >"$build.build.log" 2>&1; then
    tail -n 30 "$build.configure.log" "$build.build.log" 2>/dev/null
    for target in "${targets[@]}"; do echo "fuzz $target: FAILED (build)"; done
    exit 1
fi

# The targets make their scratch folders under TMPDIR; a crashing target
# cannot remove its own, so all of them go into one folder removed here.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts" "$build/logs"

status=0
for target in "${targets[@]}"; do
    log="$build/logs/$target.log"
    mkdir -p "$work/$target"
    rm -f "$build/artifacts/$target"-*
    TMPDIR="$work" "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$work/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1
    result=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    artifacts=$(find "$build/artifacts" -name "$target-*" | head -n 3)
    if [ "$result" -eq 0 ] && [ -z "$artifacts" ]; then
        echo "fuzz $target: ok (${executions:-?} executions in ${seconds} s)"
    else
        status=1
        # The report: the failed check or the sanitizer's summary, then the stack.
        grep -E -A 12 'check failed|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
            "$log" | head -n 40
        echo "fuzz $target: FAILED (exit $result after ${executions:-?} executions; log $log;" \
            "input ${artifacts:-none})"
    fi
done
exit $status

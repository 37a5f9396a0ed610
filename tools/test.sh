#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests, the end-to-end runs
# of regost and of RegOST.exe under Wine, the conformance tests against Wine,
# then the unit and Linux end-to-end tests again under the sanitizers, and
# finally each fuzz target for a bounded time.
set -uo pipefail
cd "$(dirname "$0")/.."

tools/build.sh --all || { echo "build failed"; exit 1; }

# One fresh Wine prefix for the whole run.
export REGOST_WINEPREFIX
REGOST_WINEPREFIX="$(mktemp -d)/wine"
trap 'WINEPREFIX="$REGOST_WINEPREFIX" wineserver -k 2>/dev/null; rm -rf "$(dirname "$REGOST_WINEPREFIX")"' EXIT

passed=0
failed=0
status=0
for preset in linux asan; do
    echo "== tests of the $preset build"
    log="build/ctest-$preset.log"
    # The Wine tests share one prefix and its wineserver, so they run one at a time.
    jobs=1
    [ "$preset" = asan ] && jobs=2
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    [ -n "$total" ] || { status=1; continue; }
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done

# The fuzz targets, each counted as one test (tools/fuzz.sh, FUZZ_SECONDS each).
echo "== fuzz targets"
log="build/fuzz.log"
tools/fuzz.sh 2>&1 | tee "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
fuzz_passed=$(grep -c '^fuzz .*: ok' "$log")
fuzz_failed=$(grep -c '^fuzz .*: FAILED' "$log")
[ $((fuzz_passed + fuzz_failed)) -gt 0 ] || { status=1; fuzz_failed=1; }
passed=$((passed + fuzz_passed))
failed=$((failed + fuzz_failed))

echo "tests: $passed passed, $failed failed"
exit $status

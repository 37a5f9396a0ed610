#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests, the end-to-end runs
# of regost and of both RegOST.exe builds under Wine (x86_64 in a 64-bit
# prefix, i686 in a 32-bit one and through WOW64), the conformance tests
# against Wine, then the unit and Linux end-to-end tests again under the
# sanitizers, each fuzz target for a bounded time, and finally two builds of
# the release that must give the same bytes.
set -uo pipefail
cd "$(dirname "$0")/.."

tools/build.sh --all || { echo "build failed"; exit 1; }

# Fresh Wine prefixes, a 64-bit and a 32-bit one, for the whole run.
export REGOST_WINEPREFIX REGOST_WINEPREFIX32
wine_root=$(mktemp -d)
REGOST_WINEPREFIX="$wine_root/wine"
REGOST_WINEPREFIX32="$wine_root/wine32"
end_wine() {
    WINEPREFIX="$REGOST_WINEPREFIX" wineserver -k 2>/dev/null
    WINEPREFIX="$REGOST_WINEPREFIX32" wineserver -k 2>/dev/null
    rm -rf "$wine_root"
}
trap end_wine EXIT

passed=0
failed=0
status=0
for preset in linux asan; do
    echo "== tests of the $preset build"
    log="build/ctest-$preset.log"
    # The Wine tests of one prefix take turns through their RESOURCE_LOCK.
    ctest --preset "$preset" -j 2 2>&1 | tee "$log"
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

# Two builds of the release from HEAD, in different folders: one test.
echo "== reproducible release"
if tools/dist.sh --check 2>&1 | tee build/dist-check.log | tail -n 3 &&
   grep -q '^reproducible release: ok' build/dist-check.log; then
    passed=$((passed + 1))
else
    status=1
    failed=$((failed + 1))
fi

echo "tests: $passed passed, $failed failed"
exit $status

#!/usr/bin/env bash
# Builds RegOST.exe, the no-op yardstick (bench/noop.cpp) and regost through
# the CMake presets, then times them (bench/bench.py) and prints one table.
# Needs wine, strace and the mingw-w64 binutils. BENCH_BUILD_ROOT=build/x
# builds into build/x-mingw64 and build/x-linux instead of the presets' own
# folders; other arguments go to bench.py (e.g. --runs 25).
set -euo pipefail
cd "$(dirname "$0")/.."

mingw_dir=build/mingw64
linux_dir=build/linux
if [ -n "${BENCH_BUILD_ROOT:-}" ]; then
    mingw_dir="$BENCH_BUILD_ROOT-mingw64"
    linux_dir="$BENCH_BUILD_ROOT-linux"
fi
for tool in wine wineserver strace x86_64-w64-mingw32-objdump; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done

cmake --preset mingw64 -B "$mingw_dir" >/dev/null
cmake --build "$mingw_dir" -j "$(nproc)" --target RegOST noop advapi_noop >/dev/null
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j "$(nproc)" --target regost >/dev/null

exec python3 bench/bench.py --exe "$mingw_dir/RegOST.exe" --noop "$mingw_dir/noop.exe" \
    --advapi-noop "$mingw_dir/advapi_noop.exe" \
    --regost "$linux_dir/regost" "$@"

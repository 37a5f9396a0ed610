#!/usr/bin/env bash
# Builds both RegOST.exe and RegOSTCtl.exe builds, the no-op yardstick
# (bench/noop.cpp) and regost through the CMake presets, then measures them
# (bench/bench.py: the sizes of all four exes, the timings of the x86_64
# RegOST.exe) and prints one table.
# --sizes-only prints the size rows alone.
# Needs wine, strace and the mingw-w64 binutils. BENCH_BUILD_ROOT=build/x
# builds into build/x-mingw64 and build/x-linux instead of the presets' own
# folders; other arguments go to bench.py (e.g. --runs 25).
set -euo pipefail
cd "$(dirname "$0")/.."

mingw_dir=build/mingw64
mingw32_dir=build/mingw32
linux_dir=build/linux
if [ -n "${BENCH_BUILD_ROOT:-}" ]; then
    mingw_dir="$BENCH_BUILD_ROOT-mingw64"
    mingw32_dir="$BENCH_BUILD_ROOT-mingw32"
    linux_dir="$BENCH_BUILD_ROOT-linux"
fi
for tool in wine wineserver strace x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done

cmake --preset mingw64 -B "$mingw_dir" >/dev/null
cmake --build "$mingw_dir" -j "$(nproc)" --target RegOST RegOSTCtl noop advapi_noop >/dev/null
cmake --preset mingw32 -B "$mingw32_dir" >/dev/null
cmake --build "$mingw32_dir" -j "$(nproc)" --target RegOST RegOSTCtl >/dev/null
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j "$(nproc)" --target regost >/dev/null

exec python3 bench/bench.py --exe "$mingw_dir/RegOST.exe" --exe32 "$mingw32_dir/RegOST.exe" \
    --noop "$mingw_dir/noop.exe" \
    --advapi-noop "$mingw_dir/advapi_noop.exe" \
    --regost "$linux_dir/regost" "$@"

#!/usr/bin/env bash
# Builds regost (Linux) and both RegOST.exe builds (64-bit and 32-bit
# Windows); with --all also the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(linux mingw64 mingw32)
[ "${1:-}" = "--all" ] && presets+=(asan)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

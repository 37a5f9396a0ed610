#!/usr/bin/env bash
# Builds regost (Linux) and RegOST.exe (64-bit Windows); with --all also the
# 32-bit Windows build and the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(linux mingw64)
[ "${1:-}" = "--all" ] && presets+=(mingw32 asan)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done

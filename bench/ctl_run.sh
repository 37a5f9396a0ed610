#!/usr/bin/env bash
# Builds RegOST.exe, RegOSTCtl.exe, the no-op program (x86_64) and regostctl
# through the CMake presets, then times RegOSTCtl (bench/ctl_bench.py). Needs
# wine. Arguments go to ctl_bench.py (e.g. --runs 25, --user-only).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v wine >/dev/null || { echo "bench: wine is needed" >&2; exit 1; }
cmake --preset mingw64 >/dev/null
cmake --build build/mingw64 -j 2 --target RegOST RegOSTCtl noop >/dev/null
cmake --preset linux >/dev/null
cmake --build build/linux -j 2 --target regostctl >/dev/null
exec python3 bench/ctl_bench.py --exe build/mingw64/RegOST.exe --ctl build/mingw64/RegOSTCtl.exe \
    --noop build/mingw64/noop.exe \
    --regostctl build/linux/regostctl "$@"

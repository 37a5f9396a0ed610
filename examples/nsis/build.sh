#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example setup of Ostrel, around the
# RegOSTCtl.exe of one bitness:
#
#   examples/nsis/build.sh OUT_DIR x86|x64 [CTL_EXE]
#
# x86: a 32-bit setup with the i686 RegOSTCtl.exe (32-bit registry view);
# x64: a 64-bit setup with the x86_64 RegOSTCtl.exe (64-bit view). Without
# CTL_EXE, the exe is built first (preset mingw32 or mingw64).
# Needs makensis (Debian: nsis).
set -euo pipefail

if [ $# -lt 2 ] || { [ "$2" != x86 ] && [ "$2" != x64 ]; }; then
    echo "usage: $0 OUT_DIR x86|x64 [CTL_EXE]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
arch=$2
exe=${3:-}
if [ -z "$exe" ]; then
    preset=mingw64
    [ "$arch" = x86 ] && preset=mingw32
    (cd "$here/../.." && cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" --target RegOSTCtl >/dev/null)
    exe="$here/../../build/$preset/RegOSTCtl.exe"
fi
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

cd "$here"
makensis -V2 -DARCH="$arch" -DCTL_EXE="$exe" -DOUT_FILE="$out/OstrelSetup.exe" \
    OstrelSetup.nsi

#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example setup of Ostrel, around the
# RegOSTCtl.exe of one bitness:
#
#   examples/nsis/build.sh OUT_DIR x86|x64 [CTL_EXE]
#
# x86: a 32-bit setup with the i686 RegOSTCtl.exe (32-bit registry view);
# x64: a 64-bit setup with the x86_64 RegOSTCtl.exe (64-bit view). Without
# CTL_EXE it takes the release's own x86\ or x64\RegOSTCtl.exe when run from
# the unpacked release zip, and builds the exe first (preset mingw32 or
# mingw64) when run from RegOST's source tree.
# Needs makensis (Debian: nsis). On Windows, without bash, the same build is
#   makensis /DARCH=x64 /DCTL_EXE=..\..\x64\RegOSTCtl.exe /DOUT_FILE=OUT\OstrelSetup.exe OstrelSetup.nsi
# run in this folder; the x64 setup needs a makensis with the amd64 stubs.
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
if [ -z "$exe" ] && [ -f "$here/../../$arch/RegOSTCtl.exe" ]; then # the unpacked release
    exe="$here/../../$arch/RegOSTCtl.exe"
elif [ -z "$exe" ] && [ -f "$here/../../CMakePresets.json" ]; then # the source tree
    preset=mingw64
    [ "$arch" = x86 ] && preset=mingw32
    (cd "$here/../.." && cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" --target RegOSTCtl >/dev/null)
    exe="$here/../../build/$preset/RegOSTCtl.exe"
elif [ -z "$exe" ]; then
    echo "$0: no $arch/RegOSTCtl.exe two folders up: give CTL_EXE" >&2
    exit 2
fi
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

cd "$here"
makensis -V2 -DARCH="$arch" -DCTL_EXE="$exe" -DOUT_FILE="$out/OstrelSetup.exe" \
    OstrelSetup.nsi

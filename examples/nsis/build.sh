#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example setup of Ostrel, for one
# edition:
#
#   [OSTREL_ARX_X86=FILE] [OSTREL_ARX_X64=FILE] examples/nsis/build.sh OUT_DIR x86|x64 [CTL_EXE]
#
# x86: a 32-bit setup with the i686 RegOSTCtl.exe (32-bit registry view),
# into Program Files (x86) on 64-bit Windows; x64: a 64-bit setup with the
# x86_64 RegOSTCtl.exe (64-bit view), into Program Files. OSTREL_ARX_X86 and
# OSTREL_ARX_X64 name the vendor's add-on of each edition, installed as
# Ostrel.arx; without them a placeholder DLL of the edition's machine stands
# in. Without CTL_EXE it takes the release's own x86\ or x64\RegOSTCtl.exe
# when run from the unpacked release zip, and builds the exe first (preset
# mingw32 or mingw64) when run from RegOST's source tree (../inputs.sh).
# Needs makensis (Debian: nsis). On Windows, without bash, the same build is
#   makensis /DARCH=x64 /DCTL_EXE=..\..\x64\RegOSTCtl.exe /DADDON=path\to\x64\Ostrel.arx /DOUT_FILE=OUT\OstrelSetup.exe OstrelSetup.nsi
# run in this folder; the x64 setup needs a makensis with the amd64 stubs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_arguments "[CTL_EXE]" "$@"
example_inputs "$arch" "${3:-}"

cd "$here"
makensis -V2 -DARCH="$arch" -DCTL_EXE="$ctl_exe" -DADDON="$addon" \
    -DOUT_FILE="$out/OstrelSetup.exe" OstrelSetup.nsi

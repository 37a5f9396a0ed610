#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example NSIS setup of Ostrel for both
# editions, from the vendor's own files:
#
#   examples/nsis/build.sh OUT_DIR SETUP_INI ARX_X86 ARX_X64
#
# SETUP_INI is the vendor's RegOST.ini, ARX_X86 and ARX_X64 the add-on for
# 32-bit and for 64-bit AutoCAD (`placeholder` for a DLL that does nothing);
# ../inputs.sh checks them and finds both RegOSTCtl.exe. Needs makensis
# (NSIS 3; Debian: nsis). README.md gives the same build on Windows.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_inputs "$@"

cd "$here"
makensis -V2 -DSETUP_INI="$setup_ini" -DARX_X86="$addon_x86" -DARX_X64="$addon_x64" \
    -DCTL_X86="$ctl_x86" -DCTL_X64="$ctl_x64" -DLICENCE="$licence" \
    -DOUT_FILE="$out/OstrelSetup.exe" OstrelSetup.nsi

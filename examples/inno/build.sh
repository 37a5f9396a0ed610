#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example Inno Setup setup of Ostrel for
# both editions, from the vendor's own files:
#
#   examples/inno/build.sh OUT_DIR SETUP_INI ARX_X86 ARX_X64
#
# SETUP_INI is the vendor's RegOST.ini, ARX_X86 and ARX_X64 the add-on for
# 32-bit and for 64-bit AutoCAD (`placeholder` for a DLL that does nothing);
# ../inputs.sh checks them and finds both RegOSTCtl.exe. Needs Inno Setup's
# ISCC.exe (6.3 or later) and Wine to run it: ISCC names it, by default the
# one of the npm package innosetup (tools/setup.sh installs it). WINEPREFIX,
# if set, is the prefix it runs in. README.md gives the same build on Windows.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_inputs "$@"

iscc=${ISCC:-}
if [ -z "$iscc" ] && command -v npm >/dev/null; then
    iscc=$(npm root -g)/innosetup/bin/ISCC.exe
fi
if [ -z "$iscc" ] || [ ! -f "$iscc" ]; then
    example_fail "no ISCC.exe: install the npm package innosetup (tools/setup.sh) or set ISCC"
fi
wine=$(command -v wine || command -v wine64 || true)
[ -n "$wine" ] || example_fail "no wine to run ISCC.exe"
dos() { printf 'Z:%s' "${1//\//\\}"; }

cd "$here"
rm -f "$out/OstrelSetup.exe"
# /Q: errors and warnings only. Wine's own messages are no part of the build.
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" "$iscc" /Q \
    /DSETUP_INI="$(dos "$setup_ini")" /DARX_X86="$(dos "$addon_x86")" \
    /DARX_X64="$(dos "$addon_x64")" /DCTL_X86="$(dos "$ctl_x86")" \
    /DCTL_X64="$(dos "$ctl_x64")" /DLICENCE="$(dos "$licence")" /O"$(dos "$out")" OstrelSetup.iss
[ -f "$out/OstrelSetup.exe" ] || { echo "$0: ISCC made no OstrelSetup.exe" >&2; exit 1; }

#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.exe, the example Inno Setup setup of Ostrel, for
# one edition:
#
#   [OSTREL_ARX_X86=FILE] [OSTREL_ARX_X64=FILE] examples/inno/build.sh OUT_DIR x86|x64 [CTL_EXE]
#
# x86: a 32-bit setup with the i686 RegOSTCtl.exe (32-bit registry view),
# into Program Files (x86) on 64-bit Windows; x64: a 64-bit install mode
# setup with the x86_64 RegOSTCtl.exe (64-bit view), into Program Files.
# OSTREL_ARX_X86 and OSTREL_ARX_X64 name the vendor's add-on of each
# edition, installed as Ostrel.arx; without them a placeholder DLL of the
# edition's machine stands in. Without CTL_EXE it takes the release's own
# x86\ or x64\RegOSTCtl.exe when run from the unpacked release zip, and
# builds the exe first (preset mingw32 or mingw64) when run from RegOST's
# source tree (../inputs.sh).
# Needs Inno Setup's ISCC.exe and Wine to run it: ISCC names it, by default
# the one of the npm package innosetup (tools/setup.sh installs 6.4.1).
# WINEPREFIX, if set, is the prefix it runs in. On Windows the same build is
#   ISCC /DARCH=x64 /DCTL_EXE=..\..\x64\RegOSTCtl.exe /DADDON=path\to\x64\Ostrel.arx /OOUT OstrelSetup.iss
# run in this folder.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_arguments "[CTL_EXE]" "$@"
example_inputs "$arch" "${3:-}"

iscc=${ISCC:-}
if [ -z "$iscc" ] && command -v npm >/dev/null; then
    iscc=$(npm root -g)/innosetup/bin/ISCC.exe
fi
if [ -z "$iscc" ] || [ ! -f "$iscc" ]; then
    echo "$0: no ISCC.exe: install the npm package innosetup (tools/setup.sh) or set ISCC" >&2
    exit 2
fi
wine=$(command -v wine || command -v wine64 || true)
[ -n "$wine" ] || { echo "$0: no wine to run ISCC.exe" >&2; exit 2; }
dos() { printf 'Z:%s' "${1//\//\\}"; }

cd "$here"
rm -f "$out/OstrelSetup.exe"
# /Q: errors and warnings only. Wine's own messages are no part of the build.
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" "$iscc" /Q /DARCH="$arch" \
    /DCTL_EXE="$(dos "$ctl_exe")" /DADDON="$(dos "$addon")" /O"$(dos "$out")" OstrelSetup.iss
[ -f "$out/OstrelSetup.exe" ] || { echo "$0: ISCC made no OstrelSetup.exe" >&2; exit 1; }

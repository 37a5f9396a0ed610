#!/usr/bin/env bash
# Builds OUT_DIR/OstrelSetup.msi, the Windows Installer package of Ostrel,
# for one edition:
#
#   [OSTREL_ARX_X86=FILE] [OSTREL_ARX_X64=FILE] [OSTREL_VERSION=V] examples/msi/build.sh OUT_DIR x86|x64 [EXE_DIR]
#
# x86: a 32-bit package with the i686 exe (32-bit registry view), into
# Program Files (x86) on 64-bit Windows; x64: a 64-bit package with the
# x86_64 exe (64-bit view), into Program Files. Each edition has its own
# upgrade code and components, so both install side by side.
# OSTREL_ARX_X86 and OSTREL_ARX_X64 name the vendor's add-on of each
# edition, installed as Ostrel.arx; without them a placeholder DLL of the
# edition's machine stands in. EXE_DIR holds the RegOSTCtl.exe of that
# edition; without it the release's own x86\ or x64\ is taken when run from
# the unpacked release zip, and the exe is built first (preset mingw32 or
# mingw64) when run from RegOST's source tree (../inputs.sh).
# OSTREL_VERSION sets the package version (default 17.0.0).
#
# wixl builds the package; msibuild then adds what wixl cannot author or
# gets wrong (README.txt here says what, and how WiX on Windows does the
# same), and the CustomAction and InstallExecuteSequence tables are checked
# before the package counts as built. Any wixl output fails the build: wixl
# drops what it does not know with a warning and exit code 0.
# Needs wixl and msitools (Debian: wixl, msitools).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_arguments "[EXE_DIR]" "$@"
version=${OSTREL_VERSION:-17.0.0}
example_inputs "$arch" "${3:+$3/RegOSTCtl.exe}"

# wixl takes the files from the current folder: stage them.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$here/OstrelSetup.wxs" "$here/RegOST.ini" "$stage/"
cp "$ctl_exe" "$stage/RegOSTCtl.exe"
cp "$addon" "$stage/Ostrel.arx"
msi=$stage/OstrelSetup.msi
if ! (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
        -o "$msi" OstrelSetup.wxs >"$stage/wixl.out" 2>&1) || [ -s "$stage/wixl.out" ]; then
    cat "$stage/wixl.out" >&2
    echo "build.sh: wixl failed or warned" >&2
    exit 1
fi

sql() { msibuild "$msi" -q "$1"; }
# wixl makes a rollback action an immediate one: 3410 = run an installed
# exe (18), in the script (1024) as rollback (256), not impersonated (2048),
# exit code ignored (64).
sql "UPDATE CustomAction SET Type = 3410 WHERE Action = 'RollbackOstrel'"
# The old product goes first, before InstallInitialize: wixl moves it.
sql "UPDATE InstallExecuteSequence SET Sequence = 1401 WHERE Action = 'RemoveExistingProducts'"
# RegOST's logs go on uninstall, so that the folder can go too.
remove="INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)"
sql "$remove VALUES ('RemoveRegOSTLog', 'Ostrel', 'RegOST.log', 'INSTALLDIR', 2)"
sql "$remove VALUES ('RemoveScriptLog', 'Ostrel', 'TEMPTXT.log', 'INSTALLDIR', 2)"

# The tables as they must be: every row of ours exactly, and no custom
# action without its row (wixl leaves the sequence row of one it dropped).
problems=()
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
expect() {  # TABLE ROW...: each ROW (tab-separated) must be in TABLE
    local name=$1 rows
    shift
    rows=$(table "$name")
    for row in "$@"; do
        grep -qxF "$row" <<<"$rows" || problems+=("$name lacks: $row")
    done
}
expect CustomAction $'RegisterOstrel\t3090\tRegOSTCtl.exe\t/INSTALL /ALLUSERS\t' \
    $'UnregisterOstrel\t3154\tRegOSTCtl.exe\t/UNINSTALL\t' \
    $'RollbackOstrel\t3410\tRegOSTCtl.exe\t/UNINSTALL\t'
expect InstallExecuteSequence $'InstallValidate\t\t1400' $'RemoveExistingProducts\t\t1401' \
    $'InstallInitialize\t\t1500' $'UnregisterOstrel\tREMOVE="ALL"\t3499' \
    $'RemoveFiles\t\t3500' $'InstallFiles\t\t4000' $'RollbackOstrel\tNOT Installed\t4001' \
    $'RegisterOstrel\tNOT REMOVE~="ALL"\t4002' $'InstallFinalize\t\t6600'
[ "$(table CustomAction | wc -l)" -eq 3 ] || problems+=("CustomAction has other rows")
[ "$(table InstallExecuteSequence | grep -c Ostrel)" -eq 3 ] ||
    problems+=("InstallExecuteSequence has other custom actions")
template=Intel
[ "$arch" = x64 ] && template=x64
msiinfo suminfo "$msi" | grep -qx "Template: $template;1033" ||
    problems+=("the summary's platform is not $template")
if [ ${#problems[@]} -gt 0 ]; then
    printf 'build.sh: %s\n' "${problems[@]}" >&2
    exit 1
fi
mv "$msi" "$out/OstrelSetup.msi"

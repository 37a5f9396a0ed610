#!/usr/bin/env bash
# Builds the Windows Installer packages of Ostrel, one per edition:
#
#   [OSTREL_VERSION=V] examples/msi/build.sh OUT_DIR SETUP_INI ARX_X86 ARX_X64
#
# OUT_DIR/x86/OstrelSetup.msi: a 32-bit package with the i686 RegOSTCtl.exe
# (32-bit registry view) and ARX_X86, into Program Files (x86) on 64-bit
# Windows; OUT_DIR/x64/OstrelSetup.msi: a 64-bit package with the x86_64 one
# (64-bit view) and ARX_X64, into Program Files. Each edition has its own
# upgrade code and components, so both install side by side. SETUP_INI is
# the vendor's RegOST.ini, the add-ons are installed as Ostrel.arx
# (`placeholder`: a DLL that does nothing, for trying the packages out), and
# RegOST's licence as RegOST-LICENSE.txt; ../inputs.sh checks them all
# before anything is built. OSTREL_VERSION sets the package version (default
# 17.0.0); raise it for every release.
#
# wixl builds each package; msibuild then adds what wixl cannot author or
# gets wrong (README.txt here says what, and how WiX on Windows does the
# same), and the tables are checked before the package counts as built. Any
# wixl output fails the build: wixl drops what it does not know with a
# warning and exit code 0. OUT_DIR gets both packages or neither.
# Needs wixl and msitools (Debian: wixl, msitools).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/../inputs.sh"
example_inputs "$@"
version=${OSTREL_VERSION:-17.0.0}
# What wixl writes for MajorUpgrade; OSTRELWAIT joins it.
secure='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED'
# The product's uninstall entry, whose InstallLocation is its folder.
entry='Software\Microsoft\Windows\CurrentVersion\Uninstall\[ProductCode]'
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# ARCH CTL_EXE ADDON: $stage/ARCH/OstrelSetup.msi, as wixl writes it (it
# takes the files from the current folder).
compile() {
    local dir=$stage/$1
    mkdir "$dir"
    cp "$here/OstrelSetup.wxs" "$dir/"
    cp "$setup_ini" "$dir/RegOST.ini"
    cp "$licence" "$dir/RegOST-LICENSE.txt"
    cp "$2" "$dir/RegOSTCtl.exe"
    cp "$3" "$dir/Ostrel.arx"
    if ! (cd "$dir" && wixl -a "$1" -D Arch="$1" -D Version="$version" \
            -o OstrelSetup.msi OstrelSetup.wxs >wixl.out 2>&1) || [ -s "$dir/wixl.out" ]; then
        cat "$dir/wixl.out" >&2
        echo "build.sh: wixl failed or warned ($1)" >&2
        exit 1
    fi
}

# ARCH MSI: what wixl cannot author or gets wrong.
amend() {
    local view=0
    [ "$1" = x64 ] && view=16  # RegLocator: the 64-bit registry view
    shift
    sql() { msibuild "$1" -q "$2"; }
    # wixl makes a rollback action an immediate one: 3410 = run an installed
    # exe (18), in the script (1024) as rollback (256), not impersonated
    # (2048), exit code ignored (64).
    sql "$1" "UPDATE CustomAction SET Type = 3410 WHERE Action = 'RollbackOstrel'"
    # The old product goes first, before InstallInitialize: wixl moves it.
    sql "$1" "UPDATE InstallExecuteSequence SET Sequence = 1401
        WHERE Action = 'RemoveExistingProducts'"
    # RegOST's logs go on uninstall, so that the folder can go too.
    local remove="INSERT INTO RemoveFile (FileKey, Component_, FileName, DirProperty, InstallMode)"
    sql "$1" "$remove VALUES ('RemoveRegOSTLog', 'Ostrel', 'RegOST.log', 'INSTALLDIR', 2)"
    sql "$1" "$remove VALUES ('RemoveScriptLog', 'Ostrel', 'TEMPTXT.log', 'INSTALLDIR', 2)"
    # OSTRELSCRIPTLOG: TEMPTXT.log, when there is one, in the folder of the
    # uninstall entry's InstallLocation, read as INSTALLDIR's search reads it
    # (wixl cannot compile a DirectorySearch, nor makes the DrLocator table).
    sql "$1" "INSERT INTO RegLocator (Signature_, Root, \`Key\`, Name, Type)
        VALUES ('ScriptLogFolder', 2, '$entry', 'InstallLocation', $view)"
    sql "$1" 'CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72),
        `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)'
    sql "$1" "INSERT INTO DrLocator (Signature_, Parent, Depth)
        VALUES ('ScriptLog', 'ScriptLogFolder', 0)"
    sql "$1" "INSERT INTO Signature (Signature, FileName) VALUES ('ScriptLog', 'TEMPTXT.log')"
    sql "$1" "INSERT INTO AppSearch (Property, Signature_) VALUES ('OSTRELSCRIPTLOG', 'ScriptLog')"
    # OSTRELWAIT passes from the command line to the elevated part of the
    # install as well (wixl drops Property/@Secure).
    sql "$1" "UPDATE Property SET Value = '$secure;OSTRELWAIT'
        WHERE Property = 'SecureCustomProperties'"
}

# ARCH MSI: the tables as they must be, every row of ours exactly, and no
# custom action without its row (wixl leaves the sequence row of one it
# dropped); prints what is not.
problems() {
    table() { msiinfo export "$2" "$1" | tr -d '\r' | tail -n +4; }
    expect() {  # TABLE ROW...: each ROW (tab-separated) must be in TABLE
        local name=$1 rows row
        shift
        rows=$(table "$name" "$msi")
        for row in "$@"; do
            grep -qxF "$row" <<<"$rows" || echo "$name lacks: $row"
        done
    }
    local msi=$2 wait=' /WAIT:[OSTRELWAIT]' template=Intel view=0
    [ "$1" = x64 ] && template=x64 view=16  # 16: the 64-bit registry view
    expect CustomAction $'RegisterOstrel\t3090\tRegOSTCtl.exe\t/INSTALL /ALLUSERS'"$wait"$'\t' \
        $'UnregisterOstrel\t3090\tRegOSTCtl.exe\t/UNINSTALL'"$wait"$'\t' \
        $'RollbackOstrel\t3410\tRegOSTCtl.exe\t/UNINSTALL'"$wait"$'\t' \
        $'SetInstallLocation\t51\tARPINSTALLLOCATION\t[INSTALLDIR]\t'
    expect InstallExecuteSequence $'AppSearch\t\t50' $'CostInitialize\t\t800' \
        $'CostFinalize\t\t1000' $'SetInstallLocation\t\t1001' \
        $'InstallValidate\t\t1400' $'RemoveExistingProducts\t\t1401' $'InstallInitialize\t\t1500' \
        $'UnregisterOstrel\tREMOVE="ALL" AND OSTRELSCRIPTLOG\t1501' \
        $'InstallExecute\tREMOVE="ALL"\t1502' $'ProcessComponents\t\t1600' \
        $'InstallFiles\t\t4000' $'RollbackOstrel\tNOT Installed\t4001' \
        $'RegisterOstrel\tNOT REMOVE~="ALL"\t4002' $'InstallFinalize\t\t6600'
    expect Property $'OSTRELWAIT\t60' $'MSIRESTARTMANAGERCONTROL\tDisable' \
        $'SecureCustomProperties\t'"$secure;OSTRELWAIT"
    expect AppSearch $'INSTALLDIR\tInstallFolder' $'OSTRELSCRIPTLOG\tScriptLog'
    expect RegLocator $'InstallFolder\t2\t'"$entry"$'\tInstallLocation\t'"$view" \
        $'ScriptLogFolder\t2\t'"$entry"$'\tInstallLocation\t'"$view"
    expect DrLocator $'ScriptLog\tScriptLogFolder\t\t0'
    expect Signature $'ScriptLog\tTEMPTXT.log\t\t\t\t\t\t\t'
    expect RemoveFile $'RemoveRegOSTLog\tOstrel\tRegOST.log\tINSTALLDIR\t2' \
        $'RemoveScriptLog\tOstrel\tTEMPTXT.log\tINSTALLDIR\t2'
    [ "$(table CustomAction "$msi" | wc -l)" -eq 4 ] || echo "CustomAction has other rows"
    [ "$(table InstallExecuteSequence "$msi" | grep -c Ostrel)" -eq 3 ] ||
        echo "InstallExecuteSequence has other custom actions"
    msiinfo suminfo "$msi" | grep -qx "Template: $template;1033" ||
        echo "the summary's platform is not $template"
}

compile x86 "$ctl_x86" "$addon_x86"
compile x64 "$ctl_x64" "$addon_x64"
for arch in x86 x64; do
    amend "$arch" "$stage/$arch/OstrelSetup.msi"
    found=$(problems "$arch" "$stage/$arch/OstrelSetup.msi")
    if [ -n "$found" ]; then
        sed "s/^/build.sh: $arch: /" <<<"$found" >&2
        exit 1
    fi
done
for arch in x86 x64; do
    mkdir -p "$out/$arch"
    mv "$stage/$arch/OstrelSetup.msi" "$out/$arch/OstrelSetup.msi"
done

# Sourced by the examples' build.sh: finds what goes into a setup of one
# edition. `example_inputs ARCH [CTL_EXE]` sets ctl_exe and addon (absolute
# paths) or ends the build with exit code 2.
#
# The add-on: the vendor's file of that edition, named by OSTREL_ARX_X86 or
# OSTREL_ARX_X64. Without it a placeholder stands in: a DLL of the edition's
# machine that does nothing, examples/placeholder/ARCH/Ostrel.arx in the
# unpacked release zip, the addon_image target of the preset mingw32 or
# mingw64 in RegOST's source tree. A Windows image of the other machine is
# refused: that edition's AutoCAD would never load it, and RegOSTCtl
# /INSTALL refuses it with exit code 6.
# RegOSTCtl.exe: CTL_EXE, else the release's own ARCH/RegOSTCtl.exe, else
# the preset's, built first.

# The machine field of a Windows image's file header (014c i386, 8664
# x86-64), empty for any other file.
image_machine() {
    [ "$(head -c 2 "$1")" = MZ ] || return 0
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$offset" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 0
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# Checks the first two arguments, OUT_DIR and x86|x64, and sets out (the
# folder, made and absolute) and arch; a wrong call ends the build with exit
# code 2. LAST names the optional third argument in the usage line.
example_arguments() {
    local last=$1
    shift
    if [ $# -lt 2 ] || { [ "$2" != x86 ] && [ "$2" != x64 ]; }; then
        echo "usage: $0 OUT_DIR x86|x64 $last" >&2
        exit 2
    fi
    mkdir -p "$1"
    out=$(cd "$1" && pwd)
    arch=$2
}

example_inputs() {
    local arch=$1 root variable preset targets=()
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    variable=OSTREL_ARX_X86
    [ "$arch" = x64 ] && variable=OSTREL_ARX_X64
    ctl_exe=${2:-}
    addon=${!variable:-}
    if [ -f "$root/$arch/RegOSTCtl.exe" ]; then # the unpacked release
        ctl_exe=${ctl_exe:-$root/$arch/RegOSTCtl.exe}
        addon=${addon:-$root/examples/placeholder/$arch/Ostrel.arx}
    elif [ -f "$root/CMakePresets.json" ]; then # the source tree
        preset=mingw64
        [ "$arch" = x86 ] && preset=mingw32
        [ -n "$ctl_exe" ] || targets+=(RegOSTCtl)
        [ -n "$addon" ] || targets+=(addon_image)
        if [ ${#targets[@]} -gt 0 ]; then
            (cd "$root" && cmake --preset "$preset" >/dev/null &&
                cmake --build --preset "$preset" --target "${targets[@]}" >/dev/null)
        fi
        ctl_exe=${ctl_exe:-$root/build/$preset/RegOSTCtl.exe}
        addon=${addon:-$root/build/$preset/addon_image.dll}
    fi
    if [ -z "$ctl_exe" ] || [ -z "$addon" ]; then
        echo "$0: not in the release or the source tree: give CTL_EXE and $variable" >&2
        exit 2
    fi
    for file in "$ctl_exe" "$addon"; do
        [ -f "$file" ] || { echo "$0: $file: no such file" >&2; exit 2; }
    done
    [ -n "${!variable:-}" ] || echo "$0: no $variable: the placeholder add-on stands in" >&2
    local own=014c other=8664
    [ "$arch" = x64 ] && own=8664 other=014c
    if [ "$(image_machine "$addon")" = "$other" ]; then
        echo "$0: $addon is built for the other machine ($other, not $own)" >&2
        exit 2
    fi
    ctl_exe=$(cd "$(dirname "$ctl_exe")" && pwd)/$(basename "$ctl_exe")
    addon=$(cd "$(dirname "$addon")" && pwd)/$(basename "$addon")
}

# Sourced by the examples' build.sh. `example_inputs "$@"` checks the one
# form every build.sh takes,
#
#   build.sh OUT_DIR SETUP_INI ARX_X86 ARX_X64
#
# before anything is built, and sets out (OUT_DIR, made and absolute),
# setup_ini, addon_x86, addon_x64, ctl_x86, ctl_x64 and licence (absolute
# paths). Any other call, or an input that would make a setup that cannot
# work, ends the build with exit code 2 and says why.
#
# SETUP_INI is the vendor's RegOST.ini: it must list valid releases and must
# not override the add-on's Loader, which both editions would then share.
# ARX_X86 and ARX_X64 are the vendor's add-on of each machine (a Windows
# image of i386 and of x86-64); the word `placeholder` stands for a DLL of
# that machine that does nothing (examples/placeholder/ARCH/Ostrel.arx in
# the unpacked release, the addon_image target in RegOST's source tree), for
# trying the setups out. RegOSTCtl.exe of each edition and the licence come
# from the release (x86\, x64\, LICENSE), or from the source tree, where the
# exes are built first (presets mingw32 and mingw64).

example_fail() {
    echo "$0: $*" >&2
    exit 2
}

# The machine field of a Windows image's file header (014c i386, 8664
# x86-64), empty for any other file.
image_machine() {
    [ "$(head -c 2 "$1")" = MZ ] || return 0
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ -n "$offset" ] || return 0
    [ "$(od -An -c -j"$offset" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 0
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }

# The value of KEY in [SECTION] of an INI file as Windows reads it: names in
# any case, blanks trimmed, one pair of enclosing quotes removed.
ini_value() {
    tr -d '\r' <"$1" | awk -v section="$2" -v key="$3" '
        /^[ \t]*\[/ { inside = tolower($0) ~ "^[ \t]*\\[" tolower(section) "\\]" ; next }
        inside && index($0, "=") {
            name = substr($0, 1, index($0, "=") - 1)
            gsub(/^[ \t]+|[ \t]+$/, "", name)
            if (tolower(name) != tolower(key)) next
            value = substr($0, index($0, "=") + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", value)
            if (value ~ /^".*"$/ && length(value) > 1) value = substr(value, 2, length(value) - 2)
            print value
            exit
        }'
}

check_setup_ini() {
    [ -f "$1" ] && [ -r "$1" ] || example_fail "SETUP_INI $1: no such file"
    case "$(ini_value "$1" VERSION Version)" in
        17.0 | 17.1 | 17.2 | 17.0:17.1 | 17.0:17.2 | 17.1:17.2 | 17.0:17.1:17.2) ;;
        *) example_fail "SETUP_INI $1: [VERSION] Version is not a valid release list" ;;
    esac
    local section
    for section in OSTKeysLoader QELKeysLoader; do
        [ -z "$(ini_value "$1" "$section" Loader)" ] ||
            example_fail "SETUP_INI $1: [$section] Loader would be shared by both editions;" \
                "leave it out, so that each edition registers the add-on in its own folder"
    done
}

# ARCH FILE: the add-on file to package, or the placeholder of ARCH.
check_addon() {
    local arch=$1 file=$2 own=014c name=i386 preset=mingw32
    [ "$arch" = x64 ] && own=8664 name=x86-64 preset=mingw64
    if [ "$file" = placeholder ]; then
        file=$root/examples/placeholder/$arch/Ostrel.arx
        [ -f "$file" ] || file=$root/build/$preset/addon_image.dll
    fi
    [ -f "$file" ] || example_fail "ARX_${arch^^} $file: no such file"
    [ -s "$file" ] || example_fail "ARX_${arch^^} $file: empty"
    case "$(image_machine "$file")" in
        "$own") ;;
        "") example_fail "ARX_${arch^^} $file: not a Windows image ($name expected)" ;;
        *) example_fail "ARX_${arch^^} $file: a Windows image of the other machine ($name expected)" ;;
    esac
    absolute "$file"
}

example_inputs() {
    local names=(OUT_DIR SETUP_INI ARX_X86 ARX_X64)
    if [ $# -ne 4 ]; then
        echo "usage: $0 OUT_DIR SETUP_INI ARX_X86|placeholder ARX_X64|placeholder" >&2
        [ $# -lt 4 ] && echo "$0: missing: ${names[*]:$#}" >&2
        exit 2
    fi
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    check_setup_ini "$2"
    setup_ini=$(absolute "$2")
    if [ ! -f "$root/x86/RegOSTCtl.exe" ] && [ -f "$root/CMakePresets.json" ]; then
        local targets=(RegOSTCtl) preset
        [ "$3" = placeholder ] || [ "$4" = placeholder ] && targets+=(addon_image)
        for preset in mingw32 mingw64; do
            (cd "$root" && cmake --preset "$preset" >/dev/null &&
                cmake --build --preset "$preset" --target "${targets[@]}" >/dev/null) ||
                example_fail "building RegOSTCtl.exe ($preset) failed"
        done
        ctl_x86=$root/build/mingw32/RegOSTCtl.exe
        ctl_x64=$root/build/mingw64/RegOSTCtl.exe
    else
        ctl_x86=$root/x86/RegOSTCtl.exe
        ctl_x64=$root/x64/RegOSTCtl.exe
    fi
    addon_x86=$(check_addon x86 "$3") || exit 2
    addon_x64=$(check_addon x64 "$4") || exit 2
    licence=$root/LICENSE
    for file in "$ctl_x86" "$ctl_x64" "$licence"; do
        [ -f "$file" ] || example_fail "$file: no such file (not in RegOST's release or source tree)"
    done
    mkdir -p "$1"
    out=$(cd "$1" && pwd)
}

#!/usr/bin/env bash
# Builds the release from the committed sources: both builds of RegOST.exe and
# RegOSTCtl.exe, from a fresh copy of HEAD in fresh build folders, packed as
# dist/RegOST-<version>.zip, which unpacks into one folder RegOST-<version>/
# (x86/ and x64/ with both exes, RegOST.ini, README.txt, LICENSE,
# SHA256SUMS of the four exes, examples/ with the nsis, inno and msi
# sources and placeholder/x86 and x64/Ostrel.arx, the add-on the examples
# carry until a vendor gives its own). The version is the CMake project
# version.
#
#   tools/dist.sh           build the release into dist/
#   tools/dist.sh --check   build it twice, in two folders of different
#                           names, and require the same bytes (exes and zip);
#                           prints "reproducible release: ok" or FAILED
#   tools/dist.sh --layout DIR [X86_DIR X64_DIR]
#                           lay out DIR/RegOST-<version>/ as the zip holds
#                           it, from the working tree and the exes already
#                           built in X86_DIR and X64_DIR (default
#                           build/mingw32 and build/mingw64); prints its path.
#                           The end-to-end tests build the examples there.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

check=false
[ "${1:-}" = "--check" ] && check=true

project_version() {  # SOURCE_DIR
    sed -n 's/^project(RegOST VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# Lays out the release's folder $1 from the sources in $2, the i686 exes in
# $3 and the x86_64 ones in $4, for version $5. Text files a Windows user
# opens get CR LF; the build scripts keep LF, as bash wants.
lay_out() {
    local out=$1 src=$2 x86=$3 x64=$4 version=$5
    mkdir -p "$out/x86" "$out/x64" "$out/examples"
    for exe in RegOST.exe RegOSTCtl.exe; do
        cp "$x86/$exe" "$out/x86/$exe"
        cp "$x64/$exe" "$out/x64/$exe"
    done
    cp -r "$src/examples/nsis" "$src/examples/inno" "$src/examples/msi" "$src/examples/inputs.sh" \
        "$src/examples/README.txt" "$out/examples/"
    # The tests' add-on image of each machine: a DLL that does nothing.
    mkdir -p "$out/examples/placeholder/x86" "$out/examples/placeholder/x64"
    cp "$x86/addon_image.dll" "$out/examples/placeholder/x86/Ostrel.arx"
    cp "$x64/addon_image.dll" "$out/examples/placeholder/x64/Ostrel.arx"
    find "$out/examples" -type f \( -name '*.nsi' -o -name '*.iss' -o -name '*.wxs' \
        -o -name '*.ini' -o -name '*.txt' \) -exec sed -i 's/\r*$/\r/' {} +
    python3 "$src/tools/readme_txt.py" "$src/README.md" "$version" "$out/README.txt"
    sed 's/\r*$/\r/' "$src/res/RegOST.ini" >"$out/RegOST.ini"
    sed 's/\r*$/\r/' "$src/LICENSE" >"$out/LICENSE"
    (cd "$out" && sha256sum x86/RegOST.exe x86/RegOSTCtl.exe x64/RegOST.exe \
        x64/RegOSTCtl.exe >SHA256SUMS)
}

if [ "${1:-}" = "--layout" ]; then
    [ $# -eq 2 ] || [ $# -eq 4 ] || { echo "usage: $0 --layout DIR [X86_DIR X64_DIR]" >&2; exit 2; }
    version=$(project_version "$repo")
    folder=$2/RegOST-$version
    rm -rf "$folder"
    mkdir -p "$folder"
    lay_out "$folder" "$repo" "${3:-$repo/build/mingw32}" "${4:-$repo/build/mingw64}" "$version"
    echo "$folder"
    exit 0
fi

# Builds the release from HEAD inside $1; leaves $1/RegOST-<version>.zip.
build_release() {
    local work=$1
    mkdir -p "$work/src" "$work/out"
    git -C "$repo" archive HEAD | tar -x -C "$work/src"
    for preset in mingw32 mingw64; do
        (cd "$work/src" && cmake --preset "$preset" -B "$work/build-$preset" >/dev/null &&
            cmake --build "$work/build-$preset" -j "$(nproc)" \
                --target RegOST RegOSTCtl addon_image >/dev/null)
    done
    local version
    version=$(project_version "$work/src")
    [ -n "$version" ] || { echo "dist: no project version" >&2; return 1; }
    lay_out "$work/out" "$work/src" "$work/build-mingw32" "$work/build-mingw64" "$version"
    # Entries in a fixed order with the commit's time and fixed permissions,
    # so the zip, too, depends only on the commit.
    python3 - "$work/out" "$work/RegOST-$version.zip" "$(git -C "$repo" log -1 --format=%ct)" \
        "RegOST-$version" <<'PY'
import os, stat, sys, time, zipfile
folder, target, stamp, top = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
when = time.gmtime(max(stamp, 315532800))[:6]  # a zip cannot date before 1980
names = ["x86/RegOST.exe", "x86/RegOSTCtl.exe", "x64/RegOST.exe", "x64/RegOSTCtl.exe",
         "RegOST.ini", "README.txt", "LICENSE", "SHA256SUMS"]
for root, dirs, files in sorted(os.walk(os.path.join(folder, "examples"))):
    names += sorted(os.path.relpath(os.path.join(root, f), folder) for f in files)
with zipfile.ZipFile(target, "w") as archive:
    for name in names:
        entry = zipfile.ZipInfo(top + "/" + name, when)
        # The example build scripts stay runnable.
        mode = 0o755 if os.access(os.path.join(folder, name), os.X_OK) else 0o644
        entry.external_attr = (stat.S_IFREG | mode) << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open("%s/%s" % (folder, name), "rb") as f:
            archive.writestr(entry, f.read(), compresslevel=9)
PY
}

git diff --quiet HEAD -- || echo "dist: uncommitted changes are not in the release (it is built from HEAD)" >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if ! $check; then
    build_release "$scratch/a"
    mkdir -p dist
    cp "$scratch"/a/RegOST-*.zip dist/
    echo "dist/$(basename "$scratch"/a/RegOST-*.zip)"
    exit 0
fi

build_release "$scratch/first"
build_release "$scratch/second-build-elsewhere"
status=0
for file in out/x86/RegOST.exe out/x86/RegOSTCtl.exe out/x64/RegOST.exe out/x64/RegOSTCtl.exe \
        "$(cd "$scratch/first" && ls RegOST-*.zip)"; do
    if ! cmp -s "$scratch/first/$file" "$scratch/second-build-elsewhere/$file"; then
        echo "dist: $file differs between two builds of one commit:"
        cmp "$scratch/first/$file" "$scratch/second-build-elsewhere/$file" | head -n 1 || true
        status=1
    fi
done
if [ $status -eq 0 ]; then
    echo "reproducible release: ok (two builds of $(git rev-parse --short HEAD) give the same bytes)"
else
    echo "reproducible release: FAILED"
fi
exit $status

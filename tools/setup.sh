#!/usr/bin/env bash
# Installs what building and testing RegOST needs on a Debian machine:
# CMake, g++ and GoogleTest for the Linux build, mingw-w64 for RegOST.exe,
# Wine (64- and 32-bit: wine32 from the i386 architecture runs the i686 exe)
# to run RegOST.exe, clang for the fuzz targets, valgrind and strace for the
# checks and benchmarks, NSIS, wixl and msitools for the example setups, git
# for the release (tools/dist.sh builds from the last commit). Packages
# already present are left alone.
set -euo pipefail

packages=(cmake make g++ libgtest-dev python3 mingw-w64 wine wine64 wine32:i386 clang
          libclang-rt-14-dev valgrind strace nsis wixl msitools git)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

run_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: enabling the i386 architecture for wine32"
    run_as_root dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
run_as_root apt-get update -qq
run_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null

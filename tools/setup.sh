#!/usr/bin/env bash
# Installs what building and testing RegOST needs on a Debian machine:
# CMake, g++ and GoogleTest for the Linux build, mingw-w64 for RegOST.exe,
# Wine (64- and 32-bit: wine32 from the i386 architecture runs the i686 exe)
# to run RegOST.exe, clang for the fuzz targets, valgrind and strace for the
# checks and benchmarks, NSIS, wixl and msitools for the example setups, the
# Inno Setup compiler (npm package innosetup, run under Wine) and Xvfb for the
# Inno setups' windows, git for the release (tools/dist.sh builds from the
# last commit). Packages already present are left alone.
set -euo pipefail

packages=(cmake make g++ libgtest-dev python3 mingw-w64 wine wine64 wine32:i386 clang
          libclang-rt-14-dev valgrind strace nsis wixl msitools git xvfb xauth)
# Any npm will do (Debian's, or one that came with Node.js).
command -v npm >/dev/null || packages+=(npm)
innosetup=6.4.1

run_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
install_innosetup() {
    local root
    root=$(npm root -g)
    if ! grep -qs "\"version\": \"$innosetup\"" "$root/innosetup/package.json"; then
        echo "setup: installing innosetup $innosetup (npm)"
        run_as_root npm install -g --no-fund --no-audit "innosetup@$innosetup" >/dev/null
    fi
}

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    install_innosetup
    exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: enabling the i386 architecture for wine32"
    run_as_root dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
run_as_root apt-get update -qq
run_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
install_innosetup

#!/bin/sh
# Shows what RegOST writes on a machine with one AutoCAD product of release
# 17.1: copies this folder and the given Linux build into a temporary folder,
# runs "regost /LOG" there and prints both logs and the registry afterwards.
# Usage: demo/run-demo.sh path/to/regost
set -eu

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 path/to/regost (build it first: cmake --preset linux && cmake --build build/linux)" >&2
    exit 2
fi
regost=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
demo=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/regost-demo.XXXXXX")

cp "$demo/RegOST.ini" "$demo/registry.reg" "$work/"
cp "$regost" "$work/regost"
# The simulated registry is ./registry.reg of the current folder.
(cd "$work" && env -u REGOST_REGISTRY -u REGOST_READONLY_ROOTS ./regost /LOG)

show() {
    echo "===== $1"
    # The logs have Windows line ends; show them as plain lines.
    tr -d '\r' < "$work/$1"
    echo
}
show RegOST.log
show TEMPTXT.log
show registry.reg
echo "(files left in $work)"

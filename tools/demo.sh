#!/usr/bin/env bash
# Builds regost and runs it on the demo folder (a machine with one AutoCAD
# product of release 17.1): prints the progress log, the registry-script log
# and the registry afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target regost >/dev/null
exec demo/run-demo.sh build/linux/regost

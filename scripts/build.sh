#!/usr/bin/env bash
# Configures and builds into build/ (Release, or BUILD_TYPE): the targets named
# on the command line, or everything. The tests build into folders of their
# own (scripts/test.sh), so neither command undoes the other's build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
source "$root/scripts/configure.sh"
configure "$root/build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}"
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$root/build" -j"$(nproc)" "${targets[@]}"

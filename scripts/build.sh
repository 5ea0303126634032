#!/usr/bin/env bash
# Configures and builds everything into build/ (type from BUILD_TYPE, default Release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" >/dev/null
cmake --build "$root/build" -j"$(nproc)"

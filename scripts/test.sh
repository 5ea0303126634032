#!/usr/bin/env bash
# Builds and runs every test. Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_TYPE=${BUILD_TYPE:-Debug} bash "$root/scripts/build.sh"
# A PDF print queue for the printing test (skipped where CUPS cannot run).
[ "$(id -u)" = 0 ] && bash "$root/scripts/printer.sh"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)"

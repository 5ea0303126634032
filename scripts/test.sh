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
# The same suite under AddressSanitizer (with leak checking) and
# UndefinedBehaviorSanitizer: about two more minutes.
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DBOLARIS_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
cd "$root/build-asan"
ctest --output-on-failure -j"$(nproc)"

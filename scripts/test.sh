#!/usr/bin/env bash
# Builds and runs every test twice: a plain build (build-test/) and a build
# under AddressSanitizer (with leak checking) and UndefinedBehaviorSanitizer
# (build-asan/). Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
phase() { printf '== %s (%d s so far)\n' "$1" $((SECONDS - start)); }
bash "$root/scripts/deps.sh"
source "$root/scripts/configure.sh"
# A PDF print queue for the printing test (skipped where CUPS cannot run).
[ "$(id -u)" = 0 ] && bash "$root/scripts/printer.sh"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# Many tests wait on timers, child programs and the X server rather than on
# the processor: three more at once than there are cores keep it busy.
jobs=$(($(nproc) + 3))
# Debug information costs a third of the build time: the plain build has
# none (a failing check names its file and line all the same), the sanitizer
# build has line tables in the program and its libraries, all its backtraces
# need. The libraries are compiled in batches (BOLARIS_UNITY), a third less
# time from nothing. The benchmarks are built by their own command (see the README).
common=(-DCMAKE_BUILD_TYPE=Debug -DBOLARIS_BENCH=OFF -DBOLARIS_TEST_DEBUG_INFO=OFF -DBOLARIS_UNITY=ON)

phase "plain build"
configure "$root/build-test" "${common[@]}" "-DCMAKE_CXX_FLAGS_DEBUG="
cmake --build "$root/build-test" -j"$(nproc)"
phase "plain tests"
(cd "$root/build-test" && ctest --output-on-failure -j"$jobs")

phase "sanitizer build"
configure "$root/build-asan" "${common[@]}" "-DCMAKE_CXX_FLAGS_DEBUG=-g1" -DBOLARIS_SANITIZE=ON
cmake --build "$root/build-asan" -j"$(nproc)"
phase "sanitizer tests"
(cd "$root/build-asan" && ctest --output-on-failure -j"$jobs")
phase "done"

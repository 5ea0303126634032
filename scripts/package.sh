#!/usr/bin/env bash
# Builds the Debian package build-pkg/bolaris_<version>_amd64.deb (Release):
# the two programs, the series B to L card file and the ball media (made
# here, which needs espeak-ng), the desktop entry and its icons.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
out="$root/build-pkg"
# Only what the package holds is built: installing does not wait for the tests.
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$out" -j"$(nproc)" --target bolaris bolaris-cli bolaris_data bolaris_docs
rm -f "$out"/bolaris_*_amd64.deb
(cd "$out" && cpack -B "$out" >/dev/null)
ls "$out"/bolaris_*_amd64.deb

#!/usr/bin/env bash
# Builds the program and starts it in the working folder run/ (or $BOLARIS_DIR),
# writing the series B to L card file there first when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
work=${BOLARIS_DIR:-$root/run}
mkdir -p "$work"
if ! ls "$work" | grep -qix 'compl22.cds'; then
  "$root/build/tools/bolaris-cli" generate-series --out "$work/compl22.cds"
fi
cd "$work"
exec "$root/build/src/bolaris" "$@"

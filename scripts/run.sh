#!/usr/bin/env bash
# Builds the program and starts it in the working folder run/ (or $BOLARIS_DIR),
# writing the series B to L card file there first when it is missing, and the
# ball media the program makes when they are missing or were made another way
# before (a file the organiser put there is kept). Only the two programs are built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" bolaris bolaris-cli
work=${BOLARIS_DIR:-$root/run}
mkdir -p "$work"
if ! ls "$work" | grep -qix 'compl22.cds'; then
  "$root/build/tools/bolaris-cli" generate-series --out "$work/compl22.cds"
fi
# The ball voices and pictures, made by the program's own maker (quick when
# they are made already).
"$root/build/tools/bolaris-cli" make-media --dir "$work"
cd "$work"
exec "$root/build/src/bolaris" "$@"

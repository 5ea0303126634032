#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang into build-fuzz/ and runs
# each for SECONDS (default 300), one after another.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     targets: dataset cardstore strictint validation cli web
# Each target starts from its kept inputs in tests/fuzz/TARGET/ and keeps what
# it learns in build-fuzz/corpus/TARGET/. A finding stops that target, is kept
# in build-fuzz/findings/TARGET/ and makes the script exit 1; once fixed, copy
# the input into tests/fuzz/TARGET/ so that the test command replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(dataset cardstore strictint validation cli web)

bash "$root/scripts/deps.sh"
build=$root/build-fuzz
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DBOLARIS_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
failed=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  log=$build/fuzz-$t.log
  mkdir -p "$corpus" "$findings"
  echo "== $t: ${seconds} s"
  status=0
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$root/tests/fuzz/$t" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "   executions: ${executions:-?} (${rate:-?}/s), corpus: $(find "$corpus" -type f | wc -l) inputs," \
    "$(du -sh "$corpus" | cut -f1)"
  if ((status)); then
    grep -E "FUZZ FINDING|ERROR:|SUMMARY:|runtime error" "$log" | head -5 | sed 's/^/   /'
    echo "   finding kept in $findings/ (log: $log)"
    failed+=("$t")
  fi
done
if ((${#failed[@]})); then
  echo "findings in: ${failed[*]}"
  exit 1
fi
echo "no finding"

#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each from its seed corpus.
#   bash scripts/run-fuzz.sh              a short run of each target (as the test command does)
#   bash scripts/run-fuzz.sh 1000000      a million executions of each
#   FUZZ_SECONDS=600 bash scripts/run-fuzz.sh    ten minutes of each
#   FUZZ_SEED=0 bash scripts/run-fuzz.sh         a fresh random seed (the default, 1, lets a failure be repeated)
# New inputs the fuzzer finds go to a scratch folder; crashes are kept in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-}"
seconds="${FUZZ_SECONDS:-10}"
seed="${FUZZ_SEED:-1}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/findings
for target in pending_renames command_line format spooler_records machine_dir; do
  scratch=$(mktemp -d)
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  echo "fuzz_$target: ${limit[*]}"
  status=0
  build/fuzz/fuzz/fuzz_$target "${limit[@]}" -seed="$seed" -max_len=1024 -timeout=10 \
    -artifact_prefix=build/fuzz/findings/"$target"- "$scratch" fuzz/corpus/"$target" >"$scratch.log" 2>&1 || status=$?
  # Only the last line of a clean run; the last 80 lines of a failing one's report.
  if [ "$status" -eq 0 ]; then tail -n 1 "$scratch.log"; else grep -v '^#' "$scratch.log" | tail -n 80; fi
  rm -rf "$scratch" "$scratch.log"
  [ "$status" -eq 0 ] || exit "$status"
done

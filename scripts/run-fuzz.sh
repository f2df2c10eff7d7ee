#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each from its seed corpus.
#   bash scripts/run-fuzz.sh              a short run of each target (as the test command does)
#   bash scripts/run-fuzz.sh 1000000      a million executions of each
#   FUZZ_SECONDS=600 bash scripts/run-fuzz.sh    ten minutes of each
# New inputs the fuzzer finds go to a scratch folder; crashes are kept in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-}"
seconds="${FUZZ_SECONDS:-10}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/findings
for target in pending_renames command_line format spooler_records; do
  scratch=$(mktemp -d)
  limit=(-max_total_time="$seconds")
  [ -n "$runs" ] && limit=(-runs="$runs")
  echo "fuzz_$target: ${limit[*]}"
  build/fuzz/fuzz/fuzz_$target "${limit[@]}" -max_len=1024 -timeout=10 \
    -artifact_prefix=build/fuzz/findings/"$target"- "$scratch" fuzz/corpus/"$target" 2>&1 | tail -n 1
  rm -rf "$scratch"
done

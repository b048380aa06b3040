#!/usr/bin/env bash
# Builds the fuzzers and runs each for a while from a fresh seed corpus.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 60; longer runs: fuzz/run.sh 3600)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash fuzz/make_seed_corpus.sh "$work/seeds"
total=0
for target in reverse path_name; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  log="$work/$target.log"
  if ! build/fuzz/fuzz/${target}_fuzzer -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
      "$corpus" "$work/seeds/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: ${target}_fuzzer failed" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: ${target}_fuzzer ran $runs inputs in ${seconds} s without a difference or a fault"
  total=$((total + runs))
done
echo "fuzz: $total executions in all"

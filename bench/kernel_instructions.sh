#!/usr/bin/env bash
# Instructions per KiB of the reverse-copy kernels of the arm64 build, the
# portable ones against NEON, for every common frame size. Time under an
# emulator says nothing about a real CPU, but qemu can count the instructions
# it runs: one per translated block with -singlestep, each logged by
# `-d exec`. Each count is the difference between two rounds and one round
# over the same buffer, so start-up and set-up cancel out.
# Settings (environment):
#   BENCH_FRAMES  frame sizes in bytes                  [1 2 3 4 6 8 10 12 18 24 32 48]
#   BENCH_BYTES   bytes per round (a whole number of frames is used) [65536]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
frame_sizes=(${BENCH_FRAMES:-1 2 3 4 6 8 10 12 18 24 32 48})
bytes=${BENCH_BYTES:-65536}
(cd "$root" && cmake --preset arm64 >/dev/null && cmake --build --preset arm64 --target kernel_instructions >/dev/null)
program=$root/build/arm64/bench/kernel_instructions

count() {  # LEVEL FRAME ROUNDS, over $bytes_used bytes
  qemu-aarch64 -singlestep -d exec,nochain "$program" "$1" "$2" "$bytes_used" "$3" 2>&1 >/dev/null | grep -c '^Trace'
}
echo "| F (bytes) | portable (instructions/KiB) | NEON (instructions/KiB) | NEON vs portable |"
echo "|---:|---:|---:|---:|"
for frame in "${frame_sizes[@]}"; do
  bytes_used=$((bytes / frame * frame))
  per_kib=()
  for level in 0 1; do
    one=$(count "$level" "$frame" 1)
    two=$(count "$level" "$frame" 2)
    per_kib+=("$(((two - one) * 1024 / bytes_used))")
  done
  ratio=$(awk -v p="${per_kib[0]}" -v n="${per_kib[1]}" 'BEGIN { printf "%.2fx", n / p }')
  echo "| $frame | ${per_kib[0]} | ${per_kib[1]} | $ratio |"
done

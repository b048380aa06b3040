#!/usr/bin/env bash
# `tarnwick record --seconds N` on a busy machine: how many blocks each run
# gives, and how much sound its last block holds. Two sources, each for
# BENCH_RUNS runs with N going 2, 3, 4, 5, 2, ...:
#   - the tests' hardware-like paced device (tests/platform/paced_capture_plugin.c)
#     told to start 1.5 s late;
#   - the tests' virtual source (a PulseAudio null source through ALSA's pulse
#     plugin, tests/support/virtual_audio.sh).
# While the runs go, BENCH_LOAD busy loops (one per core by default) keep
# every core busy. Prints, per source, the runs that gave exactly N blocks and
# the distribution of the last block's sound, in seconds.
#
# Settings (environment):
#   BENCH_RUNS   runs per source                                  [20]
#   BENCH_LOAD   busy loops beside the recordings                 [nproc]
#   BENCH_BUILD  a build tree with tools/, bench/ and tests/      [build/release]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${BENCH_RUNS:-20}
load=${BENCH_LOAD:-$(nproc)}
build=${BENCH_BUILD:-$root/build/release}
if [[ -z ${BENCH_BUILD:-} ]]; then
  bash "$root/scripts/install-deps.sh" bench
  (cd "$root" && { [[ -f build/release/CMakeCache.txt ]] || cmake --preset release >/dev/null; } &&
    cmake --build --preset release >/dev/null)
fi
tarnwick=$build/tools/tarnwick
ramp_check=$build/bench/ramp_check

# shellcheck source=bench/capture_sources.sh
source "$root/bench/capture_sources.sh"
work=$(mktemp -d /tmp/tarnwick-sbench.XXXXXX)
busy=()
cleanup() {
  ((${#busy[@]} == 0)) || kill "${busy[@]}" 2>/dev/null || true
  capture_sources_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
capture_sources_start "$root" "$work" "$build" "start_delay_ms 1500"

for ((i = 0; i < load; i++)); do
  (while :; do :; done) &
  busy+=($!)
done

# One source: "exact runs/runs min p10 median max" of the last block's sound.
measure() {
  local fills=$work/fills exact=0
  : >"$fills"
  for ((r = 0; r < runs; r++)); do
    local n=$((2 + r % 4))
    ALSA_CONFIG_PATH=$1 "$tarnwick" record "$work/rec.wav" --seconds "$n" </dev/null >/dev/null
    read -r blocks _ breaks _ _ last < <("$ramp_check" "$work/rec.wav")
    ((blocks == n && breaks == 0)) && exact=$((exact + 1))
    awk -v s="$last" 'BEGIN { printf "%.3f\n", s / 8000 }' >>"$fills"
  done
  sort -g "$fills" | awk -v exact="$exact" -v runs="$runs" '{ v[NR] = $1 }
    END { printf "%d/%d | %.3f | %.3f | %.3f | %.3f", exact, runs, v[1], v[int((NR - 1) / 10) + 1],
          v[int((NR + 1) / 2)], v[NR] }'
}

echo "$("$tarnwick" --version), $(nproc) cores, $load busy loops beside, $runs runs per source"
echo
echo "| source | runs with exactly N blocks | last block: min (s) | p10 | median | max |"
echo "|---|---|---:|---:|---:|---:|"
echo "| paced device, starting 1.5 s late | $(measure "$paced_config") |"
echo "| virtual source (PulseAudio) | $(measure "$virtual_config") |"

#!/usr/bin/env bash
# Recording benchmark, on the paced virtual source of the capture tests
# (tests/support/virtual_audio.sh: a private PulseAudio daemon delivering
# 8000 frames per second of real time, samples from a known ramp), started in
# a temporary directory and stopped at exit. Prints a Markdown table:
#
#   - CPU per recorded second: user + sys of `tarnwick record --seconds 30`,
#     divided by 30 (GNU time), also as a share of one core; and the same over
#     the long recording below, where GNU time's 10 ms steps and the start-up
#     (loading, ALSA's configuration, connecting to the daemon) weigh less.
#   - Stop latency: SoundRecorderStop() timed on the steady clock by a host of
#     its own (bench/record_stop_latency.cpp), and SIGINT to exit of the tool;
#     medians over BENCH_STOP_RUNS runs, each stopped inside a block.
#   - Lost samples: a recording of BENCH_RECORD_MINUTES checked sample by
#     sample against the ramp (bench/ramp_check.cpp): every block but the last
#     must be the ramp exactly, the last the ramp and then its padding.
#
# Settings (environment):
#   BENCH_RECORD_MINUTES  length of the lost-sample recording, whole minutes  [10]
#   BENCH_CPU_SECONDS     length of the CPU-time recording                    [30]
#   BENCH_STOP_RUNS       runs per stop-latency measurement                   [5]
#   BENCH_BUILD           the build tree with tools/ and bench/ in it         [build/release]
# Example: BENCH_RECORD_MINUTES=1 bench/record_bench.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${BENCH_RECORD_MINUTES:-10}
cpu_seconds=${BENCH_CPU_SECONDS:-30}
stop_runs=${BENCH_STOP_RUNS:-5}
[[ $minutes =~ ^[1-9][0-9]*$ && $cpu_seconds =~ ^[1-9][0-9]*$ && $stop_runs =~ ^[1-9][0-9]*$ ]] || {
  echo "BENCH_RECORD_MINUTES, BENCH_CPU_SECONDS and BENCH_STOP_RUNS take whole numbers from 1" >&2
  exit 64
}

# --- tools -------------------------------------------------------------------
# GNU time and the build tools, each only when missing; virtual_audio.sh
# installs what the daemon needs itself.
bash "$root/scripts/install-deps.sh" bench

build=${BENCH_BUILD:-$root/build/release}
if [[ -z ${BENCH_BUILD:-} ]]; then
  (cd "$root" && { [[ -f build/release/CMakeCache.txt ]] || cmake --preset release >/dev/null; } &&
    cmake --build --preset release >/dev/null)
fi
tarnwick=$build/tools/tarnwick
library=$build/interface/libTarnwick.so.1  # the library the tool is linked with
stop_latency=$build/bench/record_stop_latency
ramp_check=$build/bench/ramp_check
for program in "$tarnwick" "$stop_latency" "$ramp_check"; do
  [[ -x $program ]] || { echo "no $program: build with TARNWICK_BUILD_BENCH=ON" >&2; exit 1; }
done

# --- the virtual source ------------------------------------------------------
# Short, for the daemon's socket path is limited.
work=$(mktemp -d /tmp/tarnwick-rbench.XXXXXX)
audio=$work/audio
cleanup() {
  bash "$root/tests/support/virtual_audio.sh" stop "$audio" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
echo "== starting the virtual source" >&2
bash "$root/tests/support/virtual_audio.sh" start "$audio" >/dev/null
while IFS= read -r variable; do export "$variable"; done < <(bash "$root/tests/support/virtual_audio.sh" env "$audio")

# The source's ramp file lasts two minutes; a longer recording needs a longer
# one. The ramp repeats every 65536 samples, so whole periods of it continue
# it exactly.
ramp_seconds=$(((minutes + 1) * 60))
if ((ramp_seconds > 120)); then
  head -c $((65536 * 2)) "$audio/ramp.raw" >"$work/period.raw"
  periods=$(((ramp_seconds * 8000 + 65535) / 65536))
  for ((p = 0; p < periods; p++)); do cat "$work/period.raw"; done >"$audio/ramp.raw"
  rm "$work/period.raw"
fi

calc() { awk "BEGIN { printf \"%.6f\n\", $1 }"; }
verdict() { awk "BEGIN { exit !($1) }" && echo met || echo MISSED; }
median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
max_of() { sort -g "$1" | tail -1; }

# --- CPU time ----------------------------------------------------------------
echo "== CPU: recording $cpu_seconds s" >&2
/usr/bin/time -f "%U %S" -o "$work/cpu.txt" "$tarnwick" record "$work/cpu.wav" --seconds "$cpu_seconds" \
  </dev/null >/dev/null
read -r user sys <"$work/cpu.txt"
cpu_ms=$(calc "($user + $sys) * 1000 / $cpu_seconds")
cpu_share=$(calc "($user + $sys) * 100 / $cpu_seconds")

# --- stop latency ------------------------------------------------------------
# 2.4 s of recording: two whole blocks and the stop inside the third, where
# Stop has a part-filled buffer to hand back and write.
echo "== stop latency: $stop_runs x SoundRecorderStop" >&2
mkdir "$work/stops"
"$stop_latency" "$library" "$work/stops" "$stop_runs" 2.4 | awk '{print $1}' >"$work/stop.ms"
rm -rf "$work/stops"

echo "== stop latency: $stop_runs x SIGINT to exit" >&2
: >"$work/sigint.ms"
for ((r = 0; r < stop_runs; r++)); do
  "$tarnwick" record "$work/sigint.wav" </dev/null >/dev/null &
  pid=$!
  sleep 2.4
  sent=$EPOCHREALTIME
  kill -INT "$pid"
  wait "$pid"
  calc "($EPOCHREALTIME - $sent) * 1000" >>"$work/sigint.ms"
done
rm -f "$work/sigint.wav"

# --- lost samples ------------------------------------------------------------
record_seconds=$((minutes * 60))
echo "== lost samples: recording $minutes min" >&2
/usr/bin/time -f "%U %S" -o "$work/cpu-long.txt" "$tarnwick" record "$work/long.wav" --seconds "$record_seconds" \
  </dev/null >/dev/null &
timer=$!
# Per-thread CPU over the steady part of the recording (from 10 s in to 10 s
# before the end), from the kernel's own counters: which thread costs what.
thread_ticks() {
  for stat in /proc/"$1"/task/*/stat; do
    # comm may hold blanks; the fields after its closing parenthesis do not.
    local line tid name rest
    line=$(cat "$stat" 2>/dev/null) || continue
    tid=${line%% *}
    name=${line#*(}
    name=${name%)*}
    rest=${line##*) }
    set -- $rest
    echo "$tid ${name// /_} $((${12} + ${13}))"
  done
}
sleep 1
recorder=$(pgrep -P "$timer" -n tarnwick)
sleep 9
thread_ticks "$recorder" | sort >"$work/ticks.start"
window_start=$EPOCHREALTIME
sleep $((record_seconds > 30 ? record_seconds - 20 : 1))
thread_ticks "$recorder" | sort >"$work/ticks.end"
window=$(calc "$EPOCHREALTIME - $window_start")
wait "$timer"
ticks_per_second=$(getconf CLK_TCK)
# tid name share-of-a-core-in-%
join "$work/ticks.start" "$work/ticks.end" | while read -r tid name start _ end; do
  case $name in
    threaded-ml) role="PulseAudio client ($name)" ;;
    *) role="$name" ;;
  esac
  [[ $tid == "$recorder" ]] && role="the tool's main thread"
  [[ $name == tarnwick-rec ]] && role="the library's capture thread ($name)"
  echo "$(calc "($end - $start) * 100 / $ticks_per_second / $window") $role"
done >"$work/threads.txt"
read -r long_user long_sys <"$work/cpu-long.txt"
long_share=$(calc "($long_user + $long_sys) * 100 / $record_seconds")
read -r blocks samples breaks lost repeated _ < <("$ramp_check" "$work/long.wav")
# `--seconds` counts the device's seconds: the recording is that many blocks.
missing_blocks=$((record_seconds - blocks))
rm -f "$work/long.wav"

# --- report ------------------------------------------------------------------
stop_median=$(median "$work/stop.ms")
sigint_median=$(median "$work/sigint.ms")
echo
echo "$("$tarnwick" --version), $(nproc) cores, Linux $(uname -r); source: PulseAudio null source at 8 kHz through ALSA's pulse plugin"
echo
echo "| measure | result | target | |"
echo "|---|---|---|---|"
printf '| CPU per recorded second (`record --seconds %s`, user+sys / %s) | %.2f ms (%.3f %% of one core) | <= 0.5 %% | %s |\n' \
  "$cpu_seconds" "$cpu_seconds" "$cpu_ms" "$cpu_share" "$(verdict "$cpu_share <= 0.5")"
printf '| CPU per recorded second over the %s min recording (start-up spread thinner, finer than time'"'"'s 10 ms) | %.2f ms (%.3f %% of one core) | <= 0.5 %% | %s |\n' \
  "$minutes" "$(calc "$long_share * 10")" "$long_share" "$(verdict "$long_share <= 0.5")"
printf '| Stop latency: SoundRecorderStop() (median of %s, max) | %.1f ms (max %.1f) | < 50 ms | %s |\n' \
  "$stop_runs" "$stop_median" "$(max_of "$work/stop.ms")" "$(verdict "$stop_median < 50")"
printf '| Stop latency: SIGINT to exit of `tarnwick record` (median of %s, max) | %.1f ms (max %.1f) | < 50 ms | %s |\n' \
  "$stop_runs" "$sigint_median" "$(max_of "$work/sigint.ms")" "$(verdict "$sigint_median < 50")"
printf '| Lost or repeated samples over %s min (%s blocks, %s samples checked, %s breaks) | %s lost, %s repeated | 0 | %s |\n' \
  "$minutes" "$blocks" "$samples" "$breaks" "$lost" "$repeated" "$(verdict "$lost + $repeated == 0 && $breaks == 0")"
echo
printf 'CPU per thread over %.0f s of the %s min recording (share of one core; the PulseAudio client thread of ALSA'"'"'s `pulse` plugin is the test source'"'"'s bridge, absent on a hardware device; on hardware only the tool'"'"'s and the library'"'"'s threads remain):\n\n' "$window" "$minutes"
echo "| thread | CPU |"
echo "|---|---|"
while read -r share role; do printf '| %s | %.3f %% |\n' "$role" "$share"; done <"$work/threads.txt"
if ((missing_blocks != 0)); then
  echo
  echo "Note: the $record_seconds s recording holds $blocks blocks."
fi

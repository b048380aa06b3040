#!/usr/bin/env bash
# What a recording costs each thread: `tarnwick record --seconds N` on the
# tests' two capture sources, the virtual one (a PulseAudio null source through
# ALSA's pulse plugin, tests/support/virtual_audio.sh) and the hardware-like
# paced device (tests/platform/paced_capture_plugin.c, a ring paced by the
# clock, as a sound card's DMA is). Over a window in the steady middle of the
# recording, from the kernel's per-thread counters
# (/proc/PID/task/TID/schedstat: time on a CPU, and how many times the thread
# was put on one), each thread's share of a core and its wake-ups a second.
# Prints a Markdown table. With BENCH_WINE=1 it records with the Windows build
# (tarnwick.exe and Tarnwick.dll under Wine, through Wine's ALSA driver) from
# the virtual source instead, and reports the threads of that process.
#
# Settings (environment):
#   BENCH_WINDOW   seconds measured                                   [30]
#   BENCH_BUILD    a build tree with tools/ and tests/                 [build/release; build/windows-x64 with Wine]
#   BENCH_WINE     1: the Windows build under Wine                     [0]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
window=${BENCH_WINDOW:-30}
wine=${BENCH_WINE:-0}
if [[ $wine == 1 ]]; then
  build=${BENCH_BUILD:-$root/build/windows-x64}
  [[ -n ${BENCH_BUILD:-} ]] || (cd "$root" && cmake --preset windows-x64 >/dev/null && cmake --build --preset windows-x64 >/dev/null)
else
  build=${BENCH_BUILD:-$root/build/release}
  [[ -n ${BENCH_BUILD:-} ]] || (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null)
fi

# shellcheck source=bench/capture_sources.sh
source "$root/bench/capture_sources.sh"
work=$(mktemp -d /tmp/tarnwick-tbench.XXXXXX)
cleanup() {
  [[ $wine != 1 ]] || bash "$root/scripts/wine-prefix.sh" stop "$work/wine" >/dev/null 2>&1 || true
  capture_sources_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
capture_sources_start "$root" "$work" "$build"

# "tid name cpu-ns times-run" for every thread of process $1.
snapshot() {
  for task in /proc/"$1"/task/*; do
    local comm stat
    comm=$(tr ' ' _ <"$task/comm" 2>/dev/null) && stat=$(cat "$task/schedstat" 2>/dev/null) || continue
    set -- $stat
    echo "${task##*/} $comm $1 $3"
  done | sort
}

# One recording from ALSA configuration $2, reported as rows "| $1 | thread | ... |".
measure() {
  local label=$1 pid
  local seconds=$((window + 10))
  if [[ $wine == 1 ]]; then
    bash "$root/scripts/wine-prefix.sh" start "$work/wine" >/dev/null
    # Wine's ALSA driver, so that the test source's ALSA configuration decides.
    WINEPREFIX=$work/wine WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f \
      >/dev/null 2>&1
    ALSA_CONFIG_PATH=$2 bash "$root/scripts/wine-run.sh" "$work/wine" "$build/tools/tarnwick.exe" record \
      "Z:$work/rec.wav" --seconds "$seconds" </dev/null >/dev/null &
    sleep 3
    pid=$(pgrep -n -f 'tarnwick.exe record')
  else
    ALSA_CONFIG_PATH=$2 "$build/tools/tarnwick" record "$work/rec.wav" --seconds "$seconds" </dev/null >/dev/null &
    pid=$!
  fi
  sleep 5
  snapshot "$pid" >"$work/before"
  local started=$EPOCHREALTIME
  sleep "$window"
  snapshot "$pid" >"$work/after"
  local elapsed
  elapsed=$(awk "BEGIN { print $EPOCHREALTIME - $started }")
  wait || true
  join "$work/before" "$work/after" | while read -r tid name ns runs _ ns2 runs2; do
    local role=$name
    [[ $tid == "$pid" ]] && role="main thread ($name)"
    [[ $name == tarnwick-rec ]] && role="the library's capture thread ($name)"
    [[ $name == threaded-ml ]] && role="PulseAudio client ($name; the test source's bridge)"
    awk -v l="$label" -v r="$role" -v c="$((ns2 - ns))" -v w="$((runs2 - runs))" -v e="$elapsed" \
      'BEGIN { if (w > 0) printf "| %s | %s | %.3f %% | %.1f |\n", l, r, c / e / 1e7, w / e }'
  done
}

echo "$("$build"/tools/tarnwick* --version 2>/dev/null | tr -d '\r' || echo tarnwick), $(nproc) cores," \
  "Linux $(uname -r), a window of $window s in a recording of $((window + 10)) s"
echo
echo "| source | thread | CPU (share of one core) | wake-ups a second |"
echo "|---|---|---:|---:|"
if [[ $wine == 1 ]]; then
  measure "virtual source, under Wine" "$virtual_config"
else
  measure "virtual source" "$virtual_config"
  measure "paced device" "$paced_config"
fi

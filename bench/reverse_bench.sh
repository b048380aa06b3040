#!/usr/bin/env bash
# Reversal benchmark: `tarnwick reverse` against cp, dd, sox and ffmpeg on
# canonical 16-bit stereo 44.1 kHz WAV files, all from a warm page cache, in
# one run. Prints a Markdown table of median wall times (with the ratio to cp)
# and peak resident memory, then the targets and whether they are met.
#
# Settings (environment):
#   BENCH_SIZES         file sizes of sample data: 1M 100M 1G (MiB/GiB)   [1M 100M 1G]
#   BENCH_REPEATS       runs per tool and size                             [5]
#   BENCH_SLOW_REPEATS  runs of sox and ffmpeg at 1G and above             [3]
#   BENCH_DIR           where the temporary files go                      [$TMPDIR or /tmp]
#   TARNWICK            the tarnwick executable                           [build/release/tools/tarnwick]
# Example: BENCH_SIZES=100M bench/reverse_bench.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sizes=(${BENCH_SIZES:-1M 100M 1G})
repeats=${BENCH_REPEATS:-5}
slow_repeats=${BENCH_SLOW_REPEATS:-3}

# --- tools -------------------------------------------------------------------
# sox, ffmpeg, GNU time and the build tools, each only when missing.
bash "$root/scripts/install-deps.sh" bench

tarnwick=${TARNWICK:-$root/build/release/tools/tarnwick}
if [[ -z ${TARNWICK:-} ]]; then
  (cd "$root" && { [[ -f build/release/CMakeCache.txt ]] || cmake --preset release >/dev/null; } &&
    cmake --build --preset release >/dev/null)
fi
[[ -x $tarnwick ]] || { echo "no tarnwick at $tarnwick" >&2; exit 1; }

# --- files -------------------------------------------------------------------
work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/tarnwick-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

bytes_of() {  # 1M -> 1048576, 100M, 1G
  local n=${1%[MG]}
  case $1 in *G) echo $((n << 30)) ;; *M) echo $((n << 20)) ;; *) echo "$1" ;; esac
}

le() {  # value, width in bytes -> printf escapes, little-endian
  local v=$1 i out=
  for ((i = 0; i < $2; i++)); do out+=$(printf '\\x%02x' $(((v >> (8 * i)) & 255))); done
  printf '%s' "$out"
}

# The canonical 44-byte header, then random samples (a whole number of frames).
make_wav() {
  local path=$1 data=$2 rate=44100 channels=2 bits=16
  local block=$((channels * bits / 8))
  printf "RIFF$(le $((data + 36)) 4)WAVEfmt $(le 16 4)$(le 1 2)$(le $channels 2)$(le $rate 4)$(le $((rate * block)) 4)$(le $block 2)$(le $bits 2)data$(le "$data" 4)" >"$path"
  head -c "$data" /dev/urandom >>"$path"
}

# --- measuring ---------------------------------------------------------------
# Runs one command `repeats` times from a warm cache, with its output removed
# and dirty pages flushed beforehand (untimed), so that no run pays for the
# previous one's writeback. Appends "seconds" lines to $work/times and peak
# RSS (KiB) lines to $work/rss.
measure() {
  local runs=$1 out=$2
  shift 2
  : >"$work/times"
  : >"$work/rss"
  for ((r = 0; r < runs; r++)); do
    rm -f "$out"
    sync
    local start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/rss.one" "$@" >/dev/null
    local end=$EPOCHREALTIME
    calc "$end - $start" >>"$work/times"
    cat "$work/rss.one" >>"$work/rss"
  done
}

calc() { awk "BEGIN { printf \"%.6f\n\", $1 }"; }
verdict() { awk "BEGIN { exit !($1) }" && echo met || echo MISSED; }
median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
max_of() { sort -g "$1" | tail -1; }

# What cp uses to copy on this system (copy_file_range copies inside the
# kernel, which changes what the ratio to cp means).
cp_method() {
  command -v strace >/dev/null || { echo "unknown (no strace)"; return; }
  make_wav "$work/probe.wav" $((1 << 20))
  strace -f -c -o "$work/strace.txt" cp "$work/probe.wav" "$work/probe-copy.wav"
  rm -f "$work/probe.wav" "$work/probe-copy.wav"
  local calls
  calls=$(awk '$NF ~ /^(copy_file_range|read|write|sendfile|ioctl)$/ {printf "%s%s x%s", sep, $NF, $4; sep=", "}' \
    "$work/strace.txt")
  echo "${calls:-none of copy_file_range/read/write/sendfile}"
}

# --- the run -----------------------------------------------------------------
machine="$("$tarnwick" --version), $(nproc) cores, Linux $(uname -r), $(df -T "$work" | awk 'NR == 2 {print $2}') file system"
copier="$(cp --version | head -1); its system calls for a 1 MiB copy: $(cp_method)"

results=()   # "size|tool|runs|median|rss_kib"
checks=()
for size in "${sizes[@]}"; do
  data=$(bytes_of "$size")
  in=$work/in-$size.wav
  echo "== $size: generating" >&2
  make_wav "$in" "$data"
  cat "$in" >/dev/null  # warm the page cache
  out=$work/out.wav
  slow=$repeats
  ((data >= 1 << 30)) && slow=$slow_repeats

  # Correctness first: the data bytes of tarnwick's output equal sox's.
  "$tarnwick" reverse "$in" "$work/check-tarnwick.wav"
  sox -D "$in" "$work/check-sox.wav" reverse
  if cmp -s -i 44 "$work/check-tarnwick.wav" "$work/check-sox.wav"; then
    checks+=("$size: tarnwick's data bytes equal sox's")
  else
    checks+=("$size: MISMATCH between tarnwick's and sox's data bytes")
  fi
  rm -f "$work/check-tarnwick.wav" "$work/check-sox.wav"

  for tool in tarnwick cp dd sox ffmpeg; do
    echo "== $size: $tool" >&2
    case $tool in
      tarnwick) measure "$repeats" "$out" "$tarnwick" reverse "$in" "$out" ;;
      cp) measure "$repeats" "$out" cp "$in" "$out" ;;
      dd) measure "$repeats" "$out" dd if="$in" of="$out" bs=1M status=none ;;
      sox) measure "$slow" "$out" sox "$in" "$out" reverse ;;
      ffmpeg) measure "$slow" "$out" ffmpeg -y -loglevel error -i "$in" -af areverse "$out" ;;
    esac
    results+=("$size|$tool|$(wc -l <"$work/times")|$(median "$work/times")|$(max_of "$work/rss")")
  done
  rm -f "$in" "$out"
done

# --- report ------------------------------------------------------------------
echo
echo "$machine"
echo "$copier"
echo
echo "| data | tool | runs | median wall (s) | vs cp | peak RSS (MiB) |"
echo "|---|---|---:|---:|---:|---:|"
declare -A cp_time tarnwick_time tarnwick_rss time_of
for row in "${results[@]}"; do
  IFS='|' read -r size tool runs med rss <<<"$row"
  time_of[$size.$tool]=$med
  [[ $tool == cp ]] && cp_time[$size]=$med
  [[ $tool == tarnwick ]] && { tarnwick_time[$size]=$med; tarnwick_rss[$size]=$rss; }
done
for row in "${results[@]}"; do
  IFS='|' read -r size tool runs med rss <<<"$row"
  printf '| %s | %s | %s | %.4f | %.2fx | %.1f |\n' "$size" "$tool" "$runs" "$med" \
    "$(calc "$med / ${cp_time[$size]}")" "$(calc "$rss / 1024")"
done

echo
echo "Targets: tarnwick within 1.25x cp, at least 8x faster than sox and ffmpeg, peak RSS flat and at most 4 MiB."
echo "Every run is timed through /usr/bin/time (for the RSS), so small files mostly measure process start-up."
echo
for size in "${sizes[@]}"; do
  t=${tarnwick_time[$size]}
  vs_cp=$(calc "$t / ${cp_time[$size]}")
  vs_sox=$(calc "${time_of[$size.sox]} / $t")
  vs_ffmpeg=$(calc "${time_of[$size.ffmpeg]} / $t")
  rss_mib=$(calc "${tarnwick_rss[$size]} / 1024")
  printf -- '- %s: %.2fx cp (%s); sox %.1fx and ffmpeg %.1fx slower (%s, %s); RSS %.1f MiB (%s)\n' "$size" \
    "$vs_cp" "$(verdict "$vs_cp <= 1.25")" "$vs_sox" "$vs_ffmpeg" "$(verdict "$vs_sox >= 8")" \
    "$(verdict "$vs_ffmpeg >= 8")" "$rss_mib" "$(verdict "$rss_mib <= 4")"
done
for check in "${checks[@]}"; do echo "- $check"; done

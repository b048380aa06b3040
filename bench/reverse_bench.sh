#!/usr/bin/env bash
# Reversal benchmark: `tarnwick reverse` side by side with cp (and dd) for
# every common frame size, and against sox and ffmpeg at 16-bit and 24-bit
# stereo, all from a warm page cache, in one run. The tools take turns within
# every round, so that a slow spell of the machine hits them alike; the table
# gives medians and each median's ratio to cp's, and peak resident memory.
#
# Settings (environment):
#   BENCH_SIZES         sizes of sample data: 1M 100M 1G (MiB/GiB)          [100M 1G]
#   BENCH_FRAMES        frame sizes in bytes, from 1 2 3 4 6 8 10 18        [all of them]
#   BENCH_REPEATS       rounds per frame size and file size                  [7]
#   BENCH_SLOW_REPEATS  rounds of sox and ffmpeg at 1G and above             [3]
#   BENCH_DIR           where the temporary files go                        [$TMPDIR or /tmp]
#   TARNWICK            the tarnwick executable                             [build/release/tools/tarnwick]
# Example: BENCH_SIZES=100M BENCH_FRAMES="3 4" bench/reverse_bench.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sizes=(${BENCH_SIZES:-100M 1G})
frame_sizes=(${BENCH_FRAMES:-1 2 3 4 6 8 10 18})
repeats=${BENCH_REPEATS:-7}
slow_repeats=${BENCH_SLOW_REPEATS:-3}
target=1.15  # tarnwick's median within this factor of cp's

# The format behind each frame size: channels and bits per sample.
declare -A format_of=([1]="1 8" [2]="1 16" [3]="1 24" [4]="2 16" [6]="2 24" [8]="2 32" [10]="5 16" [18]="6 24")
# sox and ffmpeg take seconds per gigabyte; they are compared at these only.
peers_at=" 4 6 "

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
  local path=$1 data=$2 channels=$3 bits=$4 rate=44100
  local block=$((channels * bits / 8))
  printf "RIFF$(le $((data + 36)) 4)WAVEfmt $(le 16 4)$(le 1 2)$(le $channels 2)$(le $rate 4)$(le $((rate * block)) 4)$(le $block 2)$(le $bits 2)data$(le "$data" 4)" >"$path"
  head -c "$data" /dev/urandom >>"$path"
}

# --- measuring ---------------------------------------------------------------
# Runs one command once from a warm cache, with its output removed and dirty
# pages flushed beforehand (untimed), so that no run pays for the previous
# one's writeback. Appends the wall time to $work/<name>.times and the peak
# RSS (KiB) to $work/<name>.rss.
run_once() {
  local name=$1 out=$2
  shift 2
  rm -f "$out"
  sync
  local start=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/rss.one" "$@" >/dev/null
  local end=$EPOCHREALTIME
  calc "$end - $start" >>"$work/$name.times"
  cat "$work/rss.one" >>"$work/$name.rss"
}

calc() { awk "BEGIN { printf \"%.6f\n\", $1 }"; }
verdict() { awk "BEGIN { exit !($1) }" && echo met || echo MISSED; }
median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
max_of() { sort -g "$1" | tail -1; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# What cp uses to copy on this system (copy_file_range copies inside the
# kernel, which changes what the ratio to cp means).
cp_method() {
  command -v strace >/dev/null || { echo "unknown (no strace)"; return; }
  make_wav "$work/probe.wav" $((1 << 20)) 2 16
  strace -f -c -o "$work/strace.txt" cp "$work/probe.wav" "$work/probe-copy.wav"
  rm -f "$work/probe.wav" "$work/probe-copy.wav"
  local calls
  calls=$(awk '$NF ~ /^(copy_file_range|read|write|sendfile|ioctl)$/ {printf "%s%s x%s", sep, $NF, $4; sep=", "}' \
    "$work/strace.txt")
  echo "${calls:-none of copy_file_range/read/write/sendfile}"
}

# --- the run -----------------------------------------------------------------
machine="$("$tarnwick" --version), $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')), Linux $(uname -r), $(df -T "$work" | awk 'NR == 2 {print $2}') file system"
copier="$(cp --version | head -1); its system calls for a 1 MiB copy: $(cp_method)"
load_before=$(load)

rows=()    # "size|F|tool|runs|median|ratio|rss_mib"
checks=()
misses=0
for size in "${sizes[@]}"; do
  for frame in "${frame_sizes[@]}"; do
    read -r channels bits <<<"${format_of[$frame]:?no format for frame size $frame}"
    data=$(($(bytes_of "$size") / frame * frame))
    in=$work/in.wav
    out=$work/out.wav
    echo "== $size, F = $frame ($channels x $bits bits): generating" >&2
    make_wav "$in" "$data" "$channels" "$bits"

    # Correctness first: reversing twice gives the input back, and at the
    # sizes sox is compared at, the data bytes equal sox's reversal.
    "$tarnwick" reverse "$in" "$work/once.wav"
    "$tarnwick" reverse "$work/once.wav" "$work/twice.wav"
    if cmp -s "$in" "$work/twice.wav"; then
      checks+=("$size, F = $frame: reversing twice gives the input back")
    else
      checks+=("$size, F = $frame: MISMATCH, reversing twice does not give the input back")
    fi
    if [[ $peers_at == *" $frame "* ]]; then
      sox -D "$in" "$work/sox.wav" reverse
      # sox writes a longer header for more than 16 bits: compare what
      # follows each file's own header.
      sox_header=$(($(stat -c %s "$work/sox.wav") - data))
      if cmp -s -i "44:$sox_header" "$work/once.wav" "$work/sox.wav"; then
        checks+=("$size, F = $frame: tarnwick's data bytes equal sox's")
      else
        checks+=("$size, F = $frame: MISMATCH between tarnwick's and sox's data bytes")
      fi
      rm -f "$work/sox.wav"
    fi
    rm -f "$work/once.wav" "$work/twice.wav"
    cat "$in" >/dev/null  # warm the page cache

    tools=(tarnwick cp dd)
    rounds=$repeats
    if [[ $peers_at == *" $frame "* ]]; then tools+=(sox ffmpeg); fi
    for tool in "${tools[@]}"; do : >"$work/$tool.times"; : >"$work/$tool.rss"; done
    echo "== $size, F = $frame: ${tools[*]}, $rounds rounds" >&2
    for ((r = 0; r < rounds; r++)); do
      run_once tarnwick "$out" "$tarnwick" reverse "$in" "$out"
      run_once cp "$out" cp "$in" "$out"
      run_once dd "$out" dd if="$in" of="$out" bs=1M status=none
      if [[ $peers_at == *" $frame "* ]] && { (($(bytes_of "$size") < 1 << 30)) || ((r < slow_repeats)); }; then
        run_once sox "$out" sox "$in" "$out" reverse
        run_once ffmpeg "$out" ffmpeg -y -loglevel error -i "$in" -af areverse "$out"
      fi
    done
    cp_median=$(median "$work/cp.times")
    for tool in "${tools[@]}"; do
      med=$(median "$work/$tool.times")
      ratio=$(calc "$med / $cp_median")
      rows+=("$size|$frame|$tool|$(wc -l <"$work/$tool.times")|$med|$ratio|$(calc "$(max_of "$work/$tool.rss") / 1024")")
      if [[ $tool == tarnwick ]] && ! awk "BEGIN { exit !($ratio <= $target) }"; then misses=$((misses + 1)); fi
    done
    rm -f "$in" "$out"
  done
done
load_after=$(load)

# --- report ------------------------------------------------------------------
echo
echo "$machine"
echo "$copier"
echo "Load average (1, 5, 15 min) before: $load_before; after: $load_after"
echo
echo "| data | F | tool | runs | median wall (s) | vs cp | peak RSS (MiB) |"
echo "|---|---:|---|---:|---:|---:|---:|"
for row in "${rows[@]}"; do
  IFS='|' read -r size frame tool runs med ratio rss <<<"$row"
  read -r channels bits <<<"${format_of[$frame]}"
  printf '| %s | %s (%sx%s) | %s | %s | %.4f | %.2fx | %.1f |\n' "$size" "$frame" "$channels" "$bits" "$tool" "$runs" \
    "$med" "$ratio" "$rss"
done
echo
echo "Target: tarnwick within ${target}x cp at every frame size and file size, peak RSS flat."
echo
for row in "${rows[@]}"; do
  IFS='|' read -r size frame tool runs med ratio rss <<<"$row"
  [[ $tool == tarnwick ]] || continue
  printf -- '- %s, F = %s: %.2fx cp (%s), RSS %.1f MiB\n' "$size" "$frame" "$ratio" "$(verdict "$ratio <= $target")" "$rss"
done
for check in "${checks[@]}"; do echo "- $check"; done
echo "- $misses of $((${#sizes[@]} * ${#frame_sizes[@]})) frame and file sizes missed the target"

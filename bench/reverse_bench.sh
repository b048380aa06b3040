#!/usr/bin/env bash
# Reversal benchmark: WAVReverse (through bench/reverse_host, one call in a
# program that links the library) side by side with cp and dd for every
# common frame size, from a warm page cache and from a cold one, and against
# sox and ffmpeg at 16-bit and 24-bit stereo, all in one run. The tools take
# turns within every round, so that a slow spell of the machine hits them
# alike; each ratio is the median over the rounds of that round's ratio to
# cp's time, and the table gives median times and peak resident memory too.
#
# Cold: before each timed run the page cache is dropped (sync, then
# /proc/sys/vm/drop_caches, as root) and the program about to run is started
# once without work, so that the input comes from disk but the programs and
# their libraries do not. Without root the input alone is evicted
# (posix_fadvise DONTNEED), which the report says.
#
# Settings (environment):
#   BENCH_SIZES         sizes of sample data: 10M 100M 1G (MiB/GiB)         [100M 1G]
#   BENCH_FRAMES        frame sizes in bytes, from those below               [all of them]
#   BENCH_CACHES        warm, cold or both                                   [warm cold]
#   BENCH_REPEATS       rounds per frame size, file size and cache           [7]
#   BENCH_SLOW_REPEATS  rounds of sox and ffmpeg at 1G and above             [3]
#   BENCH_DIR           where the temporary files go                        [$TMPDIR or /tmp]
#   REVERSE_HOST        the host program                                    [build/release/bench/reverse_host]
# Example: BENCH_SIZES=100M BENCH_FRAMES="3 4" BENCH_CACHES=warm bench/reverse_bench.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sizes=(${BENCH_SIZES:-100M 1G})
frame_sizes=(${BENCH_FRAMES:-1 2 3 4 5 6 8 12 16 18 24 32})
caches=(${BENCH_CACHES:-warm cold})
repeats=${BENCH_REPEATS:-7}
slow_repeats=${BENCH_SLOW_REPEATS:-3}
declare -A target=([warm]=1.10 [cold]=1.20) # the reversal's ratio to cp, at most

# The format behind each frame size: channels and bits per sample.
declare -A format_of=([1]="1 8" [2]="1 16" [3]="1 24" [4]="2 16" [5]="5 8" [6]="2 24" [8]="2 32" [12]="6 16"
  [16]="8 16" [18]="6 24" [24]="8 24" [32]="8 32")
# sox and ffmpeg take seconds per gigabyte; they are compared at these only,
# from a warm cache.
peers_at=" 4 6 "

# --- tools -------------------------------------------------------------------
# sox, ffmpeg, GNU time and the build tools, each only when missing.
bash "$root/scripts/install-deps.sh" bench

host=${REVERSE_HOST:-$root/build/release/bench/reverse_host}
if [[ -z ${REVERSE_HOST:-} ]]; then
  (cd "$root" && { [[ -f build/release/CMakeCache.txt ]] || cmake --preset release >/dev/null; } &&
    cmake --build --preset release --target reverse_host >/dev/null)
fi
[[ -x $host ]] || { echo "no host program at $host" >&2; exit 1; }

# --- files -------------------------------------------------------------------
work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/tarnwick-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

bytes_of() { # 1M -> 1048576, 100M, 1G
  local n=${1%[MG]}
  case $1 in *G) echo $((n << 30)) ;; *M) echo $((n << 20)) ;; *) echo "$1" ;; esac
}

le() { # value, width in bytes -> printf escapes, little-endian
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

# --- cold caches -------------------------------------------------------------
if [[ $(id -u) -eq 0 ]] && { sync && echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; then
  cold_how="page cache dropped (drop_caches) before each timed run, the program then started once without work"
  make_cold() { sync && echo 3 >/proc/sys/vm/drop_caches; }
else
  cold_how="input evicted (posix_fadvise DONTNEED) before each timed run: drop_caches needs root"
  make_cold() { python3 -c 'import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$in"; }
fi

# Brings a program and its libraries back into the cache, doing no work.
warm_program() {
  case $1 in
    tarnwick) "$host" >/dev/null 2>&1 || true ;;
    cp) cp --version >/dev/null ;;
    dd) dd --version >/dev/null ;;
  esac
}

# --- measuring ---------------------------------------------------------------
# Runs one command once, with its output removed and dirty pages flushed
# beforehand (untimed), so that no run pays for the previous one's writeback;
# from a cold cache when $cache is cold. Appends the wall time to
# $work/<name>.times and the peak RSS (KiB) to $work/<name>.rss.
run_once() {
  local name=$1 out=$2
  shift 2
  rm -f "$out"
  sync
  if [[ $cache == cold ]]; then
    make_cold
    warm_program "$name"
  fi
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
machine="$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')), Linux $(uname -r), $(df -T "$work" | awk 'NR == 2 {print $2}') file system"
copier="$(cp --version | head -1); its system calls for a 1 MiB copy: $(cp_method)"
load_before=$(load)

rows=() # "size|F|cache|tool|runs|median|ratio|rss_mib"
checks=()
misses=0
measured=0
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
    "$host" "$in" "$work/once.wav"
    "$host" "$work/once.wav" "$work/twice.wav"
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
        checks+=("$size, F = $frame: the reversal's data bytes equal sox's")
      else
        checks+=("$size, F = $frame: MISMATCH between the reversal's and sox's data bytes")
      fi
      rm -f "$work/sox.wav"
    fi
    rm -f "$work/once.wav" "$work/twice.wav"

    for cache in "${caches[@]}"; do
      tools=(tarnwick cp dd)
      if [[ $cache == warm && $peers_at == *" $frame "* ]]; then tools+=(sox ffmpeg); fi
      for tool in "${tools[@]}"; do : >"$work/$tool.times" && : >"$work/$tool.rss"; done
      [[ $cache == warm ]] && cat "$in" >/dev/null
      echo "== $size, F = $frame, $cache: ${tools[*]}, $repeats rounds" >&2
      for ((r = 0; r < repeats; r++)); do
        # Each round starts with another tool, so that none always follows
        # the same one.
        for ((k = 0; k < 3; k++)); do
          case $(((r + k) % 3)) in
            0) run_once tarnwick "$out" "$host" "$in" "$out" ;;
            1) run_once cp "$out" cp "$in" "$out" ;;
            2) run_once dd "$out" dd if="$in" of="$out" bs=1M status=none ;;
          esac
        done
        if [[ ${#tools[@]} -gt 3 ]] && { (($(bytes_of "$size") < 1 << 30)) || ((r < slow_repeats)); }; then
          run_once sox "$out" sox "$in" "$out" reverse
          run_once ffmpeg "$out" ffmpeg -y -loglevel error -i "$in" -af areverse "$out"
        fi
      done
      for tool in "${tools[@]}"; do
        runs=$(wc -l <"$work/$tool.times")
        # sox and ffmpeg may have fewer rounds: pair them with cp's first ones.
        head -n "$runs" "$work/cp.times" >"$work/cp.paired"
        ratio=$(paste "$work/$tool.times" "$work/cp.paired" | awk '{printf "%.6f\n", $1 / $2}' >"$work/ratios" &&
          median "$work/ratios")
        rows+=("$size|$frame|$cache|$tool|$runs|$(median "$work/$tool.times")|$ratio|$(calc "$(max_of "$work/$tool.rss") / 1024")")
        if [[ $tool == tarnwick ]]; then
          measured=$((measured + 1))
          awk "BEGIN { exit !($ratio <= ${target[$cache]}) }" || misses=$((misses + 1))
        fi
      done
    done
    rm -f "$in" "$out"
  done
done
load_after=$(load)

# --- report ------------------------------------------------------------------
field() { # row, field number (1-based)
  IFS='|' read -r -a f <<<"$1"
  echo "${f[$(($2 - 1))]}"
}
find_row() { # size, frame, cache, tool
  local row
  for row in "${rows[@]}"; do
    [[ $row == "$1|$2|$3|$4|"* ]] && { echo "$row"; return; }
  done
}

echo
echo "$machine"
echo "$copier"
echo "Cold runs: $cold_how"
echo "Load average (1, 5, 15 min) before: $load_before; after: $load_after"
echo
echo "| data | F (channels x bits) | cache | reversal (s) | cp (s) | reversal vs cp | dd vs cp | reversal peak RSS (MiB) |"
echo "|---|---|---|---:|---:|---:|---:|---:|"
for size in "${sizes[@]}"; do
  for cache in "${caches[@]}"; do
    for frame in "${frame_sizes[@]}"; do
      read -r channels bits <<<"${format_of[$frame]}"
      t=$(find_row "$size" "$frame" "$cache" tarnwick)
      c=$(find_row "$size" "$frame" "$cache" cp)
      d=$(find_row "$size" "$frame" "$cache" dd)
      printf '| %s | %s (%sx%s) | %s | %.4f | %.4f | **%.2fx** | %.2fx | %.1f |\n' "$size" "$frame" "$channels" "$bits" \
        "$cache" "$(field "$t" 6)" "$(field "$c" 6)" "$(field "$t" 7)" "$(field "$d" 7)" "$(field "$t" 8)"
    done
  done
done
echo
if [[ " ${caches[*]} " == *" warm "* ]]; then
  echo "| data | F | sox (s) | sox vs cp | ffmpeg (s) | ffmpeg vs cp | ffmpeg peak RSS (MiB) |"
  echo "|---|---|---:|---:|---:|---:|---:|"
  for size in "${sizes[@]}"; do
    for frame in "${frame_sizes[@]}"; do
      [[ $peers_at == *" $frame "* ]] || continue
      read -r channels bits <<<"${format_of[$frame]}"
      s=$(find_row "$size" "$frame" warm sox)
      f=$(find_row "$size" "$frame" warm ffmpeg)
      printf '| %s | %s (%sx%s) | %.4f | %.2fx | %.4f | %.2fx | %.1f |\n' "$size" "$frame" "$channels" "$bits" \
        "$(field "$s" 6)" "$(field "$s" 7)" "$(field "$f" 6)" "$(field "$f" 7)" "$(field "$f" 8)"
    done
  done
  echo
fi
echo "Targets: the reversal at most ${target[warm]}x cp warm and ${target[cold]}x cold, at every frame and file size."
echo
for row in "${rows[@]}"; do
  IFS='|' read -r size frame cache tool runs med ratio rss <<<"$row"
  [[ $tool == tarnwick ]] || continue
  printf -- '- %s, F = %s, %s: %.2fx cp (%s), RSS %.1f MiB\n' "$size" "$frame" "$cache" "$ratio" \
    "$(verdict "$ratio <= ${target[$cache]}")" "$rss"
done
for check in "${checks[@]}"; do echo "- $check"; done
echo "- $misses of $measured frame size, file size and cache combinations missed the target"

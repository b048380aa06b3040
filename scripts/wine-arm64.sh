#!/usr/bin/env bash
# Runs the Windows on ARM64 build (build/windows-arm64) under Wine for arm64
# in an emulated arm64 Debian 12: the C host of Tarnwick.dll
# (tests/interface/arm64_wine_host.c), recording from the tests' paced
# capture device, and then the GoogleTest programs, which Debian 12's Wine
# 8.0 does not run (see below). The Debian is made once per machine and
# suite (debootstrap --foreign, its second stage and everything in it run by
# qemu-aarch64-static) and kept in $TARNWICK_ARM64_ROOT. The kernel runs
# arm64 programs through a binfmt_misc handler with the F flag (the emulator
# opened once, so that it works inside the chroot), registered for the run
# and removed afterwards.
# Usage: scripts/wine-arm64.sh [BUILD_DIR]     (as root)
# Settings: TARNWICK_ARM64_SUITE, the Debian release [bookworm],
#           TARNWICK_ARM64_ROOT [/var/cache/tarnwick/arm64-$SUITE],
#           TARNWICK_ARM64_TIMEOUT, seconds for each program [1800]
# Exit status: the host's. Not part of CI, which has no time to spare for it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/windows-arm64}" && pwd)
# Debian 12's Wine 8.0 starts ARM64 programs under Debian 12's qemu 7.2;
# with Debian 13's Wine 10.0, wineboot has not been seen to finish.
suite=${TARNWICK_ARM64_SUITE:-bookworm}
system=${TARNWICK_ARM64_ROOT:-/var/cache/tarnwick/arm64-$suite}
mirror=http://deb.debian.org/debian
handler=tarnwick-aarch64
binfmt=/proc/sys/fs/binfmt_misc
fail() { echo "wine-arm64: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || fail "run as root (debootstrap, chroot, binfmt_misc)"
started=$SECONDS

for package in debootstrap qemu-user-static; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done

mounted=()
cleanup() {
  [[ -e $binfmt/$handler ]] && echo -1 >"$binfmt/$handler"
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount --lazy "${mounted[i]}" 2>/dev/null || true; done
  true
}
trap cleanup EXIT
if [[ ! -e $binfmt/register ]]; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
  mounted+=("$binfmt")
fi
[[ -e $binfmt/$handler ]] && echo -1 >"$binfmt/$handler"
# An AArch64 ELF executable or shared object, by its header's class, data,
# version and machine fields.
magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":$handler:M::$magic:$mask:/usr/bin/qemu-aarch64-static:F" >"$binfmt/register"

if [[ ! -e $system/.tarnwick-ready ]]; then
  echo "-- making the arm64 Debian ($suite) in $system, once"
  rm -rf "$system"
  mkdir -p "$system"
  nice -n 10 debootstrap --arch=arm64 --foreign --variant=minbase "$suite" "$system" "$mirror" >/dev/null
  nice -n 10 chroot "$system" /debootstrap/debootstrap --second-stage >/dev/null
  nice -n 10 chroot "$system" sh -c "DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null"
  touch "$system/.tarnwick-ready"
  echo "   made in $((SECONDS - started)) s"
fi

for dir in proc dev dev/pts; do
  mount --bind "/$dir" "$system/$dir"
  mounted+=("$system/$dir")
done
# The build at its own path, so that the paths compiled into the test
# programs name the same files through Wine's Z: drive.
mkdir -p "$system$build"
mount --bind "$build" "$system$build"
mounted+=("$system$build")

# Wine's ALSA driver finds no sound card in the chroot. The tests' paced
# capture device (an ALSA plugin whose samples are known) stands in for one,
# built here for arm64 where the cross compiler is (install-deps.sh arm64).
alsa=() host_options=()
plugin=$build/paced_capture_plugin.aarch64.so
if command -v aarch64-linux-gnu-gcc >/dev/null &&
  aarch64-linux-gnu-gcc -O2 -shared -fPIC -o "$plugin" "$root/tests/platform/paced_capture_plugin.c" -lasound; then
  printf 'pcm_type.paced_test { lib "%s" }\npcm.!default { type paced_test }\n' "$plugin" >"$build/wine-arm64-asound.conf"
  alsa=("ALSA_CONFIG_PATH=$build/wine-arm64-asound.conf") host_options=(--paced-ramp)
else
  echo "   no arm64 build of the paced capture device: recording from none"
fi

# Each test program by itself, in a prefix of the emulated system's own.
run() {
  chroot "$system" env "${alsa[@]}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=/root/wine-prefix \
    HOME=/root timeout "${TARNWICK_ARM64_TIMEOUT:-1800}" sh -c 'cd "$(dirname "$1")" 2>/dev/null; wine "$@"' wine "$@"
}
# The prefix first, on its own, so that a Wine that cannot start is told
# apart from a test that fails.
begun=$SECONDS
run wineboot --init >/dev/null 2>&1 || fail "wineboot did not make the prefix (status $?, $((SECONDS - begun)) s)"
echo "   wineboot --init (the prefix made or brought up to date): $((SECONDS - begun)) s"
# The host first (tests/interface/arm64_wine_host.c): this Wine builds its C
# runtime as Linux code, so a variadic call from an ARM64 program into it
# (printf and kin) crashes, and the host makes none. Its status 2 says that
# every check that ran passed but no capture device could be opened:
# reported, and not a failure of this script.
begun=$SECONDS
log=$build/arm64_wine_host.wine-arm64.log
status=0
run "$build/interface/arm64_wine_host.exe" "${host_options[@]}" >"$log" 2>"$log.stderr" || status=$?
case $status in
  0) result=passed failed=0 ;;
  2) if ((${#host_options[@]})); then result="failed: the paced device did not open" failed=1
     else result="passed, but the recording did not run (no capture device)" failed=0; fi ;;
  *) result="failed ($status)" failed=1 ;;
esac
echo "   interface/arm64_wine_host: $result in $((SECONDS - begun)) s; $(grep -c '^ok ' "$log") checks ok"
grep -v '^ok ' "$log" | sed 's/^/     /' || true
# The GoogleTest programs too. GoogleTest prints with printf and kin, and
# with this Wine they crash at start: their results are shown and do not
# decide this script's status.
for program in tests/wav/wav_tests tests/interface/dll_host_tests tests/recorder/recorder_logic_tests \
  tests/recorder/recorder_stress_tests; do
  begun=$SECONDS
  log=$build/$(basename "$program").wine-arm64.log
  status=0
  run "$build/$program.exe" --gtest_brief=1 >"$log" 2>&1 || status=$?
  if ((status == 0)); then
    result=passed
  elif grep -q 'Unhandled page fault' "$log"; then
    result="crashed ($(grep -m1 -o 'Unhandled page fault[^,]*' "$log"))"
  else
    result="failed ($status)"
  fi
  echo "   $program: $result in $((SECONDS - begun)) s; $(grep -E '^\[  (PASSED|FAILED) ' "$log" | tr '\n' ' ')"
done
echo "wine-arm64: done in $((SECONDS - started)) s"
exit "$failed"

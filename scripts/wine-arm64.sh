#!/usr/bin/env bash
# Runs the Windows on ARM64 build (build/windows-arm64) under Wine for arm64
# in an emulated arm64 Debian: the test programs, as far as that Wine starts
# them. The Debian is made once per machine (debootstrap --foreign, its
# second stage and everything in it run by qemu-aarch64-static) and kept in
# $TARNWICK_ARM64_ROOT. The kernel runs arm64 programs through a binfmt_misc
# handler with the F flag (the emulator opened once, so that it works inside
# the chroot), registered for the run and removed afterwards.
# Usage: scripts/wine-arm64.sh [BUILD_DIR]     (as root)
# Settings: TARNWICK_ARM64_ROOT [/var/cache/tarnwick/arm64-debian],
#           TARNWICK_ARM64_SUITE, the Debian release [trixie],
#           TARNWICK_ARM64_TIMEOUT, seconds for each program [1800]
# Not part of CI: with Debian 13's Wine 10.0 under Debian 12's qemu 7.2,
# wineboot has not been seen to finish (see the README).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/windows-arm64}" && pwd)
system=${TARNWICK_ARM64_ROOT:-/var/cache/tarnwick/arm64-debian}
suite=${TARNWICK_ARM64_SUITE:-trixie}
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
  debootstrap --arch=arm64 --foreign --variant=minbase "$suite" "$system" "$mirror" >/dev/null
  chroot "$system" /debootstrap/debootstrap --second-stage >/dev/null
  chroot "$system" sh -c "DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
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

# Each test program by itself, in a prefix of the emulated system's own.
run() {
  chroot "$system" env WINEDEBUG=-all WINEPREFIX=/root/wine-prefix HOME=/root timeout "${TARNWICK_ARM64_TIMEOUT:-1800}" \
    sh -c 'cd "$(dirname "$1")" 2>/dev/null; wine "$@"' wine "$@"
}
# The prefix first, on its own, so that a Wine that cannot start is told
# apart from a test that fails.
begun=$SECONDS
run wineboot --init >/dev/null 2>&1 || fail "wineboot did not make the prefix (status $?, $((SECONDS - begun)) s)"
echo "   prefix made in $((SECONDS - begun)) s"
failed=0
for program in tests/wav/wav_tests tests/interface/dll_host_tests tests/recorder/recorder_logic_tests \
  tests/recorder/recorder_stress_tests; do
  begun=$SECONDS
  if run "$build/$program.exe" --gtest_brief=1 >"$build/$(basename "$program").wine-arm64.log" 2>&1; then
    result=passed
  else
    result="failed ($?)" failed=1
  fi
  echo "   $program: $result in $((SECONDS - begun)) s; $(grep -E '^\[  (PASSED|FAILED) ' "$build/$(basename "$program").wine-arm64.log" | tr '\n' ' ')"
done
echo "wine-arm64: done in $((SECONDS - started)) s"
exit "$failed"

#!/usr/bin/env bash
# The Debian packages as a user meets them: built from the `package` preset
# (or `package-armhf`, `package-arm64`, the cross builds), checked by lintian
# --pedantic (no errors, no warnings), installed with dpkg, used (a C program
# built with pkg-config and one with find_package(Tarnwick) against the
# installed files, the installed `tarnwick reverse`, the manual page), then
# removed, leaving none of their files behind. The armhf and arm64 packages
# are installed on this machine through multiarch, and their programs run
# under qemu-arm or qemu-aarch64. Installs into the real system, so it runs as
# root, on a machine where no Tarnwick package is installed.
# Usage: tests/packaging/deb_packages_test.sh [ARCH]   (amd64, armhf or arm64; the
# machine's own architecture when left out)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
arch=${1:-$(dpkg --print-architecture)}
fail() { echo "deb packages ($arch): $*" >&2; exit 1; }
if [[ $arch == "$(dpkg --print-architecture)" ]]; then
  preset=package cc=cc run=() cmake_target=() machine=$(readelf -h /bin/sh | sed -n 's/^ *Machine: *//p')
elif [[ $arch == armhf || $arch == arm64 ]]; then
  case $arch in
    armhf) triple=arm-linux-gnueabihf run=(qemu-arm) machine=ARM ;;
    arm64) triple=aarch64-linux-gnu run=(qemu-aarch64) machine=AArch64 ;;
  esac
  preset=package-$arch cc=$triple-gcc
  cmake_target=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake")
  export PKG_CONFIG_LIBDIR=/usr/lib/$triple/pkgconfig:/usr/share/pkgconfig
else
  fail "no build of the packages for this architecture"
fi
build=$root/build/$preset
packages=(libtarnwick1 libtarnwick-dev tarnwick-tools)
scratch=$(mktemp -d)
cleanup() {
  dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    fail "$package is already installed; remove it first (dpkg --purge $package)"
  fi
done

echo "-- building the $arch packages"
(cd "$root" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null)
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=()
for package in "${packages[@]}"; do
  deb=$(ls "$build/${package}_"*"_$arch.deb")
  debs+=("$deb")
  printf '   %s  %s bytes\n' "$(basename "$deb")" "$(stat -c %s "$deb")"
done

echo "-- lintian"
lintian --pedantic --display-info --tag-display-limit 0 "${debs[@]}" 2>&1 | grep -v 'running with root privileges' |
  tee "$scratch/lintian.txt" || true
! grep -q '^[EW]:' "$scratch/lintian.txt" || fail "lintian reports errors or warnings"

echo "-- installing"
dpkg -i "${debs[@]}" >/dev/null
for package in "${packages[@]}"; do
  dpkg-query -L "$package" | while read -r path; do [[ -d $path ]] || echo "$path"; done >>"$scratch/files.txt"
done
[[ -s $scratch/files.txt ]] || fail "the packages installed no files"
while read -r path; do [[ -e $path || -L $path ]] || fail "$path is listed but not installed"; done <"$scratch/files.txt"

echo "-- a program built against the installed files, both ways"
cmake -S "$root/tests/interface/consumer" -B "$scratch/consumer" -G Ninja "${cmake_target[@]}" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"${run[@]}" "$scratch/consumer/with_cmake_package"
"${run[@]}" "$scratch/consumer/with_pkg_config"
# shellcheck disable=SC2046 # pkg-config's output is a list of options
"$cc" -o "$scratch/by_hand" "$root/tests/interface/consumer/main.c" $(pkg-config --cflags --libs tarnwick)
"${run[@]}" "$scratch/by_hand"
for binary in "$scratch/by_hand" "$(pkg-config --variable=libdir tarnwick)/libTarnwick.so" /usr/bin/tarnwick; do
  readelf -h "$binary" | grep -q "Machine: *$machine" || fail "$binary is not built for $machine"
done

echo "-- the installed tool"
python3 "$root/tests/packaging/sample_wav.py" "$scratch/in.wav" "$scratch/expected.wav"
"${run[@]}" /usr/bin/tarnwick reverse "$scratch/in.wav" "$scratch/out.wav"
cmp "$scratch/expected.wav" "$scratch/out.wav" || fail "the installed tool's reversal differs from the expected file"
"${run[@]}" /usr/bin/tarnwick --version | grep -q '1.0.0.1' || fail "tarnwick --version"
MANWIDTH=80 man -P cat tarnwick 2>/dev/null | grep -q 'EXIT STATUS' || fail "man tarnwick does not show the page"

echo "-- removing"
dpkg --purge "${packages[@]}" >/dev/null
left=0
while read -r path; do
  if [[ -e $path || -L $path ]]; then echo "left behind: $path" >&2; left=1; fi
done <"$scratch/files.txt"
((left == 0)) || fail "files were left behind"
echo "deb packages ($arch): built, lint-free, installed, used and removed"

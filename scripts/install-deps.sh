#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: scripts/install-deps.sh build|demo|test|bench|windows|armhf|arm64|windows-arm64|all
set -euo pipefail

build=(cmake ninja-build g++ clang pkg-config "libasound2-dev:$(dpkg --print-architecture)" libgtest-dev libgmock-dev binutils)
test=("${build[@]}" sox pulseaudio libasound2-plugins alsa-utils clang-tidy clang-format libclang-rt-14-dev gcovr python3
  lintian groff-base man-db dpkg-dev)
bench=("${build[@]}" sox ffmpeg time)
# The demo: the library and its tool (no tests), sox for the sample sound, and
# the virtual source it records from on a machine without a capture device.
demo=(cmake ninja-build g++ pkg-config "libasound2-dev:$(dpkg --print-architecture)" sox alsa-utils pulseaudio
  pulseaudio-utils libasound2-plugins)
# The Windows builds: MinGW-w64 cross compilers (with their -posix variants),
# GoogleTest's sources to build for them, and Wine, 64- and 32-bit, to run the
# tests; 32-bit capture under Wine goes through the i386 ALSA plugins.
windows=(cmake ninja-build g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386
  libasound2-plugins:i386)
test+=("${windows[@]}")
# Linux armhf: the cross toolchain and the target's libraries (multiarch); its
# tests run under qemu-arm user-mode emulation. Part of the test suite.
armhf=(g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user libasound2-dev:armhf libgtest-dev:armhf
  libgmock-dev:armhf libasound2-plugins:armhf libubsan1:armhf libstdc++6:armhf)
test+=("${armhf[@]}")
# Linux arm64: the same for AArch64, its tests under qemu-aarch64. Part of the
# test suite.
arm64=(g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user libasound2-dev:arm64 libgtest-dev:arm64
  libgmock-dev:arm64 libasound2-plugins:arm64 libstdc++6:arm64)
test+=("${arm64[@]}")
# Windows on ARM64: zig from PyPI (clang, lld, the mingw-w64 runtime and libc++
# for aarch64-windows-gnu; one version, pinned), LLVM's windres, ar and readobj
# for the resource, the libraries and the checks of the images. Part of the
# test suite.
windows_arm64=(cmake ninja-build clang llvm-14 python3)
windows_arm64_pypi=(ziglang==0.15.2)
test+=("${windows_arm64[@]}")

case "${1:-all}" in
  build) wanted=("${build[@]}") ;;
  demo) wanted=("${demo[@]}") ;;
  test) wanted=("${test[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  armhf) wanted=("${armhf[@]}") ;;
  arm64) wanted=("${arm64[@]}") ;;
  windows-arm64) wanted=("${windows_arm64[@]}") ;;
  all) wanted=("${test[@]}" "${bench[@]}") ;;
  *) echo "usage: $0 build|demo|test|bench|windows|armhf|arm64|windows-arm64|all" >&2; exit 64 ;;
esac

# The PyPI packages, each at its pinned version, for the Python that runs them.
case "${1:-all}" in test | windows-arm64 | all) pypi=("${windows_arm64_pypi[@]}") ;; *) pypi=() ;; esac
install_pypi() {
  for requirement in "${pypi[@]}"; do
    if [ "$(python3 -m pip show "${requirement%%==*}" 2>/dev/null | sed -n 's/^Version: //p')" != "${requirement#*==}" ]; then
      echo "installing from PyPI: $requirement"
      python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore "$requirement"
    fi
  done
}

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then install_pypi; exit 0; fi

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (name:arch) need it known to dpkg first.
for package in "${missing[@]}"; do
  arch=${package#*:}
  if [ "$arch" != "$package" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${sudo[@]}" dpkg --add-architecture "$arch"
  fi
done
# A mirror in the middle of a sync serves index files of the wrong size for a
# while: try again before giving up.
updated=0
for attempt in 1 2 3 4 5; do
  if "${sudo[@]}" apt-get update -qq; then updated=1 && break; fi
  echo "install-deps: apt-get update failed (attempt $attempt of 5)" >&2
  if [ "$attempt" -lt 5 ]; then sleep $((attempt * 15)); fi
done
apt_install() { "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null; }
if ! apt_install; then
  [ "$updated" -eq 1 ] && exit 1
  # With the security suite's index read for one architecture but not for
  # another, a library needed in both would come in two versions, which
  # multiarch refuses. Take every package from the main suite instead, and
  # remove nothing to get there. A library already installed from the security
  # suite has no twin of its version in the main suite: it steps back to the
  # main suite's version, and only when the packages asked for need that.
  echo "install-deps: some indexes could not be read; installing from the main suite only" >&2
  preferences=$(mktemp)
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: -1\n\n' >"$preferences"
  printf 'Package: *\nPin: release l=Debian\nPin-Priority: 1001\n' >>"$preferences"
  chmod 644 "$preferences"
  apt_install --no-remove --allow-downgrades -o Dir::Etc::preferences="$preferences"
  rm -f "$preferences"
fi
install_pypi

#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: scripts/install-deps.sh build|test|bench|windows|all
set -euo pipefail

build=(cmake ninja-build g++ clang pkg-config libasound2-dev libgtest-dev libgmock-dev binutils)
test=("${build[@]}" sox pulseaudio libasound2-plugins alsa-utils clang-tidy clang-format libclang-rt-14-dev gcovr python3)
bench=("${build[@]}" sox ffmpeg time)
# The Windows builds: MinGW-w64 cross compilers (with their -posix variants),
# GoogleTest's sources to build for them, and Wine, 64- and 32-bit, to run the
# tests; 32-bit capture under Wine goes through the i386 ALSA plugins.
windows=(cmake ninja-build g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386
  libasound2-plugins:i386)
test+=("${windows[@]}")

case "${1:-all}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  all) wanted=("${test[@]}" "${bench[@]}") ;;
  *) echo "usage: $0 build|test|bench|windows|all" >&2; exit 64 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine and its ALSA plugins are i386 packages.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

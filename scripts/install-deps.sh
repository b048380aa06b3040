#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: scripts/install-deps.sh build|test|bench|all
set -euo pipefail

build=(cmake ninja-build g++ clang pkg-config libasound2-dev libgtest-dev libgmock-dev binutils)
test=("${build[@]}" sox pulseaudio libasound2-plugins alsa-utils clang-tidy clang-format libclang-rt-14-dev gcovr python3
  lintian groff-base man-db dpkg-dev)
bench=("${build[@]}" sox ffmpeg time)

case "${1:-all}" in
  build) wanted=("${build[@]}") ;;
  test) wanted=("${test[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  all) wanted=("${test[@]}" "${bench[@]}") ;;
  *) echo "usage: $0 build|test|bench|all" >&2; exit 64 ;;
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
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

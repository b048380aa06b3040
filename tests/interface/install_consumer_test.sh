#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds and runs a
# program that finds it through its CMake package and through pkg-config.
# Usage: install_consumer_test.sh BUILD_DIR CONSUMER_SOURCE_DIR [TOOLCHAIN_FILE [EMULATOR...]]
# A cross build passes its toolchain file, so that the consumer is built for
# the same target, and the emulator that runs the consumer's programs.
set -euo pipefail
build_dir=$1
source_dir=$2
toolchain=${3:-}
emulator=("${@:4}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
libdir=$(find "$scratch/prefix" -name 'libTarnwick.so.1' -printf '%h\n' | head -n1)
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cross=()
[ -n "$toolchain" ] && cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
cmake -S "$source_dir" -B "$scratch/build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" "${cross[@]}" >/dev/null
cmake --build "$scratch/build" >/dev/null
LD_LIBRARY_PATH="$libdir" "${emulator[@]}" "$scratch/build/with_cmake_package"
LD_LIBRARY_PATH="$libdir" "${emulator[@]}" "$scratch/build/with_pkg_config"
test -f "$scratch/prefix/include/tarnwick.h"
echo "installed library found through its CMake package and pkg-config"

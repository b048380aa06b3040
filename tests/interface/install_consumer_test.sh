#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds and runs a
# program that finds it through its CMake package and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
libdir=$(find "$scratch/prefix" -name 'libTarnwick.so.1' -printf '%h\n' | head -n1)
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cmake -S "$source_dir" -B "$scratch/build" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$scratch/build/with_cmake_package"
LD_LIBRARY_PATH="$libdir" "$scratch/build/with_pkg_config"
test -f "$scratch/prefix/include/tarnwick.h"
echo "installed library found through its CMake package and pkg-config"

#!/usr/bin/env bash
# clang-format (the tree matches the checked-in style) and clang-tidy (the
# checked-in checks, clean) over the library and the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "clang-format: checking the tree"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror

echo "clang-tidy: checking the library and the tool"
# Any clang build gives the compile database; CI has built the sanitizer one.
cmake --preset asan >/dev/null
cmake --build --preset asan >/dev/null  # generated sources and the compile database
# The Windows parts are not in this build's compile database.
git ls-files 'interface/*.cpp' 'wav/*.cpp' 'recorder/*.cpp' 'platform/*.cpp' 'platform/*.c' 'tools/*.cpp' \
  ':(exclude)*/win32/*' ':(exclude)interface/dll_main.cpp' |
  xargs -P "$(nproc)" -n 4 clang-tidy -p build/asan --quiet 2>/dev/null
echo "static checks: clean"

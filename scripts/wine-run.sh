#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: CTest's emulator for the
# windows-* builds. Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# PREFIX is the build tree's own Wine prefix, so that no test touches ~/.wine
# and every build starts from a known system. No display is needed.
set -euo pipefail
prefix=$1
shift
mkdir -p "$prefix"
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"

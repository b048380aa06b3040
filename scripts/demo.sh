#!/usr/bin/env bash
# The main job: build the library and its host, make a sample sound, reverse
# it through the library and show both waveforms.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
bash scripts/install-deps.sh test >/dev/null  # sox makes the sample sound

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
tarnwick=build/release/tools/tarnwick

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Three seconds of a tone that swells slowly and stops at once: reversed, it
# starts at once and dies away.
sox -n -r 8000 -b 16 -c 1 "$work/swell.wav" synth 3 sine 440 fade q 2.8 3 0 vol 0.9
"$tarnwick" reverse "$work/swell.wav" "$work/swell-reversed.wav"
echo "input:  swell.wav"
"$tarnwick" show "$work/swell.wav"
echo
echo "output: swell-reversed.wav (reversed by the library)"
"$tarnwick" show "$work/swell-reversed.wav"

#!/usr/bin/env bash
# The main job: build the library and its host, make a sample sound, reverse
# it through the library and show both waveforms; then record three seconds
# and show them. A machine without a capture device records from the virtual
# source the tests use (tests/support/virtual_audio.sh) instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh demo

cmake --preset demo >/dev/null
cmake --build --preset demo >/dev/null
tarnwick=build/demo/tools/tarnwick

work=$(mktemp -d)
audio_dir=
cleanup() {
  if [[ -n $audio_dir ]]; then bash tests/support/virtual_audio.sh stop "$audio_dir" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Three seconds of a tone that swells slowly and stops at once: reversed, it
# starts at once and dies away.
sox -n -r 8000 -b 16 -c 1 "$work/swell.wav" synth 3 sine 440 fade q 2.8 3 0 vol 0.9
"$tarnwick" reverse "$work/swell.wav" "$work/swell-reversed.wav"
echo "input:  swell.wav"
"$tarnwick" show "$work/swell.wav"
echo
echo "output: swell-reversed.wav (reversed by the library)"
"$tarnwick" show "$work/swell-reversed.wav"

# A machine with no sound card (a server, a container, CI) has nothing to
# record from: a trial second tells, without a message from ALSA.
has_capture_device() {
  arecord -l 2>/dev/null | grep -q '^card ' &&
    "$tarnwick" record "$work/trial.wav" --seconds 1 </dev/null >/dev/null 2>&1
}
echo
if ! has_capture_device; then
  echo "no capture device here: recording from a virtual test source instead"
  audio_dir=$work/audio
  bash tests/support/virtual_audio.sh start "$audio_dir" >/dev/null
  while IFS= read -r variable; do export "$variable"; done < <(bash tests/support/virtual_audio.sh env "$audio_dir")
fi
echo "recording 3 seconds from the default input (recorded.wav):"
"$tarnwick" record "$work/recorded.wav" --seconds 3
"$tarnwick" show "$work/recorded.wav"

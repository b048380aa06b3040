#!/usr/bin/env bash
# Sourced by the recording benchmarks: the tests' two capture sources, as ALSA
# configurations. capture_sources_start ROOT WORK BUILD [PACED_OPTIONS] starts
# the virtual source (a PulseAudio null source through ALSA's pulse plugin,
# tests/support/virtual_audio.sh) in WORK/audio and exports what its clients
# need; it sets virtual_config to its configuration and paced_config to one of
# the tests' hardware-like paced device (tests/platform/paced_capture_plugin.c
# in BUILD) with PACED_OPTIONS. capture_sources_stop stops the daemon.
capture_sources_start() {
  local root=$1 work=$2 build
  build=$(cd "$3" && pwd)  # ALSA takes a plugin's path as absolute
  capture_sources_dir=$work/audio
  capture_sources_root=$root
  bash "$root/tests/support/virtual_audio.sh" start "$capture_sources_dir" >/dev/null
  while IFS= read -r variable; do export "${variable?}"; done < <(bash "$root/tests/support/virtual_audio.sh" env \
    "$capture_sources_dir")
  virtual_config=$ALSA_CONFIG_PATH
  paced_config=$work/paced.conf
  printf 'pcm_type.paced_test { lib "%s" }\npcm.!default { type paced_test %s }\n' \
    "$build/tests/platform/libpaced_capture_plugin.so" "${4:-}" >"$paced_config"
}

capture_sources_stop() {
  [[ -z ${capture_sources_dir:-} ]] ||
    bash "$capture_sources_root/tests/support/virtual_audio.sh" stop "$capture_sources_dir" >/dev/null 2>&1 || true
}

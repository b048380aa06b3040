#!/bin/bash
# A real, paced ALSA capture device for the capture tests, with known content.
#
#   virtual_audio.sh start DIR   installs what is missing, starts a private
#                                PulseAudio daemon and writes DIR/asound.conf
#   virtual_audio.sh stop DIR    stops that daemon
#   virtual_audio.sh env DIR     prints the environment a client needs
#
# The daemon runs in user space (as root too) with everything under DIR: its
# socket, pid file, state and cookie. Its default source is a null source with
# a short latency, so capture is paced by the daemon's clock, 8000 frames per
# second of real time, from the first period on. (A null sink's monitor works
# too, but delivers its first data up to two seconds late.)
#
# DIR/asound.conf replaces ALSA's whole configuration (ALSA_CONFIG_PATH). Its
# `default` PCM is a `file` PCM over the daemon's `pulse` PCM: the timing comes
# from the daemon, and the samples from DIR/ramp.raw, read in step with the
# capture, so the test knows every sample: sample i is (i * 7) mod 65536, as
# little-endian 16-bit.
set -euo pipefail

usage() { echo "usage: $0 start|stop|env DIR" >&2; exit 2; }
[[ $# -eq 2 ]] || usage
action=$1
dir=$2

readonly ramp_seconds=120
readonly ramp_rate=8000

environment() {
  echo "ALSA_CONFIG_PATH=$dir/asound.conf"
  echo "PULSE_SERVER=unix:$dir/native"
  echo "PULSE_RUNTIME_PATH=$dir/runtime"
}

install_missing() {
  local missing=()
  command -v pulseaudio >/dev/null || missing+=(pulseaudio)
  command -v pactl >/dev/null || missing+=(pulseaudio-utils)
  compgen -G "/usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so" >/dev/null || missing+=(libasound2-plugins)
  command -v perl >/dev/null || missing+=(perl)
  [[ ${#missing[@]} -eq 0 ]] && return
  if [[ $(id -u) -ne 0 ]]; then
    echo "virtual_audio: missing ${missing[*]}; install them (apt-get install -y ${missing[*]})" >&2
    exit 1
  fi
  echo "virtual_audio: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
}

# The daemon's environment: nothing of the developer's own session.
daemon_env() {
  env -i PATH="$PATH" HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" \
    PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" "$@"
}

stop_daemon() {
  local pid_file=$dir/runtime/pid
  [[ -f $pid_file ]] || return 0
  local pid
  pid=$(head -n1 "$pid_file")
  if [[ $pid =~ ^[0-9]+$ ]] && [[ $(cat "/proc/$pid/comm" 2>/dev/null) == pulseaudio ]]; then
    kill "$pid"
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$pid_file"
}

write_ramp() {
  perl -e 'my $n = $ARGV[0]; print pack("v*", map { ($_ * 7) % 65536 } 0 .. $n - 1);' \
    $((ramp_seconds * ramp_rate)) >"$dir/ramp.raw"
}

write_alsa_config() {
  cat >"$dir/asound.conf" <<EOF
# Written by virtual_audio.sh: the whole ALSA configuration for the tests.
pcm.virtual_pulse {
  type pulse
  server "unix:$dir/native"
}
ctl.!default {
  type pulse
  server "unix:$dir/native"
}
pcm.!default {
  type file
  slave.pcm "virtual_pulse"
  file "/dev/null"
  infile "$dir/ramp.raw"
  format "raw"
}
EOF
}

start() {
  install_missing
  # A unix socket path is limited to 108 bytes.
  if [[ ${#dir} -gt 90 ]]; then
    echo "virtual_audio: $dir is too long a path for the daemon's socket" >&2
    exit 1
  fi
  mkdir -p "$dir"
  stop_daemon
  rm -rf "$dir/runtime" "$dir/state" "$dir/home" "$dir/native"
  mkdir -p -m 700 "$dir/runtime" "$dir/state" "$dir/home"
  write_ramp
  write_alsa_config
  daemon_env pulseaudio -n --daemonize=yes --system=false --disallow-exit --exit-idle-time=-1 \
    --use-pid-file=yes --log-target="file:$dir/daemon.log" \
    --load="module-null-source source_name=virtual_source rate=8000 channels=1 format=s16le max_latency_msec=100" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    </dev/null >"$dir/daemon.out" 2>&1 || { cat "$dir/daemon.out" "$dir/daemon.log" >&2; exit 1; }
  # The daemon keeps none of the caller's descriptors, so a test runner that
  # waits for its child's output does not wait for the daemon.
  for _ in $(seq 50); do
    if daemon_env PULSE_SERVER="unix:$dir/native" pactl set-default-source virtual_source 2>/dev/null; then
      echo "virtual_audio: PulseAudio is up at $dir/native"
      return 0
    fi
    sleep 0.1
  done
  echo "virtual_audio: PulseAudio did not come up; its log:" >&2
  cat "$dir/daemon.log" >&2 || true
  exit 1
}

case $action in
  start) start ;;
  stop)
    stop_daemon
    # Only a directory this script laid out is removed.
    if [[ -f $dir/asound.conf ]] && head -n1 "$dir/asound.conf" | grep -q '^# Written by virtual_audio.sh'; then
      rm -rf "$dir"
    fi
    ;;
  env) environment ;;
  *) usage ;;
esac

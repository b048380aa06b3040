#!/usr/bin/env bash
# Writes the fuzzers' seed corpora: small files of every shape the reversal
# meets, and UTF-16 paths with every kind of unit.
# Usage: fuzz/make_seed_corpus.sh DIR   (creates DIR/reverse and DIR/path_name)
set -euo pipefail
dir=$1
mkdir -p "$dir/reverse" "$dir/path_name"

bytes() { local v; for v in "$@"; do printf "\\x$(printf %02x "$v")"; done; }
le16() { bytes $(($1 & 255)) $((($1 >> 8) & 255)); }
le32() { bytes $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }

# wav NAME CHANNELS BITS DATA_BYTES: a canonical header and a byte ramp.
wav() {
  local name=$1 channels=$2 bits=$3 data=$4 align=$(($2 * $3 / 8))
  {
    printf RIFF; le32 $((data + 36)); printf 'WAVEfmt '; le32 16; le16 1; le16 "$channels"
    le32 8000; le32 $((8000 * align)); le16 "$align"; le16 "$bits"; printf data; le32 "$data"
    head -c "$data" /dev/zero | tr '\0' '\1'
  } >"$dir/reverse/$name"
}
wav empty 2 16 0
wav stereo16 2 16 12
wav mono8 1 8 3
wav misaligned 2 16 6
wav six_by_24 6 24 90
wav wide_frame 16 32 200
wav wide_misaligned 16 32 70
wav zero_channels 0 16 8
wav nibble 1 4 8
wav wrapped 65535 65535 8
printf 'RIFF\0\0\0\0WAVE' >"$dir/reverse/short"
printf 'RIFX\0\0\0\0wave' >"$dir/reverse/not_wave"

# path_name: a capacity byte (0 = full size), then little-endian UTF-16 units.
printf '\0a\0b\0' >"$dir/path_name/ascii"
printf '\0\xfc\0\xac\x20' >"$dir/path_name/bmp"
printf '\0\x3d\xd8\x00\xde' >"$dir/path_name/pair"
printf '\0\x00\xd8a\0' >"$dir/path_name/lone_high"
printf '\0\x00\xdc' >"$dir/path_name/lone_low"
printf '\x04a\0b\0c\0d\0' >"$dir/path_name/too_long"

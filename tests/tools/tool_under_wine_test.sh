#!/usr/bin/env bash
# tarnwick.exe under Wine, as a user runs it: arguments outside every ANSI code
# page (Greek, Japanese, an emoji's surrogate pair) reach the library as the
# same UTF-16, the output that is the input is refused, `show` reads such a
# name, and `record` without a capture device exits 1 with the file finished.
# Usage: tool_under_wine_test.sh EMULATOR... TOOL
set -euo pipefail
tool=${*: -1}
run=("${@:1:$#-1}")
# Wine takes the Linux arguments and names as UTF-8 in this locale.
export LC_ALL=C.UTF-8
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
in="$dir/Ωμέγα 日本語.wav"
out="$dir/😀 out.wav"
# A canonical header for 1 channel of 8 bits, then the samples "abc".
printf 'RIFF\x27\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x03\x00\x00\x00abc' >"$in"

fail() { echo "FAILED: $*" >&2; exit 1; }
# The tool's exit code, whatever it is.
status() { if "${run[@]}" "$tool" "$@" >"$dir/stdout" 2>"$dir/stderr"; then echo 0; else echo $?; fi; }

[ "$(status --version)" = 0 ] || fail "--version"
[ "$(tr -d '\r' <"$dir/stdout")" = "tarnwick 1.0.0.1" ] || fail "--version printed $(cat "$dir/stdout")"

[ "$(status reverse "Z:$in" "Z:$out")" = 0 ] || fail "reverse: $(cat "$dir/stderr")"
[ "$(tail -c 3 "$out")" = cba ] || fail "reverse wrote $(od -c "$out")"
cmp -s <(head -c 44 "$in") <(head -c 44 "$out") || fail "header not copied"

[ "$(status reverse "Z:$in" "Z:${in^^}")" = 2 ] || fail "the input under other letter case was not refused"
[ "$(tail -c 3 "$in")" = abc ] || fail "the input was changed"

[ "$(status show "Z:$out" --width 8)" = 0 ] || fail "show: $(cat "$dir/stderr")"
grep -q "3 frames" "$dir/stdout" || fail "show printed $(cat "$dir/stdout")"

[ "$(status record "Z:$dir/rec.wav" --seconds 1)" = 1 ] || fail "record without a device: $(cat "$dir/stderr")"
[ "$(stat -c %s "$dir/rec.wav")" = 44 ] || fail "record left $(stat -c %s "$dir/rec.wav") bytes"
echo "tool under Wine: reverse, show and record as expected"

#!/usr/bin/env bash
# The manual page and `tarnwick --help` say the same things: the same
# commands, the same options and the same exit codes; and the page renders
# without a warning from groff.
# Usage: manual_matches_help_test.sh MANUAL_PAGE [EMULATOR...] TARNWICK
set -euo pipefail
page=$1
shift
tool=("$@")
status=0
complain() { echo "$*" >&2; status=1; }

warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 >/dev/null)
[[ -z $warnings ]] || complain "groff warns about $page: $warnings"

help=$("${tool[@]}" --help)
# The page's text as a reader sees it, without roff's escapes.
text=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g')

# Every list must have something in it: two empty lists agree on nothing.
same() { [[ -n $2 && $2 == "$3" ]] || complain "$1 differ: help [$2] page [$3]"; }

commands_help=$(sed -n 's/^  tarnwick \([a-z]*\) .*/\1/p' <<<"$help" | sort -u)
commands_page=$(sed -n 's/^\.B tarnwick \([a-z]*\)$/\1/p' "$page" | sort -u)
same commands "$commands_help" "$commands_page"

options_help=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
options_page=$(grep -o -- '--[a-z][a-z-]*' <<<"$text" | sort -u)
same options "$options_help" "$options_page"

codes_help=$(sed -n '/^exit codes:/,$p' <<<"$help" | grep -oE '(^|[ ;])[0-9]+ ' | tr -dc '0-9\n ' | tr -s ' ' '\n' | sed '/^$/d' | sort -un)
codes_page=$(sed -n '/^\.SH "EXIT STATUS"/,/^\.SH/p' "$page" | sed -n 's/^\.B \([0-9][0-9]*\)$/\1/p' | sort -un)
same "exit codes" "$codes_help" "$codes_page"

exit $status

#!/usr/bin/env bash
# Checks that a program's usage text and its manual page say the same
# things: the same options and switches (each one in both), every command
# and fault rule the usage text lists named in the page, and the same exit
# statuses. Prints what differs and fails.
#
#   help-matches-manual.sh HELP-TEXT-FILE MANUAL-PAGE [SWITCHES-ONLY]
#
# With SWITCHES-ONLY (any word) only the switches (/x) are compared: the
# dialog's page against padflash-cli's usage text, whose switches are the
# dialog's.
set -euo pipefail
help="$1" manual="$2" switches_only="${3:-}"
# The page's text without roff's escapes for the minus sign and fonts, and
# without its examples (.nf to .fi: command lines of other programs too).
text="$(sed -e '/^\.nf/,/^\.fi/d' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$manual")"
options() {  # --long, -x and /x as words of their own
  grep -oP '(?<![\w/.~-])(--[a-z0-9][a-z0-9-]*|-[a-z](?![\w-])|/[?a-z](?![\w/]))' | sort -u
}
from_help="$(options <"$help")"
from_manual="$(options <<<"$text")"
if [ -n "$switches_only" ]; then
  from_help="$(grep '^/' <<<"$from_help" || true)"
  from_manual="$(grep '^/' <<<"$from_manual" || true)"
fi
status=0
only_help="$(comm -23 <(echo "$from_help") <(echo "$from_manual"))"
only_manual="$(comm -13 <(echo "$from_help") <(echo "$from_manual"))"
[ -z "$only_help" ] || { echo "$(basename "$manual"): not in the page:" $only_help; status=1; }
[ -z "$only_manual" ] || { echo "$(basename "$manual"): not in the usage text:" $only_manual; status=1; }
[ -n "$switches_only" ] && exit "$status"

# Commands (two spaces in) and fault rules (six, lines without a comma).
words="$(grep -oP '^  [a-z][a-z0-9-]*(?= |$)|^      [a-z][a-z0-9-]*(?= |$)(?!.*,)' "$help" | sort -u || true)"
for word in $words; do
  grep -qw -- "$word" <<<"$text" || { echo "$(basename "$manual"): no $word"; status=1; }
done

# Exit statuses: the numbers of the usage text's "Exit status:" and the
# items of the page's EXIT STATUS section.
if grep -q '^Exit status:' "$help"; then
  codes_help="$(sed -n '/^Exit status:/,$p' "$help" | grep -oP '(?<![\w-])\d+(?= [a-z])' | sort -u)"
  codes_manual="$(sed -n '/^\.SH EXIT STATUS/,/^\.SH [^E]/p' "$manual" | grep -oP '^\.B \K\d+$' |
    sort -u)"
  [ "$codes_help" = "$codes_manual" ] || {
    echo "$(basename "$manual"): exit statuses" $codes_manual "but the usage text has" $codes_help
    status=1
  }
fi
exit "$status"

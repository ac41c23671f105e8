#!/usr/bin/env bash
# The manual page lists every option that --help lists.
#   manpage_test.sh PELKO MANPAGE
set -euo pipefail
help="$("$1" --help)"
# The page as text: roff's escaped hyphens and font changes taken out.
page="$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$2")"
missing=()
# Options are the words that begin an indented line of the help, and their short forms.
while read -r option; do
  grep -q -e "$option" <<<"$page" || missing+=("$option")
done < <(grep -E '^ {2}-' <<<"$help" | grep -oE -- '(^|[ ,])--?[A-Za-z0-9][A-Za-z0-9-]*' |
         sed 's/^[ ,]*//' | sort -u)
[ ${#missing[@]} -eq 0 ] || { echo "FAIL: the manual page lacks ${missing[*]}" >&2; exit 1; }
echo "manpage: every option of --help is in the manual page"

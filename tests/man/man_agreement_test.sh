#!/bin/sh
# The manual page and the README agree on the exit statuses and the
# messages, and the messages are the program's own (typos included).
#   man_agreement_test.sh SOURCE_DIR
# Exits 77 (skipped) when groff is not installed.
set -eu
src=$1
page=$src/man/threshold-detector.1
readme=$src/README.md
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/man-agreement-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

# Plain text, lines long enough that no message is broken or hyphenated,
# white space collapsed. The EXIT STATUS section on its own as well.
groff -man -Tascii -rLL=2000n -P-cbou "$page" >"$tmp/page.txt"
tr -s ' \t' '  ' <"$tmp/page.txt" | sed 's/^ //' >"$tmp/text"
sed -n '/^EXIT STATUS$/,/^EXAMPLES$/p' "$tmp/text" >"$tmp/status"
[ -s "$tmp/status" ] || fail "no EXIT STATUS section in the manual page"

has() { grep -qF -- "$2" "$1"; }

# The README's status table: "| N | meaning |", statuses 0 to 4 in order;
# the manual page must give each status with the same meaning.
grep '^| [0-9] | ' "$readme" | awk -F'|' '{ gsub(/^ +| +$/, "", $2); gsub(/^ +| +$/, "", $3); print $2 "|" $3 }' >"$tmp/readme-statuses"
seen=$(cut -d'|' -f1 "$tmp/readme-statuses" | tr '\n' ' ')
[ "$seen" = "0 1 2 3 4 " ] || fail "README status table lists '$seen', not 0 to 4"
while IFS='|' read -r n meaning; do
  grep -qi -- "^$n $meaning" "$tmp/status" || fail "status $n '$meaning' of the README is not in EXIT STATUS"
done <"$tmp/readme-statuses"

# Every message the README quotes is in the manual page.
grep -o '`[^`]*`' "$readme" | tr -d '`' | grep -E '^(Error|error|Runnning)' | sort -u >"$tmp/readme-messages"
while IFS= read -r m; do
  has "$tmp/text" "$m" || fail "README message '$m' is not in the manual page"
done <"$tmp/readme-messages"

# message as the manual page gives it | the text the source prints
while IFS='|' read -r shown printed; do
  has "$tmp/status" "$shown" || fail "EXIT STATUS lacks '$shown'"
  grep -rqF -- "$printed" "$src/src" || fail "no message '$printed' in src/"
done <<'MESSAGES'
Runnning threshold detector...please wait|"Runnning threshold detector...please wait"
Error allocating memory. Quiting|"Error allocating memory. Quiting\n"
Error opening ini file|"Error opening ini file"
error on line N of ini file|"error on line "
error on line N of ini file|" of ini file"
Error reading ini file: ITEM (item K of 23) is missing: the file ends after N items|"Error reading ini file: "
Error reading ini file: ITEM (item K of 23) is missing: the file ends after N items|" is missing: the file ends after "
Error reading ini file: ITEM (item K of 23) is not a number: found "TEXT"|" is not a number: found \""
Error in ini file: set S primary code C is not a variable code (0 to 9)|"Error in ini file: set "
Error in ini file: set S secondary code C is not a variable code (0 to 9)|" is not a variable code (0 to 9)"
Error in ini file: sets A and B differ but both name their results NAME|" differ but both name their results "
Error opening data file NAME: REASON|"Error opening data file "
Error reading data file NAME: run R, day D:|"Error reading data file "
Error creating result file NAME: REASON|"Error creating result file "
Error writing result file NAME: REASON|"Error writing result file "
Error closing result file NAME: REASON|"Error closing result file "
it is the data file|"it is the data file"
Error reading ini file: REASON|"Error reading ini file: "
Error in ini file: ITEM (item K of 23) holds a byte that cannot stand in a file name: "TEXT"|") holds a byte that cannot stand in a file name: \""
it is the configuration file TAV_WG_dly_TD_ini.txt|"it is the configuration file "
it is the same file as OTHER|"it is the same file as "
it is a FIFO with no reader|"it is a FIFO with no reader"
another run is writing it|"another run is writing it"
MESSAGES

[ "$failures" -eq 0 ] || exit 1
echo "manual page and README agree"

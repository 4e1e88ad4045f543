#!/bin/sh
# The manual page renders without a single warning, with groff directly and
# through man, and fits an 80-column terminal.
#   man_render_test.sh MANPAGE
# Exits 77 (skipped) when groff or man is not installed.
set -eu
page=$1
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }
command -v man >/dev/null 2>&1 || { echo "man is not installed"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/man-render-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

groff -man -ww -z "$page" 2>"$tmp/groff.err" || fail "groff ended with status $?"
[ ! -s "$tmp/groff.err" ] || fail "groff -man -ww: $(cat "$tmp/groff.err")"

LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" \
  >"$tmp/page.txt" 2>"$tmp/man.err" || fail "man -l ended with status $?"
[ ! -s "$tmp/man.err" ] || fail "man --warnings -l: $(cat "$tmp/man.err")"
[ -s "$tmp/page.txt" ] || fail "man -l rendered nothing"
# Columns are characters: drop the continuation bytes of UTF-8 before counting.
wide=$(LC_ALL=C tr -d '\200-\277' <"$tmp/page.txt" |
  awk '{ n = length($0); if (n > 80) printf "%d columns: %s\n", n, $0 }')
[ -z "$wide" ] || fail "lines wider than 80 columns:
$wide"

[ "$failures" -eq 0 ] || exit 1
echo "manual page renders cleanly"

#!/bin/sh
# The README's GNU parallel recipe, run on GNU parallel with the installed
# tools: four ensembles, one cut short, must give a failures.txt naming that
# one alone. Then a list with a blank line, a directory that does not exist
# and no final line end: every directory is run or listed, and the missing
# one as cd-failed, not as the detector's status 2.
#   parallel_test.sh BUILD_DIR GENERATOR SOURCE_DIR
# Exits 77 (skipped) when GNU parallel is not installed.
set -eu
build=$1 generator=$2 src=$3
. "$src/tests/engines/common.sh"

if ! command -v parallel >/dev/null 2>&1 || ! parallel --version 2>/dev/null | grep -q '^GNU parallel'; then
  echo "skipped: GNU parallel is not installed (Debian: apt-get install parallel)"
  exit 77
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/parallel-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

install_tree "$build" "$tmp/prefix"
PATH=$tmp/prefix/bin:$PATH
export PATH
# GNU parallel keeps its state under $HOME.
HOME=$tmp/home
export HOME
mkdir "$HOME"

recipe "$src/README.md" '### One machine: GNU parallel' >"$tmp/recipe.sh"
[ -s "$tmp/recipe.sh" ] || { echo "FAIL: no GNU parallel recipe in README.md" >&2; exit 1; }

mkdir "$tmp/work"
cd "$tmp/work"
four_ensembles "$generator" "$src"

status=0
sh "$tmp/recipe.sh" >out.txt 2>err.txt </dev/null || status=$?
[ "$status" -eq 0 ] || fail "the recipe ended with status $status: $(cat err.txt)"
[ "$(cat failures.txt)" = "runs/broken 3" ] || fail "failures.txt: $(cat failures.txt)"
grep -q '^failed ensembles' err.txt || fail "the recipe does not report the failure: $(cat err.txt)"
for d in runs/a runs/b runs/c; do
  has_results "$d" || fail "$d has no complete results"
done
grep -q 'the file ends early' runs/broken/threshold-detector.log ||
  fail "runs/broken/threshold-detector.log: $(cat runs/broken/threshold-detector.log)"

rm -f runs/a/*_results.csv runs/c/*_results.csv
printf 'runs/a\n\nruns/gone\nruns/c' >dirs.txt
status=0
sh "$tmp/recipe.sh" >out.txt 2>err.txt </dev/null || status=$?
[ "$status" -eq 0 ] || fail "second pass: status $status: $(cat err.txt)"
[ "$(cat failures.txt)" = "runs/gone cd-failed" ] || fail "second pass: failures.txt: $(cat failures.txt)"
has_results runs/a || fail "second pass: runs/a not run"
has_results runs/c || fail "second pass: runs/c, the last line, not run"

[ "$failures" -eq 0 ]

#!/bin/sh
# tools/prepare-ensembles.sh and tools/run-ensembles.sh together, as the
# README's many-ensembles recipe uses them: three ensembles, one of them
# truncated; the good two get their results and the broken one is listed
# as failed with status 3.
#   ensembles_test.sh SOURCE_DIR DETECTOR GENERATOR
set -eu
src=$1 detector=$2 generator=$3
prepare=$src/tools/prepare-ensembles.sh
run=$src/tools/run-ensembles.sh
config=TAV_WG_dly_TD_ini.txt

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ensembles-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }
cd "$tmp"

mkdir data
"$generator" --seed 1 data/alpha.txt
cp data/alpha.txt beta.dat
head -c 20000000 data/alpha.txt >data/broken.txt
printf '# three ensembles\n%s\n\ndata/broken.txt\nbeta.dat\n' "$tmp/data/alpha.txt" >list.txt
cp "$src/examples/$config" template.txt

# A list naming a missing file prepares nothing at all.
printf 'beta.dat\ndata/missing.txt\n' >bad-list.txt
status=0
"$prepare" -o bad template.txt bad-list.txt >/dev/null 2>bad.err || status=$?
[ "$status" -eq 1 ] || fail "prepare with a missing data file: status $status, not 1"
grep -q 'data/missing.txt' bad.err || fail "prepare does not name the missing file: $(cat bad.err)"
[ ! -e bad ] || fail "prepare made directories although a data file is missing"

"$prepare" -o runs template.txt list.txt >dirs.txt
printf 'runs/alpha\nruns/broken\nruns/beta\n' >expected-dirs.txt
cmp -s dirs.txt expected-dirs.txt || fail "prepare printed: $(cat dirs.txt)"
# Each configuration is the template with only its first token replaced.
tail -n +2 template.txt >template-rest.txt
for pair in alpha:alpha.txt broken:broken.txt beta:beta.dat; do
  dir=runs/${pair%%:*} name=${pair#*:}
  [ "$(head -n 1 "$dir/$config")" = "$name" ] || fail "$dir/$config starts with '$(head -n 1 "$dir/$config")'"
  tail -n +2 "$dir/$config" | cmp -s - template-rest.txt || fail "$dir/$config differs from the template after its first token"
  [ -L "$dir/$name" ] && [ -s "$dir/$name" ] || fail "$dir/$name is not a link to the data file"
done

status=0
"$run" -j 2 -f failures.txt -x "$detector" <dirs.txt 2>run.err || status=$?
[ "$status" -eq 1 ] || fail "run with a broken ensemble: status $status, not 1"
[ "$(cat failures.txt)" = "runs/broken 3" ] || fail "failures.txt holds: $(cat failures.txt)"
grep -q '^Error reading data file broken.txt: run [0-9]*, day [0-9]*: the file ends early' runs/broken/threshold-detector.log ||
  fail "runs/broken/threshold-detector.log: $(cat runs/broken/threshold-detector.log)"
grep -q 'runs/broken: status 3' run.err || fail "the runner does not report runs/broken: $(cat run.err)"
for dir in runs/alpha runs/beta; do
  n=0
  for f in "$dir"/*_results.csv; do
    [ -f "$f" ] || continue
    n=$((n + 1))
    [ "$(wc -l <"$f" | tr -d ' ')" -eq 103 ] || fail "$f is not complete"
  done
  [ "$n" -eq 6 ] || fail "$dir has $n result files, not 6"
done
cmp -s runs/alpha/DEMO_Tmin_LT0.0_sum_results.csv runs/beta/DEMO_Tmin_LT0.0_sum_results.csv ||
  fail "the same ensemble gave different results in two directories"

# A clean pass rewrites the failures list as empty and ends with 0.
status=0
"$run" -j 2 -f failures.txt -x "$detector" runs/alpha runs/beta 2>/dev/null || status=$?
[ "$status" -eq 0 ] || fail "run of the good directories: status $status, not 0"
[ ! -s failures.txt ] || fail "failures.txt after a clean pass holds: $(cat failures.txt)"

[ "$failures" -eq 0 ] || exit 1
echo "ensemble scripts passed"

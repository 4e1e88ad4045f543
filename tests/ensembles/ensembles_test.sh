#!/bin/sh
# tools/prepare-ensembles.sh and tools/run-ensembles.sh together, as the
# README's many-ensembles recipe uses them: three ensembles, one of them
# truncated; the good two get their results and the broken one is listed
# as failed with status 3, from a list with blank lines and no final line
# end. A pass stopped by a usage or setup fault leaves no failures file.
# Then tools/slurm/collect.sh on status files as the array tasks leave them.
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
# Blank lines and a last line without its line end, as hand-made lists have.
printf 'runs/alpha\n\n  \nruns/beta\nruns/broken' |
  "$run" -j 2 -f failures.txt -x "$detector" 2>run.err || status=$?
[ "$status" -eq 1 ] || fail "run with a broken ensemble: status $status, not 1"
[ "$(cat failures.txt)" = "runs/broken 3" ] || fail "failures.txt holds: $(cat failures.txt)"
grep -q '^Error reading data file broken.txt: run [0-9]*, day [0-9]*: the file ends early' runs/broken/threshold-detector.log ||
  fail "runs/broken/threshold-detector.log: $(cat runs/broken/threshold-detector.log)"
grep -q 'runs/broken: status 3' run.err || fail "the runner does not report runs/broken: $(cat run.err)"
[ "$(tail -n 1 run.err)" = "3 ensembles: 1 failed (see failures.txt)" ] ||
  fail "the runner's last line: $(tail -n 1 run.err)"
grep -q ' done, ' run.err && fail "progress shown although stderr is not a terminal: $(cat run.err)"
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
[ -f failures.txt ] && [ ! -s failures.txt ] || fail "failures.txt after a clean pass: $(cat failures.txt 2>&1)"

# A pass that stops before running anything removes the failures file of
# the pass before, whichever option is at fault.
while IFS='|' read -r args words; do
  echo "runs/broken 3" >failures.txt
  status=0
  # shellcheck disable=SC2086 # the words are the arguments
  "$run" $args </dev/null 2>stop.err || status=$?
  [ "$status" -eq 2 ] || fail "$args: status $status, not 2"
  [ ! -e failures.txt ] || fail "$args: the old failures.txt is still there"
  grep -qF -- "$words" stop.err || fail "$args: no '$words' in: $(cat stop.err)"
done <<CASES
-j 0|-j needs a whole number
-q -f failures.txt|unknown option -q
-f failures.txt -x $detector runs/alpha runs/missing|runs/missing: not a directory
-f failures.txt -x ./no-such-detector runs/alpha|./no-such-detector: not an executable file
-f failures.txt -x no-such-detector runs/alpha|no-such-detector: not found in PATH
-f failures.txt -x $detector|no directories given
CASES

# On a terminal the runner shows its progress.
if command -v script >/dev/null 2>&1; then
  script -qec "'$run' -j 2 -x '$detector' -f tty-failures.txt runs/alpha runs/beta" /dev/null >tty.out 2>&1 </dev/null || true
  grep -q '2 of 2 done, 0 failed' tty.out || fail "no progress on a terminal: $(cat tty.out)"
else
  echo "script(1) is not installed: the progress display is not checked"
fi

# collect.sh on the status files an array's tasks leave, job 41 with five
# tasks: a run that ended with 0, one with 3, a stale status of an earlier
# array, a task that left none, and a directory that is gone.
collect=$src/tools/slurm/collect.sh
mkdir -p slurm/d1 slurm/d2 slurm/d3 slurm/d4
echo "41_1 0" >slurm/d1/threshold-detector.status
echo "41_2 3" >slurm/d2/threshold-detector.status
echo "40_3 0" >slurm/d3/threshold-detector.status
printf 'd1\n\nd2\nd3\nd4\ngone' >slurm/dirs.txt
status=0
(cd slurm && sh "$collect" dirs.txt 41 5 >collect.out 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "collect.sh: status $status, not 1"
printf 'd2 3\nd3 none\nd4 none\ngone cd-failed\n' | cmp -s - slurm/failures.txt ||
  fail "collect.sh failures.txt: $(cat slurm/failures.txt)"
grep -q 'dirs.txt holds 5 directories, but the array had 5' slurm/collect.out &&
  fail "collect.sh counts the list wrongly: $(cat slurm/collect.out)"
status=0
(cd slurm && sh "$collect" dirs.txt 41 6 >collect.out 2>&1) || status=$?
grep -q 'dirs.txt holds 5 directories, but the array had 6 tasks' slurm/collect.out ||
  fail "collect.sh with one task more than the list: status $status: $(cat slurm/collect.out)"
printf 'd1\n' >slurm/dirs.txt
status=0
(cd slurm && sh "$collect" dirs.txt "41;cluster" 1 >collect.out 2>&1) || status=$?
[ "$status" -eq 0 ] && [ ! -s slurm/failures.txt ] ||
  fail "collect.sh on a clean array: status $status, failures: $(cat slurm/failures.txt)"
[ "$(tail -n 1 slurm/collect.out)" = "1 ensembles: 0 failed (see failures.txt)" ] ||
  fail "collect.sh's last line: $(tail -n 1 slurm/collect.out)"

[ "$failures" -eq 0 ] || exit 1
echo "ensemble scripts passed"

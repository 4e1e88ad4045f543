#!/bin/sh
#SBATCH --job-name=threshold-detector-collect
#SBATCH --cpus-per-task=1
#SBATCH --mem=64M
#SBATCH --time=00:05:00
# Lists the failed tasks of an ensembles.sbatch array once it has ended:
#   sbatch --dependency=afterany:JOB collect.sh LIST JOB N
# LIST is the array's list of directories, JOB its job ID and N its number
# of tasks. For the Nth non-blank line DIR of LIST, "DIR STATUS" goes to
# failures.txt (in the directory the job was submitted from) unless task N
# of JOB ended with status 0. STATUS is the detector's exit status,
# "cd-failed" when DIR cannot be entered, or "none" when task N left no
# status: it never ran, was cancelled, hit its time limit or lost its node.
# A status left by an earlier array counts as none.
# failures.txt is rewritten every time; the last line of output is
# "N ensembles: K failed (see failures.txt)".
# Exit status: 0 every task ended with 0; 1 a task failed or left no status,
# or LIST does not hold N directories; 2 usage.
set -u
me=collect.sh
failures=failures.txt

case ${1:-} in
  -h|--help) sed -n '/^set -u/q; s/^# //p' "$0"; exit 0 ;;
esac
if [ $# -ne 3 ]; then
  echo "$me: usage: collect.sh LIST JOB N" >&2
  exit 2
fi
list=$1 job=${2%%;*} n=$3
case $job in ''|*[!0-9]*) echo "$me: '$2' is not a job ID" >&2; exit 2 ;; esac
case $n in ''|*[!0-9]*|0) echo "$me: '$n' is not a number of tasks" >&2; exit 2 ;; esac
[ -r "$list" ] || { echo "$me: $list: cannot read the list of directories" >&2; exit 2; }

# awk numbers the directories as the tasks do, so the last line counts even
# without a line end, and blank lines take no task.
dirs=$(mktemp "${TMPDIR:-/tmp}/collect.XXXXXX") || exit 2
trap 'rm -f "$dirs"' EXIT
awk 'NF' "$list" >"$dirs" || exit 2
i=0
while IFS= read -r dir; do
  i=$((i + 1))
  if ! (cd "$dir") 2>/dev/null; then
    s=cd-failed
  else
    id='' s=''
    read -r id s <"$dir/threshold-detector.status" 2>/dev/null || true
    [ "$id" = "${job}_$i" ] && [ -n "$s" ] || s=none
  fi
  [ "$s" = 0 ] || printf '%s %s\n' "$dir" "$s"
done <"$dirs" >"$failures.new"
mv -f "$failures.new" "$failures" || exit 2

failed=$(wc -l <"$failures" | tr -d ' ')
status=0
[ "$failed" -eq 0 ] || status=1
if [ "$i" -ne "$n" ]; then
  echo "$me: $list holds $i directories, but the array had $n tasks" >&2
  status=1
fi
cat "$failures"
echo "$i ensembles: $failed failed (see $failures)"
exit "$status"

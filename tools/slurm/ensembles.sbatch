#!/bin/sh
#SBATCH --job-name=threshold-detector
#SBATCH --cpus-per-task=1
#SBATCH --mem=256M
#SBATCH --time=00:15:00
#SBATCH --output=slurm-%A_%a.out
# One task of a Slurm job array per working directory:
#   n=$(awk 'NF { n++ } END { print n + 0 }' dirs.txt)
#   sbatch --array=1-"$n" ensembles.sbatch [LIST]
# Task N runs threshold-detector (from PATH) in the directory on the Nth
# non-blank line of LIST (default dirs.txt; it and the directories are taken
# from the directory the job was submitted from). The detector's messages go
# to DIR/threshold-detector.log, and "JOB_N STATUS" to
# DIR/threshold-detector.status, where JOB is the array's job ID and STATUS
# the detector's exit status. collect.sh reads these when the array has
# ended. The task ends with the detector's status, or 1 when it has no
# directory to run in.
set -u
me=ensembles.sbatch

case ${1:-} in
  -h|--help) sed -n '/^set -u/q; s/^# //p' "$0"; exit 0 ;;
esac
list=${1:-dirs.txt}
task=${SLURM_ARRAY_TASK_ID:-}
job=${SLURM_ARRAY_JOB_ID:-}
if [ -z "$task" ] || [ -z "$job" ]; then
  echo "$me: not a task of a job array; submit it with sbatch --array" >&2
  exit 1
fi
[ -r "$list" ] || { echo "$me: $list: cannot read the list of directories" >&2; exit 1; }
dir=$(awk -v n="$task" 'NF && ++i == n { print; exit }' "$list")
[ -n "$dir" ] || { echo "$me: $list has no directory for task $task" >&2; exit 1; }
cd "$dir" || { echo "$me: task $task: cannot enter $dir" >&2; exit 1; }

s=0
threshold-detector >threshold-detector.log 2>&1 || s=$?
echo "${job}_$task $s" >threshold-detector.status
exit "$s"

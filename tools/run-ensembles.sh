#!/bin/sh
# Runs threshold-detector in many working directories, N at a time.
#   tools/run-ensembles.sh [-j N] [-f FAILURES] [-x DETECTOR] [DIR...]
# Without DIR arguments the directories are read from standard input, one a
# line (as tools/prepare-ensembles.sh prints them).
# The detector's messages go to DIR/threshold-detector.log. Every directory
# whose run does not end with status 0 is written to FAILURES (default
# failures.txt) as "DIR STATUS", in the order given; the file is always
# rewritten, so it is empty after a clean pass. STATUS is the detector's exit
# status (see EXIT STATUS in threshold-detector(1)), or "none" for a run that
# never reported.
# -j N: runs at a time (default: the number of processors);
# -x DETECTOR: the program to run (default: $TD_DETECTOR, else
# threshold-detector from PATH).
# Exit status: 0 every run ended with 0, 1 a run failed, 2 usage or setup.
set -eu
me=run-ensembles

die() { status=$1; shift; printf '%s: %s\n' "$me" "$*" >&2; exit "$status"; }
usage() { die 2 "usage: $0 [-j N] [-f FAILURES] [-x DETECTOR] [DIR...]"; }

jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 1)
failures=failures.txt
detector=${TD_DETECTOR:-threshold-detector}
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -j) [ $# -ge 2 ] || usage; jobs=$2; shift 2 ;;
    -f) [ $# -ge 2 ] || usage; failures=$2; shift 2 ;;
    -x) [ $# -ge 2 ] || usage; detector=$2; shift 2 ;;
    --) shift; break ;;
    -?*) usage ;;
    *) break ;;
  esac
done
case $jobs in ''|*[!0-9]*|0) die 2 "-j needs a whole number of at least 1, not '$jobs'" ;; esac

# Each run changes into its directory, so the detector needs an absolute name.
case $detector in
  */*) [ -x "$detector" ] && [ -f "$detector" ] || die 2 "$detector: not an executable file"
       detector=$(cd "$(dirname "$detector")" && pwd -P)/${detector##*/} ;;
  *) found=$(command -v "$detector" 2>/dev/null) || die 2 "$detector: not found in PATH"
     detector=$found ;;
esac

tmp=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

dirs=$tmp/dirs
if [ $# -gt 0 ]; then
  printf '%s\n' "$@" >"$dirs"
else
  grep -v '^[[:space:]]*$' >"$dirs" || true
fi
[ -s "$dirs" ] || die 2 "no directories given"
while IFS= read -r d; do
  [ -d "$d" ] || die 2 "$d: not a directory"
done <"$dirs"
dup=$(sort "$dirs" | uniq -d | head -n 1)
[ -z "$dup" ] || die 2 "$dup: listed twice (two runs would share it)"

# Every run reports "STATUS DIR" on the pipe; lines that short are written
# whole, so parallel runs cannot mix them.
export TD_RUN_DETECTOR="$detector"
tr '\n' '\0' <"$dirs" |
  xargs -0 -n 1 -P "$jobs" sh -c '
    s=0
    (cd "$1" && exec "$TD_RUN_DETECTOR" >threshold-detector.log 2>&1) || s=$?
    printf "%s %s\n" "$s" "$1"' sh |
  cat >"$tmp/statuses"

awk 'NR == FNR { s = $1; sub(/^[^ ]* /, ""); status[$0] = s; next }
     !($0 in status) { print $0, "none"; next }
     status[$0] != 0 { print $0, status[$0] }' "$tmp/statuses" "$dirs" >"$tmp/failures"
cp "$tmp/failures" "$failures"

total=$(wc -l <"$dirs" | tr -d ' ')
failed=$(wc -l <"$tmp/failures" | tr -d ' ')
if [ "$failed" -eq 0 ]; then
  printf '%s: %s directories, all ended with status 0\n' "$me" "$total" >&2
  exit 0
fi
while read -r line; do
  d=${line% *} s=${line##* }
  last=$(tail -n 1 "$d/threshold-detector.log" 2>/dev/null || true)
  printf '%s: %s: status %s: %s\n' "$me" "$d" "$s" "$last" >&2
done <"$tmp/failures"
printf '%s: %s of %s directories failed (listed in %s)\n' "$me" "$failed" "$total" "$failures" >&2
exit 1

#!/bin/sh
# Runs threshold-detector in many working directories, N at a time.
#   td-run-ensembles [-j N] [-f FAILURES] [-x DETECTOR] [DIR...]
#   (tools/run-ensembles.sh in the source tree)
# Without DIR arguments the directories are read from standard input, one a
# line, as td-prepare-ensembles prints them; blank lines are skipped and a
# last line without a line end counts. Every directory is checked before any
# run starts.
# The detector's messages go to DIR/threshold-detector.log. Every directory
# whose run does not end with status 0 is written to FAILURES (default
# failures.txt) as "DIR STATUS", in the order given. STATUS is the detector's
# exit status (see EXIT STATUS in threshold-detector(1)), "cd-failed" for a
# directory that could not be entered, or "none" for a run that never
# reported. FAILURES is removed when the pass starts and written when it
# ends, so it is empty after a clean pass and absent after a pass that
# stopped early (status 2 or an interrupt).
# The last line on standard error is "N ensembles: K failed (see FAILURES)";
# while the runs go on, progress is shown there when it is a terminal.
# -j N: runs at a time (default: the number of processors);
# -x DETECTOR: the program to run (default: $TD_DETECTOR, else
# threshold-detector from PATH).
# Exit status: 0 every run ended with 0, 1 a run failed, 2 usage or setup.
set -eu
me=td-run-ensembles

die() { status=$1; shift; printf '%s: %s\n' "$me" "$*" >&2; exit "$status"; }

jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 1)
failures=failures.txt
detector=${TD_DETECTOR:-threshold-detector}
# Every option is read before a usage fault is reported, so that the
# failures file named by -f is the one removed.
bad_usage=
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) sed -n '2,/^# Exit status/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -j|-f|-x)
      if [ $# -lt 2 ]; then bad_usage="$1 needs a value"; break; fi
      case $1 in -j) jobs=$2 ;; -f) failures=$2 ;; -x) detector=$2 ;; esac
      shift 2 ;;
    --) shift; break ;;
    -?*) bad_usage=${bad_usage:-"unknown option $1"}; shift ;;
    *) break ;;
  esac
done
if [ -e "$failures" ] || [ -L "$failures" ]; then
  rm -f -- "$failures" 2>/dev/null && [ ! -e "$failures" ] ||
    die 2 "$failures: cannot remove the failures file of an earlier pass"
fi
[ -z "$bad_usage" ] ||
  die 2 "$bad_usage; usage: ${0##*/} [-j N] [-f FAILURES] [-x DETECTOR] [DIR...]"
case $jobs in ''|*[!0-9]*|0) die 2 "-j needs a whole number of at least 1, not '$jobs'" ;; esac

# Each run changes into its directory, so the detector needs an absolute name.
case $detector in
  */*) [ -x "$detector" ] && [ -f "$detector" ] || die 2 "$detector: not an executable file"
       detector=$(cd "$(dirname "$detector")" && pwd -P)/${detector##*/} ;;
  *) found=$(command -v "$detector" 2>/dev/null) ||
       die 2 "$detector: not found in PATH (add the bin directory of the installation to PATH, or give -x PROGRAM)"
     detector=$found ;;
esac

tmp=$(mktemp -d "${TMPDIR:-/tmp}/td-run-ensembles.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

dirs=$tmp/dirs
if [ $# -gt 0 ]; then
  printf '%s\n' "$@" >"$dirs"
else
  # awk also keeps a last line that has no line end.
  awk 'NF' >"$dirs"
fi
[ -s "$dirs" ] || die 2 "no directories given"
while IFS= read -r d; do
  [ -d "$d" ] || die 2 "$d: not a directory"
done <"$dirs"
dup=$(sort "$dirs" | uniq -d | head -n 1)
[ -z "$dup" ] || die 2 "$dup: listed twice (two runs would share it)"
total=$(wc -l <"$dirs" | tr -d ' ')

progress=0
[ -t 2 ] && progress=1

# Every run reports "STATUS DIR" on the pipe; lines that short are written
# whole, so parallel runs cannot mix them.
export TD_RUN_DETECTOR="$detector"
tr '\n' '\0' <"$dirs" |
  xargs -0 -n 1 -P "$jobs" sh -c '
    if cd "$1" 2>/dev/null; then
      s=0
      "$TD_RUN_DETECTOR" >threshold-detector.log 2>&1 || s=$?
    else
      s=cd-failed
    fi
    printf "%s %s\n" "$s" "$1"' sh |
  {
    ended=0 failed=0
    while IFS= read -r line; do
      printf '%s\n' "$line" >>"$tmp/statuses"
      ended=$((ended + 1))
      case $line in "0 "*) ;; *) failed=$((failed + 1)) ;; esac
      [ "$progress" -eq 0 ] ||
        printf '\r%s: %s of %s done, %s failed ' "$me" "$ended" "$total" "$failed" >&2
    done
    [ "$progress" -eq 0 ] || printf '\n' >&2
  }
[ -e "$tmp/statuses" ] || : >"$tmp/statuses"

awk 'NR == FNR { s = $1; sub(/^[^ ]* /, ""); status[$0] = s; next }
     !($0 in status) { print $0, "none"; next }
     status[$0] != 0 { print $0, status[$0] }' "$tmp/statuses" "$dirs" >"$tmp/failures"
cp "$tmp/failures" "$failures" 2>/dev/null || die 2 "$failures: cannot write the failures file"

failed=$(wc -l <"$tmp/failures" | tr -d ' ')
while read -r line; do
  d=${line% *} s=${line##* }
  last=$(tail -n 1 "$d/threshold-detector.log" 2>/dev/null || true)
  printf '%s: %s: status %s: %s\n' "$me" "$d" "$s" "$last" >&2
done <"$tmp/failures"
printf '%s ensembles: %s failed (see %s)\n' "$total" "$failed" "$failures" >&2
[ "$failed" -eq 0 ]

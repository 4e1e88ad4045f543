#!/bin/sh
# Builds the detector, generates the demo ensemble (100 runs x 10957 days,
# about 67 MB) in a scratch working directory, runs the detector there, and
# draws the results as WORKDIR/results.png when gnuplot is installed.
#   tools/demo.sh [WORKDIR]     (default: ./demo)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-"$root/demo"}
build="$root/build"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target threshold-detector td-generate-ensemble -j 2 >/dev/null

mkdir -p "$work"
cp "$root/examples/TAV_WG_dly_TD_ini.txt" "$work/"
if [ ! -s "$work/ensemble.txt" ]; then
  "$build/tools/td-generate-ensemble" --seed 1 "$work/ensemble.txt"
fi

status=0
(cd "$work" && "$build/src/threshold-detector") || status=$?
if [ "$status" -ne 0 ]; then
  echo "threshold-detector ended with status $status" >&2
  exit "$status"
fi
echo "The six result files are in $work:"
(cd "$work" && ls -1 ./*_results.csv | sed 's|^\./|  |')

plot="$root/tools/plot-results.sh"
if command -v gnuplot >/dev/null 2>&1; then
  status=0
  "$plot" "$work" "$work/results.png" >/dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "plot-results.sh ended with status $status" >&2
    exit "$status"
  fi
  echo "Their plot is $work/results.png"
else
  echo "To plot them, install gnuplot (Debian: apt-get install gnuplot-nox) and run:"
  echo "  $plot $work"
fi

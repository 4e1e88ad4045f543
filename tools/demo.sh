#!/bin/sh
# Builds the detector, generates the demo ensemble (100 runs x 10957 days,
# about 67 MB) in a scratch working directory, and runs the detector there.
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

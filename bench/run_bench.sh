#!/bin/bash
# Whole-program benchmark: the detector against the same program built to read
# its data through std::ifstream, on the full-size demo ensemble, page cache
# warm. Runs the two interleaved, prints medians, the ratio, MB/s and peak RSS.
#   bench/run_bench.sh [RUNS]     (default 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
build="$root/build-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTD_BUILD_BENCH=ON -DTD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 >/dev/null
"$build/tools/td-generate-ensemble" --seed 1 "$work/ensemble.txt"
cp "$root/examples/TAV_WG_dly_TD_ini.txt" "$work/"
bytes=$(stat -c %s "$work/ensemble.txt")
cat "$work/ensemble.txt" >/dev/null # warm the page cache

# One run: prints "seconds peak_kib" and checks that the outputs agree.
run() {
  local exe=$1 out=$2
  mkdir -p "$out"
  (cd "$work" && /usr/bin/time -f "%e %M" -o "$out/time" "$exe" >/dev/null)
  cat "$work"/*_results.csv | md5sum | cut -d' ' -f1 >"$out/sum"
  cat "$out/time"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

: >"$work/fast" && : >"$work/base"
run "$build/src/threshold-detector" "$work/o1" >/dev/null # warm-up
for i in $(seq "$runs"); do
  run "$build/src/threshold-detector" "$work/o1" >>"$work/fast"
  run "$build/bench/threshold-detector-ifstream" "$work/o2" >>"$work/base"
done
if ! cmp -s "$work/o1/sum" "$work/o2/sum"; then
  echo "the two builds wrote different result files" >&2
  exit 1
fi
fast=$(cut -d' ' -f1 "$work/fast" | median)
base=$(cut -d' ' -f1 "$work/base" | median)
fast_rss=$(cut -d' ' -f2 "$work/fast" | sort -n | tail -1)
base_rss=$(cut -d' ' -f2 "$work/base" | sort -n | tail -1)
awk -v f="$fast" -v b="$base" -v n="$bytes" -v fr="$fast_rss" -v br="$base_rss" -v r="$runs" 'BEGIN {
  printf "data file            %.1f MB, %d runs each, interleaved\n", n / 1e6, r
  printf "threshold-detector   median %.3f s  %6.0f MB/s  peak RSS %.1f MiB\n", f, n / 1e6 / f, fr / 1024
  printf "ifstream baseline    median %.3f s  %6.0f MB/s  peak RSS %.1f MiB\n", b, n / 1e6 / b, br / 1024
  printf "speed-up             %.1fx\n", b / f
}'

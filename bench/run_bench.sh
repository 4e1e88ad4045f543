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

# One run: prints "milliseconds peak_kib" and records what the run wrote.
# td-time-run times the process alone, from fork to reaping, and takes its
# peak RSS from wait4.
run() {
  local exe=$1 out=$2
  mkdir -p "$out"
  (cd "$work" && "$build/bench/td-time-run" "$out/time" "$exe" >/dev/null)
  cat "$work"/*_results.csv | md5sum | cut -d' ' -f1 >"$out/sum"
  cat "$out/time"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

: >"$work/fast" && : >"$work/base" && : >"$work/cat"
run "$build/src/threshold-detector" "$work/o1" >/dev/null # warm-up
for i in $(seq "$runs"); do
  run "$build/src/threshold-detector" "$work/o1" >>"$work/fast"
  run "$build/bench/threshold-detector-ifstream" "$work/o2" >>"$work/base"
  "$build/bench/td-time-run" "$work/cat_time" cat "$work/ensemble.txt" >/dev/null
  cut -d' ' -f1 "$work/cat_time" >>"$work/cat"
done
if ! cmp -s "$work/o1/sum" "$work/o2/sum"; then
  echo "the two builds wrote different result files" >&2
  exit 1
fi
fast=$(cut -d' ' -f1 "$work/fast" | median)
base=$(cut -d' ' -f1 "$work/base" | median)
cat_ms=$(median <"$work/cat")
# The ratio of each interleaved pair, so that a drift of the machine's speed
# during the runs moves both sides of it.
pair=$(paste -d' ' "$work/base" "$work/fast" | awk '{print $1 / $3}' | median)
fast_rss=$(cut -d' ' -f2 "$work/fast" | sort -n | tail -1)
base_rss=$(cut -d' ' -f2 "$work/base" | sort -n | tail -1)
awk -v f="$fast" -v b="$base" -v c="$cat_ms" -v n="$bytes" -v fr="$fast_rss" -v br="$base_rss" -v r="$runs" -v p="$pair" 'BEGIN {
  printf "data file            %.1f MB, %d runs each, interleaved, page cache warm\n", n / 1e6, r
  printf "threshold-detector   median %7.1f ms  %6.0f MB/s  peak RSS %.1f MiB\n", f, n / 1e3 / f, fr / 1024
  printf "ifstream baseline    median %7.1f ms  %6.0f MB/s  peak RSS %.1f MiB\n", b, n / 1e3 / b, br / 1024
  printf "cat FILE >/dev/null  median %7.1f ms  %6.0f MB/s\n", c, n / 1e3 / c
  printf "speed-up             %.1fx of the medians, %.1fx the median pair (%.1fx the time of cat)\n", b / f, p, f / c
}'

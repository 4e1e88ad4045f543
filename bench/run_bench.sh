#!/bin/bash
# Whole-program benchmark: the detector against the same program built to read
# its data through std::ifstream >> (bench/baseline_records.cpp), on the
# full-size ensemble in three spellings (the demo's short decimals, every
# spelling stream extraction accepts, full-precision model output). The two
# programs run interleaved, page cache warm; for each spelling it prints the
# medians of wall and processor time (user + system), MB/s, peak RSS, and the
# processor-time ratio to the baseline (median of the interleaved pairs).
#   bench/run_bench.sh [RUNS] [SPELLING...]     (default 7 runs; demo mixed full)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
shift || true
spellings=("$@")
[ ${#spellings[@]} -gt 0 ] || spellings=(demo mixed full)
build="$root/build-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTD_BUILD_BENCH=ON -DTD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 >/dev/null

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# One run in DIR: appends "wall_ms peak_kib cpu_ms" to LOG, and the checksum
# of what the run wrote to SUMS.
run() {
  local exe=$1 dir=$2 log=$3
  (cd "$dir" && "$build/bench/td-time-run" "$dir/time" "$exe" >/dev/null)
  cat "$dir/time" >>"$log"
  cat "$dir"/*_results.csv | md5sum | cut -d' ' -f1 >>"$dir/sums"
}

printf '%-7s %-19s %9s %9s %8s %9s %7s\n' spelling program "wall ms" "CPU ms" "MB/s" "peak RSS" "CPU x"
for spelling in "${spellings[@]}"; do
  data="$work/$spelling.txt"
  "$build/tools/td-generate-ensemble" --seed 1 --spelling "$spelling" "$data"
  bytes=$(stat -c %s "$data")
  for who in fast base; do
    mkdir -p "$work/$who"
    sed "1s|.*|$data|" "$root/examples/TAV_WG_dly_TD_ini.txt" >"$work/$who/TAV_WG_dly_TD_ini.txt"
    : >"$work/$who/log" && : >"$work/$who/sums"
  done
  cat "$data" >/dev/null # warm the page cache
  run "$build/src/threshold-detector" "$work/fast" /dev/null # warm-up
  for _ in $(seq "$runs"); do
    run "$build/src/threshold-detector" "$work/fast" "$work/fast/log"
    run "$build/bench/threshold-detector-ifstream" "$work/base" "$work/base/log"
  done
  if [ "$(sort -u "$work/fast/sums" "$work/base/sums" | wc -l)" -ne 1 ]; then
    echo "$spelling: the two programs wrote different result files" >&2
    exit 1
  fi
  # The ratio of each interleaved pair, so that a drift of the machine's
  # speed during the runs moves both sides of it.
  ratio=$(paste -d' ' "$work/base/log" "$work/fast/log" | awk '{print $3 / $6}' | median)
  for who in fast base; do
    name=threshold-detector
    [ "$who" = base ] && name="ifstream baseline"
    wall=$(cut -d' ' -f1 "$work/$who/log" | median)
    cpu=$(cut -d' ' -f3 "$work/$who/log" | median)
    rss=$(cut -d' ' -f2 "$work/$who/log" | sort -n | tail -1)
    x=$ratio
    [ "$who" = base ] && x=1
    awk -v s="$spelling" -v n="$name" -v w="$wall" -v c="$cpu" -v b="$bytes" -v r="$rss" -v x="$x" 'BEGIN {
      printf "%-7s %-19s %9.1f %9.1f %8.0f %7.1f MiB %6.1fx\n", s, n, w, c, b / 1e3 / c, r / 1024, x }'
  done
done
echo "($runs interleaved runs each; MB/s of processor time; data files of the same ensemble, $(date +%F))"

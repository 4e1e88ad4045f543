#!/bin/sh
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers on) and runs each for SECONDS (default 45) from the seed corpus.
#   tools/fuzz.sh [SECONDS]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-45}
build="$root/build-fuzz"
CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTD_FUZZ=ON -DTD_SANITIZE=ON \
  -DTD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target scanner_fuzz decimal_fuzz config_fuzz records_fuzz -j 2 >/dev/null
for t in scanner decimal config records; do
  work="$build/corpus-$t"
  mkdir -p "$work"
  echo "== ${t}_fuzz for ${secs} s"
  "$build/fuzz/${t}_fuzz" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$build/" "$work" "$root/fuzz/corpus/$t" 2>&1 |
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash-' || true
  if ls "$build"/crash-* "$build"/leak-* "$build"/timeout-* >/dev/null 2>&1; then exit 1; fi
done
exit 0

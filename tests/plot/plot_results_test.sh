#!/bin/sh
# tools/plot-results.sh on a real run of the detector: the picture is a PNG
# with one panel per set, and broken result directories give one line on
# stderr naming the file and a non-zero status.
#   plot_results_test.sh PLOT_TOOL DETECTOR GENERATOR SOURCE_DIR
# Exits 77 (skipped) after the fault checks when gnuplot is not installed.
set -eu
plot=$1 detector=$2 generator=$3 src=$4

tmp=$(mktemp -d "${TMPDIR:-/tmp}/plot-results-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

mkdir "$tmp/run"
cp "$src/examples/TAV_WG_dly_TD_ini.txt" "$tmp/run/"
"$generator" --seed 1 "$tmp/run/ensemble.txt"
(cd "$tmp/run" && "$detector" >/dev/null)
rm "$tmp/run/ensemble.txt"

# case name | what to do in the copy | file the message must name | words it must hold
while IFS='|' read -r name action file words; do
  dir="$tmp/$name"
  mkdir "$dir"
  cp "$tmp/run"/*_results.csv "$dir/"
  (cd "$dir" && eval "$action")
  status=0
  "$plot" "$dir" "$dir/out.png" >/dev/null 2>"$dir/stderr" || status=$?
  msg=$(cat "$dir/stderr")
  lines=$(wc -l <"$dir/stderr")
  [ "$status" -ne 0 ] || fail "$name: status 0"
  [ "$lines" -eq 1 ] || fail "$name: $lines lines on stderr: $msg"
  case $msg in *"$file"*) ;; *) fail "$name: message does not name $file: $msg" ;; esac
  case $msg in *"$words"*) ;; *) fail "$name: message lacks '$words': $msg" ;; esac
  [ ! -e "$dir/out.png" ] || fail "$name: a picture was written"
done <<'CASES'
truncated count|head -n 57 DEMO_Tmax_GT30.0_count_results.csv >t && mv t DEMO_Tmax_GT30.0_count_results.csv|DEMO_Tmax_GT30.0_count_results.csv|truncated: 57 of 103 lines
no SD line|head -n 102 DEMO_Tmin_LT0.0_sum_results.csv >t && mv t DEMO_Tmin_LT0.0_sum_results.csv|DEMO_Tmin_LT0.0_sum_results.csv|no SD line
mean line lost|sed '102d' DEMO_Tmin_LT0.0_count_results.csv >t && mv t DEMO_Tmin_LT0.0_count_results.csv|DEMO_Tmin_LT0.0_count_results.csv|line 102
non-numeric field|sed '40s/^39,[^,]*,/39,n\/a,/' DEMO_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv >t && mv t DEMO_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv|DEMO_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv|line 40: value 1 is not a number
sum file missing|rm DEMO_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv|DEMO_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv|missing
count file missing|rm DEMO_Tmin_LT0.0_count_results.csv|DEMO_Tmin_LT0.0_count_results.csv|missing
no result files|rm ./*_results.csv|no result files|no result files
CASES

status=0
GNUPLOT="$tmp/no-such-gnuplot" "$plot" "$tmp/run" "$tmp/run/out.png" 2>"$tmp/stderr" || status=$?
[ "$status" -eq 3 ] || fail "without gnuplot: status $status"
grep -q 'apt-get install gnuplot-nox' "$tmp/stderr" || fail "without gnuplot: $(cat "$tmp/stderr")"

if ! command -v gnuplot >/dev/null 2>&1; then
  [ "$failures" -eq 0 ] || exit 1
  echo "gnuplot is not installed: the picture is not checked"
  exit 77
fi

"$plot" "$tmp/run" "$tmp/run/results.png" >/dev/null 2>"$tmp/stderr" || fail "drawing: status $?: $(cat "$tmp/stderr")"
[ ! -s "$tmp/stderr" ] || fail "drawing: stderr: $(cat "$tmp/stderr")"
png=$tmp/run/results.png
if [ -f "$png" ]; then
  # Signature, then the IHDR width and height: 1000 wide, 60 + 300 per panel high.
  head=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "${head%"${head#????????????????}"}" = 89504e470d0a1a0a ] || fail "not a PNG: $head"
  size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  [ "$size" = 1000x960 ] || fail "picture is $size, expected 1000x960 (three panels)"
  bytes=$(wc -c <"$png")
  [ "$bytes" -gt 20000 ] || fail "picture is only $bytes bytes"
else
  fail "no picture written"
fi

[ "$failures" -eq 0 ]

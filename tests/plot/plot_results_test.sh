#!/bin/sh
# tools/plot-results.sh on a real run of the detector: broken result
# directories give one line on stderr naming the file and a non-zero status;
# the picture has a row per set in the configuration's order, titled in
# words, with axes that say per year or per run, in the format the output's
# extension asks for.
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
config names a missing file|cp "$src/examples/TAV_WG_dly_TD_ini.txt" . && rm DEMO_Tmin_LT0.0_sum_results.csv|DEMO_Tmin_LT0.0_sum_results.csv|missing (set 2 of TAV_WG_dly_TD_ini.txt)
CASES

# Usage faults: nothing drawn, status 2.
for args in "$tmp/run $tmp/run/out.jpg" "--per-decade $tmp/run" "$tmp/run a.png b.png"; do
  status=0
  # shellcheck disable=SC2086 # the words are the arguments
  "$plot" $args >/dev/null 2>"$tmp/stderr" || status=$?
  [ "$status" -eq 2 ] || fail "$args: status $status, not 2"
  [ "$(wc -l <"$tmp/stderr")" -eq 1 ] || fail "$args: $(cat "$tmp/stderr")"
done
[ ! -e "$tmp/run/out.jpg" ] || fail "a .jpg picture was written"

status=0
GNUPLOT="$tmp/no-such-gnuplot" "$plot" "$tmp/run" "$tmp/run/out.png" 2>"$tmp/stderr" || status=$?
[ "$status" -eq 3 ] || fail "without gnuplot: status $status"
grep -q 'apt-get install gnuplot-nox' "$tmp/stderr" || fail "without gnuplot: $(cat "$tmp/stderr")"

if ! command -v gnuplot >/dev/null 2>&1; then
  [ "$failures" -eq 0 ] || exit 1
  echo "gnuplot is not installed: the picture is not checked"
  exit 77
fi

draw() { "$plot" "$@" >/dev/null 2>"$tmp/stderr" || fail "drawing $*: status $?: $(cat "$tmp/stderr")"
  [ ! -s "$tmp/stderr" ] || fail "drawing $*: stderr: $(cat "$tmp/stderr")"; }

draw "$tmp/run" "$tmp/run/results.png"
png=$tmp/run/results.png
if [ -f "$png" ]; then
  # Signature, then the IHDR width and height: 1200 wide, 80 + 310 per row high.
  head=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
  [ "${head%"${head#????????????????}"}" = 89504e470d0a1a0a ] || fail "not a PNG: $head"
  size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  [ "$size" = 1200x1010 ] || fail "picture is $size, expected 1200x1010 (three rows)"
  bytes=$(wc -c <"$png")
  [ "$bytes" -gt 40000 ] || fail "picture is only $bytes bytes"
else
  fail "no picture written"
fi

draw "$tmp/run" "$tmp/run/results.pdf"
[ "$(head -c 5 "$tmp/run/results.pdf" 2>/dev/null)" = "%PDF-" ] || fail "results.pdf is not a PDF"

# The SVG's text, in drawing order: row titles, axis labels, the heading.
texts() { grep -o '<text[^>]*>.*</text>' "$1" | sed 's/<[^>]*>//g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g'; }
# picture | arguments | expected lines (| apart), in order
while IFS='|' read -r name args want; do
  svg=$tmp/$name.svg
  # shellcheck disable=SC2086
  draw $args "$svg"
  texts "$svg" >"$tmp/$name.texts"
  rest=$want
  while [ -n "$rest" ]; do
    line=${rest%%;*}
    [ "$line" = "$rest" ] && rest= || rest=${rest#*;}
    # Each expected line, after the previous one.
    n=$(grep -n -F -x -m 1 -- "$line" "$tmp/$name.texts" | cut -d: -f1)
    if [ -z "$n" ]; then
      fail "$name: no text '$line' (in order) in: $(tr '\n' '|' <"$tmp/$name.texts")"
      break
    fi
    tail -n +"$((n + 1))" "$tmp/$name.texts" >"$tmp/$name.rest" && mv "$tmp/$name.rest" "$tmp/$name.texts"
  done
done <<CASES
per-year|$tmp/run|DEMO results of ensemble.txt: 100 runs of 30 years (1981–2010);set 1: Tmax > 30.0;days per year;sum of (Tmax − 30.0) per year;set 2: Tmin < 0.0;days per year;sum of (0.0 − Tmin) per year;set 3: Tmax > 25.0 and RN < 0.5;days per year;sum of (Tmax − 25.0) per year
per-run|--per-run $tmp/run|set 1: Tmax > 30.0;days per run (30 years);sum of (Tmax − 30.0) per run (30 years)
CASES
grep -q 'totals per run of 30 years' "$tmp/per-run.svg" || fail "per-run: the heading does not say what the values are"

# Without a configuration: the conditions from the names, in name order.
mkdir "$tmp/names"
cp "$tmp/run"/*_results.csv "$tmp/names/"
draw "$tmp/names" "$tmp/names.svg"
texts "$tmp/names.svg" | grep -E '^(set|Tmax|Tmin)' >"$tmp/names.titles"
printf '%s\n' 'Tmax > 25.0 and RN < 0.5' 'Tmax > 30.0' 'Tmin < 0.0' | cmp -s - "$tmp/names.titles" ||
  fail "row titles without a configuration: $(tr '\n' '|' <"$tmp/names.titles")"

[ "$failures" -eq 0 ]

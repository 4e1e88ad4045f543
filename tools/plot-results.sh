#!/bin/sh
# Draws the result files of a working directory as one PNG: a panel per set
# with the monthly ensemble mean of the count, a band of one standard
# deviation either side (cut at zero), and the mean of the sum on the right
# axis.
#   tools/plot-results.sh [WORKDIR [OUTPUT.png]]   (default: . and WORKDIR/results.png)
# Sets are found from the *_count*_results.csv names; each needs its _sum_
# partner. Every file is checked (103 lines, the header, 100 run lines, the
# mean and SD lines, numeric fields) before anything is drawn.
# Exit status: 0 drawn, 1 a result file is missing or malformed, 2 usage,
# 3 gnuplot is missing or failed, or the picture could not be written.
# Needs gnuplot (Debian: apt-get install gnuplot-nox).
set -eu
me=plot-results

die() { status=$1; shift; printf '%s: %s\n' "$me" "$*" >&2; exit "$status"; }

case ${1:-} in
  -h|--help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
esac
[ $# -le 2 ] || die 2 "usage: $0 [WORKDIR [OUTPUT.png]]"
dir=${1:-.}
out=${2:-"$dir/results.png"}
[ -d "$dir" ] || die 1 "$dir: no such directory"
gnuplot=${GNUPLOT:-gnuplot}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/plot-results.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

# Checks one result file and appends its mean and SD rows (12 values each)
# to $tmp/rows; prints one line naming the file and the fault otherwise.
check() {
  [ -e "$1" ] || die 1 "$1: missing (needed with $2)"
  { [ -f "$1" ] && [ -r "$1" ]; } || die 1 "$1: not a readable file"
  [ -s "$1" ] || die 1 "$1: empty"
  awk -v file="$1" -v me="$me" '
    function fail(msg) { printf "%s: %s: line %d: %s\n", me, file, FNR, msg > "/dev/stderr"; bad = 1; exit 1 }
    {
      sub(/\r$/, "")
      if (FNR > 103) fail("more than 103 lines")
      n = split($0, f, ",")
      if (FNR == 1) {
        if ($0 != ",1,2,3,4,5,6,7,8,9,10,11,12") fail("not a result file header")
        next
      }
      want = FNR <= 101 ? FNR - 1 : (FNR == 102 ? "mean" : "SD")
      if (f[1] != want "") {
        if (FNR <= 101 && (f[1] == "mean" || f[1] == "SD"))
          fail(f[1] " line after " (FNR - 2) " runs, expected 100")
        fail("expected \"" want ",...\", found \"" substr($0, 1, 20) "\"")
      }
      if (n != 14 || f[14] != "")
        fail("expected 14 comma-separated fields (label, 12 values, trailing comma), found " n)
      for (i = 2; i <= 13; i++)
        if (f[i] !~ /^-?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?$/)
          fail("value " (i - 1) " is not a number: \"" f[i] "\"")
      if (FNR >= 102) {
        row = f[2]
        for (i = 3; i <= 13; i++) row = row " " f[i]
        rows[FNR] = row
      }
    }
    END {
      if (bad) exit 1
      if (FNR < 103) {
        printf "%s: %s: truncated: %d of 103 lines, %s\n", me, file, FNR,
          (FNR <= 101 ? "no mean and SD lines (the run did not finish)" : "no SD line") > "/dev/stderr"
        exit 1
      }
      print rows[102]; print rows[103]
    }' "$1" >>"$tmp/rows" || exit 1
}

# P_N1_O1T1_count_results.csv or P_N1_O1T1_count_2nd_cond_N2_O2T2_results.csv
# (and the same with _sum_); each prints nothing for a name of another shape.
set_re='^(.+)_([A-Za-z]+)_([GL]T[^_]+)_(count|sum)_(2nd_cond_([A-Za-z]+)_([GL]T[^_]+)_)?results\.csv$'
name_part() { printf '%s\n' "$1" | sed -n -E "s/$set_re/$2/p"; }
set_title() {
  case $1 in
    *_2nd_cond_*) name_part "$1" '\2 \3, 2nd cond \6 \7' ;;
    *) name_part "$1" '\2 \3' ;;
  esac
}

# A sum file whose count file is gone is as incomplete as the reverse.
for s in "$dir"/*_sum*_results.csv; do
  [ -e "$s" ] || continue
  base=${s##*/}
  [ "$(name_part "$base" '\4')" = sum ] || continue
  c=$(name_part "$base" '\1_\2_\3_count_\5results.csv')
  [ -e "$dir/$c" ] || die 1 "$dir/$c: missing (needed with $base)"
done

nsets=0
prefixes=
nprefixes=0
for c in "$dir"/*_count*_results.csv; do
  [ -e "$c" ] || continue
  base=${c##*/}
  if [ "$(name_part "$base" '\4')" != count ]; then
    printf '%s: skipping %s: not a result file name\n' "$me" "$c" >&2
    continue
  fi
  prefix=$(name_part "$base" '\1')
  title=$(set_title "$base")
  sum=$dir/$(name_part "$base" '\1_\2_\3_sum_\5results.csv')
  : >"$tmp/rows"
  check "$c" "$base"
  check "$sum" "$base"
  nsets=$((nsets + 1))
  # One row per month: month, count mean, count SD, sum mean, sum SD.
  awk 'NR == 1 { split($0, cm) } NR == 2 { split($0, cs) }
       NR == 3 { split($0, sm) } NR == 4 { split($0, ss) }
       END { for (m = 1; m <= 12; m++) print m, cm[m], cs[m], sm[m], ss[m] }' \
    "$tmp/rows" >"$tmp/set$nsets.dat"
  printf '%s\n' "$prefix" >"$tmp/set$nsets.prefix"
  printf '%s\n' "$title" >"$tmp/set$nsets.title"
  case " $prefixes, " in
    *" $prefix, "*) ;;
    *) prefixes=${prefixes:+"$prefixes, "}$prefix; nprefixes=$((nprefixes + 1)) ;;
  esac
done
[ "$nsets" -gt 0 ] || die 1 "$dir: no result files (*_count*_results.csv)"

command -v "$gnuplot" >/dev/null 2>&1 ||
  die 3 "gnuplot not found; install it (Debian/Ubuntu: apt-get install gnuplot-nox) or set GNUPLOT"
if "$gnuplot" -e 'set terminal pngcairo' </dev/null >/dev/null 2>&1; then
  term="pngcairo enhanced font 'DejaVu Sans,10'"
else
  term="png enhanced font 'DejaVu Sans,10'"
fi

# A gnuplot string literal: single quotes, inner quotes doubled.
gpstr() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/''/g")"; }

{
  printf 'set terminal %s size 1000,%d\n' "$term" $((60 + 300 * nsets))
  printf 'set output %s\n' "$(gpstr "$tmp/plot.png")"
  printf 'set encoding utf8\n'
  cat <<'EOF'
set xrange [0.5:12.5]
set xtics ("Jan" 1, "Feb" 2, "Mar" 3, "Apr" 4, "May" 5, "Jun" 6, "Jul" 7, "Aug" 8, "Sep" 9, "Oct" 10, "Nov" 11, "Dec" 12) nomirror
set ytics nomirror tc rgb '#1f4e99'
set y2tics tc rgb '#c0461a'
set ylabel 'days per run' tc rgb '#1f4e99'
set y2label 'sum of exceedance' tc rgb '#c0461a'
set grid ytics lc rgb '#dddddd'
set key top center horizontal noenhanced samplen 2.5 width 1
set style fill solid 1.0 noborder
set format y2 '%g'
EOF
  printf 'set multiplot layout %d,1 title %s noenhanced font ",13"\n' "$nsets" \
    "$(gpstr "${prefixes}: monthly ensemble means, count with ±1 SD band (100 runs)")"
  i=0
  while [ "$i" -lt "$nsets" ]; do
    i=$((i + 1))
    title=$(cat "$tmp/set$i.title")
    # Sets of several runs in one directory need their prefix to tell them apart.
    [ "$nprefixes" -eq 1 ] || title="$(cat "$tmp/set$i.prefix"): $title"
    f=$(gpstr "$tmp/set$i.dat")
    # Head room above the highest point keeps the key clear of the curves.
    ymax=$(awk 'BEGIN { m = 0 } { if ($2 + $3 > m) m = $2 + $3 } END { print (m > 0 ? m * 1.3 : 1) }' "$tmp/set$i.dat")
    y2max=$(awk 'BEGIN { m = 0 } { if ($4 > m) m = $4 } END { print (m > 0 ? m * 1.3 : 1) }' "$tmp/set$i.dat")
    printf 'set title %s noenhanced\n' "$(gpstr "$title")"
    printf 'set yrange [0:%s]\nset y2range [0:%s]\n' "$ymax" "$y2max"
    # shellcheck disable=SC2016 # $2 and $3 are gnuplot's columns
    printf 'plot %s using 1:($2 - $3 > 0 ? $2 - $3 : 0):($2 + $3) with filledcurves fc rgb "#b9cde8" title "count ±1 SD", \\\n' "$f"
    printf '     %s using 1:2 with linespoints lw 2 pt 7 ps 0.8 lc rgb "#1f4e99" title "count mean", \\\n' "$f"
    printf '     %s using 1:4 axes x1y2 with linespoints lw 2 dt 2 pt 5 ps 0.7 lc rgb "#c0461a" title "sum mean (right axis)"\n' "$f"
  done
  printf 'unset multiplot\nset output\n'
} >"$tmp/plot.gp"

if ! "$gnuplot" "$tmp/plot.gp" >"$tmp/gnuplot.log" 2>&1 || [ ! -s "$tmp/plot.png" ]; then
  die 3 "gnuplot failed: $(grep -v '^[[:space:]]*$' "$tmp/gnuplot.log" | tail -n 1)"
fi
cp "$tmp/plot.png" "$out" 2>/dev/null || die 3 "$out: cannot write the picture"
echo "$out"

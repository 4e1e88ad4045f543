#!/bin/sh
# Draws the result files of a working directory: one row per set, each with
# two panels, the count and the sum, showing the monthly ensemble mean with
# a band of one standard deviation either side (cut at zero).
#   td-plot-results [--per-year | --per-run] [WORKDIR [OUTPUT]]
#   (tools/plot-results.sh in the source tree)
# WORKDIR defaults to . and OUTPUT to WORKDIR/results.png; OUTPUT's extension
# chooses the format: .png, .svg or .pdf.
# A run is 30 years (1981 to 2010). --per-year (the default) shows the
# values of a run divided by 30, the mean of one year; --per-run shows the
# totals over the whole run, as the result files hold them.
# The sets, their order and the data file name come from WORKDIR's
# TAV_WG_dly_TD_ini.txt. Without one, the sets are found from the
# *_count*_results.csv names (in name order), each with its _sum_ partner.
# Every file is checked (103 lines, the header, 100 run lines, the mean and
# SD lines, numeric fields) before anything is drawn.
# Exit status: 0 drawn, 1 a result file is missing or malformed, 2 usage,
# 3 gnuplot is missing or failed, or the picture could not be written.
# Needs gnuplot (Debian: apt-get install gnuplot-nox).
set -eu
me=td-plot-results
config=TAV_WG_dly_TD_ini.txt
years=30

die() { status=$1; shift; printf '%s: %s\n' "$me" "$*" >&2; exit "$status"; }
usage() { die 2 "usage: ${0##*/} [--per-year | --per-run] [WORKDIR [OUTPUT]]"; }

per=year
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) sed -n '2,/^# Needs gnuplot/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    --per-year) per=year; shift ;;
    --per-run) per=run; shift ;;
    --) shift; break ;;
    -?*) usage ;;
    *) break ;;
  esac
done
[ $# -le 2 ] || usage
dir=${1:-.}
out=${2:-"$dir/results.png"}
case $out in
  *.[pP][nN][gG]) format=png ;;
  *.[sS][vV][gG]) format=svg ;;
  *.[pP][dD][fF]) format=pdf ;;
  *) die 2 "$out: the picture's name must end in .png, .svg or .pdf" ;;
esac
[ -d "$dir" ] || die 1 "$dir: no such directory"
gnuplot=${GNUPLOT:-gnuplot}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/td-plot-results.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

# Checks one result file and appends its mean and SD rows (12 values each)
# to $tmp/rows; prints one line naming the file and the fault otherwise.
check() {
  [ -e "$1" ] || die 1 "$1: missing ($2)"
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

# The sets, one a line: label, count file, sum file, condition in words,
# the summed quantity, apart by the unit separator (the label is empty
# without a configuration, and an empty field must not vanish as it would
# between tabs).
us=$(printf '\037')
tab=$(printf '\t')
sets=$tmp/sets
data=
prefix=

# From the configuration: the 23 tokens, the result names built as the
# detector builds them (thresholds in its one-decimal text), the conditions
# with the thresholds as written.
from_config=0
if [ -f "$dir/$config" ]; then
  if awk '
    function isnum(t) { return t ~ /^[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?$/ }
    function iscode(t) { return t ~ /^[-+]?[0-9]+$/ && t + 0 >= 0 && t + 0 <= 9 }
    function isop(t) { return t == "GT" || t == "LT" }
    # The detector s threshold text: 17 significant digits, then rounded
    # half away from zero to one decimal; the sign of a negative value stays.
    function fixed1(t,   v, neg, s, d, e, k, r, i, c) {
      v = t + 0
      neg = v < 0 || (v == 0 && t ~ /^-/)
      if (v < 0) v = -v
      if (v == 0) r = "0"
      else {
        s = sprintf("%.16e", v)
        d = substr(s, 1, 1) substr(s, 3, 16)
        e = substr(s, 20) + 0
        k = e + 2
        if (k <= 0) r = (k == 0 && substr(d, 1, 1) >= "5") ? "1" : "0"
        else if (k >= 17) { r = d; for (i = 17; i < k; i++) r = r "0" }
        else {
          r = substr(d, 1, k)
          if (substr(d, k + 1, 1) >= "5") {
            for (i = k; i >= 1; i--) {
              c = substr(r, i, 1)
              if (c != "9") { r = substr(r, 1, i - 1) (c + 1) substr(r, i + 1); break }
              r = substr(r, 1, i - 1) "0" substr(r, i + 1)
            }
            if (i == 0) r = "1" r
          }
        }
      }
      if (length(r) == 1) r = "0" r
      return (neg ? "-" : "") substr(r, 1, length(r) - 1) "." substr(r, length(r))
    }
    function word(op) { return op == "GT" ? " > " : " < " }
    { gsub(/\r/, " "); for (i = 1; i <= NF; i++) if (n < 23) tok[++n] = $i }
    END {
      if (n < 23) { print "holds " n " items, not 23"; exit 1 }
      split("RN Tmin Tmax VP RH WN SS diffradt dirradt PET", names, " ")
      for (s = 1; s <= 3; s++) {
        b = 3 + 7 * (s - 1)
        c1 = tok[b]; o1 = tok[b + 1]; t1 = tok[b + 2]; sw = tok[b + 3]
        c2 = tok[b + 4]; o2 = tok[b + 5]; t2 = tok[b + 6]
        if (!iscode(c1) || !isop(o1) || !isnum(t1) || (sw != "TRUE" && sw != "FALSE") ||
            !isop(o2) || !isnum(t2) || (sw == "TRUE" ? !iscode(c2) : c2 !~ /^[-+]?[0-9]+$/)) {
          print "set " s " is not one the detector reads"; exit 1
        }
        n1 = names[c1 + 1]
        head = tok[2] "_" n1 "_" o1 fixed1(t1)
        cond = n1 word(o1) t1
        tail = ""
        if (sw == "TRUE") {
          n2 = names[c2 + 1]
          tail = "_2nd_cond_" n2 "_" o2 fixed1(t2)
          cond = cond " and " n2 word(o2) t2
        }
        sum = o1 == "GT" ? "(" n1 " \342\210\222 " t1 ")" : "(" t1 " \342\210\222 " n1 ")"
        count = head "_count" tail "_results.csv"
        # Sets with the same conditions share their files: one row for both.
        if (count in row) { label[row[count]] = label[row[count]] " and " s; plural[row[count]] = 1; continue }
        row[count] = ++rows
        label[rows] = s
        line[rows] = count "\037" head "_sum" tail "_results.csv\037" cond "\037" sum
      }
      print tok[1] "\037" tok[2]
      for (r = 1; r <= rows; r++) print (plural[r] ? "sets " : "set ") label[r] "\037" line[r]
    }' "$dir/$config" >"$tmp/config" 2>/dev/null; then
    from_config=1
  else
    printf '%s: %s %s; the sets are taken from the result file names\n' \
      "$me" "$dir/$config" "$(cat "$tmp/config")" >&2
  fi
fi

if [ "$from_config" -eq 1 ]; then
  IFS=$us read -r data prefix <"$tmp/config"
  tail -n +2 "$tmp/config" >"$sets"
else
  # From the names: P_N1_O1T1_count_results.csv or
  # P_N1_O1T1_count_2nd_cond_N2_O2T2_results.csv (and the same with _sum_).
  set_re='^(.+)_([A-Za-z]+)_([GL]T)([^_]+)_(count|sum)_(2nd_cond_([A-Za-z]+)_([GL]T)([^_]+)_)?results\.csv$'
  name_part() { printf '%s\n' "$1" | sed -n -E "s/$set_re/$2/p"; }
  # A sum file whose count file is gone is as incomplete as the reverse.
  for s in "$dir"/*_sum*_results.csv; do
    [ -e "$s" ] || continue
    base=${s##*/}
    [ "$(name_part "$base" '\5')" = sum ] || continue
    c=$(name_part "$base" '\1_\2_\3\4_count_\6results.csv')
    [ -e "$dir/$c" ] || die 1 "$dir/$c: missing (needed with $base)"
  done
  : >"$sets"
  prefixes=
  for c in "$dir"/*_count*_results.csv; do
    [ -e "$c" ] || continue
    base=${c##*/}
    if [ "$(name_part "$base" '\5')" != count ]; then
      printf '%s: skipping %s: not a result file name\n' "$me" "$c" >&2
      continue
    fi
    p=$(name_part "$base" '\1')
    case " $prefixes, " in *" $p, "*) ;; *) prefixes=${prefixes:+"$prefixes, "}$p ;; esac
    name_part "$base" '\2\t\3\t\4\t\7\t\8\t\9' | {
      IFS=$tab read -r n1 o1 t1 n2 o2 t2
      word() { if [ "$1" = GT ]; then echo '>'; else echo '<'; fi; }
      cond="$n1 $(word "$o1") $t1"
      [ -z "$n2" ] || cond="$cond and $n2 $(word "$o2") $t2"
      if [ "$o1" = GT ]; then sum="($n1 − $t1)"; else sum="($t1 − $n1)"; fi
      printf "$us%s$us%s$us%s$us%s\\n" "$base" "$(name_part "$base" '\1_\2_\3\4_sum_\6results.csv')" "$cond" "$sum"
    } >>"$sets"
  done
  [ -s "$sets" ] || die 1 "$dir: no result files (*_count*_results.csv)"
  prefix=$prefixes
fi

# One data file per row: month, count mean, count SD, sum mean, sum SD,
# divided by the years of a run for --per-year.
nrows=0
while IFS=$us read -r label count sum cond summed; do
  nrows=$((nrows + 1))
  : >"$tmp/rows"
  if [ -n "$label" ]; then needed="$label of $config"; else needed="needed with $count"; fi
  check "$dir/$count" "$needed"
  check "$dir/$sum" "$needed"
  awk -v div="$([ "$per" = year ] && echo "$years" || echo 1)" '
       NR == 1 { split($0, cm) } NR == 2 { split($0, cs) }
       NR == 3 { split($0, sm) } NR == 4 { split($0, ss) }
       END { for (m = 1; m <= 12; m++) print m, cm[m] / div, cs[m] / div, sm[m] / div, ss[m] / div }' \
    "$tmp/rows" >"$tmp/row$nrows.dat"
  printf '%s\n' "${label:+"$label: "}$cond" >"$tmp/row$nrows.title"
  printf '%s\n' "$summed" >"$tmp/row$nrows.summed"
done <"$sets"

command -v "$gnuplot" >/dev/null 2>&1 ||
  die 3 "gnuplot not found; install it (Debian/Ubuntu: apt-get install gnuplot-nox) or set GNUPLOT"

# Geometry in pixels: a heading, then a row of two panels per set; each row
# has a band on top for its title.
width=1200 head=50 rowh=310 foot=30
height=$((head + rowh * nrows + foot))
font="'DejaVu Sans,10'"
case $format in
  png)
    if "$gnuplot" -e 'set terminal pngcairo' </dev/null >/dev/null 2>&1; then
      term="pngcairo enhanced font $font size $width,$height"
    else
      term="png enhanced font $font size $width,$height"
    fi ;;
  svg) term="svg enhanced font $font size $width,$height" ;;
  pdf) term="pdfcairo enhanced font $font size $(awk -v w="$width" -v h="$height" 'BEGIN { printf "%.2fin,%.2fin", w / 100, h / 100 }')" ;;
esac

# left, center or right: the third of the year (Jan-Apr, May-Aug, Sep-Dec)
# whose highest mean + SD (columns $1 and $2 of the row's data) is lowest.
key_place() {
  awk -v m="$1" -v s="$2" '{ t = int(($1 - 1) / 4); if ($m + $s > top[t]) top[t] = $m + $s }
    END { best = 0; for (t = 1; t <= 2; t++) if (top[t] < top[best]) best = t
          print (best == 0 ? "left" : best == 1 ? "center" : "right") }' "$3"
}

# A gnuplot string literal: single quotes, inner quotes doubled.
gpstr() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/''/g")"; }

if [ "$per" = year ]; then
  count_label="days per year"
  per_words="per year"
  what="values per year, the run's total divided by its $years years"
else
  count_label="days per run ($years years)"
  per_words="per run ($years years)"
  what="totals per run of $years years"
fi
if [ -n "$data" ]; then
  heading="$prefix results of $data: 100 runs of $years years (1981–2010)"
else
  heading="$prefix results in $dir (no $config: sets in name order), 100 runs of $years years (1981–2010)"
fi
subheading="monthly ensemble mean with ±1 SD across the runs; $what"

{
  printf 'set terminal %s\n' "$term"
  printf 'set output %s\n' "$(gpstr "$tmp/plot.$format")"
  printf 'set encoding utf8\n'
  cat <<'EOF_GP'
set xrange [0.5:12.5]
set xtics ("Jan" 1, "Feb" 2, "Mar" 3, "Apr" 4, "May" 5, "Jun" 6, "Jul" 7, "Aug" 8, "Sep" 9, "Oct" 10, "Nov" 11, "Dec" 12) nomirror scale 0.5
set ytics nomirror
set border 3
set grid ytics lc rgb '#e4e4e4'
set style fill solid 1.0 noborder
set key noenhanced Left reverse samplen 2 spacing 1.1 box lc rgb '#cccccc' opaque
set format y '%g'
EOF_GP
  awk -v w="$width" -v h="$height" -v head="$head" -v rowh="$rowh" -v foot="$foot" -v n="$nrows" 'BEGIN {
    # Screen fractions: the panels of a row take its height less a band of
    # 80 px for the row title and the month names of the row above.
    band = 80
    printf "top = %.5f\nbottom = %.5f\nys = %.5f\nrowh = %.5f\n", 1 - (head + band) / h, foot / h, band / h, rowh / h
  }'
  # A double-quoted gnuplot string, for its \n.
  gpq() { printf '%s' "$1" | sed 's/["\\]/\\&/g'; }
  printf 'set multiplot layout %d,2 margins 0.07,0.98,bottom,top spacing 0.07,ys title "%s\\n%s" font ",13"\n' \
    "$nrows" "$(gpq "$heading")" "$(gpq "$subheading")"
  i=0
  while [ "$i" -lt "$nrows" ]; do
    i=$((i + 1))
    f=$(gpstr "$tmp/row$i.dat")
    # Head room above the band keeps the key clear of the curves.
    cmax=$(awk 'BEGIN { m = 0 } { if ($2 + $3 > m) m = $2 + $3 } END { print (m > 0 ? m * 1.35 : 1) }' "$tmp/row$i.dat")
    smax=$(awk 'BEGIN { m = 0 } { if ($4 + $5 > m) m = $4 + $5 } END { print (m > 0 ? m * 1.35 : 1) }' "$tmp/row$i.dat")
    # Each key goes to the top corner or middle whose months are lowest.
    ckey=$(key_place 2 3 "$tmp/row$i.dat")
    skey=$(key_place 4 5 "$tmp/row$i.dat")
    printf 'set label 1 %s at screen 0.5, screen (top - (%d - 1) * rowh + 0.3 * ys) center font ",12" noenhanced\n' \
      "$(gpstr "$(cat "$tmp/row$i.title")")" "$i"
    # The count.
    printf 'set key top %s\nset ylabel %s noenhanced\nset yrange [0:%s]\n' "$ckey" "$(gpstr "$count_label")" "$cmax"
    # shellcheck disable=SC2016 # $2 to $5 are gnuplot's columns
    printf 'plot %s using 1:($2 - $3 > 0 ? $2 - $3 : 0):($2 + $3) with filledcurves fc rgb "#c4d6ee" title "count ±1 SD", \\\n' "$f"
    printf '     %s using 1:2 with linespoints lw 2 pt 7 ps 0.8 lc rgb "#1f4e99" title "count, ensemble mean"\n' "$f"
    printf 'unset label 1\n'
    # The sum.
    printf 'set key top %s\nset ylabel %s noenhanced\nset yrange [0:%s]\n' "$skey" \
      "$(gpstr "sum of $(cat "$tmp/row$i.summed") $per_words")" "$smax"
    # shellcheck disable=SC2016
    printf 'plot %s using 1:($4 - $5 > 0 ? $4 - $5 : 0):($4 + $5) with filledcurves fc rgb "#f3cdb9" title "sum ±1 SD", \\\n' "$f"
    printf '     %s using 1:4 with linespoints lw 2 pt 5 ps 0.8 lc rgb "#b8441a" title "sum, ensemble mean"\n' "$f"
  done
  printf 'unset multiplot\nset output\n'
} >"$tmp/plot.gp"

if ! "$gnuplot" "$tmp/plot.gp" >"$tmp/gnuplot.log" 2>&1 || [ ! -s "$tmp/plot.$format" ]; then
  die 3 "gnuplot failed: $(grep -v '^[[:space:]]*$' "$tmp/gnuplot.log" | tail -n 1)"
fi
cp "$tmp/plot.$format" "$out" 2>/dev/null || die 3 "$out: cannot write the picture"
echo "$out"

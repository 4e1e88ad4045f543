#!/bin/sh
# Prepares one working directory per ensemble for threshold-detector.
#   td-prepare-ensembles [-o OUTDIR] TEMPLATE LIST
#   (tools/prepare-ensembles.sh in the source tree)
# LIST names the data files, one a line (blank lines and lines starting with
# # are skipped; relative names are taken from the current directory).
# For each data file D.ext it makes OUTDIR/D (default OUTDIR: .) holding a
# symbolic link D.ext to the data file and TAV_WG_dly_TD_ini.txt: the
# TEMPLATE configuration with its first token, the data file name, replaced
# by D.ext. The directories made are printed, one a line, ready for
# td-run-ensembles, GNU parallel or the Slurm scripts.
# Everything is checked before anything is made: each data file must exist
# and be a file, names must hold no white space, and no two data files may
# give the same directory. An existing directory is reused: its
# configuration and link are replaced, nothing else is touched.
# Exit status: 0 prepared, 1 a data file or the template is unusable, 2 usage.
set -eu
me=td-prepare-ensembles
config=TAV_WG_dly_TD_ini.txt

die() { status=$1; shift; printf '%s: %s\n' "$me" "$*" >&2; exit "$status"; }
usage() { die 2 "usage: ${0##*/} [-o OUTDIR] TEMPLATE LIST"; }

out=.
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) sed -n '2,/^# Exit status/s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -o) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    --) shift; break ;;
    -?*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
template=$1 list=$2

[ -f "$template" ] && [ -r "$template" ] || die 1 "$template: cannot read the template"
[ -r "$list" ] || die 1 "$list: cannot read the list"
# The first token of the template is the data file name; without one there
# is nothing to replace.
awk 'NF { found = 1; exit } END { exit !found }' "$template" ||
  die 1 "$template: the template holds no tokens"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

# Pass 1: check every entry and write "directory<TAB>link<TAB>target" lines.
plan=$tmp/plan
: >"$plan"
lineno=0
bad=0
while IFS= read -r entry || [ -n "$entry" ]; do
  lineno=$((lineno + 1))
  entry=$(printf '%s' "$entry" | tr -d '\r' | sed 's/^[[:space:]]*//; s/[[:space:]]*$//')
  case $entry in ''|'#'*) continue ;; esac
  case $entry in
    *[[:space:]]*)
      printf '%s: %s line %d: "%s" holds white space\n' "$me" "$list" "$lineno" "$entry" >&2
      bad=1; continue ;;
  esac
  if [ ! -f "$entry" ]; then
    printf '%s: %s line %d: %s: no such data file\n' "$me" "$list" "$lineno" "$entry" >&2
    bad=1; continue
  fi
  base=${entry##*/}
  stem=${base%.*}
  [ -n "$stem" ] || stem=$base
  if [ "$base" = "$config" ]; then
    printf '%s: %s line %d: a data file may not be called %s\n' "$me" "$list" "$lineno" "$config" >&2
    bad=1; continue
  fi
  dirpart=$(dirname "$entry")
  target=$(cd "$dirpart" && pwd -P)/$base
  printf '%s\t%s\t%s\n' "$stem" "$base" "$target" >>"$plan"
done <"$list"

dups=$(cut -f1 "$plan" | sort | uniq -d)
if [ -n "$dups" ]; then
  for d in $dups; do
    printf '%s: two data files give the directory %s\n' "$me" "$d" >&2
  done
  bad=1
fi
[ "$bad" -eq 0 ] || die 1 "nothing prepared"
[ -s "$plan" ] || die 1 "$list: no data files listed"

# Pass 2: make the directories.
mkdir -p "$out"
tab=$(printf '\t')
while IFS=$tab read -r stem base target; do
  dir=$out/$stem
  mkdir -p "$dir"
  if [ -e "$dir/$base" ] && [ ! -L "$dir/$base" ]; then
    die 1 "$dir/$base exists and is not a link; nothing more prepared"
  fi
  rm -f "$dir/$base"
  ln -s "$target" "$dir/$base"
  # Replace the first token, keeping the rest of the template as it is.
  TD_DATA_NAME=$base awk '
    !done && match($0, /[^[:space:]]+/) {
      $0 = substr($0, 1, RSTART - 1) ENVIRON["TD_DATA_NAME"] substr($0, RSTART + RLENGTH)
      done = 1
    }
    { print }' "$template" >"$dir/$config.new"
  mv "$dir/$config.new" "$dir/$config"
  printf '%s\n' "$dir"
done <"$plan"

#!/bin/sh
# cmake --install into a scratch prefix: the installed program runs a full
# ensemble in a working directory of its own, the manual page lands where
# man finds it, the tools and the Slurm scripts are installed and answer
# --help, and with the prefix's bin on PATH the README's xargs recipe runs
# as written.
#   install_test.sh BUILD_DIR GENERATOR SOURCE_DIR
# CMAKE names the cmake to install with (default: cmake from PATH).
set -eu
build=$1 generator=$2 src=$3

tmp=$(mktemp -d "${TMPDIR:-/tmp}/install-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

prefix=$tmp/prefix
"${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$tmp/install.log" ||
  { cat "$tmp/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

exe=$prefix/bin/threshold-detector
page=$prefix/share/man/man1/threshold-detector.1
[ -x "$exe" ] || fail "$exe is missing or not executable"
if [ -f "$page" ]; then
  cmp -s "$page" "$src/man/threshold-detector.1" || fail "$page differs from man/threshold-detector.1"
  if command -v man >/dev/null 2>&1; then
    found=$(MANPATH=$prefix/share/man man -w threshold-detector 2>/dev/null || true)
    [ "$found" = "$page" ] || fail "man -w threshold-detector with MANPATH=$prefix/share/man gives '$found'"
  fi
else
  fail "$page is missing"
fi

if [ -x "$exe" ]; then
  work=$tmp/work
  mkdir "$work"
  cp "$src/examples/TAV_WG_dly_TD_ini.txt" "$work/"
  "$generator" --seed 1 "$work/ensemble.txt"
  status=0
  (cd "$work" && "$exe" >"$tmp/stdout" 2>"$tmp/stderr") || status=$?
  [ "$status" -eq 0 ] || fail "installed program ended with status $status: $(cat "$tmp/stdout")"
  [ "$(cat "$tmp/stdout")" = "Runnning threshold detector...please wait" ] ||
    fail "unexpected output: $(cat "$tmp/stdout")"
  [ ! -s "$tmp/stderr" ] || fail "output on stderr: $(cat "$tmp/stderr")"
  n=0
  for f in "$work"/*_results.csv; do
    [ -f "$f" ] || continue
    n=$((n + 1))
    lines=$(wc -l <"$f" | tr -d ' ')
    [ "$lines" -eq 103 ] || fail "${f##*/}: $lines lines, not 103"
  done
  [ "$n" -eq 6 ] || fail "$n result files, not 6"
fi

# Each tool, installed under its td- name, answers --help on stdout.
# file | word its help must hold
while IFS='|' read -r file word; do
  if [ ! -x "$prefix/$file" ]; then
    fail "$file is missing or not executable"
    continue
  fi
  status=0
  "$prefix/$file" --help >"$tmp/help" 2>&1 || status=$?
  [ "$status" -eq 0 ] && grep -qF -- "$word" "$tmp/help" ||
    fail "$file --help: status $status: $(head -n 3 "$tmp/help")"
done <<'TOOLS'
bin/td-prepare-ensembles|td-prepare-ensembles [-o OUTDIR] TEMPLATE LIST
bin/td-run-ensembles|td-run-ensembles [-j N] [-f FAILURES]
bin/td-plot-results|td-plot-results [--per-year | --per-run] [WORKDIR [OUTPUT]]
bin/td-generate-ensemble|usage: td-generate-ensemble
share/threshold-detector/slurm/ensembles.sbatch|sbatch --array=1-"$n" ensembles.sbatch
share/threshold-detector/slurm/collect.sh|collect.sh LIST JOB N
TOOLS
for f in ensembles.sbatch collect.sh; do
  cmp -s "$prefix/share/threshold-detector/slurm/$f" "$src/tools/slurm/$f" ||
    fail "share/threshold-detector/slurm/$f differs from tools/slurm/$f"
done

# The README's xargs recipe on the installed tree: the prefix's bin on PATH
# and nothing else. The good ensemble and a truncated copy of it.
. "$src/tests/engines/common.sh"
recipe "$src/README.md" '### One machine: xargs -P' >"$tmp/recipe.sh"
if [ -s "$tmp/recipe.sh" ] && [ -x "$exe" ]; then
  mkdir "$tmp/many"
  head -c 20000000 "$work/ensemble.txt" >"$tmp/many/broken.txt"
  printf '%s\n' "$work/ensemble.txt" broken.txt >"$tmp/many/list.txt"
  status=0
  (cd "$tmp/many" && PATH="$prefix/bin:$PATH" &&
    td-prepare-ensembles -o runs "$src/examples/TAV_WG_dly_TD_ini.txt" list.txt >dirs.txt &&
    sh "$tmp/recipe.sh" >out.txt 2>err.txt </dev/null) || status=$?
  [ "$status" -eq 0 ] || fail "the xargs recipe: status $status: $(cat "$tmp/many/err.txt" 2>/dev/null)"
  [ "$(cat "$tmp/many/failures.txt" 2>&1)" = "runs/broken 3" ] ||
    fail "the xargs recipe's failures.txt: $(cat "$tmp/many/failures.txt" 2>&1)"
  grep -q '^2 ensembles: 1 failed (see failures.txt)$' "$tmp/many/err.txt" ||
    fail "the xargs recipe's summary: $(cat "$tmp/many/err.txt")"
  has_results "$tmp/many/runs/ensemble" || fail "the xargs recipe left runs/ensemble without its results"
else
  fail "no xargs recipe in README.md, or no installed program"
fi

[ "$failures" -eq 0 ] || exit 1
echo "install test passed"

#!/bin/sh
# cmake --install into a scratch prefix: the installed program runs a full
# ensemble in a working directory of its own, and the manual page lands
# where man finds it.
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

[ "$failures" -eq 0 ] || exit 1
echo "install test passed"

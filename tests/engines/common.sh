# Shared by the recipe tests: sourced, not run.

# recipe README HEADING: the first ```sh block after the line HEADING, the
# README's recipe exactly as a user would copy it.
recipe() {
  awk -v h="$2" '$0 == h { f = 1; next } f && /^```sh$/ { p = 1; next } p && /^```$/ { exit } p' "$1"
}

# install_tree BUILD_DIR PREFIX: cmake --install, quietly; the log on failure.
install_tree() {
  "${CMAKE:-cmake}" --install "$1" --prefix "$2" >"$2.log" 2>&1 ||
    { cat "$2.log" >&2; echo "FAIL: cmake --install $1 --prefix $2" >&2; exit 1; }
}

# four_ensembles GENERATOR SOURCE_DIR: in the current directory, data files
# a.txt, b.txt, c.txt (one ensemble, linked three times) and broken.txt (cut
# short), then runs/a, runs/b, runs/c and runs/broken made by the installed
# td-prepare-ensembles, listed in dirs.txt.
four_ensembles() {
  mkdir data
  "$1" --seed 7 data/a.txt
  ln -s a.txt data/b.txt
  ln -s a.txt data/c.txt
  head -c 20000000 data/a.txt >data/broken.txt
  printf 'data/%s.txt\n' a b c broken >list.txt
  td-prepare-ensembles -o runs "$2/examples/TAV_WG_dly_TD_ini.txt" list.txt >dirs.txt
}

# has_results DIR: DIR holds six result files of 103 lines each.
has_results() {
  n=0
  for f in "$1"/*_results.csv; do
    [ -f "$f" ] && [ "$(wc -l <"$f" | tr -d ' ')" -eq 103 ] && n=$((n + 1))
  done
  [ "$n" -eq 6 ]
}

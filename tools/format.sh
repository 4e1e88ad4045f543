#!/bin/sh
# Applies the project's .clang-format to its C++ sources, or with --check
# lists the files that differ from it and fails.
#   tools/format.sh [--check]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null 2>&1; then
  echo "format: $format not found (Debian: apt-get install clang-format)" >&2
  exit 2
fi
files=$(find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | sort)
if [ "${1:-}" = "--check" ]; then
  bad=0
  for f in $files; do
    if ! "$format" --style=file "$f" | cmp -s - "$f"; then
      echo "not formatted: $f (run tools/format.sh)" >&2
      bad=1
    fi
  done
  exit "$bad"
fi
# shellcheck disable=SC2086 # the names hold no white space
"$format" --style=file -i $files

#!/usr/bin/env bash
# Writes the fuzzer's seed corpus: crypts that gen makes of a few inputs at
# the seconds the fuzz target decodes with (0, 1, 2, 3, 5 and 4010 rounds).
# Usage: tests/fuzz/fuzz-corpus.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
corpus=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for R in 0 1 2 3 5 4010; do
  stamp=$("$build/bench/second_for" "$R" 1700000000)
  for input in A AB hello example; do
    if [ "$input" = example ]; then cp "$here/examples/flag" flag; else printf %s "$input" > flag; fi
    TZ=UTC faketime -f "$stamp" "$build/gen" > /dev/null
    cp crypt "$corpus/r$R-$input"
  done
done

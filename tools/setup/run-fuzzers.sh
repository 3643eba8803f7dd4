#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while, each on its own corpus folder.
set -euo pipefail
build=$1; seconds=${2:-60}
shopt -s nullglob
for f in "$build"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$build/corpus/$name"; mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${name#fuzz_}"
  echo "== $name ($seconds s)"
  if [ -d "$seeds" ]; then "$f" -max_total_time="$seconds" "$corpus" "$seeds"; else "$f" -max_total_time="$seconds" "$corpus"; fi
done

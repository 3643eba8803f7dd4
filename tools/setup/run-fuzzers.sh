#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build, one after the other.
#
#   run-fuzzers.sh BUILD [SECONDS] [TARGET...]   fuzz each target (default: all) for SECONDS (60)
#   run-fuzzers.sh --merge BUILD [TARGET...]     minimise what the runs found into the committed corpus
#
# Each target works in BUILD/corpus/<name>, starting from its seeds (tests/fuzz/seeds/<name>) and
# its committed corpus (tests/fuzz/corpus/<name>); crashes are written to BUILD/artifacts/.
# FUZZ_RUNS=N stops a target after N executions (whichever comes first with SECONDS). --merge keeps
# the smallest set of inputs that covers everything the three folders cover, in
# tests/fuzz/corpus/<name>; `make test` replays that folder.
set -euo pipefail
merge=0
if [ "${1:-}" = --merge ]; then merge=1; shift; fi
build=$1; shift
seconds=60
if [ $merge = 0 ] && [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
src=$(cd "$(dirname "$0")/../.." && pwd)
shopt -s nullglob

targets=()
if [ $# -gt 0 ]; then
  for t in "$@"; do targets+=("$build/fuzz/fuzz_${t#fuzz_}"); done
else
  targets=("$build"/fuzz/fuzz_*)
fi

for f in "${targets[@]}"; do
  [ -x "$f" ] || { echo "no fuzz target $f" >&2; exit 2; }
  name=$(basename "$f"); name=${name#fuzz_}
  work="$build/corpus/fuzz_$name"; mkdir -p "$work" "$build/artifacts"
  inputs=()
  for d in "$src/tests/fuzz/corpus/$name" "$src/tests/fuzz/seeds/$name"; do [ -d "$d" ] && inputs+=("$d"); done
  if [ $merge = 1 ]; then
    echo "== fuzz_$name: merging into tests/fuzz/corpus/$name"
    fresh=$(mktemp -d)
    "$f" -merge=1 "$fresh" "${inputs[@]}" "$work"
    rm -rf "$src/tests/fuzz/corpus/$name"
    mkdir -p "$src/tests/fuzz/corpus/$name"
    cp "$fresh"/* "$src/tests/fuzz/corpus/$name/" 2>/dev/null || true
    rm -rf "$fresh"
    echo "   $(ls "$src/tests/fuzz/corpus/$name" | wc -l) inputs kept"
    continue
  fi
  runs=()
  [ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")
  echo "== fuzz_$name ($seconds s${FUZZ_RUNS:+, at most $FUZZ_RUNS runs})"
  "$f" -max_total_time="$seconds" "${runs[@]}" -artifact_prefix="$build/artifacts/fuzz_$name-" \
    -print_final_stats=1 "$work" "${inputs[@]}"
done

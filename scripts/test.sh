#!/usr/bin/env bash
# Sets up and runs the whole test suite: unit and end-to-end tests in a release and an
# ASan+UBSan build, then every fuzz target for a short fixed time over its corpus, then the
# package test when the packaging changed since its last recorded pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${QUORREL_FUZZ_SECONDS:-20}

"$root/scripts/install-deps.sh"

for flavour in release asan; do
  echo "== $flavour build and tests"
  dir=$("$root/scripts/build.sh" "$flavour")
  ctest --test-dir "$dir" --output-on-failure --timeout 300
done

echo "== fuzz targets, ${fuzz_seconds}s each"
dir=$("$root/scripts/build.sh" fuzz)
for fuzzer in "$dir"/tests/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$root/tests/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "-- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done
echo "== package test"
bash "$root/scripts/package-test.sh" --if-changed
echo "all test stages passed"

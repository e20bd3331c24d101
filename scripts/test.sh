#!/usr/bin/env bash
# Sets up and runs the whole test suite: unit and end-to-end tests (with a replay of every
# stored fuzz input) in a release and an ASan+UBSan build, then every fuzz target for a short
# fixed time, growing and merging its committed corpus (scripts/fuzz.sh), then the package
# test when the packaging changed since its last recorded pass, and the fresh-root check when
# what decides the install changed since its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${QUORREL_FUZZ_SECONDS:-20}

"$root/scripts/install-deps.sh"

for flavour in release asan; do
  echo "== $flavour build and tests"
  dir=$("$root/scripts/build.sh" "$flavour")
  # A test that fails is run once more before the stage fails: the end-to-end tests time real
  # frames on a machine that may be busy; a fault fails both runs.
  ctest --test-dir "$dir" --output-on-failure --timeout 300 --repeat until-pass:2 -j "$(nproc)"
done

echo "== fuzz targets, ${fuzz_seconds}s each, into tests/fuzz/corpus"
"$root/scripts/fuzz.sh"
echo "== package test"
bash "$root/scripts/package-test.sh" --if-changed
echo "== fresh-root check"
bash "$root/scripts/fresh-root-test.sh" --if-changed
echo "all test stages passed"

#!/usr/bin/env bash
# Configures and builds one flavour: release (default), asan or fuzz. Prints the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
case "$flavour" in
  release) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) args=(-DCMAKE_BUILD_TYPE=Debug -DQUORREL_SANITIZE=ON -DQUORREL_BENCH=OFF) ;;
  # Optimised a little: the fuzzer gets through several times more inputs than at -O0.
  fuzz) args=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DCMAKE_CXX_COMPILER=clang++
              -DQUORREL_FUZZ=ON -DQUORREL_DESKTOP=OFF
              -DQUORREL_TESTS=OFF -DQUORREL_BENCH=OFF) ;;
  *) echo "usage: build.sh [release|asan|fuzz]" >&2; exit 2 ;;
esac
dir="$root/build/$flavour"
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"

#!/usr/bin/env bash
# Configures and builds one flavour: release (default), asan or fuzz. Prints the build folder.
# With --configure-only it stops after configuring (the fresh-root check configures every
# flavour but builds one).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
configure_only=
if [ "${1:-}" = --configure-only ]; then configure_only=1; shift; fi
flavour=${1:-release}
case "$flavour" in
  release) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) args=(-DCMAKE_BUILD_TYPE=Debug -DQUORREL_SANITIZE=ON -DQUORREL_BENCH=OFF) ;;
  # Optimised a little: the fuzzer gets through several times more inputs than at -O0.
  fuzz) args=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DCMAKE_CXX_COMPILER=clang++
              -DQUORREL_FUZZ=ON -DQUORREL_DESKTOP=OFF
              -DQUORREL_TESTS=OFF -DQUORREL_BENCH=OFF) ;;
  *) echo "usage: build.sh [--configure-only] [release|asan|fuzz]" >&2; exit 2 ;;
esac
dir="$root/build/$flavour"
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
[ -n "$configure_only" ] || cmake --build "$dir" -j "$(nproc)" >&2
echo "$dir"

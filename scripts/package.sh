#!/usr/bin/env bash
# Builds the release flavour and the Debian package from it; prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$("$root/scripts/build.sh" release)
(cd "$build" && cpack -G DEB >&2)
ls -t "$build"/package/quorrel-utility_*.deb | head -n 1

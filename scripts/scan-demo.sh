#!/usr/bin/env bash
# The main job against the simulated powerline network: two network namespaces joined by a
# veth pair, adapter-sim on the far end, quorrel-cli on the near end. Nothing is sent on the
# machine's own interfaces. Usage: scan-demo.sh [scenario file]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=${1:-$root/tools/adapter-sim/scenarios/sample.conf}

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=PATH bash "$0" "$@"
fi

"$root/scripts/install-deps.sh"
build=$("$root/scripts/build.sh" release)

. "$root/scripts/sim-pair.sh"
trap sim_pair_down EXIT INT TERM
sim_pair_up qd "$build" "$scenario"

echo "== quorrel-cli scan (scenario $(basename "$scenario"))"
ip netns exec "$host_ns" "$build/tools/cli/quorrel-cli" scan --cycles 2 --interval 20

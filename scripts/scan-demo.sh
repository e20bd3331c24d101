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

host_ns=qdh$$
sim_ns=qds$$
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  ip netns del "$host_ns" 2>/dev/null || true
  ip netns del "$sim_ns" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

ip netns add "$host_ns"
ip netns add "$sim_ns"
ip -n "$host_ns" link add qdvh$$ address 02:00:00:00:00:10 type veth \
  peer name qdvs$$ address 02:00:00:00:00:20 netns "$sim_ns"
ip -n "$host_ns" link set qdvh$$ up
ip -n "$sim_ns" link set qdvs$$ up

ready=$(mktemp)
ip netns exec "$sim_ns" "$build/tools/adapter-sim/adapter-sim" \
  --interface qdvs$$ --scenario "$scenario" >"$ready" &
sim_pid=$!
for _ in $(seq 100); do grep -q ready "$ready" && break; sleep 0.05; done
rm -f "$ready"

echo "== quorrel-cli scan (scenario $(basename "$scenario"))"
ip netns exec "$host_ns" "$build/tools/cli/quorrel-cli" scan --cycles 2 --interval 20

# Sourced by the demos: two network namespaces joined by a veth pair, adapter-sim on the far
# end. Nothing is created on the machine's own interfaces.

# sim_pair_up PREFIX BUILD SCENARIO [ADAPTER-SIM OPTION...]: sets host_ns and sim_ns, starts
# adapter-sim (sim_pid) and waits until it captures.
sim_pair_up() {
  local prefix=$1 build=$2 scenario=$3 ready
  shift 3
  host_ns=${prefix}h$$
  sim_ns=${prefix}s$$
  ip netns add "$host_ns"
  ip netns add "$sim_ns"
  ip -n "$host_ns" link add "${prefix}vh$$" address 02:00:00:00:00:10 type veth \
    peer name "${prefix}vs$$" address 02:00:00:00:00:20 netns "$sim_ns"
  ip -n "$host_ns" link set "${prefix}vh$$" up
  ip -n "$sim_ns" link set "${prefix}vs$$" up
  ready=$(mktemp)
  ip netns exec "$sim_ns" "$build/tools/adapter-sim/adapter-sim" \
    --interface "${prefix}vs$$" --scenario "$scenario" "$@" >"$ready" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q ready "$ready" && break; sleep 0.05; done
  rm -f "$ready"
}

# Stops adapter-sim and removes both namespaces by name; safe to call before sim_pair_up.
sim_pair_down() {
  if [ -n "${sim_pid:-}" ]; then kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; fi
  if [ -n "${host_ns:-}" ]; then ip netns del "$host_ns" 2>/dev/null; fi
  if [ -n "${sim_ns:-}" ]; then ip netns del "$sim_ns" 2>/dev/null; fi
  return 0
}

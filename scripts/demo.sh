#!/usr/bin/env bash
# The desktop program against the simulated powerline network: two network namespaces joined
# by a veth pair, adapter-sim on the far end, quorrel-utility on the near end, so nothing is
# sent on the machine's own interfaces. With a display the window opens there until closed;
# without one the program runs for a while under Xvfb and a picture of its window is saved.
# Usage: demo.sh [scenario file]   (QUORREL_DEMO_SECONDS: how long, default 8;
# QUORREL_DEMO_DATA_HOME: a folder that keeps the run's data file, default a temporary one)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scenario=${1:-$root/tools/adapter-sim/scenarios/desktop.conf}
seconds=${QUORREL_DEMO_SECONDS:-8}

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=PATH,DISPLAY,XAUTHORITY,QUORREL_DEMO_SECONDS,QUORREL_DEMO_BUILD,QUORREL_DEMO_DATA_HOME \
    bash "$0" "$@"
fi

if [ -n "${QUORREL_DEMO_BUILD:-}" ]; then
  build=$QUORREL_DEMO_BUILD
else
  "$root/scripts/install-deps.sh"
  build=$("$root/scripts/build.sh" release)
fi
app_dir=$build/src/app
[ -x "$app_dir/quorrel-utility" ] || { echo "demo: no quorrel-utility in $app_dir" >&2; exit 1; }

. "$root/scripts/sim-pair.sh"
xvfb_pid=
work=$(mktemp -d)
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  sim_pair_down
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
sim_pair_up qg "$build" "$scenario"

# The program's data file of this run stays apart from the user's own; its namespace keeps its
# single-instance lock apart too.
export XDG_DATA_HOME=${QUORREL_DEMO_DATA_HOME:-$work/data} XDG_RUNTIME_DIR=$work
mkdir -p "$XDG_DATA_HOME"
echo "== quorrel-utility (scenario $(basename "$scenario"))"
if [ -n "${DISPLAY:-}" ]; then
  ip netns exec "$host_ns" "$app_dir/quorrel-utility"
  exit 0
fi

shots=$root/build/screenshots
mkdir -p "$shots"
shot=$shots/desktop-main-page.png
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=:$(cat "$work/display")
ip netns exec "$host_ns" "$app_dir/quorrel-utility-shot" "$shot" "$seconds" >/dev/null
echo "Main page picture: $shot"

#!/usr/bin/env bash
# A new user's machine: in a fresh minimal Debian 12 root (debootstrap) that holds nothing but
# what scripts/install-deps.sh installs there, every build flavour configures, the release
# flavour builds, and the README's main command (scripts/demo.sh) runs headless to its picture
# of the Main page and a saved data file that lists the simulated devices. A machine where the
# packages were installed earlier cannot see a missing install step; this root can, and the
# step that fails shows the end of its log, which names what was missing.
# Needs root; prints how long it took. Usage: fresh-root-test.sh [--if-changed]
#
# It takes several minutes (longer with a cold download cache): with --if-changed (what
# scripts/test.sh passes) it runs only when the files that decide what must be installed differ
# from those of its last recorded pass, whose hash scripts/fresh-root-test.sha256 keeps; a pass
# records the new hash, to be committed with the change. QUORREL_FRESH_ROOT_TEST=1 forces it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$(date +%s)
record=$root/scripts/fresh-root-test.sha256
scenario=tools/adapter-sim/scenarios/desktop.conf

. "$root/scripts/gated-stage.sh"
# The tracked files that decide what a machine must have installed.
inputs_hash() {
  inputs_hash_of scripts/install-deps.sh scripts/build.sh scripts/demo.sh scripts/sim-pair.sh \
    scripts/fresh-root-test.sh scripts/gated-stage.sh cmake "$scenario" 'CMakeLists.txt' \
    '**/CMakeLists.txt'
}
skip_stage_unless_due "fresh-root check" "$record" QUORREL_FRESH_ROOT_TEST "${1:-}"
[ "${1:-}" != --if-changed ] || shift
# Every mount below lives in a mount namespace of this run and goes with it.
if [ -z "${QUORREL_FRESH_ROOT_NS:-}" ]; then
  QUORREL_FRESH_ROOT_NS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

command -v debootstrap >/dev/null || "$root/scripts/install-deps.sh"
. "$root/scripts/debian-mirror.sh"

mkdir -p "$root/build"
work=$(mktemp -d "$root/build/fresh-root.XXXXXX")
target=$work/root
cleanup() {
  for m in var/cache/apt/archives sys proc dev/pts dev run ""; do
    umount -l "$target/$m" 2>/dev/null || true
  done
  if [ -n "${QUORREL_FRESH_ROOT_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT INT TERM
fail() { echo "fresh-root check FAILED: $*" >&2; exit 1; }

# Runs a step in the root, its output in a log of its own; on failure the log's end is shown,
# with the lines that name something missing first.
step() {
  local name=$1 log=$work/$1.log
  shift
  echo "== $name"
  if ! chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
      DEBIAN_FRONTEND=noninteractive "$@" >"$log" 2>&1; then
    echo "-- what the log says is missing:" >&2
    grep -E "Could NOT find|not found|No such file|cannot find|Unable to locate|missing" "$log" |
      sort -u | head -n 20 >&2 || true
    echo "-- the end of $name's log:" >&2
    tail -n 25 "$log" >&2
    fail "$name"
  fi
}

cache=$root/build/debootstrap-cache
apt_cache=$root/build/fresh-root-apt-cache
mkdir -p "$cache" "$apt_cache/partial"
echo "== debootstrap bookworm from $(debian_mirror)"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$target" "$(debian_mirror)" \
  >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; fail "debootstrap"; }
# The root a mount point of its own, as / is: `ip netns` makes / a slave mount and fails otherwise.
mount --bind "$target" "$target"
mount -t proc proc "$target/proc"
mount -t sysfs sysfs "$target/sys"
mount --bind /dev "$target/dev"
mount --bind /dev/pts "$target/dev/pts"
mount -t tmpfs tmpfs "$target/run"
# The packages apt downloads stay for the next run.
mount --bind "$apt_cache" "$target/var/cache/apt/archives"

# The work tree as it is now (tracked and new files, not the build), not only what is committed.
mkdir -p "$target/src/quorrel"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
   while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
   tar --null -T - -cf -) | tar -C "$target/src/quorrel" -xf -

step install-deps bash /src/quorrel/scripts/install-deps.sh
for flavour in release asan fuzz; do
  step "configure-$flavour" bash /src/quorrel/scripts/build.sh --configure-only "$flavour"
done
step demo env QUORREL_DEMO_DATA_HOME=/tmp/demo-data QUORREL_DEMO_SECONDS=6 \
  bash /src/quorrel/scripts/demo.sh "/src/quorrel/$scenario"

shot=$target/src/quorrel/build/screenshots/desktop-main-page.png
[ "$(head -c 8 "$shot" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the demo saved no picture of the Main page"
data="$target/tmp/demo-data/quorrel-utility/Quorrel Utility.data"
[ -f "$data" ] || fail "the demo saved no data file"
for mac in $(awk '$1 == "mac" {print $2}' "$root/$scenario"); do
  python3 - "$data" "$mac" <<'PY' || fail "the demo's data file does not list $mac"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if bytes.fromhex(sys.argv[2].replace(":", "")) in data else 1)
PY
done
inputs_hash >"$record"
echo "fresh-root check passed in $(( $(date +%s) - started )) s; recorded in $(basename "$record")"

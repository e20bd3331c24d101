#!/usr/bin/env bash
# The Debian package as a user meets it: a fresh minimal Debian 12 root (debootstrap), the
# package installed there with apt, and inside a network namespace pair with adapter-sim on the
# far end: a user outside the capture helper's group is told to join it and sends nothing; a
# member's `quorrel-cli scan` and `quorrel-utility` (under Xvfb) each list the simulated
# devices, while the desktop program holds no capability.
# Needs root; prints how long it took. Usage: package-test.sh [--if-changed] [package.deb]
#
# It takes about five minutes, too long for every test run: with --if-changed (what
# scripts/test.sh passes) it runs only when the files that make the package differ from those
# of its last recorded pass, whose hash packaging/package-test.sha256 keeps; a pass records the
# new hash, to be committed with the change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$(date +%s)
record=$root/packaging/package-test.sha256

. "$root/scripts/gated-stage.sh"
# The tracked files that go into the package or this test.
inputs_hash() {
  inputs_hash_of packaging scripts/package.sh scripts/package-test.sh scripts/gated-stage.sh \
    scripts/debian-mirror.sh scripts/sim-pair.sh tools/capture src/transport \
    src/app/CMakeLists.txt tools/cli/CMakeLists.txt CMakeLists.txt src/persistence/locations.cpp \
    ':(exclude)packaging/package-test.sha256'
}
skip_stage_unless_due "package test" "$record" QUORREL_PACKAGE_TEST "${1:-}"
[ "${1:-}" != --if-changed ] || shift
# Every mount below lives in a mount namespace of this run and goes with it.
if [ -z "${QUORREL_PACKAGE_TEST_NS:-}" ]; then
  QUORREL_PACKAGE_TEST_NS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

"$root/scripts/install-deps.sh"
build=$root/build/release
deb=${1:-$(bash "$root/scripts/package.sh")}
scenario=$root/tools/adapter-sim/scenarios/sample.conf
remotes=(00:B0:52:20:00:02 00:B0:52:20:00:03 00:B0:52:20:00:04)

. "$root/scripts/debian-mirror.sh"

# The build tree's file system keeps file capabilities, which the package's set-up needs.
mkdir -p "$root/build"
work=$(mktemp -d "$root/build/package-test.XXXXXX")
target=$work/root
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "${app_pid:-}" ] && kill -9 "$app_pid" 2>/dev/null
  sim_pair_down 2>/dev/null || true
  for m in proc dev/pts dev; do umount -l "$target/$m" 2>/dev/null || true; done
  if [ -n "${QUORREL_PACKAGE_TEST_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
. "$root/scripts/sim-pair.sh"
trap cleanup EXIT INT TERM
fail() { echo "package test FAILED: $*" >&2; exit 1; }

echo "== lintian, desktop-file-validate, appstreamcli validate"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v "root privileges" || true
if lintian "$deb" 2>/dev/null | grep -q '^E:'; then fail "lintian reports errors"; fi
desktop-file-validate "$root/packaging/quorrel-utility.desktop"
dpkg-deb -x "$deb" "$work/unpacked"
appstreamcli validate --no-net "$work/unpacked/usr/share/metainfo/"*.metainfo.xml
for f in bash-completion/completions/quorrel-cli zsh/vendor-completions/_quorrel-cli; do
  [ -s "$work/unpacked/usr/share/$f" ] || fail "the package has no /usr/share/$f"
done
for f in lib/systemd/system/quorrel-monitor.service etc/quorrel-utility/monitor.conf; do
  [ -s "$work/unpacked/$f" ] || fail "the package has no /$f"
done
# The service file as systemd reads it, with the unpacked program in the installed one's place.
if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/quorrel-cli|$work/unpacked/usr/bin/quorrel-cli|" \
    "$work/unpacked/lib/systemd/system/quorrel-monitor.service" >"$work/quorrel-monitor.service"
  out=$(systemd-analyze verify --man=no "$work/quorrel-monitor.service" 2>&1) && [ -z "$out" ] ||
    { echo "$out"; fail "systemd-analyze verify quorrel-monitor.service"; }
fi

echo "== debootstrap bookworm from $(debian_mirror)"
cache=$root/build/debootstrap-cache
mkdir -p "$cache"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$target" "$(debian_mirror)" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; fail "debootstrap"; }
mount -t proc proc "$target/proc"
mount --bind /dev "$target/dev"
in_root() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

echo "== apt install $(basename "$deb")"
cp "$deb" "$target/tmp/"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1 ||
  { tail -n 20 "$work/apt.log"; fail "apt-get install"; }
grep -iE "capabilit|group" "$work/apt.log" || true
in_root apt-get install -y -qq --no-install-recommends xvfb xauth xdotool >>"$work/apt.log" 2>&1 ||
  { tail -n 20 "$work/apt.log"; fail "apt-get install xvfb"; }
helper=$target/usr/lib/quorrel-utility/quorrel-capture
caps=$(getcap "$helper")
# Owner and group by the root's own account names.
owner=$(in_root stat -c '%U:%G %a' /usr/lib/quorrel-utility/quorrel-capture)
echo "$caps; $owner"
[[ "$caps" == *cap_net_raw=ep* ]] || fail "the helper was not given cap_net_raw"
[ "$owner" = "root:quorrel 750" ] ||
  fail "the helper is not root:quorrel, mode 0750"
# tester is a member of the helper's group, as the administrator would make one; outsider not.
in_root useradd --create-home tester
in_root adduser --quiet tester quorrel
in_root useradd --create-home outsider
mkdir -m 1777 -p "$target/tmp/.X11-unix"

sim_pair_up qp "$build" "$scenario" --log "$work/sim-frames.log"
# Runs a command as the user $as (tester unless set), inside the chroot, in the host end's
# namespace, with that namespace's interfaces in /sys, with the groups the user's account
# gives at log-in. It replaces the shell it runs in: call it in a subshell, or in the
# background, where $! is then the command's own process.
as_tester() {
  local user=${as:-tester} groups
  groups=$(in_root id -G "$user" | tr ' ' ,)
  exec ip netns exec "$host_ns" sh -c 'ids=$1 groups=$2 user=$3; shift 3
      mount -t sysfs sysfs "$0/sys" && exec chroot --userspec="$ids" --groups="$groups" "$0" \
        env -i HOME="/home/$user" PATH=/usr/bin:/bin USER="$user" DISPLAY=:7 "$@"' \
    "$target" "$(in_root id -u "$user"):$(in_root id -g "$user")" "$groups" "$user" "$@"
}

echo "== quorrel-cli scan as outsider, who is not in the group"
set +e
out=$( (as=outsider as_tester quorrel-cli scan --cycles 1 --interval 3) 2>&1)
status=$?
set -e
echo "$out (exit status $status)"
# 3: no permission to capture, as for a missing adapter; the fix is the group, not the input.
[ "$status" = 3 ] || fail "outsider's scan exited $status, not 3 (no permission to capture)"
grep -q 'group "quorrel"' <<<"$out" && grep -q "log in again" <<<"$out" ||
  fail "outsider was not told to join the group and log in again"
! grep -qi "setcap\|capabilit" <<<"$out" || fail "outsider was given a capability hint"
[ "$(grep -cE '(^|: )rx ' "$work/sim-frames.log" || true)" = 0 ] ||
  fail "adapter-sim received frames from outsider's scan"

echo "== quorrel-cli scan as tester"
out=$( (as_tester quorrel-cli scan --cycles 1 --interval 3) 2>&1) || { echo "$out"; fail "quorrel-cli scan"; }
echo "$out"
for mac in "${remotes[@]}"; do grep -q "$mac" <<<"$out" || fail "quorrel-cli did not list $mac"; done
grep -qE '(^|: )rx ' "$work/sim-frames.log" || fail "adapter-sim logged no frame of tester's scan"
in_root rm -rf /home/tester/.local/share/quorrel-utility

echo "== quorrel-utility as tester under Xvfb"
as_tester Xvfb :7 -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -S "$target/tmp/.X11-unix/X7" ] && break; sleep 0.1; done
as_tester quorrel-utility >"$work/utility.log" 2>&1 &
app_pid=$!
sleep 6
grep -q quorrel-utility "/proc/$app_pid/comm" || { cat "$work/utility.log"; fail "quorrel-utility is not running"; }
app_caps=$(awk '/^CapEff/ {print $2}' "/proc/$app_pid/status")
helper_pid=$(pgrep -P "$app_pid" quorrel-captur || true)
helper_caps=$(awk '/^CapEff/ {print $2}' "/proc/${helper_pid:-0}/status" 2>/dev/null || echo none)
echo "quorrel-utility CapEff $app_caps; its helper quorrel-capture CapEff $helper_caps"
[ "$app_caps" = 0000000000000000 ] || fail "quorrel-utility holds capabilities ($app_caps)"
[ -n "$helper_pid" ] || fail "quorrel-utility started no capture helper"
# Escape closes the sheet, which saves the device data file with every device it listed. The
# window is gone before xdotool is done with it, which it complains about.
(as_tester xdotool search --sync --onlyvisible --name "Quorrel Utility" key --window %1 Escape) \
  >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "quorrel-utility did not close on Escape"
app_pid=
data="$target/home/tester/.local/share/quorrel-utility/Quorrel Utility.data"
[ -f "$data" ] || { cat "$work/utility.log"; fail "quorrel-utility saved no data file"; }
for mac in "${remotes[@]}"; do
  python3 - "$data" "$mac" <<'PY' || fail "quorrel-utility did not list $mac"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if bytes.fromhex(sys.argv[2].replace(":", "")) in data else 1)
PY
done
inputs_hash >"$record"
echo "package test passed in $(( $(date +%s) - started )) s; recorded in $(basename "$record")"

#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the demo need.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libpcap-dev libssl-dev openssl zlib1g-dev
  libcli11-dev nlohmann-json3-dev
  prometheus-cpp-dev libmosquitto-dev mosquitto mosquitto-clients prometheus
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  iproute2 procps
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev xvfb xauth
  libcups2-dev cups-daemon cups-client cups-filters printer-driver-cups-pdf ghostscript poppler-utils
  debootstrap lintian desktop-file-utils appstream libcap2-bin util-linux python3
)
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev clang-format-14
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-connectivity-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  # Bluetooth (kernel sockets, SDP client)
  libbluetooth-dev
  # private D-Bus with a mock BlueZ for the tests
  dbus python3-dbusmock python3-dbus python3-gi
  # headless display, screenshots, Japanese fonts
  xvfb xauth x11-apps imagemagick fonts-noto-cjk
  # vraxctl export --hdf5, and reading its files back in the tests
  libhdf5-dev hdf5-tools python3
  # the Debian package and its checks
  dpkg-dev desktop-file-utils appstream lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

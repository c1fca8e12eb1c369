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
  # the export tests read every tidy CSV with pandas and every HDF5 dataset with h5py
  python3-pandas python3-h5py
  # the Debian package and its checks
  dpkg-dev desktop-file-utils appstream lintian
  # the BIDS validator (from npm) that checks export --bids
  nodejs npm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The BIDS validator, pinned (1.15.0 knows the motion datatype), into the
# project's .cache folder; the export --bids test runs it from there. Its
# command-line program is one bundled script that needs only node, so the
# package's own archive is enough: its declared dependency tree (about 900
# packages, 700 MB of web and build tooling) is not installed.
bids_version=1.15.0
bids_integrity=sha512-gZ0UUTLBt5L3nuhLia/VfvK5OaM0yoTBPJvGmC4slQ8yDzpanWZOHHBS+PAua0riQ7Cwa51HER/Fnd9v17MHUw==
bids_dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/bids-validator"
install_bids_validator() {
  [ "$(cat "$bids_dir/version" 2>/dev/null)" = "$bids_version" ] && return 0
  local work integrity
  work=$(mktemp -d)
  (cd "$work" && npm pack --silent --loglevel=error "bids-validator@$bids_version" >/dev/null)
  local tarball="$work/bids-validator-$bids_version.tgz"
  integrity=$(node -e 'const c = require("crypto"), fs = require("fs");
    process.stdout.write("sha512-" + c.createHash("sha512").update(fs.readFileSync(process.argv[1])).digest("base64"))' "$tarball")
  if [ "$integrity" != "$bids_integrity" ]; then
    echo "the bids-validator $bids_version archive does not match its pinned checksum" >&2
    rm -rf "$work"
    return 1
  fi
  rm -rf "$bids_dir"
  mkdir -p "$bids_dir/node_modules/bids-validator"
  tar -xzf "$tarball" -C "$bids_dir/node_modules/bids-validator" --strip-components=1
  echo "$bids_version" > "$bids_dir/version"
  rm -rf "$work"
}

# With node and npm already there (they may come from elsewhere than Debian),
# the validator downloads while apt works; otherwise apt installs them first.
bids_pid=""
if command -v node >/dev/null && command -v npm >/dev/null; then
  kept=()
  for p in "${missing[@]}"; do [ "$p" = nodejs ] || [ "$p" = npm ] || kept+=("$p"); done
  missing=("${kept[@]+"${kept[@]}"}")
  install_bids_validator &
  bids_pid=$!
fi
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ -n "$bids_pid" ]; then
  wait "$bids_pid"
else
  install_bids_validator
fi

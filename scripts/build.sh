#!/usr/bin/env bash
# Configures and builds one variant: scripts/build.sh [release|asan] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
variant=${1:-release}
shift || true
case "$variant" in
  release) dir=build/release; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVRAX_WERROR=ON) ;;
  asan)    dir=build/asan;    flags=(-DCMAKE_BUILD_TYPE=Debug -DVRAX_WERROR=ON -DVRAX_SANITIZE=ON -DVRAX_BENCH=OFF) ;;
  *) echo "unknown variant: $variant (release or asan)" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
ninja -C "$dir" "$@"

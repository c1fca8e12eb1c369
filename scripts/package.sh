#!/usr/bin/env bash
# Builds the Debian package: the release variant's two programs (built when
# needed, in build/release), installed by CPack into
# build/vrax-data-controller_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -f build/release/build.ninja ]; then
  ninja -C build/release vraxctl vrax-data-controller >/dev/null
else
  scripts/build.sh release vraxctl vrax-data-controller >/dev/null
fi
rm -f build/vrax-data-controller_*.deb
cpack --config build/release/CPackConfig.cmake -G DEB -B build/package >build/package.log 2>&1 ||
  { cat build/package.log; exit 1; }
mv build/package/vrax-data-controller_*.deb build/
ls build/vrax-data-controller_*.deb

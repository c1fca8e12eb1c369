#!/usr/bin/env bash
# Pictures of the demo window (Bluetooth off, entry list, download overlay and its end,
# preview, live view of the Measure panel, sensors overview, several sensors live, message
# panel) taken under a virtual X display,
# into docs/ or the folder given.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs}"
scripts/build.sh release vrax-data-controller >/dev/null
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x900x24" \
  env QT_QPA_PLATFORM=xcb build/release/bin/vrax-data-controller --screenshots "$out"

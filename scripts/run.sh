#!/usr/bin/env bash
# Builds and starts the tool: on the paired sensors when BlueZ lists any,
# otherwise on the demo's virtual sensors; without a display, a short
# headless demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release vrax-data-controller btlist >/dev/null
bin=build/release/bin

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the headless demo on virtual sensors."
  exec "$bin/vrax-data-controller" --headless-demo
fi

if listing=$("$bin/btlist" 2>&1) && ! grep -q '^0 paired' <<<"$listing"; then
  echo "Starting VRAX Data Controller on the paired sensors:"
  echo "$listing"
  exec "$bin/vrax-data-controller" "$@"
fi

echo "No paired VRAX sensor found through BlueZ (${listing%%$'\n'*})."
echo "Starting the demo on virtual sensors."
exec "$bin/vrax-data-controller" --demo "$@"

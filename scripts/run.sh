#!/usr/bin/env bash
# Builds and starts the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh release protocol_demo
exec build/release/bin/protocol_demo "$@"

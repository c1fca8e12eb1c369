#!/usr/bin/env bash
# Builds the normal and the sanitizer variant and runs every test on each.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for variant in release asan; do
  echo "=== $variant build ==="
  scripts/build.sh "$variant"
  echo "=== $variant tests ==="
  ctest --test-dir "build/$variant" --output-on-failure -j "$jobs"
done

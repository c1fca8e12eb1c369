#!/usr/bin/env bash
# Formats the C++ sources with the project's .clang-format.
# scripts/format.sh --check only reports what is not formatted (exit 1).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
if [ "${1:-}" = "--check" ]; then mode=(--dry-run -Werror); fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
else
  files=$(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
# shellcheck disable=SC2086
clang-format-14 "${mode[@]}" $files

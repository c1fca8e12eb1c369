#!/usr/bin/env bash
# Checks the formatting, builds the normal and the sanitizer variant and runs
# every test on each, then the soak run and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
soak_cycles=${SOAK_CYCLES:-100}
fuzz_seconds=${FUZZ_SECONDS:-10}

status=0
echo "=== format check ==="
scripts/format.sh --check || { echo "format check FAILED (scripts/format.sh formats)"; status=1; }

echo "=== release build ==="
scripts/build.sh release
echo "=== asan build ==="
scripts/build.sh asan

# The soak run mostly waits on the event loop: it runs beside the other tests.
echo "=== soak: $soak_cycles list, download and erase cycles (in the background) ==="
SOAK_CYCLES=$soak_cycles build/release/bin/soak_tests >build/release/soak.log 2>&1 &
soak_pid=$!

# The package check reuses the release build: it packs, validates and runs the
# programs from the unpacked package, beside the tests.
echo "=== package check (in the background) ==="
scripts/package-check.sh >build/package-check.log 2>&1 &
package_pid=$!

# The suites mostly wait on virtual sensors' pacing and time-outs, not on the
# processor: twice as many run at once as there are cores.
for variant in release asan; do
  echo "=== $variant tests ==="
  ctest --test-dir "build/$variant" --output-on-failure -j "$((jobs * 2))" || status=1
done

echo "=== fuzzing, ${fuzz_seconds}s per target ==="
scripts/fuzz.sh "$fuzz_seconds" || status=1

if wait "$soak_pid"; then
  grep -E "cycles:|PASSED" build/release/soak.log || true
else
  echo "soak FAILED:"
  tail -40 build/release/soak.log
  status=1
fi
if wait "$package_pid"; then
  echo "package check passed: $(grep -m1 '^package:' build/package-check.log)"
else
  echo "package check FAILED:"
  tail -40 build/package-check.log
  status=1
fi
exit $status

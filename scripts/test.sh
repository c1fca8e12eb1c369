#!/usr/bin/env bash
# Checks the formatting, builds the normal (gcc) and the sanitizer (clang)
# variant and runs every test on each, the soak run, the package check and a
# short run of every fuzz target (built with the sanitizer variant). Prints
# the time of each phase; the phases that mostly wait run beside others.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
soak_cycles=${SOAK_CYCLES:-100}
fuzz_seconds=${FUZZ_SECONDS:-10}
started=$SECONDS
status=0

# phase NAME COMMAND...: runs it, prints its time; a failure marks the run failed.
phase() {
  local name=$1 t0=$SECONDS
  shift
  echo "=== $name ==="
  "$@" || { echo "$name FAILED"; status=1; }
  echo "--- $name: $((SECONDS - t0)) s"
}
# The suites mostly wait on virtual sensors' pacing and time-outs, not on the
# processor: twice as many run at once as there are cores (run_tests VARIANT
# [TIMES] for another multiple).
run_tests() { ctest --test-dir "build/$1" --output-on-failure -j "$((jobs * ${2:-2}))"; }

phase "format check" scripts/format.sh --check
phase "release build" scripts/build.sh release
[ -f build/release/build.ninja ] && [ $status -eq 0 ] || { echo "release build FAILED"; exit 1; }

# The soak run, the package check (which reuses the release build) and the
# release tests mostly wait: they run while the sanitizer variant builds.
echo "=== soak: $soak_cycles list, download and erase cycles (in the background) ==="
t_soak=$SECONDS
(SOAK_CYCLES=$soak_cycles build/release/bin/soak_tests >build/release/soak.log 2>&1; rc=$?
 echo "--- soak: $((SECONDS - t_soak)) s" >>build/release/soak.log; exit $rc) &
soak_pid=$!
echo "=== package check (in the background) ==="
(scripts/package-check.sh >build/package-check.log 2>&1; rc=$?
 echo "--- package check: $((SECONDS - t_soak)) s" >>build/package-check.log; exit $rc) &
package_pid=$!
echo "=== release tests (in the background) ==="
(run_tests release >build/release/tests.log 2>&1; rc=$?
 echo "--- release tests: $((SECONDS - t_soak)) s" >>build/release/tests.log; exit $rc) &
release_pid=$!

phase "asan build (and the fuzz targets)" scripts/build.sh asan
if wait "$release_pid"; then
  grep -E "tests passed|--- release tests" build/release/tests.log || true
else
  echo "release tests FAILED:"
  grep -vE "^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed" build/release/tests.log | tail -80
  status=1
fi
# The fuzz targets keep one core busy while the sanitizer suites mostly wait.
echo "=== fuzzing, ${fuzz_seconds}s per target (in the background) ==="
t_fuzz=$SECONDS
(scripts/fuzz.sh "$fuzz_seconds" >build/asan/fuzz.log 2>&1; rc=$?
 echo "--- fuzzing: $((SECONDS - t_fuzz)) s" >>build/asan/fuzz.log; exit $rc) &
fuzz_pid=$!
# Nothing builds now: more of the waiting suites run at once.
phase "asan tests" run_tests asan 3
if wait "$fuzz_pid"; then
  grep -E "^=== fuzz_|number_of_executed_units|^--- fuzzing" build/asan/fuzz.log || true
else
  echo "fuzzing FAILED:"
  tail -60 build/asan/fuzz.log
  status=1
fi

if wait "$soak_pid"; then
  grep -E "cycles:|PASSED|--- soak" build/release/soak.log || true
else
  echo "soak FAILED:"
  tail -40 build/release/soak.log
  status=1
fi
if wait "$package_pid"; then
  echo "package check passed: $(grep -m1 '^package:' build/package-check.log)"
  grep -E "^--- package check" build/package-check.log || true
else
  echo "package check FAILED:"
  tail -40 build/package-check.log
  status=1
fi
echo "--- whole test command: $((SECONDS - started)) s"
exit $status

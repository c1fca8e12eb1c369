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

# beside NAME LOG COMMAND...: starts a phase in the background, its output
# and then its time in LOG; its process id goes to beside_pid.
beside() {
  local name=$1 log=$2 t0=$SECONDS
  shift 2
  echo "=== $name (in the background) ==="
  ("$@" >"$log" 2>&1 && rc=0 || rc=$?
   echo "--- $name: $((SECONDS - t0)) s" >>"$log"; exit $rc) &
  beside_pid=$!
}
# joined NAME PID LOG SUMMARY [LINES]: waits for a background phase; prints
# the lines of LOG that match SUMMARY, or, when it failed, its last LINES
# lines (40 unless given) less the tests that passed.
joined() {
  local name=$1 pid=$2 log=$3 summary=$4 lines=${5:-40}
  if wait "$pid"; then
    grep -E "$summary" "$log" || true
  else
    echo "$name FAILED:"
    grep -vE "^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed" "$log" | tail -"$lines"
    status=1
  fi
}

phase "format check" scripts/format.sh --check
phase "release build" scripts/build.sh release
[ -f build/release/build.ninja ] && [ $status -eq 0 ] || { echo "release build FAILED"; exit 1; }

# The soak run, the package check (which reuses the release build) and the
# release tests mostly wait: they run while the sanitizer variant builds.
beside "soak: $soak_cycles list, download and erase cycles" build/release/soak.log \
  env SOAK_CYCLES="$soak_cycles" build/release/bin/soak_tests
soak_pid=$beside_pid
beside "package check" build/package-check.log scripts/package-check.sh
package_pid=$beside_pid
beside "release tests" build/release/tests.log run_tests release
release_pid=$beside_pid

phase "asan build (and the fuzz targets)" scripts/build.sh asan
joined "release tests" "$release_pid" build/release/tests.log "tests passed|^--- release tests" 80
# The fuzz targets keep one core busy while the sanitizer suites mostly wait.
beside "fuzzing, ${fuzz_seconds}s per target" build/asan/fuzz.log scripts/fuzz.sh "$fuzz_seconds"
fuzz_pid=$beside_pid
# Nothing builds now: more of the waiting suites run at once.
phase "asan tests" run_tests asan 3
joined "fuzzing" "$fuzz_pid" build/asan/fuzz.log "^=== fuzz_|number_of_executed_units|^--- fuzzing" 60
joined "soak" "$soak_pid" build/release/soak.log "cycles:|PASSED|^--- soak"
joined "package check" "$package_pid" build/package-check.log "^package:|^--- package check"
echo "--- whole test command: $((SECONDS - started)) s"
exit $status

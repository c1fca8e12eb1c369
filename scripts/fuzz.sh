#!/usr/bin/env bash
# Runs each libFuzzer target for the given number of seconds (default 20),
# starting from the committed seed corpus. The targets come from the
# sanitizer variant (clang), built here when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
dir=build/asan
targets=(parser csv_loader bin_loader sepcsv parse_first_line capture_replay)
scripts/build.sh asan "${targets[@]/#/fuzz_}" >/dev/null
status=0
for target in "${targets[@]}"; do
  exe="$dir/bin/fuzz_$target"
  [ -x "$exe" ] || continue
  work=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$target/." "$work/" 2>/dev/null || true
  echo "=== fuzz_$target for ${seconds}s ==="
  if ! "$exe" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/crash-$target-" "$work" 2>"$dir/fuzz_$target.log"; then
    echo "fuzz_$target FAILED; see $dir/fuzz_$target.log"
    tail -30 "$dir/fuzz_$target.log"
    status=1
  fi
  grep -E "stat::number_of_executed_units" "$dir/fuzz_$target.log" || true
  rm -rf "$work" /tmp/vrax-fuzz-*
done
exit $status

#!/usr/bin/env bash
# A demo session of three virtual sensors (two streamed live, one recording
# downloaded, markers beside them) exported with --bids, then checked by the
# BIDS validator: the test fails on any error it reports.
# Usage: bids_demo.sh VRAXCTL VALIDATOR
set -euo pipefail
vraxctl=$1
validator=$2
if ! command -v node >/dev/null; then
  echo "SKIPPED: node is not installed (scripts/deps.sh installs it and the BIDS validator)"
  exit 77
fi
if [ ! -x "$validator" ]; then
  echo "the BIDS validator is missing at $validator: run scripts/deps.sh" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cat > cfg.json <<'JSON'
{"ags": {"enabled": true, "rate": 10, "average": 1, "record": true},
 "geo": {"enabled": true, "rate": 50, "average": 1, "record": true}}
JSON
"$vraxctl" label VRAX610-001 "left wrist" --out data >/dev/null
"$vraxctl" label VRAX650-LAB-0016 "pelvis" --out data >/dev/null
"$vraxctl" live --demo VRAX610-001 --config cfg.json --seconds 1.5 --lines 60 --out data >/dev/null 2>&1
"$vraxctl" live --demo VRAX650-LAB-0016 --config cfg.json --seconds 1.5 --out data >/dev/null 2>&1
# VRAX610-002 is the demo sensor that is busy elsewhere: the recording comes from another.
"$vraxctl" download --demo VRAX650-LAB-0016 1 --out data >/dev/null 2>&1
day=$(ls -d data/memdata_*)
printf 'onset\tduration\tlabel\tutc\n0.2\t0\tstart\t%s\n' \
  "$(date -u +%Y-%m-%dT%H:%M:%S.000Z)" > "$day/events.tsv"
"$vraxctl" export "$day"/live_*.csv "$day"/memdata_*.csv --bids ds --subject 01 --task walk
out=$(node "$validator" ds 2>&1) || true
echo "$out"
if echo "$out" | grep -q '\[ERR\]'; then
  echo "the BIDS validator reported errors" >&2
  exit 1
fi
echo "$out" | grep -q 'Summary' || { echo "the BIDS validator did not run" >&2; exit 1; }
test -f ds/sub-01/motion/sub-01_task-walk_events.tsv
test -f ds/sub-01/sub-01_scans.tsv

#!/usr/bin/env python3
"""Reads tidy CSV files back with Python's csv module and checks them against
the download CSV file they were made from: one file per kind present, a
header row, one row per record in the source's order, the time stamps and
values unchanged, time_s the seconds from the file's first sample, LF line
ends. Prints one line per kind ("ags 30000 rows: time_ms,time_s,...") and
exits 1 with the reason on the first difference.

usage: check_tidy.py SOURCE.csv TIDY_DIR STEM
"""
import csv
import json
import os
import sys

KINDS = {"ags": "ags", "geo": "geo", "press temp": "press", "batt": "batt",
         "ext data": "ext", "qags": "qags"}


def source_rows(path):
    rows = {}
    first = None
    with open(path, newline="") as f:
        for fields in csv.reader(f):
            if not fields:
                continue
            head = fields[0]
            if head in KINDS:
                kind, values = KINDS[head], fields[2:]
            elif len(head) == 7 and head.startswith("ead"):
                kind = "ext16ad"
                values = [str(int(c, 16)) for c in head[3:]] + fields[2:]
            else:
                continue
            ms = int(fields[1])
            if first is None:
                first = ms
            rows.setdefault(kind, []).append([ms] + [int(v) for v in values])
    return rows, first


def fail(text):
    print(text)
    sys.exit(1)


def main():
    source, folder, stem = sys.argv[1:4]
    expected, first = source_rows(source)
    names = sorted(n for n in os.listdir(folder) if not n.endswith(".json"))
    wanted = sorted(f"{stem}_{kind}.csv" for kind in expected)
    if names != wanted:
        fail(f"files {names}, expected {wanted}")
    # Each table has its sidecar, naming its size and its source.
    for name in names:
        with open(os.path.join(folder, name + ".json")) as f:
            side = json.load(f)
        if side["file"]["bytes"] != os.path.getsize(os.path.join(folder, name)):
            fail(f"{name}: the sidecar's size is not the file's")
        if not side["source"]["file"].endswith(source):
            fail(f"{name}: the sidecar names another source")
    for kind in ["ags", "geo", "press", "batt", "ext", "qags", "ext16ad"]:
        if kind not in expected:
            continue
        path = os.path.join(folder, f"{stem}_{kind}.csv")
        with open(path, "rb") as f:
            if b"\r" in f.read():
                fail(f"{path}: a CR in the file")
        with open(path, newline="") as f:
            reader = csv.reader(f)
            header = next(reader)
            rows = list(reader)
        if header[:2] != ["time_ms", "time_s"]:
            fail(f"{path}: header {header}")
        if len(rows) != len(expected[kind]):
            fail(f"{path}: {len(rows)} rows, expected {len(expected[kind])}")
        for n, (row, want) in enumerate(zip(rows, expected[kind])):
            if len(row) != len(header) or len(want) + 1 != len(header):
                fail(f"{path} row {n}: {len(row)} fields, header {len(header)}, source {len(want) + 1}")
            got = [int(row[0])] + [int(v) for v in row[2:]]
            if got != want:
                fail(f"{path} row {n}: {row}, expected {want}")
            if abs(float(row[1]) - (want[0] - first) / 1000.0) > 1e-9:
                fail(f"{path} row {n}: time_s {row[1]} for time_ms {row[0]}")
        print(f"{kind} {len(rows)} rows: {','.join(header)}")


main()

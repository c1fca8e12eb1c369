#!/usr/bin/env python3
"""Exports demo downloads of two sensors whose clocks are off by known amounts
as analysis tools read them, and checks what those tools see: pandas reads
every tidy CSV file with no options, h5py reads every HDF5 dataset with its
units attribute (the same values as the CSV files, integers as integers),
and the two sensors' time_utc columns line up within the bounds their
sidecars report.

The demo's two recordings start at different times on their sensors'
clocks: VRAX610-001's entry 1 at 2026/11/28 09:00:30, VRAX650-LAB-0016's at
2026/12/01 14:05:00. The clock offsets given to the virtual sensors differ
by exactly that gap, so both recordings began at the same instant on UTC,
and only a correct clock correction puts their rows side by side.

usage: check_export_analysis.py VRAXCTL
Exit 77 (skipped) when pandas or h5py is not installed.
"""
import datetime
import json
import math
import os
import subprocess
import sys
import tempfile

try:
    import h5py
    import numpy
    import pandas
except ImportError as e:
    print(f"SKIPPED: {e} (scripts/deps.sh installs python3-pandas and python3-h5py)")
    sys.exit(77)

AHEAD_MS = 70_000_000_000  # VRAX610-001's clock runs this far ahead of UTC
GAP_MS = 277_470_000  # from 2026-11-28 09:00:30 to 2026-12-01 14:05:00
SCALE = {"scales": [
    # Placeholders, not real scale factors.
    {"model": "VRAX610", "quantity": "acc", "accRange": 2, "factor": 0.000123, "unit": "m/s^2"},
    {"model": "VRAX650", "quantity": "pressure", "factor": 0.01, "unit": "hPa"},
]}


def fail(text):
    print("FAIL:", text)
    sys.exit(1)


def run(vraxctl, args, env, cwd):
    r = subprocess.run([vraxctl] + args, env=env, cwd=cwd, capture_output=True, text=True)
    if r.returncode != 0:
        fail(f"vraxctl {' '.join(args)}: exit {r.returncode}\n{r.stdout}{r.stderr}")
    return r.stdout


def check_csv_tables(folder):
    """Every CSV file through pandas.read_csv with no options; by name."""
    tables = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".csv"):
            continue
        df = pandas.read_csv(os.path.join(folder, name))
        with open(os.path.join(folder, name + ".json")) as f:
            side = json.load(f)
        kind = name[:-4].rsplit("_", 1)[1]
        want = side["source"]["sidecar"]["records"]["perKind"][kind]
        if len(df) != want:
            fail(f"{name}: {len(df)} rows, the source has {want}")
        if list(df.columns[:4]) != ["time_ms", "time_s", "time_utc", "time_unix"]:
            fail(f"{name}: columns {list(df.columns)}")
        for column in df.columns:
            if column in ("time_s", "time_unix", "time_utc") or "_per_" in column or \
                    column.endswith("_hPa"):
                continue
            if df[column].dtype.kind != "i":
                fail(f"{name}: {column} read as {df[column].dtype}, not integers")
        tables[name] = df
    if not tables:
        fail(f"no CSV files in {folder}")
    return tables


def check_hdf5(path, tables):
    """Every dataset through h5py with its units; the same values as the CSV file."""
    seen = 0
    with h5py.File(path, "r") as f:
        # The file: what made it, and what both sources' sidecars share
        # (the time zone), not what tells them apart.
        if f.attrs["tool_name"] != "vraxctl" or f.attrs.get("start_timeZone") != "UTC" or \
                "sensor_name" in f.attrs or "file_name" in f.attrs:
            fail(f"file attributes: {dict(f.attrs)}")
        for source in f:
            group = f[source]
            for key in ("sensor_name", "sensor_model", "start_unixMs", "start_utcBoundMs"):
                if key not in group.attrs:
                    fail(f"/{source}: no attribute {key}")
            for kind in group:
                columns = [str(c) for c in group[kind].attrs["columns"]]
                df = tables[f"{source}_{kind}.csv"]
                if columns != list(df.columns):
                    fail(f"/{source}/{kind}: columns {columns}, the CSV file has {list(df.columns)}")
                for column in columns:
                    d = group[kind][column]
                    units = d.attrs["units"]
                    if not isinstance(units, str) or not units:
                        fail(f"/{source}/{kind}/{column}: units {units!r}")
                    values = d[:]
                    if column == "time_utc":
                        got = [v.decode() for v in values]
                        if got != list(df[column]):
                            fail(f"/{source}/{kind}/{column}: not the CSV file's texts")
                    elif not numpy.allclose(values, df[column].to_numpy(), rtol=1e-12, atol=1e-9):
                        fail(f"/{source}/{kind}/{column}: not the CSV file's values")
                    if df[column].dtype.kind == "i":
                        if values.dtype.kind != "i" or units != "count" and column != "time_ms":
                            fail(f"/{source}/{kind}/{column}: {values.dtype}, units {units}")
                        if column != "time_ms" and len(d.attrs["valid_range"]) != 2:
                            fail(f"/{source}/{kind}/{column}: no valid_range")
                    if d.compression != "gzip" or d.chunks is None:
                        fail(f"/{source}/{kind}/{column}: not chunked and compressed")
                    seen += 1
    return seen


def main():
    vraxctl = os.path.abspath(sys.argv[1])
    env = dict(os.environ, TZ="UTC", VRAXCTL_DEMO_FAULT=(
        f"fast,clock:VRAX610-001:{AHEAD_MS}:0,clock:VRAX650-LAB-0016:{AHEAD_MS + GAP_MS}:0"))
    with tempfile.TemporaryDirectory() as work:
        run(vraxctl, ["download", "--demo", "VRAX610-001", "1", "--out", "data"], env, work)
        run(vraxctl, ["download", "--demo", "VRAX650-LAB-0016", "1", "--out", "data"], env, work)
        data = os.path.join(work, "data")
        day = os.path.join(data, next(d for d in os.listdir(data) if d.startswith("memdata_")))
        inputs = sorted(os.path.join(day, n) for n in os.listdir(day) if n.endswith(".csv"))
        with open(os.path.join(work, "scale.json"), "w") as f:
            json.dump(SCALE, f)
        run(vraxctl, ["export"] + inputs + ["--tidy", "t", "--hdf5", "x.h5", "--utc",
                                            "--scale", "scale.json"], env, work)
        tables = check_csv_tables(os.path.join(work, "t"))
        datasets = check_hdf5(os.path.join(work, "x.h5"), tables)

        # The scale file's columns: the counts times the factor.
        ags610 = next(df for n, df in tables.items() if "VRAX610" in n and n.endswith("_ags.csv"))
        press650 = next(df for n, df in tables.items() if "VRAX650" in n and n.endswith("_press.csv"))
        if not numpy.allclose(ags610["acc_x_m_per_s2"], ags610["acc_x"] * 0.000123) or \
                not numpy.allclose(press650["pressure_hPa"], press650["pressure"] * 0.01):
            fail("the scaled columns are not the counts times the factor")
        if any("_per_" in c for c in tables[next(n for n in tables if "VRAX650" in n
                                                  and n.endswith("_ags.csv"))].columns):
            fail("VRAX650's acc has a scaled column: the scale file has none for it")

        # The two sensors' rows at the same time on their recordings' clocks
        # are the same instant on UTC, within the bounds the sidecars report.
        bounds = []
        starts = []
        for path in inputs:
            with open(path + ".json") as f:
                start = json.load(f)["start"]
            bounds.append(start["utcBoundMs"])
            starts.append(start)
        a, b = (next(df for n, df in tables.items() if sensor in n and n.endswith("_ags.csv"))
                for sensor in ("VRAX610", "VRAX650"))
        both = a.merge(b, on="time_ms", suffixes=("_a", "_b"))
        if len(both) < 100:
            fail(f"only {len(both)} rows of the two sensors share a time stamp")
        allowed_s = (sum(bounds) + 1.0) / 1000.0  # and the correction's rounding to whole ms
        unix_gap = (both["time_unix_a"] - both["time_unix_b"]).abs().max()
        utc_gap = (pandas.to_datetime(both["time_utc_a"]) -
                   pandas.to_datetime(both["time_utc_b"])).abs().max().total_seconds()
        if not unix_gap <= allowed_s or not utc_gap <= allowed_s:
            fail(f"time_utc differs by {utc_gap} s, time_unix by {unix_gap} s "
                 f"(bounds {bounds} ms)")
        # And each start is its clock's time less the offset given.
        for start, ahead in zip(starts, (AHEAD_MS, AHEAD_MS + GAP_MS)):
            given = datetime.datetime.fromisoformat(start["local"]).timestamp() * 1000
            if abs(given - ahead - start["unixMs"]) > start["utcBoundMs"] + 1:
                fail(f"start {start}: not {ahead} ms before its clock's time")
        print(f"{len(tables)} CSV files, {datasets} HDF5 datasets with units; "
              f"{len(both)} shared time stamps, time_utc within {utc_gap * 1000:.3f} ms "
              f"(bounds {bounds[0]:.3f} + {bounds[1]:.3f} ms)")


main()

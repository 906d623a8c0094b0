#!/usr/bin/env python3
"""Runs converted SBML semantic test cases with plenta and compares the
ensemble mean of each reported amount with the case's reference solution.

    semantic_mean.py SBML2PLENTA PLENTA CASES_DIR CASE [CASE ...] [--runs N]
                     [--largest-count N] [--timeout S]

The counts are turned back into the model's units by one factor per case,
the ratio of the first nonzero initial count to its reference amount (the
molecules per unit times the system size); a variable that is a rule of
the model file is in the model's units already.  Prints, per case and variable,
the largest deviation of the mean from the reference relative to the
variable's largest reference value.

--largest-count N  converts each case again with the system size that makes
                   its largest initial count N (sbml2plenta --system-size),
                   so that the ensemble mean follows the deterministic
                   reference closely; the conversion's own size otherwise.
--timeout S        gives up a case whose runs take longer than S seconds.
"""
import argparse
import csv
import os
import re
import subprocess
import sys
import tempfile


def settings(case_dir, case):
    out = {}
    with open(os.path.join(case_dir, case + "-settings.txt")) as f:
        for line in f:
            if ":" in line:
                k, v = line.split(":", 1)
                out[k.strip()] = v.strip()
    return out


def largest_count(model_file):
    """The largest initial count of a model file, and its system size."""
    with open(model_file) as f:
        lines = f.read().split("\n")
    n = int(lines[6].split("=")[1])
    counts = [int(line.split()[-1]) for line in lines[8:8 + n]]
    size = 1.0
    for line in lines:
        m = re.match(r"# system size: every compartment's size multiplied by (\S+)", line)
        if m:
            size = float(m.group(1))
    return max(counts), size


def rule_columns(model_file):
    """For each monitored column, whether it is a rule (written in the
    model's units) rather than a species count."""
    with open(model_file) as f:
        lines = f.read().split("\n")
    n = int(lines[6].split("=")[1])
    for i, line in enumerate(lines):
        if line.startswith("num_monit ="):
            m = int(line.split("=")[1])
            return [int(x) >= n for x in lines[i + 1:i + 1 + m]]
    return []


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tool")
    ap.add_argument("plenta")
    ap.add_argument("cases")
    ap.add_argument("case", nargs="+")
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--largest-count", type=float)
    ap.add_argument("--timeout", type=float)
    args = ap.parse_args()
    plenta = os.path.abspath(args.plenta)
    worst_all = 0.0
    for case in args.case:
        d = os.path.join(args.cases, case)
        s = settings(d, case)
        amounts = [v.strip() for v in s.get("amount", "").split(",") if v.strip()]
        duration = float(s["duration"])
        steps = int(s["steps"])
        xml = [f for f in os.listdir(d) if f.endswith(".xml")][0]
        with open(os.path.join(d, case + "-results.csv")) as f:
            rows = list(csv.DictReader(f))
        with tempfile.TemporaryDirectory() as out:
            command = [args.tool, os.path.join(d, xml), out, "--time-end", repr(duration),
                       "--interval", repr(duration / steps), "--runs", str(args.runs),
                       "--monitor", ",".join(amounts)]
            p = subprocess.run(command, capture_output=True, text=True)
            if p.returncode == 0 and args.largest_count:
                top, size = largest_count(os.path.join(out, "model.txt"))
                if top > 0:
                    p = subprocess.run(command + ["--system-size", repr(size * args.largest_count / top)],
                                       capture_output=True, text=True)
            if p.returncode != 0:
                print(f"{case}: not converted: {p.stderr.strip()}")
                continue
            try:
                r = subprocess.run([plenta], cwd=out, capture_output=True, text=True,
                                   timeout=args.timeout)
            except subprocess.TimeoutExpired:
                print(f"{case}: plenta did not finish within {args.timeout:g} s")
                continue
            if r.returncode != 0:
                print(f"{case}: plenta failed: {r.stderr.strip()}")
                continue
            rules = rule_columns(os.path.join(out, "model.txt"))
            sums = None
            for k in range(1, args.runs + 1):
                with open(os.path.join(out, f"traj_{k}")) as f:
                    table = [list(map(float, line.split())) for line in f if line[0].isdigit()]
                if sums is None:
                    sums = [[0.0] * len(row) for row in table]
                for i, row in enumerate(table):
                    for j, v in enumerate(row):
                        sums[i][j] += v
            mean = [[v / args.runs for v in row] for row in sums]
        # counts per unit: from the first variable with a nonzero start
        scale = None
        for j, name in enumerate(amounts):
            ref0 = float(rows[0][name])
            if ref0 > 0 and mean[0][1 + j] > 0 and not rules[j]:
                scale = mean[0][1 + j] / ref0
                break
        if scale is None:
            print(f"{case}: no nonzero initial amount to scale by")
            continue
        for j, name in enumerate(amounts):
            ref = [float(row[name]) for row in rows]
            top = max(abs(v) for v in ref) or 1.0
            worst = 0.0
            s = 1.0 if rules[j] else scale
            for i in range(min(len(ref), len(mean))):
                worst = max(worst, abs(mean[i][1 + j] / s - ref[i]) / top)
            worst_all = max(worst_all, worst)
            print(f"{case} {name:8s} molecules per unit {scale:.6g}  largest deviation "
                  f"{100 * worst:.3f} % of its largest value")
    print(f"largest deviation over all: {100 * worst_all:.3f} %")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Converts every case of the SBML semantic test suite with sbml2plenta and
prints how many converted and, for the others, how many were refused for
each reason (the reason read from the refusal message).

    semantic_cases.py SBML2PLENTA CASES_DIR [--run PLENTA] [--keep DIR]
                      [--compare DIR] [--timeout S]

--run PLENTA  also runs each converted model with plenta (the case's own
              duration, one run) and counts those that run to the end, fail,
              or do not finish within --timeout seconds (default 20).
--keep DIR    keeps each converted model file as DIR/NNNNN.model.txt.
--compare DIR compares each converted model file with DIR/NNNNN.model.txt
              (kept by an earlier --keep) and counts the cases whose file
              differs, listing those whose model declares no unit in moles;
              cases without a kept file are not compared.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

# Refusal reasons, by the first pattern that matches the message.
REASONS = [
    ("hierarchical model (comp)", r"\bcomp\b|submodel|hierarchical"),
    ("no compartment", r"has 0 compartments"),
    ("event: trigger reads the time otherwise", r"reads the time other than"),
    ("event: assigns a compartment", r"it assigns compartment"),
    ("event: assigns a constant", r"no event may change it"),
    ("event: time in an expression", r"\bevent\b.*depends on the time"),
    ("event: other", r"\bevent\b"),
    ("delay", r"delay"),
    ("time in a law or rule", r"depends on the time|'time'|time symbol"),
    ("rate of change (rateOf)", r"rate of change"),
    ("rate rule", r"rate rule"),
    ("algebraic rule", r"algebraic rule"),
    ("rule for a compartment's size", r"rule for compartment"),
    ("rule for a stoichiometry", r"only rules for species and parameters|stoichiometry is given by a rule"),
    ("assignment rule", r"assignment rule"),
    ("initial assignment", r"initial assignment"),
    ("fast reaction", r"fast"),
    ("constraint", r"constraint"),
    ("conversion factor", r"conversion factor"),
    ("several compartments", r"compartments; plenta"),
    ("compartment without size", r"has no size"),
    ("boundary/constant species changed", r"boundary condition|which is constant"),
    ("no reactions", r"no reactions"),
    ("only fixed species changed", r"no reaction changes a species"),
    ("no species", r"has no species"),
    ("reaction without kinetic law", r"no kinetic law"),
    ("reaction rate read as a symbol", r"reaction's rate"),
    ("function a formula lacks", r"which a formula cannot express"),
    ("stoichiometry", r"stoichiometr"),
    ("units", r"unit"),
    ("count beyond 32 bits", r"32-bit"),
    ("non-mass-action law", r"mass action|mass-action|divides|does not vanish|not exactly a multiple"
                            r"|takes \d+ molecules|is not defined|exponent|function"),
    ("no initial value", r"no initial"),
    ("SBML error", r"^line \d+"),
]


def reason_of(message):
    for name, pattern in REASONS:
        if re.search(pattern, message):
            return name
    return "other"


def duration(case_dir, case):
    with open(os.path.join(case_dir, case + "-settings.txt")) as f:
        for line in f:
            if line.startswith("duration:"):
                try:
                    return float(line.split(":")[1])
                except ValueError:
                    break
    return 10.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tool")
    ap.add_argument("cases")
    ap.add_argument("--run")
    ap.add_argument("--keep")
    ap.add_argument("--compare")
    ap.add_argument("--timeout", type=float, default=20.0)
    ap.add_argument("--list", action="store_true", help="print each case's outcome")
    args = ap.parse_args()
    if args.run:
        args.run = os.path.abspath(args.run)

    cases = sorted(d for d in os.listdir(args.cases) if d.isdigit())
    counts = {}
    converted = 0
    ran = {"ran to the end": 0, "failed": 0, "timed out": 0}
    failed_runs = []
    differ = []
    compared = 0
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    for case in cases:
        d = os.path.join(args.cases, case)
        xml = [f for f in os.listdir(d) if f.endswith(".xml")]
        if not xml:
            continue
        t_end = duration(d, case)
        with tempfile.TemporaryDirectory() as out:
            p = subprocess.run([args.tool, os.path.join(d, xml[0]), out, "--time-end", repr(t_end),
                                "--interval", repr(t_end / 10)],
                               capture_output=True, text=True)
            if p.returncode != 0:
                msg = p.stderr.strip().splitlines()[0] if p.stderr.strip() else "(no message)"
                msg = msg.split(": ", 2)[-1]
                reason = reason_of(msg)
                counts[reason] = counts.get(reason, 0) + 1
                if args.list:
                    print(case, "refused:", reason, "|", msg)
                continue
            converted += 1
            model = open(os.path.join(out, "model.txt"), "rb").read()
            if args.keep:
                with open(os.path.join(args.keep, case + ".model.txt"), "wb") as f:
                    f.write(model)
            if args.compare:
                kept = os.path.join(args.compare, case + ".model.txt")
                if os.path.exists(kept):
                    compared += 1
                    if open(kept, "rb").read() != model:
                        # amounts in moles were read as counts before
                        moles = 'kind="mole"' in open(os.path.join(d, xml[0])).read()
                        differ.append((case, moles))
            outcome = "converted"
            if args.run:
                try:
                    r = subprocess.run([args.run], cwd=out, capture_output=True, text=True,
                                       timeout=args.timeout)
                    if r.returncode == 0:
                        ran["ran to the end"] += 1
                        outcome = "ran"
                    else:
                        ran["failed"] += 1
                        failed_runs.append((case, (r.stderr.strip().splitlines() or [""])[-1]))
                        outcome = "run failed"
                except subprocess.TimeoutExpired:
                    ran["timed out"] += 1
                    outcome = "timed out"
            if args.list:
                print(case, outcome)

    total = len(cases)
    print(f"cases: {total}")
    print(f"converted: {converted} ({100.0 * converted / total:.1f} %)")
    print("refused, by reason:")
    for name, n in sorted(counts.items(), key=lambda kv: -kv[1]):
        print(f"  {name:40s} {n:5d} ({100.0 * n / total:.1f} %)")
    if args.run:
        print("converted models run by plenta:")
        for name, n in ran.items():
            print(f"  {name:40s} {n:5d}")
        for case, msg in failed_runs[:20]:
            print(f"    {case}: {msg}")
    if args.compare:
        in_moles = sum(1 for _, moles in differ if moles)
        print(f"compared with kept files: {compared}, differing: {len(differ)} "
              f"({in_moles} declare moles, which are now converted to molecules)")
        for case, moles in differ:
            if not moles:
                print("    differs:", case)
    return 0


if __name__ == "__main__":
    sys.exit(main())

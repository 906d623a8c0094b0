"""Shared helpers of the Python tests: model files, the console program's
outputs, and small networks."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import plenta

PLENTA_EXE = os.environ.get("PLENTA_EXE")

HEADER = "traj\nsummary.txt\nevlog\n\nnum_sets = {sets}\nnum_rxns = {rxns}\nnum_cmpds = {cmpds}\n\n"

# S1 -> Sink, 2 S1 -> S2, S2 -> 2 S1, S2 -> S3: the dimerisation-decay network.
DIMER_BODY = """S1 {s1}
S2 0
S3 0
Sink 0

Decay S1 -> Sink
rxntype = uni-uni
num_subs = 1
0
num_prods = 1
3
StoP = 1.0
id = 0

Dimerisation 2 S1 -> S2
rxntype = homo-ltor
num_subs = 2
0
0
num_prods = 1
1
StoP = 0.002
id = 1

Dissociation S2 -> 2 S1
rxntype = uni-multi
num_subs = 1
1
num_prods = 1
0 2
StoP = 0.5
id = 2

Conversion S2 -> S3
rxntype = uni-uni
num_subs = 1
1
num_prods = 1
2
StoP = 0.04
id = 3

"""


def dimer_model_text(algorithm=2, eventlog=0, time_end=5.0, interval=0.5, seed=12345,
                     repeats=2, s1=2000, extra_sets=""):
    sets = 1 + extra_sets.count("num_repeats")
    tau = "tau_error = 0.03\n" if algorithm == 3 else ""
    return (HEADER.format(sets=sets, rxns=4, cmpds=4) + DIMER_BODY.format(s1=s1) +
            f"time_start = 0.0\ntime_end = {time_end}\nvolume = 1.0\nalgorithm = {algorithm}\n"
            f"{tau}randseed = {seed}\n\nnum_monit = 3\n0\n1\n2\n"
            f"snapshot_interval = {interval}\neventlog_flag = {eventlog}\n"
            f"num_repeats = {repeats}\n\n" + extra_sets)


def dimer_model_python(algorithm=2, s1=2000, tau_error=None):
    return plenta.Model(
        species=[("S1", s1), ("S2", 0), ("S3", 0), ("Sink", 0)],
        reactions=[
            {"type": "uni-uni", "substrates": ["S1"], "products": ["Sink"], "rates": [1.0], "id": 0},
            {"type": "homo-ltor", "substrates": ["S1", "S1"], "products": ["S2"],
             "rates": [0.002], "id": 1},
            {"type": "uni-multi", "substrates": ["S2"], "products": [("S1", 2)], "rates": [0.5],
             "id": 2},
            {"type": "uni-uni", "substrates": ["S2"], "products": ["S3"], "rates": [0.04], "id": 3},
        ],
        volume=1.0, algorithm=algorithm, tau_error=tau_error, monit=["S1", "S2", "S3"])


def write_model(folder, text):
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "model.txt").write_text(text)
    (folder / "constants.txt").write_text(f"{folder}\nmodel.txt\n")
    return folder


def run_console(folder, *options):
    if not PLENTA_EXE:
        pytest.skip("PLENTA_EXE (the built console program) is not set")
    done = subprocess.run([PLENTA_EXE, *options], cwd=folder, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr


def read_trajectory(path):
    """(times as printed, counts, firings) of one trajectory file."""
    lines = pathlib.Path(path).read_text().split("\n")
    header = lines[0].split()
    n_mon, n_rxn = int(header[5]), int(header[7])
    times, counts, firings = [], [], []
    for line in lines[1:]:
        fields = line.split("\t")
        assert len(fields) == 1 + n_mon + n_rxn, line
        times.append(fields[0])
        counts.append([int(v) for v in fields[1:1 + n_mon]])
        firings.append([int(v) for v in fields[1 + n_mon:]])
    return times, np.array(counts, dtype=np.int64), np.array(firings, dtype=np.int64)


def read_summary_totals(path):
    totals = []
    for line in pathlib.Path(path).read_text().splitlines():
        words = line.split()
        if words[0] == "grp":
            totals.append([])
        elif words[0] != "set":
            totals[-1].append(int(words[1]))
    return np.array(totals, dtype=np.int64)


def read_event_log(folder, run):
    """Every event of a run over its event-log files, in order."""
    times, rxns = [], []
    k = 1
    while (pathlib.Path(folder) / f"evlog_{run}_{k}").exists():
        a = np.fromfile(pathlib.Path(folder) / f"evlog_{run}_{k}", "<f8")
        times.append(a[:len(a) // 2])
        rxns.append(a[len(a) // 2:])
        k += 1
    assert k > 1, f"no event-log file of run {run}"
    return np.concatenate(times), np.concatenate(rxns)


def assert_equals_console(result, folder, event_log):
    """result holds exactly the console program's outputs in folder."""
    runs = result.runs
    assert runs > 0
    for r in range(runs):
        times, counts, firings = read_trajectory(pathlib.Path(folder) / f"traj_{r + 1}")
        assert times == ["%g" % t for t in result.time]
        np.testing.assert_array_equal(result.counts[r], counts)
        np.testing.assert_array_equal(result.firings[r], firings)
        if event_log:
            t, x = read_event_log(folder, r + 1)
            np.testing.assert_array_equal(result.events[r][0], t)
            np.testing.assert_array_equal(result.events[r][1], x.astype(np.int64))
    np.testing.assert_array_equal(result.totals, read_summary_totals(pathlib.Path(folder) /
                                                                     "summary.txt"))

#!/usr/bin/env python3
"""Firings per second of plenta.Model.simulate against the console program
on the same model: the dimerisation-decay example scaled up (time_end 100,
RUNS runs of 100000 S1, some half a million firings per run), direct method
and tau-leaping, event log off.  Both sides draw exactly the same firings
(same seed, same stream), so the figures compare like with like.  CPU time
(user + system) is the steadier figure on a shared machine; wall time is
shown too.  The target: simulate reaches at least 90% of the console
program's firings per CPU second.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_throughput.py [build-dir]
    RUNS=20 ...    fewer runs
"""

import os
import pathlib
import re
import resource
import subprocess
import sys
import tempfile
import time

root = pathlib.Path(__file__).resolve().parent.parent
build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build").resolve()
sys.path.insert(0, str(build / "python"))
import plenta  # noqa: E402

RUNS = int(os.environ.get("RUNS", "40"))
REPEATS = 3  # best of three on each side


def scaled_model(algorithm):
    text = (root / "examples/dimerisation-decay/model.txt").read_text()
    text = re.sub(r"(?m)^tau_error = .*\n", "", text)
    tau = "\ntau_error = 0.03" if algorithm == 3 else ""
    text = re.sub(r"(?m)^algorithm = .*$", f"algorithm = {algorithm}{tau}", text)
    text = re.sub(r"(?m)^time_end = .*$", "time_end = 100.0", text)
    text = re.sub(r"(?m)^eventlog_flag = .*$", "eventlog_flag = 0", text)
    return re.sub(r"(?m)^num_repeats = .*$", f"num_repeats = {RUNS}", text, count=1)


def console_seconds(folder):
    exe = build / "console" / "plenta"
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    wall = time.perf_counter()
    subprocess.run([str(exe)], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - wall
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    firings = 0
    for line in (folder / "summary.txt").read_text().splitlines():
        words = line.split()
        if len(words) == 2 and words[0].isdigit():
            firings += int(words[1])
    return firings, cpu, wall


def python_seconds(folder):
    model = plenta.read_model(folder)
    cpu, wall = time.process_time(), time.perf_counter()
    result = model.simulate()
    cpu, wall = time.process_time() - cpu, time.perf_counter() - wall
    return int(result.totals.sum()), cpu, wall


def main():
    print(f"{'algorithm':<12} {'side':<8} {'firings':>11} {'cpu_s':>7} {'wall_s':>7} "
          f"{'firings/cpu_s':>14} {'firings/wall_s':>15}")
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        for algorithm, name in ((2, "direct"), (3, "tau-leaping")):
            (folder / "model.txt").write_text(scaled_model(algorithm))
            (folder / "constants.txt").write_text(f"{folder}\nmodel.txt\n")
            rates = {}
            for side, measure in (("console", console_seconds), ("python", python_seconds)):
                best = None
                for _ in range(REPEATS):
                    f, cpu, wall = measure(folder)
                    if best is None or cpu < best[1]:
                        best = (f, cpu, wall)
                f, cpu, wall = best
                rates[side] = (f, f / cpu)
                print(f"{name:<12} {side:<8} {f:>11d} {cpu:>7.2f} {wall:>7.2f} "
                      f"{f / cpu:>14.0f} {f / wall:>15.0f}")
            assert rates["console"][0] == rates["python"][0], "the two sides drew other firings"
            ratio = rates["python"][1] / rates["console"][1]
            ok = ok and ratio >= 0.9
            print(f"{name:<12} python / console = {ratio:.1%}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

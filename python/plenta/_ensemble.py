"""The arrays of a simulation and the ensemble statistics over its runs."""

import numpy as np


class Result:
    """The trajectories of one simulate call.

    time: snapshot times (points,), float64: every multiple of the interval
        from time_start up to (not including) time_end, then the final time.
    counts: runs x points x monitored species, int64: the count of each
        monitored species at each snapshot.
    firings: runs x points x reactions, int64: the firings of each reaction
        since the previous snapshot (the trajectory files' columns).
    totals: runs x reactions, int64: every reaction's firings over the run
        (the summary file); equal to firings summed over the points.
    sets: the parameter set (from 1) of each run.
    events: None, or per run a pair (times float64, reactions int64) of
        every firing in order; reactions are numbers, position + 1, and an
        execution of event k (from 1, in the model's order) is the number -k
        (no reaction entry is negative).
    species: names of the monitored species (the last axis of counts).
    rules: runs x points x monitored rules, float64: the value of each
        monitored assignment rule at each snapshot; rule_names names them.
    seed: the seed the stream started from.
    """

    def __init__(self, raw, species, seed, rule_names=()):
        self.time = raw["time"]
        self.counts = raw["counts"]
        self.rules = raw.get("rules")
        self.rule_names = list(rule_names)
        self.firings = raw["firings"]
        self.totals = raw["totals"]
        self.sets = raw["sets"]
        self.events = raw["events"]
        self.species = list(species)
        self.seed = seed

    @property
    def runs(self):
        return self.counts.shape[0]

    def mean(self):
        """Mean count over the runs: points x monitored species, float64."""
        return mean(self)

    def std(self, ddof=0):
        """Standard deviation of the counts over the runs (NumPy's ddof)."""
        return std(self, ddof)

    def __repr__(self):
        return (f"plenta.Result({self.runs} runs, {len(self.time)} points, "
                f"species {self.species})")


def _runs(result):
    if result.counts.shape[0] == 0:
        raise ValueError("the result holds no runs")
    return result.counts.astype(np.float64)


def mean(result):
    """Mean over the runs of result.counts: points x monitored species."""
    return _runs(result).mean(axis=0)


def std(result, ddof=0):
    """Standard deviation over the runs of result.counts (ddof as in NumPy:
    0 for the ensemble's own spread, 1 for the sample estimate)."""
    return _runs(result).std(axis=0, ddof=ddof)

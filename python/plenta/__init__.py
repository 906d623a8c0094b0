"""plenta: stochastic simulation of well-mixed chemical reaction networks.

A network is a set of species with molecule counts and a set of reactions of
ten named types with rate constants, in a reaction volume.  Trajectories are
drawn by the direct method (algorithm 2), tau-leaping with critical reactions
(algorithm 3) or first-reaction selection (any other code), exactly as the
console program ``plenta`` draws them: the same seed gives the same numbers.

    import plenta
    model = plenta.read_model("examples/dimerisation-decay")   # or plenta.Model(...)
    result = model.simulate(runs=20, time_end=10.0, interval=0.5, seed=12345)
    result.counts            # runs x points x monitored species (int64)
    result.mean(), result.std()
    plenta.plot(result, filename="dd.png")

``plenta.random`` gives the random number library's streams.
"""

import numbers as _numbers
import sys as _sys

from . import _plenta
from ._version import __version__
from ._model import ALGORITHMS, REACTION_TYPES, build_core_model as _build_core_model
from ._ensemble import Result, mean, std
from ._plot import plot

random = _plenta.random
_sys.modules[__name__ + ".random"] = random

__all__ = ["Model", "read_model", "read_net", "Result", "RunFaultError", "mean", "std", "plot", "random",
           "REACTION_TYPES", "ALGORITHMS"]


class RunFaultError(ValueError):
    """A run met a fault of the model while it advanced (a propensity that is
    not a finite number >= 0, a count that would go below 0 or leave 32
    bits, an event setting a species to a value that is not a count or a
    parameter to one that is not finite, events triggering one another
    without end); the message names the run, the reaction or the event, the
    time and the value.
    ``result`` holds the runs that finished before it, as a Result."""

    def __init__(self, message, result):
        super().__init__(message)
        self.result = result


def _whole(value, name, low=None):
    """An integer argument: Python and NumPy integers, not bool, float or str."""
    if isinstance(value, bool) or not isinstance(value, _numbers.Integral):
        raise TypeError(f"{name} must be an integer, not {value!r}")
    value = int(value)
    if low is not None and value < low:
        raise ValueError(f"{name} = {value} is below {low}")
    if value > 2**31 - 1:
        raise ValueError(f"{name} = {value} is beyond 2147483647")
    return value


def _real(value, name):
    """A real argument: a Python or NumPy number, not bool or str."""
    if isinstance(value, bool) or not isinstance(value, _numbers.Real):
        raise TypeError(f"{name} must be a number, not {value!r}")
    return float(value)


class Model:
    """A validated reaction network.

    Model(species, reactions, volume=1.0, algorithm=2, tau_error=None, monit=None,
          parameters=None, rules=None, events=None)

    species: a dict name -> initial count, or a sequence of (name, count)
        pairs; positions count from 0 in this order.
    reactions: a sequence of dicts, one per reaction, e.g.
        {"type": "binding", "substrates": ["A", "B"], "products": ["AB"],
         "rates": [0.1], "id": 3}
        "type" is one of REACTION_TYPES.  Species are given by name or
        position.  An entry of "substrates" is a species, or (species,
        coefficient) for types "transv1", "genmm", "n-order" and "undef", or
        (species, coefficient, exponent) for "n-order"; an entry of
        "products" is a species, or (species, coefficient) for "uni-multi"
        and types 6 to 9 (a bare species means coefficient 1, exponent 1.0).
        "rates" lists the rate constants k0, k1, ... ("genmm": one per
        substrate; "n-order": two); for "undef" they may be (name, value)
        pairs, and "formula" gives the formula text (stored, not evaluated:
        the built-in formula of the reaction's "id" is used).  "id" defaults
        to the reaction's position.  "homo-ltor" names its species twice,
        as a model file does.
    volume: the reaction volume by which bimolecular and higher-order rate
        constants are divided.
    algorithm: 2 or "direct", 3 or "tau-leaping", any other code (or
        "first-reaction") for first-reaction selection.
    tau_error: the error bound of the tau selection; required for tau-leaping.
    monit: the monitored species (names or positions, in output order);
        default every species.
    parameters: named parameters of "formula" reactions, a dict name -> value
        (or (name, value) pairs).
    rules: assignment rules, a dict name -> expression, usable by name in
        the formulas and monitored by giving the name in monit: their values
        at each snapshot are Result.rules.
    events: changes of the state during a run, a list of dicts with the
        texts of a model file's events section:
            {"name": "pulse", "trigger": "at 50", "assign": {"I": "I + 1000"}}
        "trigger" is "at T", "at T every P" or "when <condition>" (a formula
        expression, true when non-zero; fires when it turns true); "assign"
        maps each target (a species or a named parameter) to an expression
        (also a list of "target = expression" strings); optional "priority"
        and "delay" (expressions), "values" ("fire", the default, or
        "trigger": the values computed at trigger time), "initial" (a
        "when" condition's value just before the start, default True),
        "persistent" (default True; False cancels a delayed execution when
        the condition turns false first) and "name".  Expressions read
        species by name, the parameters, the rules and `volume`.  Every
        execution is an entry -k (event k, from 1) in Result.events.  A bad
        event raises ValueError naming the event and the field.

    A reaction of type "formula" gives its propensity as text in "rate",
    e.g. {"type": "formula", "substrates": [("S", 1)], "products": [("P", 1)],
    "rate": "Vmax*S/(Km + S)"}, with parameters={"Vmax": 10, "Km": 50}; the
    formula reads species by name, the parameters, the rules and `volume`
    (the model file's formula reactions explain the language).  Substrates
    and products (with coefficients) say what a firing changes.

    The model is checked by the same validation as a model file (substrates,
    products and rate constants each type reads, positions in range, name
    lengths, coefficients that overflow a count); a fault raises ValueError
    with the message naming the reaction or species.
    """

    def __init__(self, species, reactions, volume=1.0, algorithm=2, tau_error=None,
                 monit=None, parameters=None, rules=None, events=None):
        self._core = _build_core_model(species, reactions, volume, algorithm, tau_error,
                                       monit, parameters, rules, events)

    @classmethod
    def _from_core(cls, core):
        model = cls.__new__(cls)
        model._core = core
        return model

    # ---- What the model holds ----

    @property
    def species(self):
        """Species names, in position order."""
        return self._core.species

    @property
    def initial_counts(self):
        """Initial count of every species (parameter set 1), int32 array."""
        return self._core.initial_counts

    @property
    def monitored(self):
        """Names of the monitored species, in output order."""
        names = self._core.species
        return [names[k] for k in self._core.monit if k < len(names)]

    @property
    def monitored_rules(self):
        """Names of the monitored assignment rules, in output order."""
        n = len(self._core.species)
        rules = self._core.rule_names
        return [rules[k - n] for k in self._core.monit if k >= n]

    @property
    def reaction_types(self):
        return self._core.reaction_types

    @property
    def stoichiometry(self):
        """Net change of every species per firing: reactions x species int32 array."""
        return self._core.stoichiometry

    @property
    def num_sets(self):
        """Number of parameter sets (1 for a model built in Python)."""
        return len(self._core.num_repeats)

    def __getattr__(self, name):
        # volume, algorithm, tau_error, time_start, time_end, snapshot_interval,
        # randseed, eventlog_flag, num_repeats, reaction_ids, from_file
        if name.startswith("_"):
            raise AttributeError(name)
        return getattr(self._core, name)

    def __repr__(self):
        return (f"plenta.Model({len(self.species)} species, {len(self.reaction_types)} "
                f"reactions, algorithm {self._core.algorithm})")

    # ---- Simulation ----

    def simulate(self, runs=None, time_end=None, interval=None, seed=None, set=1,
                 event_log=None, progress=None, time_start=None, method="direct"):
        """Draws `runs` trajectories and returns a Result.

        runs, time_end, interval (the snapshot interval), seed (the randseed,
        1 .. 2147483398) and time_start default, for a model from read_model,
        to the model file's num_repeats of the set, time_end,
        snapshot_interval, randseed and time_start; a model built in Python
        needs runs, time_end, interval and seed (time_start defaults to 0).

        The generator is seeded once with setall(seed, seed) and the runs
        follow in order, each exactly as the console program draws it, so the
        result equals the console program's trajectory, summary and
        event-log files of the same model and randseed.  set=k applies
        parameter set k (from 1) to the model as read; set=None runs every
        set in order with its own num_repeats, as the console program does
        (runs must then be None).

        event_log: True keeps every firing (time and reaction number,
        position + 1) and every event execution (-k for event k) of every
        run in Result.events.  The default (None)
        follows the model file's eventlog_flag (off for a model built in
        Python).  Under tau-leaping the event log changes where leaps end, so
        give the same setting as the file to reproduce the console's numbers.

        progress: a callable progress(done, total), called after every run
        (with the GIL).  An exception it raises ends the simulation and is
        raised from simulate.  It may draw from plenta.random: the
        simulation's stream is restored after it, so the result is the same.
        The simulation runs without the GIL, so other Python threads go on;
        Ctrl-C (KeyboardInterrupt) ends it too, looked for after every run
        and about every 0.1 s of a long run, inside one snapshot interval
        too (a tau-leaping run looks at its snapshots and event-log drains).

        runs, set and seed are integers (TypeError for 2.0, 1.9 or "12"),
        the times numbers.  Counts below 0, rate constants that are not
        finite numbers >= 0, a volume or tau_error that is not a finite
        number > 0, a seed outside 1..2147483398 and a first propensity that
        is negative or not a number raise ValueError before any run.  A
        fault met during a run raises RunFaultError (a ValueError) with the
        finished runs in its ``result``.

        method: "direct" runs the model's algorithm as defined; "cr" runs the
        exact runs by composition-rejection, as the console program's
        --method cr does (another use of the random numbers, the same
        process; not with tau-leaping); "rssa" by the rejection-based method
        (--method rssa), for large networks generated from rules.
        """
        core = self._core
        from_file = core.from_file
        if runs is not None:
            runs = _whole(runs, "runs", 0)
        if set is not None:
            set = _whole(set, "set")
        if set is None:
            if runs is not None:
                raise ValueError("with set=None every set runs its own num_repeats; "
                                 "give runs only with a set")
            plan = [(k + 1, max(n, 0)) for k, n in enumerate(core.num_repeats)]
        else:
            if runs is None:
                if not from_file or not 1 <= set <= len(core.num_repeats):
                    raise ValueError("give runs (the number of trajectories)")
                runs = max(core.num_repeats[set - 1], 0)
            plan = [(set, runs)]

        def default(value, name, file_value):
            if value is not None:
                return value
            if from_file:
                return file_value
            raise ValueError(f"give {name}")

        time_end = default(time_end, "time_end", core.time_end)
        interval = default(interval, "interval", core.snapshot_interval)
        seed = default(seed, "seed", core.randseed)
        if time_start is None:
            time_start = core.time_start if from_file else 0.0
        if event_log is None:
            event_log = from_file and core.eventlog_flag == 1
        if progress is not None and not callable(progress):
            raise ValueError("progress must be callable")
        seed = _whole(seed, "seed")
        raw = _plenta._simulate(core, plan, _real(time_start, "time_start"),
                                _real(time_end, "time_end"), _real(interval, "interval"),
                                seed, bool(event_log), str(method), progress)
        result = Result(raw, species=self.monitored, seed=seed,
                        rule_names=self.monitored_rules)
        if raw["fault"] is not None:
            raise RunFaultError(raw["fault"], result)
        return result


def read_model(folder="."):
    """Reads folder/constants.txt and the model file it names, exactly as the
    console program reads them in its working directory (a relative data
    directory is taken relative to folder), with the same checks.  A fault
    raises ValueError with the console program's message.  The model's
    parameters (time_end, snapshot_interval, randseed, num_repeats,
    eventlog_flag, parameter sets) become simulate's defaults."""
    return Model._from_core(_plenta._read_model(str(folder)))


def read_net(path):
    """Reads a BioNetGen .net network (parameters with expressions, species
    with initial counts, reactions with rate expressions, groups) into a
    Model of "mass-action" reactions with the .net propensities,
    c * prod x (x - 1) ... over the reactant list, at volume 1.  The model
    monitors the species its groups read (every species without groups);
    model.observables maps each group name to its (monitored column,
    weight) terms, so that a group's value is the weighted sum of those
    columns of result.counts.  A line it cannot express raises ValueError
    naming the file and line."""
    from ._net import read_net as _read_net
    species, reactions, monit, observables = _read_net(str(path))
    model = Model(species, reactions, volume=1.0, monit=monit)
    model.observables = observables
    return model

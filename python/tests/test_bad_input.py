"""Input that used to hang, wrap or run another model: arguments of the wrong
type, values no run can start from, deviates with arguments outside their
domain, Ctrl-C inside one long snapshot interval, and draws of a progress
callback."""

import math
import signal
import threading
import time

import numpy as np
import pytest

import plenta
import plenta.random as pr
from conftest import dimer_model_python, dimer_model_text, write_model

ARGS = dict(runs=2, time_end=2.0, interval=0.5, seed=5)


def one_reaction(rate=1.0, count=10, volume=1.0, algorithm=2, tau_error=None):
    return plenta.Model(species={"A": count, "B": 0},
                        reactions=[{"type": "uni-uni", "substrates": ["A"], "products": ["B"],
                                    "rates": [rate]}],
                        volume=volume, algorithm=algorithm, tau_error=tau_error)


# ---- Arguments ----

@pytest.mark.parametrize("kwargs,fragment", [
    (dict(runs=2.0), "runs must be an integer, not 2.0"),
    (dict(runs=True), "runs must be an integer"),
    (dict(seed=1.9), "seed must be an integer, not 1.9"),
    (dict(seed="12"), "seed must be an integer, not '12'"),
    (dict(time_end="3"), "time_end must be a number"),
    (dict(interval=None, time_end=1.0), "give interval"),
])
def test_arguments_of_the_wrong_type_are_refused(kwargs, fragment):
    args = dict(ARGS)
    args.update(kwargs)
    with pytest.raises((TypeError, ValueError), match=fragment):
        dimer_model_python().simulate(**args)


def test_numpy_integers_are_integers_and_seeds_beyond_32_bits_are_refused():
    a = dimer_model_python().simulate(**ARGS)
    b = dimer_model_python().simulate(**dict(ARGS, runs=np.int64(2), seed=np.int32(5)))
    np.testing.assert_array_equal(a.counts, b.counts)
    for seed in (2**32 + 5, 99999999999):
        with pytest.raises(ValueError, match="beyond 2147483647"):
            dimer_model_python().simulate(**dict(ARGS, seed=seed))


# ---- Values no run can start from ----

@pytest.mark.parametrize("make,fragment", [
    (lambda: one_reaction(count=-1), r"species 0 \(A\): count -1 is below 0"),
    (lambda: one_reaction(rate=-1.0), "reaction 1: rate constant 0 is -1, not a finite number >= 0"),
    (lambda: one_reaction(rate=math.nan), "rate constant 0 is nan"),
    (lambda: one_reaction(rate=math.inf), "rate constant 0 is inf"),
    (lambda: one_reaction(volume=0.0), "volume = 0 is not a finite number > 0"),
    (lambda: one_reaction(volume=math.nan), "volume = nan"),
    (lambda: one_reaction(algorithm=3, tau_error=math.nan), "tau_error = nan"),
    (lambda: one_reaction(algorithm=3, tau_error=0.0), "tau_error = 0 is not"),
])
def test_values_no_run_can_start_from_raise_before_any_run(make, fragment):
    calls = []
    with pytest.raises(ValueError, match=fragment):
        make().simulate(**ARGS, progress=lambda done, total: calls.append(done))
    assert calls == []


def test_time_start_must_be_finite():
    with pytest.raises(ValueError, match="time_start = nan is not a finite time"):
        dimer_model_python().simulate(**ARGS, time_start=math.nan)


def test_a_negative_first_propensity_is_refused():
    # "undef" constants may be negative; the built-in formula of id 1 is
    # first order in species 2 with constant k0, here negative.
    model = plenta.Model(
        species={"A": 5, "B": 5, "C": 5},
        reactions=[{"type": "undef", "substrates": [("A", 1), ("B", 1)], "products": [("C", 1)],
                    "rates": [("k", -2.0)], "id": 1, "formula": "k*C"}])
    with pytest.raises(ValueError, match=r"reaction 1 at time 0: propensity -10 is not"):
        model.simulate(**ARGS)


def test_model_file_with_a_negative_count_or_rate_in_a_set_is_refused(tmp_path):
    text = dimer_model_text(s1=-5)
    with pytest.raises(ValueError, match="count -5 is below 0"):
        m = plenta.read_model(write_model(tmp_path / "a", text))
        m.simulate()
    sets = "num_repeats = 1\nnum_species = 0\nnum_rates = 1\n0 0 -3.0\n\n"
    # The model-file reader checks every set's changes as it reads the file,
    # so such a file is refused whole, before any run.
    with pytest.raises(ValueError, match="parameter set 2: .* to -3, not a finite number >= 0"):
        plenta.read_model(write_model(tmp_path / "b", dimer_model_text(extra_sets=sets)))


# ---- Deviates ----

@pytest.mark.parametrize("call", [
    lambda: pr.genmul(10, [math.nan], 2),
    lambda: pr.genmul(10, [math.inf, 0.1], 3),
    lambda: pr.genmul(10, [-0.5], 2),
    lambda: pr.ignpoi(math.nan),
    lambda: pr.ignpoi(math.inf),
    lambda: pr.ignpoi(3e9),
    lambda: pr.my_poisson(math.nan),
    lambda: pr.ignbin(5, math.nan),
    lambda: pr.ignnbn(5, math.nan),
    lambda: pr.ignnbn(5, 1e-20),
    lambda: pr.genbet(math.nan, 1.0),
    lambda: pr.genchi(math.inf),
    lambda: pr.genexp(math.nan),
    lambda: pr.genf(math.nan, 1.0),
    lambda: pr.gengam(math.nan, 1.0),
    lambda: pr.gennor(0.0, math.nan),
    lambda: pr.gennor(0.0, -1.0),
    lambda: pr.gennch(math.nan, 1.0),
    lambda: pr.gennf(1.0, 1.0, math.inf),
    lambda: pr.genunf(0.0, math.inf),
    lambda: pr.setgmn([math.nan], np.array([[1.0]])),
])
def test_deviates_refuse_arguments_outside_their_domain(call):
    pr.setall(3, 3)
    with pytest.raises(ValueError):
        call()
    assert 0.0 < pr.ranf() <= 1.0  # the interpreter and the library go on


# ---- Ctrl-C and progress callbacks ----

@pytest.mark.parametrize("method", ["direct", "cr"])
def test_sigint_inside_one_long_snapshot_interval(method):
    # Some 2 * 10^4 firings per unit time in one interval of 10^5 units.
    model = plenta.Model(
        species={"G": 1, "X": 0, "Sink": 0},
        reactions=[{"type": "uni-multi", "substrates": ["G"], "products": [("G", 1), ("X", 1)],
                    "rates": [1.0e4]},
                   {"type": "uni-uni", "substrates": ["X"], "products": ["Sink"], "rates": [1.0]}])
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    raised = []
    timer = threading.Timer(0.3, lambda: (raised.append(time.perf_counter()),
                                          signal.raise_signal(signal.SIGINT)))
    try:
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            model.simulate(runs=1, time_end=1.0e5, interval=1.0e5, seed=3, method=method)
        assert raised and time.perf_counter() - raised[0] < 1.0
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)


@pytest.mark.parametrize("algorithm,tau_error", [(2, None), (1, None), (3, 0.03)])
def test_draws_of_a_progress_callback_leave_the_result_unchanged(algorithm, tau_error):
    model = dimer_model_python(algorithm=algorithm, tau_error=tau_error)
    args = dict(runs=4, time_end=3.0, interval=0.5, seed=77)
    reference = model.simulate(**args)

    def draw(done, total):
        pr.ranf_array(10)
        pr.ignpoi(3.7 + done)  # another mean: the Poisson set-up changes
        pr.set_generator(5)

    result = model.simulate(**args, progress=draw)
    np.testing.assert_array_equal(result.counts, reference.counts)
    np.testing.assert_array_equal(result.totals, reference.totals)
    pr.set_generator(1)


def test_a_fault_of_a_run_raises_with_the_finished_runs(monkeypatch):
    # The engine records a fault in the run's parameters; the module hands
    # back the runs finished before it with the fault's sentence.  Here the
    # compiled call's result is given a fault after two finished runs.
    compiled = plenta._plenta._simulate
    message = "run 3: reaction 2 at time 0.5: species 0 would go to -1, below 0."

    def with_fault(*args):
        raw = compiled(*args)
        raw["fault"] = message
        return raw

    reference = dimer_model_python().simulate(**ARGS)
    monkeypatch.setattr(plenta._plenta, "_simulate", with_fault)
    with pytest.raises(plenta.RunFaultError) as err:
        dimer_model_python().simulate(**ARGS)
    assert isinstance(err.value, ValueError) and str(err.value) == message
    np.testing.assert_array_equal(err.value.result.counts, reference.counts)
    assert err.value.result.runs == 2

"""Reproducibility, ensemble statistics, the GIL, interrupts, memory, the
random library's streams and plots."""

import math
import os
import signal
import threading
import time

import numpy as np
import pytest

import plenta
import plenta.random as pr
from conftest import dimer_model_python


def birth_death(k_birth=10.0, k_death=0.5, algorithm=2):
    # G -> G + X at rate k_birth (one gene), X -> Sink at rate k_death per molecule.
    return plenta.Model(
        species={"G": 1, "X": 0, "Sink": 0},
        reactions=[
            {"type": "uni-multi", "substrates": ["G"], "products": [("G", 1), ("X", 1)],
             "rates": [k_birth]},
            {"type": "uni-uni", "substrates": ["X"], "products": ["Sink"], "rates": [k_death]},
        ],
        algorithm=algorithm, monit=["X"])


# ---- Reproducibility ----

def test_same_seed_same_arrays_other_seed_other_arrays():
    model = dimer_model_python()
    a = model.simulate(runs=3, time_end=3.0, interval=0.5, seed=42, event_log=True)
    pr.setall(7, 7)
    pr.ranf()  # draws in between do not matter: every call seeds afresh
    b = model.simulate(runs=3, time_end=3.0, interval=0.5, seed=42, event_log=True)
    c = model.simulate(runs=3, time_end=3.0, interval=0.5, seed=43)
    for name in ("time", "counts", "firings", "totals"):
        np.testing.assert_array_equal(getattr(a, name), getattr(b, name))
    for (ta, ra), (tb, rb) in zip(a.events, b.events):
        np.testing.assert_array_equal(ta, tb)
        np.testing.assert_array_equal(ra, rb)
    assert not np.array_equal(a.counts, c.counts)
    # The runs of one call differ: one stream goes on from run to run.
    assert not np.array_equal(a.counts[0], a.counts[1])
    assert a.counts.dtype == np.int64 and a.firings.dtype == np.int64
    assert a.counts.shape == (3, 7, 3) and a.firings.shape == (3, 7, 4)
    np.testing.assert_array_equal(a.time, np.arange(7) * 0.5)
    # The event log holds every firing, numbered from 1.
    for r in range(3):
        assert len(a.events[r][0]) == a.totals[r].sum()
        np.testing.assert_array_equal(np.bincount(a.events[r][1], minlength=5)[1:], a.totals[r])


def test_time_start_not_below_time_end_gives_the_final_snapshot_only():
    r = dimer_model_python().simulate(runs=2, time_end=1.0, interval=0.5, seed=3, time_start=1.0)
    np.testing.assert_array_equal(r.time, [1.0])
    assert r.totals.sum() == 0
    np.testing.assert_array_equal(r.counts[:, 0, 0], [2000, 2000])


# ---- Ensemble statistics ----

@pytest.mark.parametrize("algorithm", [2, 1])
def test_birth_death_mean_and_variance_within_sampling_error(algorithm):
    k1, k2, runs = 10.0, 0.5, 400
    result = birth_death(k1, k2, algorithm).simulate(runs=runs, time_end=8.0, interval=1.0,
                                                     seed=2024)
    mean, sd = result.mean()[:, 0], result.std(ddof=1)[:, 0]
    assert result.mean().shape == (9, 1)
    for k, t in enumerate(result.time):
        lam = k1 / k2 * (1.0 - math.exp(-k2 * t))  # Poisson: variance = mean
        if lam == 0.0:
            assert mean[k] == 0.0 and sd[k] == 0.0
            continue
        assert abs(mean[k] - lam) < 4.0 * math.sqrt(lam / runs), (t, mean[k], lam)
        # Sampling sd of the variance estimate: sqrt((mu4 - sigma^4) / n)
        # with the Poisson mu4 = lam (1 + 3 lam).
        assert abs(sd[k] ** 2 - lam) < 4.0 * math.sqrt((lam + 2.0 * lam * lam) / runs)


def test_module_level_mean_and_std_match_numpy():
    r = birth_death().simulate(runs=5, time_end=2.0, interval=1.0, seed=8)
    np.testing.assert_array_equal(plenta.mean(r), r.counts.mean(axis=0))
    np.testing.assert_array_equal(plenta.std(r), r.counts.std(axis=0))


# ---- GIL, progress, interrupts ----

def long_model():
    # About 2 * 10^4 firings per unit time once at steady state.
    return birth_death(k_birth=1.0e4, k_death=1.0)


def test_simulation_releases_the_gil_and_holds_the_stream():
    model = dimer_model_python(s1=100000)
    args = dict(runs=4, time_end=20.0, interval=1.0, seed=5)
    reference = model.simulate(**args)
    stop = threading.Event()
    ticks = [0]
    draws = []

    def count():
        while not stop.is_set():
            ticks[0] += 1

    def draw():  # waits for the simulation: it must not disturb its stream
        draws.append(pr.ranf())

    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.05)
    before = ticks[0]
    drawer = threading.Thread(target=draw)
    started = time.perf_counter()
    drawer.start()
    result = model.simulate(**args)
    elapsed = time.perf_counter() - started
    during = ticks[0] - before
    stop.set()
    counter.join()
    drawer.join()
    np.testing.assert_array_equal(result.counts, reference.counts)
    assert len(draws) == 1
    assert elapsed > 0.05
    assert during > 10000, f"the other thread ran {during} times in {elapsed:.2f} s"


def test_progress_once_per_run_and_its_exception_ends_the_call():
    calls = []
    birth_death().simulate(runs=3, time_end=1.0, interval=1.0, seed=1,
                           progress=lambda done, total: calls.append((done, total)))
    assert calls == [(1, 3), (2, 3), (3, 3)]

    def interrupt(done, total):
        calls.append(done)
        if done == 2:
            raise KeyboardInterrupt

    calls.clear()
    with pytest.raises(KeyboardInterrupt):
        birth_death().simulate(runs=50, time_end=1.0, interval=1.0, seed=1, progress=interrupt)
    assert calls == [1, 2]


def test_sigint_interrupts_a_long_run():
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Timer(0.3, signal.raise_signal, args=(signal.SIGINT,))
    try:
        timer.start()
        started = time.perf_counter()
        with pytest.raises(KeyboardInterrupt):
            # Some 10^8 firings in one run: far longer than the test waits.
            long_model().simulate(runs=1, time_end=5000.0, interval=1.0, seed=3)
        assert time.perf_counter() - started < 3.0
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)
    # The model is intact and a new call starts its stream afresh.
    a = birth_death().simulate(runs=2, time_end=2.0, interval=1.0, seed=9)
    b = birth_death().simulate(runs=2, time_end=2.0, interval=1.0, seed=9)
    np.testing.assert_array_equal(a.counts, b.counts)


def test_no_memory_kept_over_many_calls(tmp_path):
    page = os.sysconf("SC_PAGE_SIZE")

    def resident():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * page

    model = dimer_model_python(s1=500)

    def calls(n):
        for _ in range(n):
            r = model.simulate(runs=3, time_end=2.0, interval=0.25, seed=11, event_log=True)
            assert r.totals.sum() > 0
            with pytest.raises(ValueError):
                model.simulate(runs=1, time_end=1.0, interval=0.0, seed=1)
            with pytest.raises(ValueError):
                plenta.read_model(tmp_path)
            with pytest.raises(ValueError):
                pr.genbet(-1.0, 1.0)
            pr.ranf_array(1000)

    calls(30)
    before = resident()
    calls(300)
    grown = resident() - before
    assert grown < 4 * 1024 * 1024, f"resident memory grew by {grown} bytes"


# ---- The random library ----

M1, M2 = 2147483563, 2147483399


def combined_stream(seed1, seed2, n):
    """Generator 1 of the combined generator, in exact integer arithmetic."""
    s1, s2, out = seed1, seed2, []
    for _ in range(n):
        s1 = 40014 * s1 % M1
        s2 = 40692 * s2 % M2
        z = s1 - s2
        if z < 1:
            z += M1 - 1
        out.append(z)
    return out


def test_stream_against_exact_arithmetic():
    expected = combined_stream(12345, 67890, 1000)
    pr.setall(12345, 67890)
    assert [pr.ignlgi() for _ in range(1000)] == expected
    pr.setall(12345, 67890)
    np.testing.assert_array_equal(
        pr.ranf_array(1000), (np.array(expected, dtype=np.float64) * 4.656613057e-10).astype(np.float32))
    pr.setall(12345, 67890)
    assert pr.ranf() == np.float32(expected[0] * 4.656613057e-10)
    pr.setall(12345, 67890)
    for _ in range(10):
        pr.ignlgi()
    s1, s2 = pr.getsd()
    assert combined_stream(s1, s2, 1) == [expected[10]]
    assert pr.get_generator() == 1


def test_simulation_seeds_with_setall_seed_seed():
    # Under first-reaction selection a reaction that cannot fire draws no
    # tentative time, so this simulation leaves the stream at its seed.
    still = plenta.Model(species={"A": 0, "B": 0},
                         reactions=[{"type": "uni-uni", "substrates": ["A"], "products": ["B"],
                                     "rates": [1.0]}], algorithm="first-reaction")
    still.simulate(runs=1, time_end=1.0, interval=1.0, seed=31337)
    assert pr.ignlgi() == combined_stream(31337, 31337, 1)[0]


def test_library_stops_become_python_errors(capfd):
    with pytest.raises(pr.RandomLibraryError, match="exit status 1"):
        pr.setall(0, 0)
    assert " a, m, s out of order in mltmod - ABORT!" in capfd.readouterr().err
    with pytest.raises(ValueError, match="exit status 0"):
        pr.genmul(10, [1.0], 2)
    assert "Sum of P(i) > 1 in GENMUL" in capfd.readouterr().err
    with pytest.raises(ValueError, match="exit status 1"):
        pr.ignuin(1, 0)
    for bad in (lambda: pr.ignbin(-1, 0.5), lambda: pr.ignbin(5, 1.5),
                lambda: pr.sgamma(0.0), lambda: pr.gengam(1.0, -2.0),
                lambda: pr.genmul(5, [], 3), lambda: pr.genmn(np.zeros(3, np.float32))):
        with pytest.raises(ValueError):
            bad()
    pr.setall(5, 5)  # the interpreter and the library go on
    assert 0.0 < pr.ranf() <= 1.0


def test_deviates_take_their_arguments():
    pr.setall(99, 99)
    assert pr.ignuin(5, 5) == 5
    assert sorted(pr.genprm(list(range(10)))) == list(range(10))
    counts = pr.genmul(10, [0.5], 2)
    assert sum(counts) == 10 and len(counts) == 2
    assert 0 <= pr.ignbin(20, 0.7) <= 20
    assert 0.0 < pr.genbet(2.0, 3.0) < 1.0
    parm = pr.setgmn([1.0, 2.0], np.array([[2.0, 0.5], [0.5, 1.0]]))
    assert len(parm) == 2 * 5 // 2 + 1 and parm[0] == 2.0
    assert len(pr.genmn(parm)) == 2
    assert pr.phrtsd("") == (1234567890, 123456789)
    assert pr.ignpoi(0.0) == 0


# ---- Plots ----

def test_plot_writes_a_png_labelled_with_species(tmp_path):
    pytest.importorskip("matplotlib")
    r = dimer_model_python().simulate(runs=4, time_end=3.0, interval=0.5, seed=2)
    path = tmp_path / "dd.png"
    fig = plenta.plot(r, species=["S1", "S2"], trajectories=2, filename=path)
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    labels = [t.get_text() for t in fig.axes[0].get_legend().get_texts()]
    assert labels == ["S1 (mean ± 1 sd)", "S2 (mean ± 1 sd)"]
    # Two thin trajectories and the mean per species.
    assert len(fig.axes[0].lines) == 2 * 3

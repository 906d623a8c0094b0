"""Events built in Python and read from a model file: the console program's
numbers bit for bit, the event log's negative codes, and errors naming the
event and the field."""

import numpy as np
import pytest

import plenta
from conftest import HEADER, assert_equals_console, run_console, write_model

# Immigration (a formula reading the parameter kb) and death of x0; x1
# collects the dead.  The species are named x0, x1 so that the same
# expressions serve the MATLAB/Octave gateway's tests too.
REACTIONS_TEXT = """x0 0
x1 0

Immigration -> x0
rxntype = formula
num_subs = 0
num_prods = 1
0 1
rate = kb
id = 0

Death x0 -> x1
rxntype = uni-uni
num_subs = 1
0
num_prods = 1
1
StoP = 0.1
id = 1

"""

# A reset at 5 (a snapshot time) with a higher-priority event at the same
# instant that reads the count before the reset; a pulse every 3 from 1; a
# switch of the parameter when x0 passes 150, executed 0.5 later with the
# value of trigger time; and a switch back when x0 falls below 60.
EVENTS_TEXT = """events = 5
Reset at 5
trigger = at 5
assignments = 1
x0 = 0

Pulse
trigger = at 1 every 3
assignments = 1
x0 = x0 + 50

Slow down
trigger = when x0 > 150
delay = 0.5
values = trigger
assignments = 1
kb = kb / 4 + x0 - x0

Count before the reset
trigger = at 5
priority = 10
assignments = 1
x1 = x1 + 1000000

Speed up
trigger = when x0 < 60
initial = false
persistent = false
assignments = 1
kb = 20
"""

EVENTS = [
    {"name": "Reset at 5", "trigger": "at 5", "assign": {"x0": "0"}},
    {"name": "Pulse", "trigger": "at 1 every 3", "assign": ["x0 = x0 + 50"]},
    {"name": "Slow down", "trigger": "when x0 > 150", "delay": 0.5, "values": "trigger",
     "assign": {"kb": "kb / 4 + x0 - x0"}},
    {"name": "Count before the reset", "trigger": "at 5", "priority": 10,
     "assign": {"x1": "x1 + 1000000"}},
    {"name": "Speed up", "trigger": "when x0 < 60", "initial": False, "persistent": False,
     "assign": {"kb": 20}},
]


def events_model_text(algorithm=2, eventlog=0, repeats=3, seed=4711, time_end=10.0,
                      interval=1.0, extra_sets=""):
    tau = "tau_error = 0.03\n" if algorithm == 3 else ""
    sets = 1 + extra_sets.count("num_repeats")
    return (HEADER.format(sets=sets, rxns=2, cmpds=2) + REACTIONS_TEXT +
            f"time_start = 0.0\ntime_end = {time_end}\nvolume = 1.0\nalgorithm = {algorithm}\n"
            f"{tau}randseed = {seed}\n\nnum_monit = 2\n0\n1\n"
            f"snapshot_interval = {interval}\neventlog_flag = {eventlog}\n"
            f"num_repeats = {repeats}\nparameters = 1\nkb 40.0\n" + EVENTS_TEXT + extra_sets)


def events_model_python(algorithm=2, events=EVENTS):
    return plenta.Model(
        {"x0": 0, "x1": 0},
        [{"type": "formula", "substrates": [], "products": [("x0", 1)], "rate": "kb"},
         {"type": "uni-uni", "substrates": ["x0"], "products": ["x1"], "rates": [0.1]}],
        parameters={"kb": 40.0}, algorithm=algorithm,
        tau_error=0.03 if algorithm == 3 else None, events=events)


@pytest.mark.parametrize("algorithm,eventlog", [(2, 0), (2, 1), (1, 1), (3, 0), (3, 1)])
def test_events_reproduce_console(tmp_path, algorithm, eventlog):
    folder = write_model(tmp_path, events_model_text(algorithm, eventlog))
    run_console(folder)
    from_file = plenta.read_model(folder).simulate()
    assert_equals_console(from_file, folder, event_log=eventlog == 1)
    built = events_model_python(algorithm).simulate(runs=3, time_end=10.0, interval=1.0,
                                                    seed=4711, event_log=eventlog == 1)
    assert_equals_console(built, folder, event_log=eventlog == 1)


@pytest.mark.parametrize("algorithm,eventlog", [(2, 0), (1, 1)])
def test_events_across_the_modules_log_chunks(tmp_path, algorithm, eventlog):
    # Tens of thousands of firings: the module's exact runs return every 4096
    # log entries and go on, events pending or not, with the same draws.
    text = events_model_text(algorithm, eventlog, repeats=2).replace("kb = 20", "kb = 8000")
    folder = write_model(tmp_path, text)
    run_console(folder)
    result = plenta.read_model(folder).simulate(event_log=True)
    assert min(len(t) for t, _ in result.events) > 3 * 4096
    assert_equals_console(result, folder, event_log=eventlog == 1)


def test_parameter_sets_start_the_events_from_their_own_values(tmp_path):
    # Set 2 starts every run with x0 = 100 and kb = 10 (set 1's runs end with the kb the
    # events left): the console program's runs, set after set.
    second = "\nnum_repeats = 2\nnum_species = 1\n0 100\nnum_rates = 0\nparameter kb 10.0\n"
    folder = write_model(tmp_path, events_model_text(2, 1, repeats=2, extra_sets=second))
    run_console(folder)
    result = plenta.read_model(folder).simulate(set=None)
    assert list(result.sets) == [1, 1, 2, 2]
    assert_equals_console(result, folder, event_log=True)
    alone = plenta.read_model(folder).simulate(set=2, runs=1, seed=4711)
    assert (alone.counts[0, 0] == [100, 0]).all()


def test_composition_rejection_with_events_reproduces_console(tmp_path):
    folder = write_model(tmp_path, events_model_text(2, 1))
    run_console(folder, "--method", "cr")
    result = plenta.read_model(folder).simulate(method="cr")
    assert_equals_console(result, folder, event_log=True)


def test_event_log_holds_executions_as_negative_codes():
    model = events_model_python()
    assert model.event_names == [e["name"] for e in EVENTS]
    result = model.simulate(runs=2, time_end=10.0, interval=1.0, seed=99, event_log=True)
    for times, codes in result.events:
        executed = times[codes < 0]
        # The pulses at 1, 4, 7, 10 and both events at 5, higher priority first.
        assert list(executed[codes[codes < 0] == -2]) == [1.0, 4.0, 7.0, 10.0]
        at5 = list(codes[times == 5.0])
        assert at5[:2] == [-4, -1]
        assert set(codes[codes > 0]) <= {1, 2}
        # Fire counts count reactions only.
    assert (result.totals.sum(axis=1) == [np.sum(c > 0) for _, c in result.events]).all()
    # The snapshot at 5 shows the state after the reset: x0 = 0 and x1 past 10^6.
    k = list(result.time).index(5.0)
    assert (result.counts[:, k, 0] == 0).all()
    assert (result.counts[:, k, 1] >= 1000000).all()
    assert (result.counts[:, k - 1, 1] < 1000000).all()


@pytest.mark.parametrize("events,match", [
    ([{"trigger": "at x", "assign": {"x0": "1"}}], r"event 1, trigger: .*\"x\""),
    ([{"name": "p", "trigger": "at 1", "assign": {"y": "1"}}],
     r"event 1 \(p\), assignment 1: \"y\" is neither a species nor a named parameter"),
    ([{"trigger": "at 1", "assign": {"x0": "1"}},
      {"trigger": "when x0 >", "assign": {"x0": "1"}}], r"event 2, trigger: in \"x0 >\""),
    ([{"trigger": "at 1 every 0", "assign": {"x0": "1"}}], r"event 1, trigger: .*period"),
    ([{"trigger": "at 1", "assign": {"tot": "1"}}], r"event 1, assignment 1: \"tot\" is a rule"),
    ([{"trigger": "at 1", "assign": {"x0": "1"}, "delay": "q"}], r"event 1, delay: .*\"q\""),
    ([{"trigger": "at 1", "assign": {"x0": "1"}, "when": "x0"}], r"event 1: unknown keys"),
    ([{"trigger": "at 1"}], r"event 1, assign: an event needs"),
    ([{"trigger": "at 1", "assign": ["x0 1"]}], r"event 1, assignment 1: give"),
    ([{"trigger": "at 1", "assign": {"x0": "1"}, "values": "later"}], r"event 1, values"),
    ([{"trigger": "at 1", "assign": {"x0": "1"}, "initial": "yes"}], r"event 1, initial"),
    ([{"trigger": 5, "assign": {"x0": "1"}}], r"event 1, trigger: give"),
    ({"trigger": "at 1"}, r"events must be a sequence"),
])
def test_bad_events_name_the_event_and_field(events, match):
    with pytest.raises(ValueError, match=match):
        plenta.Model(
            {"x0": 0, "x1": 0},
            [{"type": "uni-uni", "substrates": ["x0"], "products": ["x1"], "rates": [0.1]}],
            parameters={"kb": 1.0}, rules={"tot": "x0 + x1"}, events=events)


def test_events_without_formula_reactions_assign_parameters_read_by_rules():
    model = plenta.Model(
        {"x0": 100, "x1": 0},
        [{"type": "uni-uni", "substrates": ["x0"], "products": ["x1"], "rates": [0.5]}],
        parameters={"scale": 1.0}, rules={"scaled": "scale * x1"}, monit=["x0", "scaled"],
        events=[{"trigger": "at 2", "assign": {"scale": "10"}}])
    r = model.simulate(runs=2, time_end=4.0, interval=1.0, seed=3)
    x1 = 100 - r.counts[..., 0]
    np.testing.assert_array_equal(r.rules[:, :2, 0], x1[:, :2])
    np.testing.assert_array_equal(r.rules[:, 2:, 0], 10 * x1[:, 2:])


def test_event_fault_raises_run_fault_error_with_finished_runs():
    model = plenta.Model(
        {"x0": 10, "x1": 0},
        [{"type": "uni-uni", "substrates": ["x0"], "products": ["x1"], "rates": [0.1]}],
        events=[{"name": "bad", "trigger": "when x1 >= 3", "assign": {"x0": "x0 - 100"}}])
    with pytest.raises(plenta.RunFaultError, match=r"run 1: event 1 at time .*species 0 would "
                                                   r"be set to -"):
        model.simulate(runs=3, time_end=100.0, interval=1.0, seed=8)
    cascade = plenta.Model(
        {"x0": 10, "x1": 0},
        [{"type": "uni-uni", "substrates": ["x0"], "products": ["x1"], "rates": [0.1]}],
        events=[{"trigger": "at 0.5", "assign": {"x0": "0"}},
                {"trigger": "when x0 == 0", "assign": {"x0": "1"}},
                {"trigger": "when x0 == 1", "assign": {"x0": "0"}}])
    with pytest.raises(plenta.RunFaultError, match="without end"):
        cascade.simulate(runs=1, time_end=1.0, interval=1.0, seed=8)

"""simulate gives the console program's numbers, bit for bit: counts,
firings, summary totals and event logs, for each algorithm."""

import numpy as np
import pytest

import plenta
from conftest import (assert_equals_console, dimer_model_python, dimer_model_text, run_console,
                      write_model)

TWO_SETS = ("num_repeats = 2\nnum_species = 1\n0 1500\nnum_rates = 1\n2 0 2.0\n\n")


@pytest.mark.parametrize("algorithm,eventlog", [(2, 0), (2, 1), (1, 1), (3, 0), (3, 1)])
def test_read_model_defaults_reproduce_console(tmp_path, algorithm, eventlog):
    folder = write_model(tmp_path, dimer_model_text(algorithm=algorithm, eventlog=eventlog,
                                                    extra_sets=TWO_SETS))
    run_console(folder)
    model = plenta.read_model(folder)
    # Every set in order, with the file's seed, times and event-log setting.
    result = model.simulate(set=None)
    assert list(result.sets) == [1, 1, 2, 2]
    assert_equals_console(result, folder, event_log=eventlog == 1)


def test_second_set_alone_reproduces_console(tmp_path):
    # With no runs in set 1 the console's stream starts at set 2's first run.
    text = dimer_model_text(repeats=0, extra_sets=TWO_SETS)
    folder = write_model(tmp_path, text)
    run_console(folder)
    result = plenta.read_model(folder).simulate(set=2)
    assert_equals_console(result, folder, event_log=False)


@pytest.mark.parametrize("algorithm", [2, 3])
def test_event_log_across_full_buffers(tmp_path, algorithm):
    # More than 1,000,000 firings in a run: the console writes several
    # event-log files, the module one array per run; the exact method
    # returns early at the full buffer, a tau leap drains it mid-batch.
    folder = write_model(tmp_path, dimer_model_text(algorithm=algorithm, eventlog=1, repeats=1,
                                                    s1=600000, time_end=6.0, interval=1.0))
    run_console(folder)
    assert (folder / "evlog_1_2").exists()
    result = plenta.read_model(folder).simulate()
    assert len(result.events[0][0]) > 1000000
    assert_equals_console(result, folder, event_log=True)


@pytest.mark.parametrize("algorithm", [2, 3])
def test_model_built_in_python_equals_file_model(tmp_path, algorithm):
    folder = write_model(tmp_path, dimer_model_text(algorithm=algorithm, repeats=3))
    run_console(folder)
    built = dimer_model_python(algorithm=algorithm, tau_error=0.03)
    result = built.simulate(runs=3, time_end=5.0, interval=0.5, seed=12345)
    assert_equals_console(result, folder, event_log=False)
    np.testing.assert_array_equal(built.stoichiometry, plenta.read_model(folder).stoichiometry)


@pytest.mark.parametrize("algorithm,eventlog", [(2, 0), (1, 1)])
def test_composition_rejection_reproduces_console_option(tmp_path, algorithm, eventlog):
    folder = write_model(tmp_path, dimer_model_text(algorithm=algorithm, eventlog=eventlog,
                                                    extra_sets=TWO_SETS))
    run_console(folder, "--method", "cr")
    result = plenta.read_model(folder).simulate(set=None, method="cr")
    assert_equals_console(result, folder, event_log=eventlog == 1)


def test_composition_rejection_refuses_tau_leaping():
    with pytest.raises(ValueError, match="does not apply to tau-leaping"):
        dimer_model_python(algorithm=3, tau_error=0.03).simulate(
            runs=1, time_end=1.0, interval=1.0, seed=1, method="cr")
    with pytest.raises(ValueError, match="method must be"):
        dimer_model_python().simulate(runs=1, time_end=1.0, interval=1.0, seed=1, method="nrm")

"""Models built in Python: every reaction type changes the counts by its
stoichiometry, and faulty networks and arguments are refused with the
validation's messages."""

import subprocess

import numpy as np
import pytest

import plenta
from conftest import PLENTA_EXE, dimer_model_python, dimer_model_text, write_model

# One network per reaction type: (species, reaction, expected net change per
# firing of every species), worked out by hand from the type's rules.
TYPE_CASES = {
    "binding": ({"A": 60, "B": 50, "AB": 0},
                {"substrates": ["A", "B"], "products": ["AB"], "rates": [0.01]},
                [-1, -1, 1]),
    # No row rule: it fires at the binding rate and changes no count.
    "unique-bi-bi": ({"A": 60, "B": 50, "AB": 0},
                     {"substrates": ["A", "B"], "products": ["AB"], "rates": [0.01]},
                     [0, 0, 0]),
    "unbinding": ({"AB": 80, "A": 0, "B": 0},
                  {"substrates": ["AB"], "products": ["A", "B"], "rates": [0.5]},
                  [-1, 1, 1]),
    "uni-uni": ({"A": 80, "B": 0}, {"substrates": ["A"], "products": ["B"], "rates": [0.5]},
                [-1, 1]),
    "uni-multi": ({"A": 80, "B": 0},
                  {"substrates": ["A"], "products": [("B", 3)], "rates": [0.5]}, [-1, 3]),
    "homo-ltor": ({"A": 100, "A2": 0},
                  {"substrates": ["A", "A"], "products": ["A2"], "rates": [0.02]}, [-2, 1]),
    "transv1": ({"A": 100, "B": 50, "C": 0},
                {"substrates": [("A", 1), ("B", 1)], "products": [("C", 2)], "rates": [0.5]},
                [-1, -1, 2]),
    "genmm": ({"S": 100, "E": 10, "P": 0},
              {"substrates": [("S", 1), ("E", 1)], "products": [("E", 1), ("P", 1)],
               "rates": [2.0, 5.0]},
              [-1, 0, 1]),
    "n-order": ({"A": 100, "B": 0},
                {"substrates": [("A", 2, 2.0)], "products": [("B", 1)], "rates": [0.01, 2.0]},
                [-2, 1]),
    # Built-in formula of id 1: k0 times the count of species position 2.
    "undef": ({"X0": 0, "X1": 0, "X2": 80},
              {"substrates": [("X2", 1)], "products": [("X0", 1)],
               "rates": [("k", 0.5)], "formula": "k*X2", "id": 1},
              [1, 0, -1]),
    # 2A -> A + B: two molecules consumed, one given back.
    "mass-action": ({"A": 100, "B": 0},
                    {"substrates": [("A", 2)], "products": [("A", 1), ("B", 1)],
                     "rates": [0.01]},
                    [-1, 1]),
    "formula": ({"A": 80, "B": 0},
                {"substrates": [("A", 1)], "products": [("B", 2)], "rate": "0.5*A"}, [-1, 2]),
}


@pytest.mark.parametrize("rtype", plenta.REACTION_TYPES)
@pytest.mark.parametrize("algorithm", [2, 1])
def test_every_reaction_type_changes_counts_by_its_row(rtype, algorithm):
    species, reaction, row = TYPE_CASES[rtype]
    model = plenta.Model(species=species, reactions=[dict(reaction, type=rtype)],
                         algorithm=algorithm)
    np.testing.assert_array_equal(model.stoichiometry, [row])
    result = model.simulate(runs=3, time_end=4.0, interval=0.5, seed=777)
    assert result.totals.sum() > 0, "the reaction never fired"
    start = np.array(list(species.values()))
    fired = np.cumsum(result.firings[:, :, 0], axis=1)  # runs x points
    expected = start + fired[:, :, None] * np.array(row)
    np.testing.assert_array_equal(result.counts, expected)
    np.testing.assert_array_equal(result.firings.sum(axis=1), result.totals)
    assert result.species == list(species)


def test_species_by_position_and_pairs_equal_names():
    by_name = dimer_model_python()
    by_position = plenta.Model(
        species=[("S1", 2000), ("S2", 0), ("S3", 0), ("Sink", 0)],
        reactions=[
            {"type": "uni-uni", "substrates": [0], "products": [3], "rates": 1.0, "id": 0},
            {"type": "homo-ltor", "substrates": [0, 0], "products": [1], "rates": [0.002]},
            {"type": "uni-multi", "substrates": [1], "products": [(0, 2)], "rates": [0.5]},
            {"type": "uni-uni", "substrates": [1], "products": [2], "rates": [0.04]},
        ], monit=[0, 1, 2])
    a = by_name.simulate(runs=2, time_end=2.0, interval=0.5, seed=99)
    b = by_position.simulate(runs=2, time_end=2.0, interval=0.5, seed=99)
    np.testing.assert_array_equal(a.counts, b.counts)
    np.testing.assert_array_equal(a.firings, b.firings)


def one_reaction(rtype="uni-uni", subs=("A",), prods=("B",), rates=(1.0,), species=None, **kw):
    species = species or {"A": 10, "B": 0}
    return dict(species=species, reactions=[{"type": rtype, "substrates": list(subs),
                                             "products": list(prods), "rates": list(rates),
                                             "id": 4}], **kw)


@pytest.mark.parametrize("kwargs,message", [
    (one_reaction(subs=(5,)),
     "Model, reaction 0 (id 4): substrate 0 is species 5, outside 0..1."),
    (one_reaction(rtype="binding"),
     'Model, reaction 0 (id 4): a reaction of type "binding" reads 2 substrate(s), '
     "but num_subs = 1."),
    (one_reaction(prods=()),
     "Model, reaction 0 (id 4): the reaction has no products, so it has no rate constants; "
     "give it a sink species as product."),
    (one_reaction(rtype="genmm", subs=(("A", 1), ("B", 1))),
     'Model, reaction 0 (id 4): a reaction of type "genmm" reads 2 rate constants, but has 1.'),
    (one_reaction(rates=()),
     'Model, reaction 0 (id 4): a reaction of type "uni-uni" reads 1 rate constants, but has 0.'),
    (one_reaction(species={"A" * 84: 1, "B": 0}, subs=(0,), prods=(1,)),
     "Model, species 0: name is 84 characters long; names may hold at most 83."),
    (one_reaction(monit=[0, 2]),
     "Model: monitored species 1 is species 2, outside 0..1."),
    (one_reaction(rtype="transv1", subs=(("A", 1),), prods=(("B", 2**31 - 1), ("B", 1))),
     "Model, reaction 0 (id 4): the stoichiometric coefficients of species 1 add up to more "
     "than a 32-bit count can hold."),
])
def test_validation_messages(kwargs, message):
    with pytest.raises(ValueError) as err:
        plenta.Model(**kwargs)
    assert str(err.value) == message


@pytest.mark.parametrize("kwargs,fragment", [
    (one_reaction(rtype="Binding"), "type 'Binding' is not one of"),
    (one_reaction(subs=("C",)), "no species named 'C'"),
    (one_reaction(species={"A": 2**31, "B": 0}), "does not fit a 32-bit count"),
    (one_reaction(algorithm=3), "needs tau_error"),
    (one_reaction(algorithm="fast"), "is not one of"),
    (dict(species={}, reactions=[]), "at least one species"),
])
def test_python_side_refusals(kwargs, fragment):
    with pytest.raises(ValueError, match=fragment.replace("(", r"\(").replace(")", r"\)")):
        plenta.Model(**kwargs)


def test_read_model_raises_the_console_message(tmp_path):
    with pytest.raises(ValueError) as err:
        plenta.read_model(tmp_path)
    assert str(err.value) == "Can't open constants.txt file. Exit."
    # A substrate position out of range: the same line the console prints.
    text = dimer_model_text().replace("Decay S1 -> Sink\nrxntype = uni-uni\nnum_subs = 1\n0\n",
                                      "Decay S1 -> Sink\nrxntype = uni-uni\nnum_subs = 1\n7\n")
    folder = write_model(tmp_path / "bad", text)
    with pytest.raises(ValueError) as err:
        plenta.read_model(folder)
    assert "reaction 0 (id 0): substrate 0 is species 7, outside 0..3." in str(err.value)
    if PLENTA_EXE:
        done = subprocess.run([PLENTA_EXE], cwd=folder, capture_output=True, text=True)
        assert done.returncode == 1
        assert done.stdout == str(err.value) + "\n"


@pytest.mark.parametrize("kwargs,fragment", [
    (dict(seed=0), "seed = 0 is outside 1..2147483398"),
    (dict(seed=2147483399), "outside 1..2147483398"),
    (dict(interval=0.0), "interval = 0 is not a positive finite number"),
    (dict(interval=float("nan")), "not a positive finite number"),
    (dict(time_end=float("inf")), "time_end = inf is not a finite time"),
    (dict(runs=-1), "runs = -1 is below 0"),
    (dict(set=2), "set = 2 is not a parameter set"),
    (dict(time_end=1e300, interval=1e-300), "outside the range of an int"),
])
def test_simulate_argument_checks(kwargs, fragment):
    args = dict(runs=1, time_end=1.0, interval=0.5, seed=5)
    args.update(kwargs)
    with pytest.raises(ValueError, match=fragment):
        dimer_model_python().simulate(**args)


def test_model_built_in_python_needs_run_parameters():
    with pytest.raises(ValueError, match="give runs"):
        dimer_model_python().simulate(time_end=1.0, interval=0.5, seed=5)
    with pytest.raises(ValueError, match="give seed"):
        dimer_model_python().simulate(runs=1, time_end=1.0, interval=0.5)

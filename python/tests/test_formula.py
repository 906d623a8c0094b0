"""Formula reactions built in Python: the law, its parameters and rules,
and errors naming the reaction."""

import pytest

import plenta


def _mm(vmax):
    return plenta.Model(
        {"S": 300, "P": 0},
        [{"type": "formula", "substrates": [("S", 1)], "products": [("P", 1)],
          "rate": "Vmax*sat"},
         {"type": "formula", "substrates": [("P", 1)], "products": [], "rate": "kd*P"}],
        parameters={"Vmax": vmax, "Km": 100.0, "kd": 0.5},
        rules={"sat": "S/(Km + S)"})


def test_formula_reactions_fire_as_their_law_says():
    res = _mm(50.0).simulate(runs=2, time_end=4.0, interval=1.0, seed=7)
    counts = res.counts
    assert counts.shape[-1] == 2
    assert (counts[..., 0] <= 300).all() and counts[..., 0].min() < 300
    still = _mm(0.0).simulate(runs=1, time_end=4.0, interval=1.0, seed=7)
    assert (still.counts[..., 0] == 300).all()


def test_formula_errors_name_the_reaction():
    with pytest.raises(ValueError, match=r"reaction 0 .*\"Q\" is not a species"):
        plenta.Model({"S": 1}, [{"type": "formula", "products": ["S"], "rate": "k*Q"}],
                     parameters={"k": 1.0})
    with pytest.raises(ValueError, match="needs \"rate\""):
        plenta.Model({"S": 1}, [{"type": "formula", "products": ["S"]}])


def test_monitored_rules_are_their_values_at_each_snapshot():
    model = plenta.Model(
        {"S": 300, "P": 0},
        [{"type": "formula", "substrates": [("S", 1)], "products": [("P", 1)],
          "rate": "Vmax*S/(Km + S)"}],
        parameters={"Vmax": 50.0, "Km": 100.0},
        rules={"total": "S + P", "half": "P/2"},
        monit=["S", "half", "P", "total"])
    assert model.monitored == ["S", "P"]
    assert model.monitored_rules == ["half", "total"]
    res = model.simulate(runs=3, time_end=4.0, interval=1.0, seed=11)
    assert res.rule_names == ["half", "total"]
    assert res.rules.shape == res.counts.shape
    s, p = res.counts[..., 0], res.counts[..., 1]
    assert (res.rules[..., 0] == p / 2).all()
    assert (res.rules[..., 1] == s + p).all() and (res.rules[..., 1] == 300).all()
    assert p[:, -1].min() > 0

"""plenta.read_net: a .net network as a Model of mass-action reactions with
the .net propensities, its groups as observables over the monitored columns,
and refusals that name the line."""

import os

import pytest

import plenta

NETWORKS = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data", "networks")


def test_multistate_reads_and_runs_by_rssa():
    model = plenta.read_net(os.path.join(NETWORKS, "multistate.net"))
    assert len(model.species) == 9
    assert list(model.reaction_types) == ["mass-action"] * 18
    assert list(model.initial_counts[:3]) == [5360, 1160, 5360]
    assert model.monitored == [model.species[k] for k in (6, 7, 8)]
    assert model.observables["A_P"] == [(0, 1.0), (1, 1.0), (2, 1.0)]
    result = model.simulate(runs=2, time_end=2.0, interval=1.0, seed=5, method="rssa")
    assert result.counts.shape == (2, 3, 3)
    assert result.counts[:, -1, :].sum() > 0


def test_doubled_reactant_stoichiometry(tmp_path):
    net = tmp_path / "d.net"
    net.write_text("begin parameters\n 1 k 2^3\nend parameters\nbegin species\n 1 A 10\n"
                   " 2 B 0\nend species\nbegin reactions\n 1 1,1 1,2 0.5*k\n 2 2 0 ln(2)\n"
                   "end reactions\n")
    model = plenta.read_net(net)
    s = model.stoichiometry
    assert list(s[0][:2]) == [-1, 1]
    assert list(s[1][:2]) == [0, -1]


def test_refusals_name_the_line(tmp_path):
    net = tmp_path / "bad.net"
    net.write_text("begin species\n 1 A 5\nend species\nbegin reactions\n 1 1 0 Sat(k,1)\n"
                   "end reactions\n")
    with pytest.raises(ValueError, match=r"bad.net:5: 'Sat\(k,1\)' is not a constant"):
        plenta.read_net(net)
    net.write_text("begin species\n 1 A 2.5\nend species\n")
    with pytest.raises(ValueError, match=r"bad.net:2: initial count 2.5"):
        plenta.read_net(net)

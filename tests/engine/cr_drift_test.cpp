// Rounding drift of the group sums kept by differences: over a long run
// whose propensities swing across many orders of magnitude the kept sums stay
// within a tight bound of a fresh summation, and a collapse of the total
// brings a fresh summation at once.
#include <gtest/gtest.h>

#include <cmath>

#include "cr_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// A ring A_i -> A_{i+1} of ten species whose rate constants run from 1e-6
// to 1e12: each propensity k_i x_i swings between 0 and k_i N as molecules
// pass, so groups across 30 orders of magnitude fill and empty.
Network swinging_ring() {
    Network net = testutil::empty_network(kDirectMethod);
    const int n = 10;
    for (int i = 0; i < n; i++) net.add_species(i == 0 ? 500 : 0);
    for (int i = 0; i < n; i++)
        net.add_reaction(kUniUni, {i}, {(i + 1) % n}, {std::pow(10.0, -6.0 + 2.0 * i)});
    net.build();
    return net;
}

TEST(CrDrift, KeptSumsMatchAFreshSummationAfterAMillionFirings) {
    setall(8080, 8080);
    Network net = swinging_ring();
    // Molecules pile up before the slow reactions and race past the fast
    // ones; calls end on a boundary or after 2^16 firings, whichever comes
    // first.
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 1 << 16;
    net.build();
    net.params.snapshot_interval = 1e6;
    CrState st;
    crtest::start_run(net, st);
    long long fired = 0;
    while (fired < 1000000) {
        crtest::run_interval(net, st);
        net.event_count = 0;
        fired = 0;
        for (int f : net.fire_count) fired += f;
        crtest::expect_consistent(st, net.reactions, 1e-9);
    }
    crtest::expect_consistent(st, net.reactions, 1e-12);
    double fresh = 0.0;
    for (int g : st.active)
        for (int m : st.groups[g].members) fresh += net.reactions[m].ai;
    EXPECT_NEAR(cr_total(st), fresh, 1e-12 * fresh);
    EXPECT_GE(st.resums, 10);  // every 10^5 firings at least
    // Molecules reached the slowest species, so the swing was real.
    int moved = 0;
    for (int s = 1; s < 10; s++) moved += net.species[s].count;
    EXPECT_GT(moved, 0);
}

// A fast reaction (total 1e12) that dies out beside a slow one (1e3): once
// the total falls below 1e-6 of its last fresh value, the sums are fresh
// again, long before the 10^5-firing interval.
TEST(CrDrift, CollapseOfTheTotalBringsAFreshSummation) {
    setall(9090, 9090);
    Network net = testutil::empty_network(kDirectMethod);
    const int a = net.add_species(1000), b = net.add_species(0);
    const int c = net.add_species(1000), d = net.add_species(0);
    net.add_reaction(kUniUni, {a}, {b}, {1e9});
    net.add_reaction(kUniUni, {c}, {d}, {1.0});
    net.build();
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 1;  // one firing per call
    net.build();
    CrState st;
    crtest::start_run(net, st);
    const long long resums_at_start = st.resums;
    while (net.species[a].count > 0) {
        crtest::run_interval(net, st);
        net.event_count = 0;
    }
    EXPECT_LT(net.fire_count[0] + net.fire_count[1], 2000);
    EXPECT_EQ(st.resums, resums_at_start + 1);
    EXPECT_EQ(st.total_at_resum, 1e3 - net.fire_count[1]);
    crtest::expect_consistent(st, net.reactions, 0.0);
}

}  // namespace
}  // namespace plenta

// The rejection-based method's state: after any number of firings every
// reaction's bounds hold its propensity over its reactants' intervals, the
// counts stay inside their intervals, the group sums add up, the records get
// the counts and propensities back; the interval run keeps the contract of
// the exact methods (boundary, early return on a full event log).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/rssa.h"
#include "engine_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// A network of every mass-action shape the method computes inline, one of
// the record types and the "mass-action" type with a doubled reactant.
Network mixed_network() {
    Network net = testutil::empty_network(kDirectMethod);
    const int a = net.add_species(400), b = net.add_species(30), c = net.add_species(3),
              d = net.add_species(0);
    net.add_reaction(kBinding, {a, b}, {c}, {0.01});
    net.add_reaction(kUnbinding, {c}, {a, b}, {0.5});
    net.add_reaction(kHomoLtor, {a, a}, {d}, {0.002});
    net.add_reaction(kUniUni, {d}, {a}, {0.1});
    net.add_reaction(kMassAction, {b}, {b, c}, {0.003}, {2}, {1, 1});  // 2B -> B + C
    net.add_reaction(kMassAction, {}, {b}, {2.0}, {}, {1});            // -> B
    net.add_reaction(kGenmm, {c, b}, {d, b}, {1.0, 5.0}, {1, 1}, {1, 1});
    net.build();
    return net;
}

void expect_consistent(const RssaState& st, const Network& net) {
    double total = 0.0;
    for (int g : st.active) {
        double sum = 0.0;
        for (int j : st.groups[static_cast<std::size_t>(g)].members)
            sum += st.rxns[static_cast<std::size_t>(j)].upper;
        EXPECT_NEAR(st.groups[static_cast<std::size_t>(g)].sum, sum, 1e-9 * (1.0 + sum));
        total += sum;
    }
    EXPECT_NEAR(st.total, total, 1e-9 * (1.0 + total));
    for (int s = 0; s < net.model.num_cmpds; s++) {
        const RssaSpecies& f = st.sp[static_cast<std::size_t>(s)];
        EXPECT_EQ(f.count, net.species[static_cast<std::size_t>(s)].count);
        EXPECT_LE(rssa_low(f), f.count);
        EXPECT_GE(rssa_high(f), f.count);
    }
    for (int i = 0; i < net.model.num_rxns; i++) {
        const RssaReaction& r = st.rxns[static_cast<std::size_t>(i)];
        const double a = calc_rxn_prob_vesk(net.reactions[static_cast<std::size_t>(r.rxn)],
                                            net.species, net.params, net.model, r.rxn);
        EXPECT_LE(r.lower, a * (1.0 + 1e-12)) << "reaction " << r.rxn;
        EXPECT_GE(r.upper, a * (1.0 - 1e-12)) << "reaction " << r.rxn;
        EXPECT_EQ(r.pos >= 0, r.upper > 0.0) << "reaction " << r.rxn;
    }
}

TEST(Rssa, BoundsHoldThePropensitiesAfterEveryInterval) {
    Network net = mixed_network();
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    RssaState st;
    rssa_build(st, net.reactions, net.model, net.species, net.params);
    EXPECT_EQ(st.active.empty(), false);
    expect_consistent(st, net);
    setall(4242, 4242);
    net.params.next_time = rssa_next_time(st, 0.0);
    long long fired = 0;
    for (int k = 0; k < 30; k++) {
        const double before = net.t;
        vesk_rssa(st, net.reactions, net.model, net.species, net.params, net.event_log(),
                  net.event_count, net.fire_count, net.t);
        EXPECT_EQ(net.t, before + 1.0);  // the next boundary, as the exact methods
        expect_consistent(st, net);
    }
    for (int n : net.fire_count) fired += n;
    EXPECT_GT(fired, 500);
    EXPECT_GE(st.trials, fired);  // rejected candidates are trials that fired nothing
    rssa_sync_propensities(st, net.reactions, net.species, net.params, net.model);
    for (int j = 0; j < net.model.num_rxns; j++)
        EXPECT_EQ(net.reactions[static_cast<std::size_t>(j)].ai,
                  calc_rxn_prob_vesk(net.reactions[static_cast<std::size_t>(j)], net.species,
                                     net.params, net.model, j));
}

// A ring A_i -> A_(i+1) of mass-action reactions only: the method keeps the
// counts and fire counts to itself and writes back, at every call's end,
// those of the reactions fired.  Every count must then be its start plus
// the firings into it minus those out of it, in every call (also at 70,000
// reactions, where the coming trials' memory is fetched ahead).
TEST(Rssa, RingWritesBackCountsAndFireCountsAfterEveryCall) {
    for (int n : {7, 70000}) {
        Network net = testutil::empty_network(kDirectMethod);
        for (int i = 0; i < n; i++) net.add_species(i % 3 == 0 ? 40 : 100);
        for (int i = 0; i < n; i++) net.add_reaction(kUniUni, {i}, {(i + 1) % n}, {1.0 + (i % 5)});
        // No build(): the method needs neither dependents nor the dense
        // matrix (5 10^9 entries here).
        net.fire_count.assign(static_cast<std::size_t>(n), 0);
        ASSERT_EQ(net.params.eventlog_flag, 0);
        const std::vector<Compound> start = net.species;
        net.params.snapshot_interval = 40.0 / n;  // some 10^4 firings a call
        update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
        RssaState st;
        rssa_build(st, net.reactions, net.model, net.species, net.params);
        EXPECT_FALSE(st.records);
        setall(777, 778);
        net.params.next_time = rssa_next_time(st, 0.0);
        long long fired = 0;
        for (int call = 0; call < 5; call++) {
            vesk_rssa(st, net.reactions, net.model, net.species, net.params, net.event_log(),
                      net.event_count, net.fire_count, net.t);
            for (int i = 0; i < n; i++) {
                const int in = net.fire_count[static_cast<std::size_t>((i + n - 1) % n)];
                const int out = net.fire_count[static_cast<std::size_t>(i)];
                ASSERT_EQ(net.species[static_cast<std::size_t>(i)].count,
                          start[static_cast<std::size_t>(i)].count + in - out)
                    << "ring " << n << ", species " << i << ", call " << call;
            }
            long long now = 0;
            for (int c : net.fire_count) now += c;
            EXPECT_GT(now, fired);
            fired = now;
            expect_consistent(st, net);
        }
        EXPECT_TRUE(st.fired.empty());
        for (const RssaReaction& r : st.rxns) EXPECT_EQ(r.fired, 0);
    }
}

// The interval around a count: holds the count, does not go below 0 or
// above the largest int, is max(count / 16, least) wide on each side where
// there is room, and at most kRssaMaxWidth (the distances are 16 bits).
TEST(Rssa, IntervalsHoldTheCountWithinTheirLimits) {
    const int big = std::numeric_limits<int>::max();
    for (int least : {0, 3, 40}) {
        for (int x : {0, 1, 5, 15, 16, 100, 1600, 99999, 524272, 524288, 2000000, big - 3, big}) {
            RssaSpecies f;
            f.count = x;
            rssa_set_interval(f, least);
            const long long w = std::min(std::max(x / 16, least), kRssaMaxWidth);
            EXPECT_EQ(rssa_low(f), std::max(0LL, x - w)) << x << " " << least;
            EXPECT_EQ(static_cast<long long>(rssa_high(f)), std::min<long long>(big, x + w))
                << x << " " << least;
        }
        RssaSpecies negative;  // a count the engine let fall below 0: exact
        negative.count = -4;
        rssa_set_interval(negative, least);
        EXPECT_EQ(rssa_low(negative), -4);
        EXPECT_EQ(rssa_high(negative), -4);
    }
}

// Counts whose widths are capped (millions of molecules) and a rare species
// in one reaction: bounds hold after every interval.
TEST(Rssa, BoundsHoldWithCappedWidths) {
    Network net = testutil::empty_network(kDirectMethod);
    const int a = net.add_species(3000000), b = net.add_species(2), c = net.add_species(0);
    net.add_reaction(kBinding, {a, b}, {c}, {1e-6});
    net.add_reaction(kUnbinding, {c}, {a, b}, {1.0});
    net.add_reaction(kUniMulti, {a}, {a, a}, {3e-3});
    net.build();
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    RssaState st;
    rssa_build(st, net.reactions, net.model, net.species, net.params);
    EXPECT_EQ(rssa_high(st.sp[0]) - st.sp[0].count, kRssaMaxWidth);
    setall(5, 6);
    net.params.next_time = rssa_next_time(st, 0.0);
    for (int k = 0; k < 20; k++) {
        vesk_rssa(st, net.reactions, net.model, net.species, net.params, net.event_log(),
                  net.event_count, net.fire_count, net.t);
        expect_consistent(st, net);
    }
    EXPECT_GT(std::abs(net.species[static_cast<std::size_t>(a)].count - 3000000), 2 * kRssaMaxWidth);
    EXPECT_GT(st.rebounds, 0);
}

TEST(Rssa, FullEventLogEndsTheCallAtItsLastFiring) {
    Network net = mixed_network();
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 50;
    net.build();
    std::unique_ptr<RunMethod> method = make_run_method("rssa");
    ASSERT_NE(method, nullptr);
    EXPECT_FALSE(method->needs_dependents());
    setall(99, 99);
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    method->start_run(net.reactions, net.model, net.species, net.params, 0.0);
    net.params.snapshot_interval = 1000.0;
    method->advance(net.reactions, net.model, net.species, net.params, net.event_log(),
                    net.event_count, net.fire_count, net.t);
    ASSERT_EQ(net.event_count, 50);
    EXPECT_EQ(net.t, net.log_times[49]);
    EXPECT_LT(net.t, 1000.0);
    long long fired = 0;
    for (int n : net.fire_count) fired += n;
    EXPECT_EQ(fired, 50);
    for (int k = 1; k < 50; k++) EXPECT_LE(net.log_times[k - 1], net.log_times[k]);
    EXPECT_GE(net.params.next_time, net.t);
    EXPECT_EQ(make_run_method("direct"), nullptr);
}

}  // namespace
}  // namespace plenta

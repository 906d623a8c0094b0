// The rejection-based method's state: after any number of firings every
// reaction's bounds hold its propensity over its reactants' intervals, the
// counts stay inside their intervals, the group sums add up, the records get
// the counts and propensities back; the interval run keeps the contract of
// the exact methods (boundary, early return on a full event log).
#include <gtest/gtest.h>

#include <cmath>

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

// The composition-rejection interval run keeps the contract of the exact
// interval run: snapshot boundaries, the event log and its early return,
// the kept state, counts that follow the stoichiometry, and one seed
// reproducing a whole trajectory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "cr_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// n reactions A_i -> B_i with one molecule each: each fires at most once.
Network one_shots(int n, double rate, int log_capacity) {
    Network net = testutil::empty_network(kDirectMethod);
    net.params.eventlog_arraysize = log_capacity;
    for (int i = 0; i < n; i++) {
        const int a = net.add_species(1);
        const int b = net.add_species(0);
        net.add_reaction(kUniUni, {a}, {b}, {rate});
    }
    net.build();
    return net;
}

TEST(CrInterval, FiringExactlyOnTheBoundaryBelongsToThisCall) {
    Network net = one_shots(1, 1.0, 10);
    net.params.eventlog_flag = 1;
    CrState st;
    crtest::start_run(net, st);
    net.params.next_time = 1.0;  // the kept event, placed on the boundary
    crtest::run_interval(net, st);
    EXPECT_EQ(net.t, 1.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1}));
    EXPECT_EQ(net.counts(), (std::vector<int>{0, 1}));
    ASSERT_EQ(net.event_count, 1);
    EXPECT_EQ(net.log_times[0], 1.0);
    EXPECT_EQ(net.log_rxns[0], 1.0);
    // Nothing can fire any more: infinite next time, total 0, no group left.
    EXPECT_EQ(net.params.next_time, std::numeric_limits<double>::infinity());
    EXPECT_EQ(net.params.total_prob, 0.0);
    EXPECT_TRUE(st.active.empty());
    EXPECT_EQ(net.reactions[0].ai, 0.0);
}

TEST(CrInterval, StopsAtTheNextMultipleOfTheInterval) {
    Network net = one_shots(1, 1.0, 10);
    CrState st;
    crtest::start_run(net, st);
    net.t = 2.5;
    net.params.next_time = 3.0000001;
    crtest::run_interval(net, st);
    EXPECT_EQ(net.t, 3.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{0}));
    net.params.snapshot_interval = 0.25;
    crtest::run_interval(net, st);
    EXPECT_EQ(net.t, 3.25);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1}));
}

TEST(CrInterval, NothingToFireAdvancesOneBoundaryAndDrawsNothing) {
    Network net = testutil::isomerisation(kDirectMethod, 0, 0, 1.0, 1.0);
    net.params.eventlog_flag = 1;
    setall(5, 5);
    CrState st;
    crtest::start_run(net, st);
    const testutil::GeneratorSnapshot before;
    net.log_times[0] = -7.0;
    for (int call = 1; call <= 3; call++) {
        crtest::run_interval(net, st);
        EXPECT_EQ(net.t, static_cast<double>(call));
    }
    EXPECT_EQ(net.counts(), (std::vector<int>{0, 0}));
    EXPECT_EQ(net.fire_count, (std::vector<int>{0, 0}));
    EXPECT_EQ(net.event_count, 0);
    EXPECT_EQ(net.log_times[0], -7.0);
    EXPECT_EQ(net.params.total_prob, 0.0);
    const float next = ranf();
    before.restore();
    EXPECT_EQ(ranf(), next);  // the stream was not touched
}

TEST(CrInterval, FullLogEndsTheCallAtTheFillingFiring) {
    setall(31, 31);
    // Rate 1000 each: all three fire long before t = 1.
    Network net = one_shots(3, 1000.0, 2);
    net.params.eventlog_flag = 1;
    CrState st;
    crtest::start_run(net, st);
    crtest::run_interval(net, st);
    EXPECT_EQ(net.event_count, 2);
    EXPECT_EQ(net.t, net.log_times[1]);
    EXPECT_LE(net.log_times[0], net.log_times[1]);
    EXPECT_LT(net.t, 1.0);
    int fired = 0;
    for (int f : net.fire_count) fired += f;
    EXPECT_EQ(fired, 2);
    const int third = net.params.next_rxn;  // drawn before the early return
    EXPECT_EQ(net.fire_count[third], 0);
    const double third_time = net.params.next_time;

    net.event_count = 0;  // the driver writes the log out and empties it
    crtest::run_interval(net, st);
    EXPECT_EQ(net.t, 1.0);
    ASSERT_EQ(net.event_count, 1);
    EXPECT_EQ(net.log_times[0], third_time);
    EXPECT_EQ(net.log_rxns[0], third + 1.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1, 1}));
}

TEST(CrInterval, FullLogHandedInIsNeverOverrun) {
    Network net = one_shots(2, 1000.0, 1);
    net.params.eventlog_flag = 1;
    net.log_times.push_back(-1.0);
    net.log_rxns.push_back(-1.0);
    CrState st;
    crtest::start_run(net, st);
    const double first = net.params.next_time;
    net.event_count = 1;
    crtest::run_interval(net, st);
    EXPECT_EQ(net.event_count, 1);
    EXPECT_EQ(net.t, first);
    EXPECT_EQ(net.log_times[1], -1.0);
    EXPECT_EQ(net.log_rxns[1], -1.0);
    EXPECT_EQ(net.fire_count[0] + net.fire_count[1], 1);
}

TEST(CrInterval, LoggingOffLeavesLogAndCountAlone) {
    for (int flag : {0, 2}) {
        Network net = one_shots(3, 1000.0, 2);
        net.params.eventlog_flag = flag;
        CrState st;
        crtest::start_run(net, st);
        net.log_times = {-3.0, -3.0};
        net.event_count = 1;
        crtest::run_interval(net, st);
        EXPECT_EQ(net.t, 1.0);
        EXPECT_EQ(net.event_count, 1);
        EXPECT_EQ(net.log_times, (std::vector<double>{-3.0, -3.0}));
        EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1, 1}));
    }
}

// Replaying the log onto the initial counts gives the final counts; the
// firing counts accumulate over calls; the kept total is the groups' total,
// close to the plain sum of the propensities, which are those of the
// current counts.
TEST(CrInterval, CountsFollowTheMatrixAndAccumulate) {
    setall(777, 777);
    Network net = testutil::dimerisation_decay(kDirectMethod, 2000);
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 1 << 20;
    net.build();
    net.params.snapshot_interval = 0.5;
    CrState st;
    crtest::start_run(net, st);
    int previous_total = 0;
    for (int call = 1; call <= 4; call++) {
        crtest::run_interval(net, st);
        EXPECT_EQ(net.t, 0.5 * call);
        int total = 0;
        for (int f : net.fire_count) total += f;
        EXPECT_GT(total, previous_total);
        EXPECT_EQ(total, net.event_count);
        previous_total = total;
        crtest::expect_consistent(st, net.reactions, 1e-12);
    }
    std::vector<int> replay = {2000, 0, 0, 0};
    std::vector<int> fired(4, 0);
    double last = 0.0;
    for (int e = 0; e < net.event_count; e++) {
        const int r = static_cast<int>(net.log_rxns[e]) - 1;
        ASSERT_GE(net.log_times[e], last);
        last = net.log_times[e];
        fired[r]++;
        for (int s = 0; s < 4; s++) replay[s] += net.matrix.row(r)[s];
    }
    EXPECT_EQ(replay, net.counts());
    EXPECT_EQ(fired, net.fire_count);
    EXPECT_GT(net.params.next_time, 2.0);
    double a0 = 0.0;
    for (int r = 0; r < net.model.num_rxns; r++) {
        EXPECT_EQ(net.reactions[r].ai,
                  calc_rxn_prob_vesk(net.reactions[r], net.species, net.params, net.model, r));
        a0 += net.reactions[r].ai;
    }
    EXPECT_EQ(net.params.total_prob, cr_total(st));
    EXPECT_NEAR(net.params.total_prob, a0, 1e-12 * a0);
}

struct Trajectory {
    std::vector<std::vector<int>> counts;
    std::vector<double> times;
    std::vector<double> rxns;
};

// With `inert_general`, an "n-order" reaction of a species that stays at 0
// joins the network: it never fires and draws nothing, but it makes the
// method work on the species and reaction records instead of its own copy
// of the counts, so that both ways are run on one trajectory.
Trajectory simulate(std::int32_t seed, bool inert_general = false) {
    setall(seed, seed);
    Network net = testutil::dimerisation_decay(kDirectMethod, 3000);
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 500;  // early returns along the way
    if (inert_general) {
        const int z = net.add_species(0);
        net.add_reaction(kNOrder, {z}, {z}, {1.0, 1.0}, {1}, {1}, {2.0});
    }
    net.build();
    net.params.snapshot_interval = 0.25;
    CrState st;
    crtest::start_run(net, st);
    EXPECT_EQ(st.own_counts, !inert_general);
    if (inert_general) {
        EXPECT_EQ(net.reactions.back().ai, 0.0);
    }
    Trajectory tr;
    while (net.t < 10.0) {
        crtest::run_interval(net, st);
        // Between calls the records hold what the method holds, whichever
        // copy it worked on, early returns included.
        crtest::expect_consistent(st, net.reactions, 1e-12);
        if (st.own_counts) {
            EXPECT_EQ(net.counts(), st.counts) << "at t " << net.t;
        }
        // ... and the propensities are those of the counts the records hold.
        for (int r = 0; r < net.model.num_rxns; r++)
            EXPECT_EQ(net.reactions[r].ai,
                      calc_rxn_prob_vesk(net.reactions[r], net.species, net.params, net.model, r))
                << "reaction " << r << " at t " << net.t;
        if (net.event_count == net.params.eventlog_arraysize) {
            tr.times.insert(tr.times.end(), net.log_times.begin(), net.log_times.end());
            tr.rxns.insert(tr.rxns.end(), net.log_rxns.begin(), net.log_rxns.end());
            net.event_count = 0;
        }
        std::vector<int> counts = net.counts();
        if (inert_general) counts.pop_back();
        tr.counts.push_back(counts);
    }
    tr.times.insert(tr.times.end(), net.log_times.begin(), net.log_times.begin() + net.event_count);
    tr.rxns.insert(tr.rxns.end(), net.log_rxns.begin(), net.log_rxns.begin() + net.event_count);
    return tr;
}

TEST(CrInterval, OneSeedReproducesTheWholeTrajectory) {
    const Trajectory a = simulate(4242);
    const Trajectory b = simulate(4242);
    const Trajectory c = simulate(4243);
    ASSERT_GT(a.times.size(), 1000u);
    EXPECT_EQ(a.counts, b.counts);
    EXPECT_EQ(a.times, b.times);
    EXPECT_EQ(a.rxns, b.rxns);
    EXPECT_NE(a.times, c.times);
}

TEST(CrInterval, OwnCountsAndRecordsGiveTheSameTrajectory) {
    const Trajectory own = simulate(977);
    const Trajectory records = simulate(977, true);
    ASSERT_GT(own.times.size(), 1000u);
    EXPECT_EQ(own.counts, records.counts);
    EXPECT_EQ(own.times, records.times);
    EXPECT_EQ(own.rxns, records.rxns);
}

// 3000 reactions among 300 species, with rate constants over a range of
// binary exponents, so that candidates are rejected and reactions change
// groups; prefetching is switched on or off whatever the network's size.
struct LargeRun {
    std::vector<double> times, rxns;
    std::vector<int> counts, fire_count;
    RanlibGeneratorState generator;
};

LargeRun run_large_network(bool prefetch) {
    setall(31337, 73313);
    Network net = testutil::empty_network(kDirectMethod);
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 20000;
    net.params.snapshot_interval = 1.0 / 1024.0;
    const int n = 300;
    for (int s = 0; s < n; s++) net.add_species(50 + s % 97);
    for (int r = 0; r < 10 * n; r++)
        net.add_reaction(kUniUni, {r % n}, {(7 * r + 1) % n},
                         {std::ldexp(1.0 + (r % 5) * 0.3, r % 9 - 6)});
    net.build();
    CrState st;
    crtest::start_run(net, st);
    st.prefetch = prefetch;
    for (int call = 0; call < 16; call++) crtest::run_interval(net, st);
    LargeRun run;
    run.times.assign(net.log_times.begin(), net.log_times.begin() + net.event_count);
    run.rxns.assign(net.log_rxns.begin(), net.log_rxns.begin() + net.event_count);
    run.counts = net.counts();
    run.fire_count = net.fire_count;
    run.generator = *ranlib_generator_state();
    return run;
}

// Prefetching reads the next draws ahead of time but must neither draw them
// nor change the choice they make.
TEST(CrInterval, PrefetchingLeavesTheTrajectoryAndTheGeneratorAsTheyWere) {
    const LargeRun with = run_large_network(true);
    const LargeRun without = run_large_network(false);
    ASSERT_GT(with.times.size(), 1000u);
    EXPECT_EQ(with.times, without.times);
    EXPECT_EQ(with.rxns, without.rxns);
    EXPECT_EQ(with.counts, without.counts);
    EXPECT_EQ(with.fire_count, without.fire_count);
    EXPECT_EQ(std::memcmp(&with.generator, &without.generator, sizeof with.generator), 0);
}

}  // namespace
}  // namespace plenta

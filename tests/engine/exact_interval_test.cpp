// The exact interval run: snapshot boundaries, the event log and its early
// return, kept state, and reproducibility of whole trajectories.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// n reactions A_i -> B_i with one molecule each, under first-reaction
// selection: after firing, a reaction's propensity is 0, so its new time is
// "never" and no deviate is drawn; the firing times are the ones set by hand.
Network one_shot_reactions(const std::vector<double>& times, int log_capacity) {
    Network net = testutil::empty_network(1);
    net.params.eventlog_arraysize = log_capacity;
    for (std::size_t i = 0; i < times.size(); i++) {
        const int a = net.add_species(1);
        const int b = net.add_species(0);
        net.add_reaction(kUniUni, {a}, {b}, {1.0});
    }
    net.build();
    for (int i = 0; i < net.model.num_rxns; i++) net.reactions[i].ai = 1.0;
    for (std::size_t i = 0; i < times.size(); i++) net.reactions[i].time = times[i];
    find_next_reaction_vesk(net.params.next_time, net.params.next_rxn, net.params.total_prob,
                            net.reactions, 1, 1, net.model, 0.0);
    return net;
}

TEST(ExactInterval, FiringExactlyOnTheBoundaryBelongsToThisCall) {
    Network net = one_shot_reactions({1.0, std::nextafter(1.0, 2.0)}, 10);
    net.params.eventlog_flag = 1;
    net.run_interval();
    EXPECT_EQ(net.t, 1.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 0}));
    EXPECT_EQ(net.counts(), (std::vector<int>{0, 1, 1, 0}));
    ASSERT_EQ(net.event_count, 1);
    EXPECT_EQ(net.log_times[0], 1.0);
    EXPECT_EQ(net.log_rxns[0], 1.0);
    // The one just after the boundary is the kept next event.
    EXPECT_EQ(net.params.next_rxn, 1);
    EXPECT_EQ(net.params.next_time, std::nextafter(1.0, 2.0));
    net.run_interval();
    EXPECT_EQ(net.t, 2.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1}));
    EXPECT_EQ(net.params.next_time, kNeverTime);
}

TEST(ExactInterval, StopsAtTheNextMultipleOfTheInterval) {
    Network net = one_shot_reactions({2.9, 3.0000001}, 10);
    net.t = 2.5;
    net.run_interval();
    EXPECT_EQ(net.t, 3.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 0}));
    net.params.snapshot_interval = 0.25;
    net.run_interval();
    EXPECT_EQ(net.t, 3.25);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1}));
}

TEST(ExactInterval, NothingToFireAdvancesOneBoundaryAndChangesNothing) {
    for (int algorithm : {kDirectMethod, 1}) {
        Network net = testutil::isomerisation(algorithm, 0, 0, 1.0, 1.0);
        net.params.eventlog_flag = 1;
        net.start_run();
        net.log_times[0] = -7.0;
        net.event_count = 0;
        for (int call = 1; call <= 3; call++) {
            net.run_interval();
            EXPECT_EQ(net.t, static_cast<double>(call));
        }
        EXPECT_EQ(net.counts(), (std::vector<int>{0, 0}));
        EXPECT_EQ(net.fire_count, (std::vector<int>{0, 0}));
        EXPECT_EQ(net.event_count, 0);
        EXPECT_EQ(net.log_times[0], -7.0);
        EXPECT_EQ(net.params.total_prob, 0.0);
    }
}

TEST(ExactInterval, FullLogEndsTheCallAtTheFillingFiring) {
    Network net = one_shot_reactions({0.2, 0.5, 0.7}, 2);
    net.params.eventlog_flag = 1;
    net.run_interval();
    EXPECT_EQ(net.event_count, 2);
    EXPECT_EQ(net.t, 0.5);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(net.log_times, (std::vector<double>{0.2, 0.5}));
    EXPECT_EQ(net.log_rxns, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(net.params.next_rxn, 2);  // drawn before the early return
    EXPECT_EQ(net.params.next_time, 0.7);

    net.event_count = 0;  // the driver writes the log out and empties it
    net.run_interval();
    EXPECT_EQ(net.t, 1.0);  // on toward the same boundary
    EXPECT_EQ(net.event_count, 1);
    EXPECT_EQ(net.log_times[0], 0.7);
    EXPECT_EQ(net.log_rxns[0], 3.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1, 1}));
}

// A log handed in full is not written past its end: the firing goes
// unlogged and the call returns right after it.
TEST(ExactInterval, FullLogHandedInIsNeverOverrun) {
    Network net = one_shot_reactions({0.2, 0.5}, 1);
    net.params.eventlog_flag = 1;
    net.log_times.push_back(-1.0);  // a guard entry just past the capacity
    net.log_rxns.push_back(-1.0);
    net.event_count = 1;
    net.run_interval();
    EXPECT_EQ(net.event_count, 1);
    EXPECT_EQ(net.t, 0.2);
    EXPECT_EQ(net.log_times[1], -1.0);
    EXPECT_EQ(net.log_rxns[1], -1.0);
    EXPECT_EQ(net.fire_count, (std::vector<int>{1, 0}));
}

TEST(ExactInterval, LoggingOffLeavesLogAndCountAlone) {
    for (int flag : {0, 2}) {
        Network net = one_shot_reactions({0.2, 0.5, 0.7}, 2);
        net.params.eventlog_flag = flag;
        net.log_times = {-3.0, -3.0};
        net.event_count = 1;
        net.run_interval();
        EXPECT_EQ(net.t, 1.0);
        EXPECT_EQ(net.event_count, 1);
        EXPECT_EQ(net.log_times, (std::vector<double>{-3.0, -3.0}));
        EXPECT_EQ(net.fire_count, (std::vector<int>{1, 1, 1}));
    }
}

// Every firing changes the counts by exactly one row, the firing counts
// accumulate over calls, and the kept state carries the next event.
TEST(ExactInterval, CountsFollowTheMatrixAndAccumulate) {
    for (int algorithm : {kDirectMethod, 1}) {
        setall(777, 777);
        Network net = testutil::dimerisation_decay(algorithm, 2000);
        net.params.eventlog_flag = 1;
        net.params.eventlog_arraysize = 1 << 20;
        net.build();
        net.params.snapshot_interval = 0.5;
        net.start_run();
        int previous_total = 0;
        for (int call = 1; call <= 4; call++) {
            net.run_interval();
            EXPECT_EQ(net.t, 0.5 * call);
            int total = 0;
            for (int f : net.fire_count) total += f;
            EXPECT_GT(total, previous_total);
            EXPECT_EQ(total, net.event_count);
            previous_total = total;
        }
        // Replay the log onto the initial counts.
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
        if (algorithm == kDirectMethod) {
            double a0 = 0.0;
            for (const Reaction& r : net.reactions) a0 += r.ai;
            EXPECT_EQ(net.params.total_prob, a0);
        }
    }
}

struct Trajectory {
    std::vector<std::vector<int>> counts;
    std::vector<std::vector<int>> fired;
    std::vector<double> times;
    std::vector<double> rxns;
};

Trajectory simulate(int algorithm, std::uint32_t seed) {
    setall(static_cast<std::int32_t>(seed), static_cast<std::int32_t>(seed));
    Network net = testutil::dimerisation_decay(algorithm, 3000);
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = 500;  // forces early returns along the way
    net.build();
    net.params.snapshot_interval = 0.25;
    net.start_run();
    Trajectory tr;
    while (net.t < 10.0) {
        net.run_interval();
        if (net.event_count == net.params.eventlog_arraysize) {
            tr.times.insert(tr.times.end(), net.log_times.begin(), net.log_times.end());
            tr.rxns.insert(tr.rxns.end(), net.log_rxns.begin(), net.log_rxns.end());
            net.event_count = 0;
        }
        tr.counts.push_back(net.counts());
        tr.fired.push_back(net.fire_count);
    }
    tr.times.insert(tr.times.end(), net.log_times.begin(), net.log_times.begin() + net.event_count);
    tr.rxns.insert(tr.rxns.end(), net.log_rxns.begin(), net.log_rxns.begin() + net.event_count);
    return tr;
}

TEST(ExactInterval, OneSeedReproducesTheWholeTrajectory) {
    for (int algorithm : {kDirectMethod, 1}) {
        const Trajectory a = simulate(algorithm, 4242);
        const Trajectory b = simulate(algorithm, 4242);
        const Trajectory c = simulate(algorithm, 4243);
        ASSERT_GT(a.times.size(), 1000u);
        EXPECT_EQ(a.counts, b.counts);
        EXPECT_EQ(a.fired, b.fired);
        EXPECT_EQ(a.times, b.times);
        EXPECT_EQ(a.rxns, b.rxns);
        EXPECT_NE(a.times, c.times);
        EXPECT_NE(a.counts, c.counts);
    }
}

}  // namespace
}  // namespace plenta

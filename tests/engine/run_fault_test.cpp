// Faults of the model met by the interval runs: each raises params.fault with
// the reaction, species, time and value, and the call returns at once.  The
// 32-bit crossings run under the sanitizer build too, where any signed
// overflow on the way would be reported.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "engine_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// G -> G + M: M grows by one per firing.
Network production(int algorithm, int m0, double k) {
    Network net = testutil::empty_network(algorithm);
    const int m = net.add_species(m0);
    const int g = net.add_species(1);
    net.add_reaction(kUniMulti, {g}, {g, m}, {k}, {}, {1, 1});
    net.params.tau_error = 0.03;
    net.build();
    return net;
}

void run_until_fault(Network& net, int max_calls) {
    net.fire_count.assign(net.fire_count.size(), 0);
    net.start_run();
    for (int i = 0; i < max_calls && !net.params.fault.raised(); ++i) {
        if (net.params.algorithm == kTauLeaping)
            vesk_tau(net.reactions, net.model, net.species, net.matrix, net.params, net.event_log(),
                     net.event_count, net.fire_count, net.t);
        else
            net.run_interval();
    }
}

TEST(RunFault, CountCrossing32BitsStopsEveryMethod) {
    for (int algorithm : {1, kDirectMethod, kTauLeaping}) {
        setall(4321, 4321);
        Network net = production(algorithm, 2147483600, 10.0);
        run_until_fault(net, 100);
        ASSERT_TRUE(net.params.fault.raised()) << "algorithm " << algorithm;
        const RunFault& f = net.params.fault;
        EXPECT_EQ(f.kind, RunFault::kCountOverflow);
        EXPECT_EQ(f.rxn, 0);
        EXPECT_EQ(f.species, 0);
        EXPECT_GT(f.value, 2147483647.0);
        EXPECT_GT(f.time, 0.0);
        EXPECT_LE(f.time, net.t + 1.0);
        // Nothing past the limit was stored.
        EXPECT_GE(net.species[0].count, 2147483600);
    }
}

TEST(RunFault, TauLeapingOfABillionMoleculesStopsAtTheFiringTotal) {
    // A <-> B with 10^9 molecules each at rate 5: the first leap (to the
    // boundary at 1) expects 5 10^9 firings of each reaction, beyond what a
    // firing total (or the Poisson deviate) holds.
    setall(99, 99);
    Network net = testutil::empty_network(kTauLeaping);
    const int a = net.add_species(1000000000);
    const int b = net.add_species(1000000000);
    net.add_reaction(kUniUni, {a}, {b}, {5.0});
    net.add_reaction(kUniUni, {b}, {a}, {5.0});
    net.params.tau_error = 0.03;
    net.build();
    run_until_fault(net, 10);
    ASSERT_TRUE(net.params.fault.raised());
    EXPECT_EQ(net.params.fault.kind, RunFault::kFiringOverflow);
    EXPECT_GT(net.params.fault.value, 2147483647.0);
    for (int n : net.fire_count) EXPECT_GE(n, 0);
    EXPECT_EQ(static_cast<long long>(net.species[0].count) + net.species[1].count, 2000000000LL);
}

TEST(RunFault, NegativeCountAndBadPropensityAreCaught) {
    // A kept event whose substrate is gone (the MEX's first call): firing it
    // would take A to -1.
    setall(7, 7);
    Network net = testutil::isomerisation(kDirectMethod, 0, 5, 1.0, 1.0);
    net.start_run();
    net.params.next_rxn = 0;
    net.params.next_time = 0.5;
    net.run_interval();
    ASSERT_TRUE(net.params.fault.raised());
    EXPECT_EQ(net.params.fault.kind, RunFault::kNegativeCount);
    EXPECT_EQ(net.params.fault.species, 0);
    EXPECT_EQ(net.params.fault.value, -1.0);
    EXPECT_EQ(net.params.fault.time, 0.5);
    EXPECT_EQ(describe_run_fault(net.params.fault),
              "reaction 1 at time 0.5: species 0 would go to -1, below 0.");

    // A negative rate constant gives a negative propensity: no waiting time
    // exists, the call ends before anything fires, under every method.
    for (int algorithm : {1, kDirectMethod, kTauLeaping}) {
        Network bad = testutil::isomerisation(algorithm, 10, 10, -1.0, 1.0);
        bad.params.tau_error = 0.03;
        bad.start_run();
        const std::vector<int> before = bad.counts();
        run_until_fault(bad, 1);
        ASSERT_TRUE(bad.params.fault.raised()) << algorithm;
        EXPECT_EQ(bad.params.fault.kind, RunFault::kBadPropensity);
        EXPECT_EQ(bad.params.fault.rxn, 0);
        EXPECT_EQ(bad.params.fault.value, -10.0);
        EXPECT_EQ(bad.counts(), before);
    }
}

TEST(RunFault, InfinitePropensityStopsInsteadOfFiringAtOneInstant) {
    // Each propensity is finite (1e308 x 1), their sum is not: every waiting
    // time would be 0.  The first firing makes one of them 2e308 = inf.
    setall(11, 11);
    Network net = testutil::isomerisation(kDirectMethod, 1, 1, 1e308, 1e308);
    net.start_run();
    net.run_interval();
    ASSERT_TRUE(net.params.fault.raised());
    EXPECT_EQ(net.params.fault.kind, RunFault::kBadPropensity);
    EXPECT_EQ(net.params.fault.time, 0.0);
    EXPECT_EQ(net.params.fault.value, HUGE_VAL);
    EXPECT_LE(net.fire_count[0] + net.fire_count[1], 1);
}

}  // namespace
}  // namespace plenta

// One exact step: propensity updates, the next event under the direct
// method and under first-reaction selection, and the random draws they use.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine_test_util.h"

namespace plenta {
namespace {

using testutil::GeneratorSnapshot;
using testutil::Network;
using testutil::prime_ignlgi;

constexpr std::int32_t kZHalf = 1073741782;     // ranf() == 0.5 exactly
constexpr std::int32_t kZQuarter = 536870891;   // ranf() == 0.25 exactly
constexpr std::int32_t kZOne = 2147483500;      // smallest integer with ranf() == 1.0

// n independent reactions; propensities are then set by hand.
Network independent_reactions(int algorithm, int n) {
    Network net = testutil::empty_network(algorithm);
    for (int i = 0; i < n; i++) {
        const int a = net.add_species(1);
        const int b = net.add_species(0);
        net.add_reaction(kUniUni, {a}, {b}, {1.0});
    }
    net.build();
    return net;
}

class ExactStep : public testing::Test {
  protected:
    void SetUp() override { setall(12345, 12345); }
};

TEST_F(ExactStep, PrimedDeviatesAreExact) {
    prime_ignlgi(1, kZHalf);
    ranf();
    EXPECT_EQ(ranf(), 0.5f);
    prime_ignlgi(0, kZQuarter);
    EXPECT_EQ(ranf(), 0.25f);
    prime_ignlgi(0, kZOne);
    EXPECT_EQ(ranf(), 1.0f);
    prime_ignlgi(0, kZOne - 1);
    EXPECT_LT(ranf(), 1.0f);
}

TEST_F(ExactStep, DirectMethodSelectsByStrictRunningSum) {
    Network net = independent_reactions(kDirectMethod, 2);
    net.reactions[0].ai = 1.0;
    net.reactions[1].ai = 3.0;
    double next_time = 0.0, a0 = 0.0;
    int next_rxn = -1;

    // u2 = 0.5: r = 2, sums 1 and 4.
    prime_ignlgi(1, kZHalf);
    GeneratorSnapshot before;
    const double u1 = static_cast<double>(ranf());
    before.restore();
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 1, net.model, 2.0);
    EXPECT_EQ(a0, 4.0);
    EXPECT_EQ(next_rxn, 1);
    EXPECT_EQ(next_time, 2.0 + (1.0 / 4.0) * std::log(1.0 / u1));

    // u2 = 0.25: r = 1 exactly equals the first sum, which is not greater.
    prime_ignlgi(1, kZQuarter);
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 1, net.model, 0.0);
    EXPECT_EQ(next_rxn, 1);

    // Without recompute the a0 passed in is used: a0 = 2 and u2 = 0.25 give
    // r = 0.5 < 1, reaction 0, and the waiting time has rate 2.
    a0 = 2.0;
    prime_ignlgi(1, kZQuarter);
    GeneratorSnapshot again;
    const double u1b = static_cast<double>(ranf());
    again.restore();
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 0, net.model, 0.0);
    EXPECT_EQ(a0, 2.0);
    EXPECT_EQ(next_rxn, 0);
    EXPECT_EQ(next_time, (1.0 / 2.0) * std::log(1.0 / u1b));
}

TEST_F(ExactStep, DirectMethodDrawsExactlyTwoDeviates) {
    Network net = independent_reactions(kDirectMethod, 3);
    for (Reaction& r : net.reactions) r.ai = 1.0;
    GeneratorSnapshot before;
    ranf();
    ranf();
    const float third = ranf();
    before.restore();
    double next_time = 0.0, a0 = 0.0;
    int next_rxn = 0;
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 1, net.model, 0.0);
    EXPECT_EQ(ranf(), third);
}

// ranf() == 1.0 as the selection deviate makes r equal to a0; no running sum
// exceeds it.  The pick must be the last reaction that can fire, never one
// with propensity 0.
TEST_F(ExactStep, SelectionDeviateOfOneNeverPicksAZeroPropensity) {
    Network net = independent_reactions(kDirectMethod, 4);
    const double ai[] = {0.0, 2.0, 0.5, 0.0};
    for (int i = 0; i < 4; i++) net.reactions[i].ai = ai[i];
    double next_time = 0.0, a0 = 0.0;
    int next_rxn = -1;
    prime_ignlgi(1, kZOne);
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 1, net.model, 0.0);
    EXPECT_EQ(next_rxn, 2);
    EXPECT_GT(net.reactions[next_rxn].ai, 0.0);

    // Nothing can fire: reaction 0 and an infinite waiting time.
    for (Reaction& r : net.reactions) r.ai = 0.0;
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kDirectMethod, 1, net.model, 0.0);
    EXPECT_EQ(next_rxn, 0);
    EXPECT_EQ(a0, 0.0);
    EXPECT_EQ(next_time, std::numeric_limits<double>::infinity());
}

TEST_F(ExactStep, FirstReactionPicksEarliestLowestIndexWithoutDrawing) {
    Network net = independent_reactions(1, 4);
    const double times[] = {5.0, 2.0, 3.0, 2.0};
    for (int i = 0; i < 4; i++) net.reactions[i].time = times[i];
    GeneratorSnapshot before;
    const float first = ranf();
    before.restore();
    double next_time = 0.0, a0 = 7.5;
    int next_rxn = -1;
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, 1, 1, net.model, 0.0);
    EXPECT_EQ(next_rxn, 1);
    EXPECT_EQ(next_time, 2.0);
    EXPECT_EQ(a0, 7.5);
    EXPECT_EQ(ranf(), first);

    for (Reaction& r : net.reactions) r.time = kNeverTime;
    find_next_reaction_vesk(next_time, next_rxn, a0, net.reactions, kTauLeaping, 1, net.model, 0.0);
    EXPECT_EQ(next_rxn, 0);
    EXPECT_EQ(next_time, kNeverTime);
}

// A propensity of exactly 1e-30 gets a drawn time; 9.9e-31 is "never" and
// consumes no deviate.  Under the direct method no time is drawn at all.
TEST_F(ExactStep, TentativeTimesAtThePropensityThreshold) {
    Network net = independent_reactions(1, 3);
    net.reactions[0].rates[0].value = 1e-30;
    net.reactions[1].rates[0].value = 9.9e-31;
    net.reactions[2].rates[0].value = 2.0;
    GeneratorSnapshot before;
    const double u0 = static_cast<double>(ranf());
    const double u2 = static_cast<double>(ranf());
    const float next = ranf();
    before.restore();
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 1.5);
    EXPECT_EQ(net.reactions[0].ai, 1e-30);
    EXPECT_EQ(net.reactions[0].time, 1.5 + (1.0 / 1e-30) * std::log(1.0 / u0));
    EXPECT_EQ(net.reactions[1].time, kNeverTime);
    EXPECT_EQ(net.reactions[2].time, 1.5 + (1.0 / 2.0) * std::log(1.0 / u2));
    EXPECT_EQ(ranf(), next);

    Network direct = independent_reactions(kDirectMethod, 3);
    for (Reaction& r : direct.reactions) r.time = -4.0;
    GeneratorSnapshot d;
    const float first = ranf();
    d.restore();
    update_rxn_prob_all(direct.reactions, direct.species, direct.params, direct.model, 0.0);
    EXPECT_EQ(direct.reactions[0].ai, 1.0);
    EXPECT_EQ(direct.reactions[2].time, -4.0);
    EXPECT_EQ(ranf(), first);
}

// Direct method: only dependents are recomputed, but a0 is the plain sum of
// all current propensities, stale ones included.
TEST_F(ExactStep, DirectUpdateResumsEveryPropensity) {
    Network net = testutil::isomerisation(kDirectMethod, 5, 0, 1.0, 2.0);
    const int third = net.add_species(4);
    net.add_reaction(kUniUni, {third}, {third}, {1.0});  // reads nothing the others change
    net.build();
    net.start_run();
    net.reactions[2].ai = 0.125;  // stale value, not in reaction 0's list
    net.species[0].count = 4;     // reaction 0 fired: A -> B
    net.species[1].count = 1;
    double a0 = -1.0;
    GeneratorSnapshot before;
    const float first = ranf();
    before.restore();
    update_rxn_prob_vesk(a0, net.reactions, 0, net.species, 0.3, net.params, net.model);
    EXPECT_EQ(net.reactions[0].ai, 4.0);
    EXPECT_EQ(net.reactions[1].ai, 2.0);
    EXPECT_EQ(net.reactions[2].ai, 0.125);
    EXPECT_EQ(a0, 4.0 + 2.0 + 0.125);
    EXPECT_EQ(ranf(), first);  // no deviate under the direct method
}

// First-reaction selection: dependents get new times, in list order;
// others keep their absolute times and a0 is untouched.
TEST_F(ExactStep, FirstReactionUpdateRedrawsDependentsInOrder) {
    Network net = testutil::isomerisation(1, 5, 0, 1.0, 2.0);
    const int third = net.add_species(4);
    net.add_reaction(kUniUni, {third}, {third}, {1.0});
    net.build();
    net.start_run();
    net.reactions[2].time = 9.0;
    net.species[0].count = 4;
    net.species[1].count = 1;
    GeneratorSnapshot before;
    const double u0 = static_cast<double>(ranf());
    const double u1 = static_cast<double>(ranf());
    const float next = ranf();
    before.restore();
    double a0 = 3.25;
    update_rxn_prob_vesk(a0, net.reactions, 0, net.species, 0.3, net.params, net.model);
    EXPECT_EQ(net.reactions[0].time, 0.3 + (1.0 / 4.0) * std::log(1.0 / u0));
    EXPECT_EQ(net.reactions[1].time, 0.3 + (1.0 / 2.0) * std::log(1.0 / u1));
    EXPECT_EQ(net.reactions[2].time, 9.0);
    EXPECT_EQ(a0, 3.25);
    EXPECT_EQ(ranf(), next);
}

// A reaction without substrates is not its own dependent.  Under
// first-reaction selection its spent time must still be replaced, by a draw
// that follows its dependents' draws; otherwise it would stay the earliest
// event forever.
TEST_F(ExactStep, SourceWithoutSubstratesGetsAFreshTimeAfterFiring) {
    Network net = testutil::empty_network(1);
    const int x = net.add_species(0);
    const int sink = net.add_species(0);
    net.add_reaction(kNOrder, {}, {x}, {3.0, 0.0}, {}, {1});  // constant source, rate 3
    net.add_reaction(kUniUni, {x}, {sink}, {1.0});
    net.build();
    ASSERT_EQ(net.reactions[0].dependents, (std::vector<int>{1}));
    net.start_run();
    net.species[x].count = 1;  // reaction 0 fired at 0.4
    GeneratorSnapshot before;
    const double u_dep = static_cast<double>(ranf());
    const double u_own = static_cast<double>(ranf());
    const float next = ranf();
    before.restore();
    double a0 = 0.0;
    update_rxn_prob_vesk(a0, net.reactions, 0, net.species, 0.4, net.params, net.model);
    EXPECT_EQ(net.reactions[1].time, 0.4 + (1.0 / 1.0) * std::log(1.0 / u_dep));
    EXPECT_EQ(net.reactions[0].time, 0.4 + (1.0 / 3.0) * std::log(1.0 / u_own));
    EXPECT_EQ(ranf(), next);

    // A source below the threshold becomes "never" without a draw.
    net.reactions[0].ai = 5e-31;
    GeneratorSnapshot b2;
    ranf();
    const float after_dep = ranf();
    b2.restore();
    update_rxn_prob_vesk(a0, net.reactions, 0, net.species, 0.5, net.params, net.model);
    EXPECT_EQ(net.reactions[0].time, kNeverTime);
    EXPECT_EQ(ranf(), after_dep);

    // The direct method draws nothing here.
    net.params.algorithm = kDirectMethod;
    GeneratorSnapshot b3;
    const float first = ranf();
    b3.restore();
    update_rxn_prob_vesk(a0, net.reactions, 0, net.species, 0.6, net.params, net.model);
    EXPECT_EQ(ranf(), first);
}

// Over a whole interval the source fires about rate * duration times and the
// run reaches the boundary (without the fresh time it would loop forever at
// the first firing time).
TEST_F(ExactStep, SourceRunUnderFirstReactionSelectionAdvances) {
    Network net = testutil::empty_network(1);
    const int x = net.add_species(0);
    net.add_reaction(kNOrder, {}, {x}, {50.0, 0.0}, {}, {1});
    net.build();
    net.start_run();
    net.run_interval();
    EXPECT_EQ(net.t, 1.0);
    EXPECT_EQ(net.species[x].count, net.fire_count[0]);
    EXPECT_GT(net.fire_count[0], 20);   // Poisson(50): far outside is a fault
    EXPECT_LT(net.fire_count[0], 90);
    EXPECT_GT(net.params.next_time, 1.0);
}

}  // namespace
}  // namespace plenta

// Leap-length selection: the worked cases of the Cao-Gillespie-Petzold
// bounds, checked against values computed by hand.  The matrices are written
// out directly (reaction rows and the order row) so that these tests depend on
// nothing but find_tau itself.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"

namespace plenta {
namespace {

struct TauCase {
    ModelSizes model;
    std::vector<Reaction> reactions;
    std::vector<Compound> species;
    StoichMatrix matrix;
};

// rows: one per reaction, then the order row; ai: one per reaction.
TauCase make_case(const std::vector<std::vector<int>>& rows, const std::vector<double>& ai,
                  const std::vector<int>& counts) {
    TauCase c;
    c.model.num_rxns = static_cast<int>(ai.size());
    c.model.num_cmpds = static_cast<int>(counts.size());
    c.matrix = StoichMatrix(c.model.num_rxns, c.model.num_cmpds);
    for (int r = 0; r <= c.model.num_rxns; ++r)
        for (int s = 0; s < c.model.num_cmpds; ++s) c.matrix.row(r)[s] = rows[r][s];
    c.reactions.resize(ai.size());
    for (std::size_t j = 0; j < ai.size(); ++j) c.reactions[j].ai = ai[j];
    c.species.resize(counts.size());
    for (std::size_t s = 0; s < counts.size(); ++s) c.species[s].count = counts[s];
    return c;
}

double tau_of(const TauCase& c, double eps) {
    return find_tau(c.model, c.reactions, c.species, c.matrix, eps);
}

TEST(FindTau, NoConsumedSpeciesGivesTheCap) {
    // 0 -> A and 0 -> B at high rates: nothing is consumed, the order row is 0.
    TauCase c = make_case({{1, 0}, {0, 1}, {0, 0}}, {1e6, 5e5}, {10, 0});
    EXPECT_EQ(tau_of(c, 0.03), 1000.0);
}

TEST(FindTau, FirstOrderDecayWorkedExample) {
    // A -> 0, ai = 100, x = 1000, eps = 0.03: b = 30, mu = -100, sigma^2 = 100,
    // so the drift bound 0.3 beats the variance bound 9.
    TauCase c = make_case({{-1}, {1}}, {100.0}, {1000});
    EXPECT_DOUBLE_EQ(tau_of(c, 0.03), 0.3);
    EXPECT_EQ(tau_of(c, 0.03), (0.03 * 1000.0 / 1.0) / 100.0);
}

TEST(FindTau, ZeroErrorBoundUsesOneMolecule) {
    // eps = 0 makes b = 1 for every species.  Species 0: A -> 0 (ai 4) and
    // 0 -> A twice over (row +2, ai 0.5): mu = -4 + 1 = -3, sigma^2 = 4 + 2 = 6,
    // bounds 1/3 and 1/6.  Species 1: consumed by B -> 0 at ai 2: bounds 1/2, 1/2.
    TauCase c = make_case({{-1, 0}, {2, 0}, {0, -1}, {1, 1}}, {4.0, 0.5, 2.0}, {500, 800});
    EXPECT_EQ(tau_of(c, 0.0), 1.0 / 6.0);
}

TEST(FindTau, ZeroDriftIsBoundedByTheVarianceOnly) {
    // A <-> B with equal propensities 50: no drift for either species, so the
    // drift bound is b / 1e-6; sigma^2 = 100, b = 0.1 * 1000 / 1 = 100 for A,
    // 0.1 * 2000 = 200 for B: tau = min(100^2 / 100, 200^2 / 100) = 100.
    TauCase c = make_case({{-1, 1}, {1, -1}, {1, 1}}, {50.0, 50.0}, {1000, 2000});
    EXPECT_EQ(tau_of(c, 0.1), (0.1 * 1000.0) * (0.1 * 1000.0) / 100.0);
    // Zero variance too (no propensity at all): both bounds are b / 1e-6 and
    // b^2 / 1e-6, far beyond the cap.
    TauCase idle = make_case({{-1, 1}, {1, -1}, {1, 1}}, {0.0, 0.0}, {1000, 2000});
    EXPECT_EQ(tau_of(idle, 0.1), 1000.0);
}

TEST(FindTau, NegativeOrZeroCountsUseOneMolecule) {
    // A -> 0 at ai 0.25 (a propensity left from before a leap overshot).
    for (int count : {-7, 0, 5}) {
        // eps * x / g <= 0.03 * 5 < 1, so b = 1 in all three cases:
        // min(1 / 0.25, 1 / 0.25) = 4.
        TauCase c = make_case({{-1}, {1}}, {0.25}, {count});
        EXPECT_EQ(tau_of(c, 0.03), 4.0) << "count " << count;
    }
}

TEST(FindTau, OrderDividesTheAllowedChange) {
    // A + B -> C (order 2 for A and B), ai = 1: b_A = 0.5 * 400 / 2 = 100,
    // b_B = 0.5 * 100 / 2 = 25; mu = -1, sigma^2 = 1 for both.  Species B
    // gives the bound min(25, 625) = 25.  C is not consumed and is skipped.
    TauCase c = make_case({{-1, -1, 1}, {2, 2, 0}}, {1.0}, {400, 100, 0});
    EXPECT_EQ(tau_of(c, 0.5), 25.0);
}

TEST(FindTau, SquaredCoefficientEntersTheVariance) {
    // 2A -> 0 (row -2), ai = 10, x = 100, eps = 0.5, order 1: b = 50,
    // mu = -20, sigma^2 = 4 * 10 = 40: drift bound 2.5, variance bound 62.5.
    // With ai = 0.001 the drift bound is 25000 and the variance bound
    // 2500 / 0.004 = 625000, so the cap of 1000 applies.
    TauCase c = make_case({{-2}, {1}}, {10.0}, {100});
    EXPECT_EQ(tau_of(c, 0.5), 2.5);
    // x = 1: b = 1; mu = -20 gives 0.05, sigma^2 = 40 gives 0.025: the
    // variance bound wins, which requires the square of -2 to be 4.
    TauCase tight = make_case({{-2}, {1}}, {10.0}, {1});
    EXPECT_EQ(tau_of(tight, 0.5), 1.0 / 40.0);
    TauCase slow = make_case({{-2}, {1}}, {0.001}, {100});
    EXPECT_EQ(tau_of(slow, 0.5), 1000.0);
}

TEST(FindTau, ResultDoesNotDependOnSpeciesOrder) {
    // The same network with its two species swapped.
    TauCase ab = make_case({{-1, 0}, {1, -3}, {1, 1}}, {7.0, 2.0}, {300, 90});
    TauCase ba = make_case({{0, -1}, {-3, 1}, {1, 1}}, {7.0, 2.0}, {90, 300});
    EXPECT_EQ(tau_of(ab, 0.03), tau_of(ba, 0.03));
    EXPECT_GT(tau_of(ab, 0.03), 0.0);
    EXPECT_LT(tau_of(ab, 0.03), 1000.0);
}

}  // namespace
}  // namespace plenta

// The "mass-action" type: reactant multiplicities counted as the number of
// ways to pick the molecules, the volume power of the order, sources and
// degradations, and its stoichiometry row.
#include <gtest/gtest.h>

#include "model_test_util.h"

namespace plenta {
namespace {

using modeltest::Model;

TEST(MassAction, FallingFactorialOfEachReactant) {
    Model m(3, 1.0);
    m.species[0].count = 5;
    m.species[1].count = 4;
    m.add(kMassAction, {0}, {0, 2}, {0.5}, {2}, {1, 1});   // 2A -> A + C
    m.add(kMassAction, {0, 1}, {2}, {2.0}, {3, 2}, {1});   // 3A + 2B -> C
    m.add(kMassAction, {1}, {}, {0.25}, {1});              // B ->
    EXPECT_EQ(m.propensity(0), 0.5 * 5 * 4);  // not x^2 ("n-order"), not halved ("homo-ltor")
    EXPECT_EQ(m.propensity(1), 2.0 * (5 * 4 * 3) * (4 * 3));
    EXPECT_EQ(m.propensity(2), 1.0);
    m.species[0].count = 2;  // fewer A than three
    EXPECT_EQ(m.propensity(1), 0.0);
    m.species[0].count = 1;
    EXPECT_EQ(m.propensity(0), 0.0);
    m.species[0].count = -3;  // never a positive rate from a negative count
    EXPECT_EQ(m.propensity(0), 0.0);
}

TEST(MassAction, RateConstantOverTheVolumePowerOfTheOrder) {
    Model m(2, 4.0);
    m.species[0].count = 3;
    m.species[1].count = 2;
    m.add(kMassAction, {}, {0}, {2.0}, {}, {1});            // source: c V
    m.add(kMassAction, {0}, {1}, {2.0}, {1}, {1});          // first order: no volume
    m.add(kMassAction, {0, 1}, {1}, {2.0}, {1, 1}, {2});    // second order: c / V
    m.add(kMassAction, {0}, {1}, {2.0}, {3}, {1});          // third order: c / V^2
    EXPECT_EQ(m.propensity(0), 8.0);
    EXPECT_EQ(m.propensity(1), 6.0);
    EXPECT_EQ(m.propensity(2), 3.0);
    EXPECT_EQ(m.propensity(3), 2.0 / 16.0 * 6.0);
    // The same as the fixed-shape bimolecular type at any volume.
    m.add(kBinding, {0, 1}, {1}, {2.0});
    EXPECT_EQ(m.propensity(2), m.propensity(4));
}

TEST(MassAction, RowAddsProductsToConsumedReactants) {
    Model m(3, 1.0);
    m.add(kMassAction, {0}, {0, 1}, {1.0}, {2}, {1, 1});  // 2A -> A + B
    m.add(kMassAction, {}, {2}, {1.0}, {}, {3});          // -> 3C
    m.add(kMassAction, {1, 2}, {}, {1.0}, {1, 2});        // B + 2C ->
    StoichMatrix s = m.stoich();
    EXPECT_EQ(std::vector<int>(s.row(0), s.row(0) + 3), (std::vector<int>{-1, 1, 0}));
    EXPECT_EQ(std::vector<int>(s.row(1), s.row(1) + 3), (std::vector<int>{0, 0, 3}));
    EXPECT_EQ(std::vector<int>(s.row(2), s.row(2) + 3), (std::vector<int>{0, -1, -2}));
    EXPECT_STREQ(kRxnTypeNames[kMassAction], "mass-action");
    EXPECT_EQ(assign_rxn_index("mass-action"), kMassAction);
}

}  // namespace
}  // namespace plenta

// Propensities of every reaction type and of the built-in "undef" table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model_test_util.h"

namespace plenta {
namespace {

using modeltest::Model;

TEST(Propensity, MassActionTypes) {
    Model m(3, 2.0);
    m.species[0].count = 10;
    m.species[1].count = 3;
    m.add(kBinding, {0, 1}, {2});
    m.add(kUniqueBiBi, {0, 1}, {2});
    m.add(kUniUni, {1}, {2}, {0.5});
    m.add(kUnbinding, {0}, {1, 2}, {0.25});
    m.add(kUniMulti, {1}, {2}, {2.0}, {}, {3});
    EXPECT_DOUBLE_EQ(m.propensity(0), 15.0);  // (1 / 2) * 10 * 3
    EXPECT_DOUBLE_EQ(m.propensity(1), 15.0);
    EXPECT_DOUBLE_EQ(m.propensity(2), 1.5);
    EXPECT_DOUBLE_EQ(m.propensity(3), 2.5);
    EXPECT_DOUBLE_EQ(m.propensity(4), 6.0);
}

TEST(Propensity, HomoLtorCountsDistinctPairs) {
    Model m(2, 1.0);
    m.add(kHomoLtor, {0, 0}, {1});
    m.species[0].count = 1;
    EXPECT_EQ(m.propensity(0), 0.0);
    m.species[0].count = 4;
    EXPECT_EQ(m.propensity(0), 6.0);
    m.params.volume = 4.0;
    m.reactions[0].rates[0].value = 2.0;
    EXPECT_EQ(m.propensity(0), 3.0);  // (2 / 4) * 4 * 3 / 2
}

TEST(Propensity, Transv1) {
    Model m(4, 1.0);
    m.species[0].count = 3;
    m.species[1].count = 2;
    m.species[2].count = 4;
    m.add(kTransv1, {0, 1, 2}, {3}, {2.0}, {1, 1, 1}, {1});
    EXPECT_DOUBLE_EQ(m.propensity(0), 6.0 / 0.75);  // N = 6, D = 1/2 + 1/4
    m.species[2].count = 0;                          // last substrate short
    EXPECT_EQ(m.propensity(0), 0.0);
    m.species[2].count = 4;
    m.reactions[0].subs_coef[1] = 3;  // 2 molecules, 3 needed: short
    EXPECT_EQ(m.propensity(0), 0.0);
    m.reactions[0].subs_coef[1] = 1;
    m.reactions[0].subs_coef[0] = 4;  // first substrate short: N = 0 over a finite D
    EXPECT_EQ(m.propensity(0), 0.0);
}

TEST(Propensity, GenmmSaturates) {
    Model m(3, 2.0);
    m.species[0].count = 4;
    m.species[1].count = 10;
    m.add(kGenmm, {0}, {2}, {3.0}, {1}, {1});
    EXPECT_DOUBLE_EQ(m.propensity(0), 6.0);  // (3 * 4) / 2, P stays 1
    m.add(kGenmm, {0, 1}, {2}, {3.0, 2.5}, {1, 1}, {1});
    // x_1 = k_1 V = 5 would halve; here 10 / (10 + 5).
    EXPECT_DOUBLE_EQ(m.propensity(1), 6.0 * (10.0 / 15.0));
    m.species[1].count = 0;
    EXPECT_EQ(m.propensity(1), 0.0);
    m.species[1].count = 10;
    m.species[0].count = 0;
    EXPECT_EQ(m.propensity(1), 0.0);
}

TEST(Propensity, NOrder) {
    Model m(3, 2.0);
    // Order 0: k_0 V whatever the counts (all zero here).
    m.add(kNOrder, {0, 1}, {2}, {3.0, 0.0}, {1, 1}, {1}, {1.0, 1.0});
    EXPECT_DOUBLE_EQ(m.propensity(0), 6.0);
    // Order 2, exponents 1 and 1: (k_0 / V) x_0 x_1.
    m.add(kNOrder, {0, 1}, {2}, {4.0, 2.0}, {1, 1}, {1}, {1.0, 1.0});
    m.species[0].count = 3;
    m.species[1].count = 5;
    EXPECT_DOUBLE_EQ(m.propensity(1), 30.0);
    m.species[0].count = 0;
    EXPECT_EQ(m.propensity(1), 0.0);
    // Fractional exponent and order: k_0 / V^(E-1) * x^e.
    m.add(kNOrder, {1}, {2}, {1.0, 1.5}, {1}, {1}, {0.5});
    EXPECT_DOUBLE_EQ(m.propensity(2), std::sqrt(5.0) / std::sqrt(2.0));
}

TEST(Propensity, UndefUsesTableUnlessShort) {
    Model m(34, 7.0);
    for (int i = 0; i < 34; i++) m.species[i].count = i + 2;
    // id 1 reads X[2] = 4, not its substrate list; the volume is not used.
    m.add(kUndef, {5}, {6}, {0.5}, {1}, {1});
    m.reactions[0].id = 1;
    EXPECT_EQ(m.propensity(0), 2.0);
    m.reactions[0].subs_coef[0] = 8;  // 7 molecules of species 5, 8 needed
    EXPECT_EQ(m.propensity(0), 0.0);
    m.reactions[0].subs_coef[0] = 1;
    m.reactions[0].id = 40;
    EXPECT_EQ(m.propensity(0), 0.0);
    m.reactions[0].id = -1;
    EXPECT_EQ(m.propensity(0), 0.0);
}

TEST(Propensity, UndefTableEntries) {
    std::vector<Compound> x(34);
    for (int i = 0; i < 34; i++) x[i].count = i + 2;
    Reaction r;
    r.rates.resize(2);
    r.rates[0].value = 3e-9;
    r.rates[1].value = 5e-9;
    r.id = 0;  // k_1 X[0] X[1] / 5e-16
    EXPECT_EQ(rxn_prob_undef(r, x), 5e-9 * 2.0 * 3.0 / 5e-16);
    r.id = 4;  // k_0 X[5] X[4] / 5e-16
    EXPECT_EQ(rxn_prob_undef(r, x), 3e-9 * 7.0 * 6.0 / 5e-16);
    r.id = 20;  // k_0 X[17] (X[17] - 1) / 2 / 5e-16
    EXPECT_EQ(rxn_prob_undef(r, x), 3e-9 * 19.0 * 18.0 / 2.0 / 5e-16);
    r.id = 37;
    EXPECT_EQ(rxn_prob_undef(r, x), 3e-9 * 35.0);
    r.id = 38;
    EXPECT_EQ(rxn_prob_undef(r, x), 0.0);
}

// Every formula is a product over the species it reads, so emptying the
// highest species it claims to read must give 0, and leaving it filled must
// not.  This ties rxn_prob_undef_max_species to the formulas themselves.
TEST(Propensity, UndefMaxSpeciesIsReadByTheFormula) {
    Reaction r;
    r.rates.resize(2);
    r.rates[0].value = 1.0;
    r.rates[1].value = 1.0;
    int highest = -1;
    for (int id = 0; id < 38; id++) {
        const int top = rxn_prob_undef_max_species(id);
        ASSERT_GE(top, 0) << id;
        ASSERT_LE(top, 33) << id;
        highest = top > highest ? top : highest;
        std::vector<Compound> x(static_cast<std::size_t>(top) + 1);
        for (Compound& c : x) c.count = 3;
        r.id = id;
        EXPECT_GT(rxn_prob_undef(r, x), 0.0) << id;
        x[top].count = 0;
        EXPECT_EQ(rxn_prob_undef(r, x), 0.0) << id;
    }
    EXPECT_EQ(highest, 33);
    EXPECT_EQ(rxn_prob_undef_max_species(0), 1);
    EXPECT_EQ(rxn_prob_undef_max_species(36), 32);
    EXPECT_EQ(rxn_prob_undef_max_species(38), -1);
    EXPECT_EQ(rxn_prob_undef_max_species(-1), -1);
}

TEST(Propensity, UnknownTypePrintsAndYieldsZero) {
    Model m(2);
    m.species[0].count = 5;
    m.add(kNumRxnTypes, {0}, {1});  // the first index past the table
    m.add(-1, {0}, {1});
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.propensity(0), 0.0);
    EXPECT_EQ(m.propensity(1), 0.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, std::string(kMsgPropensityTypeUndefined) + kMsgPropensityTypeUndefined);
    EXPECT_EQ(std::string(kMsgPropensityTypeUndefined),
              "a specified reaction type is not defined - calc_rxn_prob\n");
}

}  // namespace
}  // namespace plenta

namespace plenta {
namespace {

// The inline evaluation used by the engine's step gives the same bits as the
// general dispatcher, for every type.
TEST(Propensity, InlineEvaluationMatchesDispatcher) {
    modeltest::Model m(34, 3.0);
    for (int i = 0; i < 34; i++) m.species[i].count = 3 * i + 1;
    m.add(kBinding, {3, 7}, {0}, {0.7});
    m.add(kUniqueBiBi, {2, 9}, {0}, {1.3});
    m.add(kUnbinding, {4}, {1, 2}, {0.11});
    m.add(kUniUni, {5}, {1}, {2.9});
    m.add(kUniMulti, {6}, {1}, {0.33}, {}, {2});
    m.add(kHomoLtor, {8, 8}, {1}, {0.013});
    m.add(kTransv1, {1, 2, 3}, {4}, {0.5}, {1, 2, 1}, {1});
    m.add(kGenmm, {1, 2}, {4}, {0.5, 0.25}, {1, 1}, {1});
    m.add(kNOrder, {1, 2}, {4}, {0.5, 1.7}, {1, 1}, {1}, {0.5, 1.2});
    m.add(kUndef, {1}, {4}, {0.5}, {1}, {1});
    for (int r = 0; r < m.sizes.num_rxns; r++) {
        const double general = m.propensity(r);
        EXPECT_GT(general, 0.0) << r;
        EXPECT_EQ(calc_rxn_prob_inline(m.reactions[r], m.species, m.params, m.sizes, r), general) << r;
    }
}

}  // namespace
}  // namespace plenta

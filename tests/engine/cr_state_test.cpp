// The composition-rejection state: sparse stoichiometry rows against the
// dense matrix, propensity groups over the whole double range, groups that
// appear and empty, and fresh summation.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cr_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

// Every type, with the rows whose set/add order matters: a product that is
// also a substrate, repeated products, coefficients that net to zero.
Network all_row_shapes() {
    Network net = testutil::empty_network(kDirectMethod);
    for (int s = 0; s < 6; s++) net.add_species(10);
    net.add_reaction(kBinding, {0, 1}, {2}, {1.0});
    net.add_reaction(kBinding, {0, 1}, {0}, {1.0});      // product = first substrate: +1 there
    net.add_reaction(kUniqueBiBi, {0, 1}, {2}, {1.0});   // no row rule: empty row
    net.add_reaction(kUnbinding, {2}, {0, 0}, {1.0});    // AA -> A + A
    net.add_reaction(kUniUni, {3}, {3}, {1.0});          // set -1 then set +1
    net.add_reaction(kUniMulti, {3}, {4, 3}, {1.0}, {}, {2, 1});
    net.add_reaction(kUniMulti, {3}, {}, {1.0});
    net.add_reaction(kHomoLtor, {5, 5}, {4}, {1.0});
    net.add_reaction(kTransv1, {0, 1}, {0}, {1.0}, {2, 1}, {3});
    net.add_reaction(kGenmm, {1, 2}, {2}, {1.0, 1.0}, {1, 1}, {1});  // nets 0 at species 2
    net.add_reaction(kNOrder, {4}, {5}, {1.0, 1.0}, {2}, {1}, {1.0});
    net.add_reaction(kUndef, {0}, {1, 1}, {1.0}, {1}, {2, 3});
    net.build();
    return net;
}

TEST(CrState, FiringBlocksHoldTheNonZeroRowEntriesAndTheDependents) {
    Network net = all_row_shapes();
    CrState st;
    cr_build(st, net.reactions, net.model, net.species);
    for (int r = 0; r < net.model.num_rxns; r++) {
        const CrFiring f = cr_firing(st, r);
        std::vector<int> dense(net.model.num_cmpds, 0);
        for (int k = 0; k < f.num_changes; k++) {
            const int species = f.changes[2 * k];
            EXPECT_NE(f.changes[2 * k + 1], 0) << "row " << r;
            EXPECT_EQ(dense[species], 0) << "species twice in row " << r;
            dense[species] = f.changes[2 * k + 1];
        }
        const std::int32_t* row = net.matrix.row(r);
        EXPECT_EQ(dense, std::vector<int>(row, row + net.model.num_cmpds)) << "row " << r;
        // The dependents follow the row, as the reaction lists them.
        EXPECT_EQ(std::vector<int>(f.deps, f.deps + f.num_deps), net.reactions[r].dependents)
            << "reaction " << r;
    }
    // Both places a firing can be kept are read back above.
    int in_blocks = 0;
    for (const CrReaction& r : st.rxns) in_blocks += r.num_changes == kCrInBlocks;
    EXPECT_GT(in_blocks, 0);
    EXPECT_LT(in_blocks, net.model.num_rxns);
    // Spot checks of what the dense rules give.
    EXPECT_EQ(cr_firing(st, 2).num_changes, 0);  // unique-bi-bi
    EXPECT_EQ(net.matrix.row(1)[0], 1);
    EXPECT_EQ(net.matrix.row(3)[0], 2);
}

TEST(CrState, PropensitiesOverTheWholeDoubleRangeFindTheirGroup) {
    Network net = testutil::empty_network(kDirectMethod);
    net.add_species(1);
    const std::vector<double> values = {DBL_MAX,  1e300, 3.0,      1.0,     0.75,
                                        1e-300,   DBL_MIN, 4.9e-324, 0.0,    -2.0,
                                        std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::quiet_NaN()};
    for (std::size_t i = 0; i < values.size(); i++) net.add_reaction(kUniUni, {0}, {0}, {1.0});
    net.build();
    for (std::size_t i = 0; i < values.size(); i++) net.reactions[i].ai = values[i];
    CrState st;
    cr_build(st, net.reactions, net.model, net.species);
    crtest::expect_consistent(st, net.reactions, 0.0);
    EXPECT_EQ(cr_group_of(st.rxns[0].a), kCrNumGroups - 1);  // the largest double: exponent 1024
    EXPECT_EQ(cr_group_of(st.rxns[7].a), 0);                 // the smallest subnormal: exponent -1073
    // 1.0 = 0.5 * 2^1 lies in [1, 2), one group above 0.75 = 0.75 * 2^0.
    EXPECT_EQ(cr_group_of(st.rxns[3].a), cr_group_of(st.rxns[4].a) + 1);
    EXPECT_EQ(cr_group_of(st.rxns[3].a), 1 - kCrMinExponent);
}

TEST(CrState, GroupsAppearAndEmptyAsPropensitiesMove) {
    Network net = testutil::empty_network(kDirectMethod);
    net.add_species(1);
    for (int i = 0; i < 3; i++) net.add_reaction(kUniUni, {0}, {0}, {1.0});
    net.build();
    for (Reaction& r : net.reactions) r.ai = 1.5;  // all in group [1, 2)
    CrState st;
    cr_build(st, net.reactions, net.model, net.species);
    ASSERT_EQ(st.active.size(), 1u);
    EXPECT_EQ(cr_total(st), 4.5);

    // Many orders of magnitude up, then down, then to zero.
    const double steps[][3] = {{1.5, 1e12, 1.5}, {1e-200, 1e12, 1.5}, {0.0, 1e12, 0.0},
                               {0.0, 0.0, 0.0}, {2.0, 0.0, 3.0}};
    for (const auto& step : steps) {
        for (int r = 0; r < 3; r++) {
            net.reactions[r].ai = step[r];
            cr_set_propensity(st, r, step[r]);
        }
        crtest::expect_consistent(st, net.reactions, 1e-15);
    }
    EXPECT_EQ(st.active.size(), 1u);  // 2 and 3 share [2, 4)
    EXPECT_EQ(cr_total(st), 5.0);
}

// A group emptied after large members left holds exactly 0, so nothing of
// their rounding stays in the total.
TEST(CrState, EmptiedGroupLeavesNoResidue) {
    Network net = testutil::empty_network(kDirectMethod);
    net.add_species(1);
    for (int i = 0; i < 2; i++) net.add_reaction(kUniUni, {0}, {0}, {1.0});
    net.build();
    net.reactions[0].ai = 1.0 + DBL_EPSILON;
    net.reactions[1].ai = 1.1;
    CrState st;
    cr_build(st, net.reactions, net.model, net.species);
    cr_set_propensity(st, 0, 1.3);
    cr_set_propensity(st, 1, 1e-9);
    cr_set_propensity(st, 0, 1e-9);
    EXPECT_EQ(cr_total(st), 2e-9);
}

TEST(CrState, RebuildForANewRunForgetsTheOldOne) {
    Network net = testutil::isomerisation(kDirectMethod, 10, 0, 1.0, 1.0);
    CrState st;
    crtest::start_run(net, st);
    EXPECT_EQ(cr_total(st), 10.0);
    net.species[0].count = 0;
    net.species[1].count = 1000;
    crtest::start_run(net, st);
    crtest::expect_consistent(st, net.reactions, 0.0);
    EXPECT_EQ(cr_total(st), 1000.0);
    EXPECT_EQ(net.params.total_prob, 1000.0);
    EXPECT_EQ(net.params.next_rxn, 1);  // only B -> A can fire
}

// The reaction lines of a large network come from their own allocation (2
// MiB aligned, offered for huge pages); small ones from the ordinary one.
// Both must hold their elements, keep the line alignment, and survive growth
// across the boundary and release (the sanitizer build checks the pairing).
TEST(CrState, LineStorageOfEverySizeHoldsItsLinesAligned) {
    std::vector<CrReaction, CrAllocator<CrReaction>> lines;
    for (std::size_t n : {std::size_t{1}, std::size_t{1000}, std::size_t{40000}, std::size_t{70000}}) {
        lines.resize(n);
        lines.back().k0 = static_cast<double>(n);
        lines.front().pos = static_cast<int>(n);
        const auto at = reinterpret_cast<std::uintptr_t>(lines.data());
        EXPECT_EQ(at % 64, 0u) << n << " lines";
        if (n * sizeof(CrReaction) >= (std::size_t{2} << 20)) {
            EXPECT_EQ(at % (std::size_t{2} << 20), 0u) << n << " lines";
        }
        EXPECT_EQ(lines.back().k0, static_cast<double>(n));
        EXPECT_EQ(lines.front().pos, static_cast<int>(n));
    }
    lines.resize(10);
    lines.shrink_to_fit();
    EXPECT_EQ(lines.front().pos, 70000);
}

}  // namespace
}  // namespace plenta

// Reaction dependency lists: who must be refreshed after a firing.
#include <gtest/gtest.h>

#include <random>

#include "model_test_util.h"

namespace plenta {
namespace {

using modeltest::Model;

TEST(Dependency, BindingAndUnbindingDependOnEachOther) {
    Model m(3);  // A B AB
    m.add(kBinding, {0, 1}, {2});
    m.add(kUnbinding, {2}, {0, 1});
    calc_dependency(m.sizes, m.reactions);
    EXPECT_EQ(m.reactions[0].dependents, (std::vector<int>{0, 1}));
    EXPECT_EQ(m.reactions[1].dependents, (std::vector<int>{0, 1}));
    EXPECT_EQ(m.sizes.num_deps, (std::vector<int>{2, 2}));
}

TEST(Dependency, SourceWithoutSubstratesIsInNoList) {
    Model m(3);
    m.add(kNOrder, {}, {1}, {1.0, 0.0}, {}, {1});  // 0-order source of species 1
    m.add(kUniUni, {0}, {2});                        // reads species 0 only
    calc_dependency(m.sizes, m.reactions);
    EXPECT_TRUE(m.reactions[0].dependents.empty());
    EXPECT_EQ(m.sizes.num_deps[0], 0);
    EXPECT_EQ(m.reactions[1].dependents, (std::vector<int>{1}));
}

TEST(Dependency, ListedOnceAndSortedAscending) {
    Model m(3);  // S P Q
    // Reaction 0 consumes S and makes P; reaction 2 reads S (found in the
    // substrate pass), reaction 1 reads P (found later, in the product pass).
    m.add(kUniUni, {0}, {1});
    m.add(kBinding, {1, 1}, {2});   // P twice in its substrate list
    m.add(kBinding, {0, 0}, {2});
    m.add(kUniUni, {2}, {2});
    calc_dependency(m.sizes, m.reactions);
    EXPECT_EQ(m.reactions[0].dependents, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(m.reactions[1].dependents, (std::vector<int>{1, 3}));
    EXPECT_EQ(m.reactions[2].dependents, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(m.reactions[3].dependents, (std::vector<int>{3}));
    EXPECT_EQ(m.sizes.num_deps, (std::vector<int>{3, 2, 3, 1}));
}

TEST(Dependency, OnlyTheCountedListEntriesMatter) {
    Model m(3);
    m.add(kUniUni, {0}, {1});
    m.add(kUniUni, {2}, {0});
    m.sizes.num_prods[1] = 0;  // the product entry beyond the count is ignored
    calc_dependency(m.sizes, m.reactions);
    EXPECT_EQ(m.reactions[1].dependents, (std::vector<int>{1}));
}

TEST(Dependency, HelpersIsUniqueAndCompare) {
    const int values[] = {4, -1, 7, 4};
    EXPECT_EQ(is_unique(4, values, 4), 0);
    EXPECT_EQ(is_unique(4, values, 7), 0);
    EXPECT_EQ(is_unique(4, values, 5), 1);
    EXPECT_EQ(is_unique(2, values, 7), 1);  // only the first count entries are scanned
    EXPECT_EQ(compare(3, 5), -2);
    EXPECT_EQ(compare(5, 3), 2);
    EXPECT_EQ(compare(4, 4), 0);
}

// The species-indexed build must give exactly calc_dependency's lists and
// counts: on random networks with repeated species, species on both sides,
// reactions without substrates or products, list entries beyond the counts,
// and positions that address no species (they are compared, not used).
TEST(Dependency, BySpeciesGivesTheSameListsOnRandomNetworks) {
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 200; trial++) {
        const int num_species = 1 + static_cast<int>(rng() % 12);
        const int num_rxns = 1 + static_cast<int>(rng() % 40);
        Model m(num_species);
        auto species_list = [&](int max_len) {
            std::vector<int> list(rng() % static_cast<unsigned>(max_len + 1));
            for (int& s : list)
                s = rng() % 20 == 0 ? -1 - static_cast<int>(rng() % 3)
                                    : static_cast<int>(rng() % static_cast<unsigned>(num_species + 1));
            return list;
        };
        for (int r = 0; r < num_rxns; r++) {
            std::vector<int> subs = species_list(4);
            std::vector<int> prods = species_list(3);
            m.add(kNOrder, subs, prods);
            // Sometimes fewer entries count than the lists hold.
            if (rng() % 5 == 0 && !subs.empty()) m.sizes.num_subs[r] -= 1;
            if (rng() % 5 == 0 && !prods.empty()) m.sizes.num_prods[r] -= 1;
        }
        Model by_species = m;
        calc_dependency(m.sizes, m.reactions);
        calc_dependency_by_species(by_species.sizes, by_species.reactions);
        ASSERT_EQ(by_species.sizes.num_deps, m.sizes.num_deps) << "trial " << trial;
        for (int r = 0; r < num_rxns; r++)
            ASSERT_EQ(by_species.reactions[r].dependents, m.reactions[r].dependents)
                << "trial " << trial << ", reaction " << r;
    }
}

}  // namespace
}  // namespace plenta

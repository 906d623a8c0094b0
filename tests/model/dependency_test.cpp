// Reaction dependency lists: who must be refreshed after a firing.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace plenta

// Stoichiometry rows of every type rule and the order row.
#include <gtest/gtest.h>

#include <string>

#include "model_test_util.h"

namespace plenta {
namespace {

using modeltest::Model;

std::vector<int> row_of(const StoichMatrix& m, int r) {
    return std::vector<int>(m.row(r), m.row(r) + m.num_cmpds);
}

TEST(StoichMatrix, FixedShapeRules) {
    Model m(4);  // A B AB D
    m.add(kBinding, {0, 1}, {2});
    m.add(kBinding, {0, 1}, {0});        // product set after the substrates: +1, not 0
    m.add(kUnbinding, {2}, {0, 0});      // AA -> A + A
    m.add(kUniMulti, {3}, {});           // no products
    m.add(kUniMulti, {3}, {0, 1}, {1.0}, {}, {2, 3});
    m.add(kHomoLtor, {0, 0}, {2});
    m.add(kUniUni, {1}, {1});            // both entries set: the product wins
    StoichMatrix s = m.stoich();
    EXPECT_EQ(row_of(s, 0), (std::vector<int>{-1, -1, 1, 0}));
    EXPECT_EQ(row_of(s, 1), (std::vector<int>{1, -1, 0, 0}));
    EXPECT_EQ(row_of(s, 2), (std::vector<int>{2, 0, -1, 0}));
    EXPECT_EQ(row_of(s, 3), (std::vector<int>{0, 0, 0, -1}));
    EXPECT_EQ(row_of(s, 4), (std::vector<int>{2, 3, 0, -1}));
    EXPECT_EQ(row_of(s, 5), (std::vector<int>{-2, 0, 1, 0}));
    EXPECT_EQ(row_of(s, 6), (std::vector<int>{0, 1, 0, 0}));
}

TEST(StoichMatrix, CoefficientTypesNetBothSides) {
    for (int type : {kTransv1, kGenmm, kNOrder, kUndef}) {
        Model m(2);
        // 2 X + Y -> 3 X: X nets +1 and is not consumed, Y is.
        m.add(type, {0, 1}, {0}, {1.0, 1.0}, {2, 1}, {3});
        StoichMatrix s = m.stoich();
        EXPECT_EQ(row_of(s, 0), (std::vector<int>{1, -1})) << "type " << type;
        EXPECT_EQ(row_of(s, 1), (std::vector<int>{0, 1})) << "type " << type;
    }
}

TEST(StoichMatrix, OrderRowCountsDistinctConsumedSpecies) {
    Model m(4);  // A B AB D
    m.add(kBinding, {0, 1}, {2});
    m.add(kUniUni, {0}, {3});
    EXPECT_EQ(row_of(m.stoich(), 2), (std::vector<int>{2, 2, 0, 0}));

    Model dimer(2);
    dimer.add(kHomoLtor, {0, 0}, {1});  // -2 at one species is order 1
    EXPECT_EQ(row_of(dimer.stoich(), 1), (std::vector<int>{1, 0}));

    // Only consumption counts; a reaction that consumes nothing gives zeros.
    Model none(2);
    none.add(kNOrder, {0}, {0, 1}, {1.0, 1.0}, {1}, {1, 1});
    StoichMatrix s = none.stoich();
    EXPECT_EQ(row_of(s, 0), (std::vector<int>{0, 1}));
    EXPECT_EQ(row_of(s, 1), (std::vector<int>{0, 0}));
}

TEST(StoichMatrix, TypesWithoutRowRulePrintAndLeaveRowZero) {
    Model m(3);
    m.add(kUniqueBiBi, {0, 1}, {2});
    m.add(12, {0}, {1});
    m.add(kUniUni, {0}, {1});
    testing::internal::CaptureStdout();
    StoichMatrix s = m.stoich();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, std::string(kMsgStoichTypeUndefined) + kMsgStoichTypeUndefined);
    EXPECT_EQ(std::string(kMsgStoichTypeUndefined),
              "a specified reaction type is not defined - calc_stoich_mat\n");
    EXPECT_EQ(row_of(s, 0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(row_of(s, 1), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(row_of(s, 2), (std::vector<int>{-1, 1, 0}));  // later reactions still built
    EXPECT_EQ(row_of(s, 3), (std::vector<int>{1, 0, 0}));
}

// Without building the matrix, a front end still tells the model author the
// same thing, once per reaction of every type the row rules do not cover:
// exactly the types whose rows the build leaves at zero (on this network
// every row rule gives a non-zero row).
TEST(StoichMatrix, ReportWithoutTheMatrixPrintsWhatTheBuildPrints) {
    int reported_types = 0;
    for (int type = 0; type < 13; type++) {
        Model m(3);
        m.add(type, {0, 1}, {2, 0}, {1.0}, {1, 1}, {1, 2});
        testing::internal::CaptureStdout();
        const StoichMatrix s = m.stoich();
        const std::string built = testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        report_types_without_row_rule(m.sizes, m.reactions);
        const std::string reported = testing::internal::GetCapturedStdout();
        EXPECT_EQ(reported, built) << "type " << type;
        const bool row_zero = row_of(s, 0) == std::vector<int>{0, 0, 0};
        EXPECT_EQ(reported == kMsgStoichTypeUndefined, row_zero) << "type " << type;
        EXPECT_TRUE(reported.empty() || reported == kMsgStoichTypeUndefined) << "type " << type;
        reported_types += reported.empty() ? 0 : 1;
    }
    EXPECT_GT(reported_types, 0);
}

}  // namespace
}  // namespace plenta

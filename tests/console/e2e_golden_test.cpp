// Golden outputs: the complete output of small models, one per algorithm,
// compared byte for byte with files reviewed by hand (tests/data/golden).
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

const std::string kGoldenDir = std::string(PLENTA_TEST_DATA_DIR) + "/golden/";

void expect_golden(const std::string& name) {
    const std::string golden = kGoldenDir + name;
    ASSERT_TRUE(exists(golden + "/model.txt")) << golden;
    TempDir dir;
    write_model(dir, read_file(golden + "/model.txt"));
    RunResult r = run_plenta_in(dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");

    std::set<std::string> expected = file_names(golden);
    expected.erase(".gitattributes");
    expected.insert("constants.txt");
    ASSERT_EQ(file_names(dir.path()), expected);
    for (const std::string& file : expected) {
        if (file == "constants.txt" || file == "model.txt") continue;
        EXPECT_EQ(read_file(dir.file(file)), read_file(golden + "/" + file)) << name << "/" << file;
    }
}

TEST(E2eGolden, DirectMethodWithEventLogAndTwoSets) { expect_golden("direct_eventlog"); }

TEST(E2eGolden, FirstReactionSelection) { expect_golden("first_reaction"); }

TEST(E2eGolden, TauLeapingWithEventLog) { expect_golden("tau_leaping"); }

}  // namespace
}  // namespace plenta_e2e

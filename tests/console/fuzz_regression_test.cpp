// Inputs found by fuzzing the start-up read, each loaded through
// load_console_model from a temporary folder.  Each was accepted before its
// fix and then crashed or stalled what start-up builds from the model.  The
// fuzzer's own reproducers are kept in tests/fuzz/regressions/ (the fuzz runs
// start from them too); the cases built here vary them around the limit.
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "console/console.h"
#include "model/model.h"

namespace plenta {
namespace {

// Header for a model of `rxns` reactions over species A (10) and B (0).
std::string header(int rxns) {
    return "traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = " + std::to_string(rxns) +
           "\nnum_cmpds = 2\n\nA 10\nB 0\n\n";
}

const char kParameters[] =
    "time_start = 0.0\ntime_end = 10.0\nvolume = 2.0\nalgorithm = 2\nrandseed = 7\n\n"
    "num_monit = 1\n0\nsnapshot_interval = 1.0\neventlog_flag = 0\nnum_repeats = 1\n";

// One reaction block of `type` with the given substrate and product lines.
std::string block(const std::string& type, int subs, const std::string& sub_lines, int prods,
                  const std::string& prod_lines) {
    return "R\nrxntype = " + type + "\nnum_subs = " + std::to_string(subs) + "\n" + sub_lines +
           "num_prods = " + std::to_string(prods) + "\n" + prod_lines + "StoP = 1.0\nid = 0\n\n";
}

std::string one_reaction(const std::string& reaction) { return header(1) + reaction + kParameters; }

class FuzzRegression : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "plenta_fuzz_regression_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/constants.txt", std::ios::binary) << "./\nmodel.txt\n";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string load(const std::string& text) {
        std::ofstream(dir_ + "/model.txt", std::ios::binary) << text;
        return load_console_model(dir_, model_);
    }
    std::string rxn_msg(int rxn, const std::string& what) const {
        return "Model file " + dir_ + "/.//model.txt, reaction " + std::to_string(rxn) +
               " (id 0): " + what + " Exit.\n";
    }

    // The stoichiometry matrix of the loaded model (the sanitizer build
    // reports any overflow while it is built).
    StoichMatrix matrix() const {
        StoichMatrix m(model_.sizes.num_rxns, model_.sizes.num_cmpds);
        create_stoich_matrix(model_.sizes, model_.reactions, m);
        return m;
    }

    std::string dir_;
    ConsoleModel model_;
};

// The matrix sums coefficients into 32-bit entries; two substrate
// coefficients of 2147483647 on one species used to overflow it.
TEST_F(FuzzRegression, CoefficientsWhoseNetChangeOverflowsACount) {
    const std::string too_much = "the stoichiometric coefficients of species 0 add up to more "
                                 "than a 32-bit count can hold.";
    EXPECT_EQ(load(one_reaction(block("transv1", 2, "0 2147483647\n0 2147483647\n", 1, "1 1\n"))),
              rxn_msg(0, too_much));
    // Negating the smallest int is itself out of range.
    EXPECT_EQ(load(one_reaction(block("transv1", 1, "0 -2147483648\n", 1, "1 1\n"))),
              rxn_msg(0, too_much));
    // A product on the substrate's species: -1 + 2147483647 fits, one more does not.
    EXPECT_EQ(load(one_reaction(block("uni-multi", 1, "0\n", 2, "0 2147483647\n0 1\n"))), "");
    EXPECT_EQ(load(one_reaction(block("uni-multi", 1, "0\n", 2, "0 2147483647\n0 2\n"))),
              rxn_msg(0, too_much));
    // An intermediate sum out of range fails even when the total fits.
    EXPECT_EQ(load(one_reaction(block("genmm", 1, "1 -2147483647\n", 2,
                                      "1 1\n1 -2147483647\n"))),
              "Model file " + dir_ +
                  "/.//model.txt, reaction 0 (id 0): the stoichiometric coefficients of species 1 "
                  "add up to more than a 32-bit count can hold. Exit.\n");

    // The largest coefficients that fit are kept as given.
    ASSERT_EQ(load(one_reaction(block("n-order", 1, "0 2147483647 1.0\n", 1, "1 -2147483648\n"))),
              "");
    StoichMatrix m = matrix();
    EXPECT_EQ(m.row(0)[0], -2147483647);
    EXPECT_EQ(m.row(0)[1], INT_MIN);
}

// Every count up to the text left to read used to get its zero-filled list,
// so a 4 KB file of 20 reactions with num_subs = 2500 each (their substrate
// lines missing, every position reading as species 0; many_large_lists.txt)
// held 50000 entries and kept the dependency graph busy for minutes.  All
// lists together now hold at most half as many entries as the file has
// characters.
TEST_F(FuzzRegression, ListEntriesBoundedByTheFileSize) {
    auto padded_model = [](int rxns, int subs) {
        std::string body;
        for (int r = 0; r < rxns; r++) body += block("uni-multi", subs, "", 1, "\n");
        return header(rxns) + body + kParameters + std::string(2600, '#');
    };
    // 2122 entries for 4244 characters: ten reactions of 211 (210 substrates,
    // one product) fit, the eleventh does not.
    std::string at_budget = padded_model(20, 210);
    ASSERT_EQ(at_budget.size(), 4244u);
    EXPECT_EQ(load(at_budget), rxn_msg(10, "num_subs = 210 is more than the model file can hold."));

    // Within the bound a count whose lines are missing still reads as the
    // format means: zero-filled entries, here substrate positions 0.
    ASSERT_EQ(load(padded_model(2, 30)), "");
    EXPECT_EQ(model_.reactions[1].subs_index, std::vector<int>(30, 0));
    EXPECT_EQ(model_.reactions[1].prods_index, std::vector<int>(1, 0));
}

// The fuzzer's reproducers as files: each is now rejected with its message.
TEST_F(FuzzRegression, FuzzerReproducers) {
    struct Case {
        const char* file;
        std::string message;
    };
    const Case cases[] = {
        // The all_types model with a substrate coefficient of -21474836481,
        // read as the smallest int, whose negation overflowed the matrix.
        {"coefficient_int_min.txt",
         "Model file " + dir_ + "/.//model.txt, reaction 6 (id 6): the stoichiometric "
         "coefficients of species 0 add up to more than a 32-bit count can hold. Exit.\n"},
        // 20 reactions of num_subs = 2500 in 4264 characters.
        {"many_large_lists.txt", rxn_msg(0, "num_subs = 2500 is more than the model file can hold.")},
    };
    for (const Case& c : cases) {
        std::ifstream file(std::string(PLENTA_TEST_DATA_DIR) + "/../fuzz/regressions/" + c.file,
                           std::ios::binary);
        ASSERT_TRUE(file) << c.file;
        std::ostringstream text;
        text << file.rdbuf();
        EXPECT_EQ(load(text.str()), c.message) << c.file;
    }
}

}  // namespace
}  // namespace plenta

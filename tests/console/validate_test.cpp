// Validation of the start-up read: every rejected input with the exact line
// the console program prints for it.  Each case writes a variant of one valid
// model into a temporary folder and loads it with load_console_model.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "console/console.h"

namespace plenta {
namespace {

const char kValidModel[] =
    "traj\n"
    "summary.txt\n"
    "evlog\n"
    "\n"
    "num_sets = 2\n"
    "num_rxns = 2\n"
    "num_cmpds = 3\n"
    "\n"
    "A 50\n"
    "B 40\n"
    "AB 0\n"
    "\n"
    "Binding\n"
    "rxntype = binding\n"
    "num_subs = 2\n"
    "0\n"
    "1\n"
    "num_prods = 1\n"
    "2\n"
    "StoP = 0.01\n"
    "id = 0\n"
    "\n"
    "Unbinding\n"
    "rxntype = unbinding\n"
    "num_subs = 1\n"
    "2\n"
    "num_prods = 2\n"
    "0\n"
    "1\n"
    "StoP = 0.5\n"
    "id = 1\n"
    "\n"
    "time_start = 0.0\n"
    "time_end = 5.0\n"
    "volume = 1.0\n"
    "algorithm = 2\n"
    "randseed = 2024\n"
    "\n"
    "num_monit = 2\n"
    "0\n"
    "2\n"
    "snapshot_interval = 0.5\n"
    "eventlog_flag = 1\n"
    "num_repeats = 2\n"
    "\n"
    "num_repeats = 1\n"
    "num_species = 1\n"
    "2 10\n"
    "num_rates = 1\n"
    "1 0 1.5\n";

const char kUnbindingBlock[] =
    "Unbinding\nrxntype = unbinding\nnum_subs = 1\n2\nnum_prods = 2\n0\n1\nStoP = 0.5\nid = 1\n";
const char kUndefBlock[] =
    "Decay\nrxntype = undef\nnum_subs = 1\n2 1\nnum_prods = 1\n0 1\nk_0*X[2]\nconsts 1\nkd 0.5\nid = 1\n";

// `text` with its first `from` replaced by `to`; the test fails if there is none.
std::string with(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "no \"" << from << "\" in the model";
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class Validate : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "plenta_validate_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        write(dir_ + "/constants.txt", "./\nmodel.txt\n");
        path_ = dir_ + "/.//model.txt";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static void write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // The message for a model file of `text` ("" when it loads).
    std::string load(const std::string& text) {
        write(dir_ + "/model.txt", text);
        return load_console_model(dir_, model_);
    }

    // "Model file <path>: <what> Exit.\n" and its reaction and set forms.
    std::string file_msg(const std::string& what) const {
        return "Model file " + path_ + ": " + what + " Exit.\n";
    }
    std::string rxn_msg(int rxn, int id, const std::string& what) const {
        return "Model file " + path_ + ", reaction " + std::to_string(rxn) + " (id " +
               std::to_string(id) + "): " + what + " Exit.\n";
    }
    std::string set_msg(int set, const std::string& what) const {
        return "Model file " + path_ + ", parameter set " + std::to_string(set) + ": " + what +
               " Exit.\n";
    }

    std::string dir_, path_;
    ConsoleModel model_;
};

TEST_F(Validate, ValidModelsLoad) {
    EXPECT_EQ(load(kValidModel), "");
    std::string undef = with(kValidModel, kUnbindingBlock, kUndefBlock);
    EXPECT_EQ(load(undef), "");
    // An "undef" id without a built-in formula reads no constant.
    EXPECT_EQ(load(with(with(with(undef, "consts 1\nkd 0.5\n", "consts 0\n"), "id = 1", "id = 40"),
                        "num_rates = 1\n1 0 1.5\n", "num_rates = 0\n")),
              "");
}

TEST_F(Validate, ConstantsTxtAndModelFile) {
    std::filesystem::remove(dir_ + "/constants.txt");
    EXPECT_EQ(load(kValidModel), "Can't open constants.txt file. Exit.\n");
    write(dir_ + "/constants.txt", "");
    EXPECT_EQ(load(kValidModel), "constants.txt holds no data directory line. Exit.\n");
    write(dir_ + "/constants.txt", "./\n\n");
    EXPECT_EQ(load(kValidModel),
              "constants.txt names no model file after its directory line. Exit.\n");
    write(dir_ + "/constants.txt", "./\nabsent.txt\n");
    EXPECT_EQ(load(kValidModel), "Can't open file " + dir_ + "/.//absent.txt. Exit!\n");
    EXPECT_EQ(cant_open_model_message("x"), "Can't open file x. Exit!\n");
    EXPECT_STREQ(kMsgCantOpenModel, "Can't open file %s. Exit!\n");
}

TEST_F(Validate, EmptyWorkingDirectoryIsTheCurrentOneAndPathsStayRelative) {
    write(dir_ + "/model.txt", kValidModel);
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    std::string message = load_console_model("", model_);
    std::filesystem::current_path(previous);
    EXPECT_EQ(message, "");
    EXPECT_EQ(model_.model_path, ".//model.txt");
    EXPECT_EQ(model_.traj_base, ".//traj");
}

TEST_F(Validate, HeaderCounts) {
    EXPECT_EQ(load(with(kValidModel, "num_sets = 2", "num_sets = 0")),
              file_msg("num_sets = 0 is below 1."));
    EXPECT_EQ(load(with(kValidModel, "num_rxns = 2", "num_rxns = 0")),
              file_msg("num_rxns = 0 is below 1."));
    EXPECT_EQ(load(with(kValidModel, "num_cmpds = 3", "num_cmpds = -1")),
              file_msg("num_cmpds = -1 is below 1."));
    std::string huge = with(kValidModel, "num_rxns = 2", "num_rxns = 2000000000");
    EXPECT_EQ(load(huge), file_msg("num_rxns = 2000000000 is more than a file of " +
                                   std::to_string(huge.size()) + " bytes can hold."));
    std::string many_sets = with(kValidModel, "num_sets = 2", "num_sets = 2147483647");
    EXPECT_EQ(load(many_sets), file_msg("num_sets = 2147483647 is more than a file of " +
                                        std::to_string(many_sets.size()) + " bytes can hold."));
}

TEST_F(Validate, LongLinesAndNames) {
    EXPECT_EQ(load(with(kValidModel, "traj\n", std::string(79, 't') + "\n")),
              file_msg("header line 1 is 79 characters long; header lines may hold at most 78."));
    EXPECT_EQ(load(with(kValidModel, "traj\n", std::string(78, 't') + "\n")), "");
    EXPECT_EQ(load(with(kValidModel, "num_sets = 2\n", "num_sets = 2" + std::string(70, ' ') + "\n")),
              file_msg("header line 5 is 82 characters long; header lines may hold at most 78."));

    EXPECT_EQ(load(with(kValidModel, "Binding\n", std::string(78, 'B') + "\n")), "");
    EXPECT_EQ(load(with(kValidModel, "Binding\n", std::string(79, 'B') + "\n")),
              rxn_msg(0, 0, "title line is 79 characters long; title lines may hold at most 78."));

    EXPECT_EQ(load(with(kValidModel, "B 40", std::string(83, 'b') + " 40")), "");
    EXPECT_EQ(load(with(kValidModel, "B 40", std::string(84, 'b') + " 40")),
              "Model file " + path_ +
                  ", species 1: name is 84 characters long; names may hold at most 83. Exit.\n");
    EXPECT_EQ(load(with(kValidModel, "rxntype = unbinding", "rxntype = " + std::string(84, 'u'))),
              rxn_msg(1, 1, "type name is 84 characters long; names may hold at most 83."));

    std::string undef = with(kValidModel, kUnbindingBlock, kUndefBlock);
    EXPECT_EQ(load(with(undef, "k_0*X[2]", std::string(131, 'f'))), "");
    EXPECT_EQ(load(with(undef, "k_0*X[2]", std::string(132, 'f'))),
              rxn_msg(1, 1, "formula is 132 characters long; formulas may hold at most 131."));
    EXPECT_EQ(load(with(undef, "kd 0.5", std::string(84, 'k') + " 0.5")),
              rxn_msg(1, 1, "name of rate constant 0 is 84 characters long; names may hold at most 83."));
}

TEST_F(Validate, PathsAndOutputFileNames) {
    // An absolute data directory whose name makes the paths long.
    std::string data_dir = dir_ + "/" + std::string(200, 'd') + "/";
    std::filesystem::create_directory(data_dir);
    write(dir_ + "/constants.txt", data_dir.substr(0, data_dir.size() - 1) + "\nmodel.txt\n");
    std::string model_path = data_dir + "model.txt";
    auto load_long = [&](const std::string& text) {
        write(model_path, text);
        return load_console_model(dir_, model_);
    };
    auto msg = [&](const std::string& what) {
        return "Model file " + model_path + ": " + what + " Exit.\n";
    };
    const std::size_t base = data_dir.size();
    ASSERT_LT(model_path.size(), 263u);
    ASSERT_LE(264 - base, kMaxSkipLineChars);  // every token fits its header line
    auto token = [&](std::size_t path_len, char c) { return std::string(path_len - base, c); };

    EXPECT_EQ(load_long(with(kValidModel, "traj\n", token(264, 't') + "\n")),
              msg("the trajectory base path is 264 characters long; paths may hold at most 263."));
    // traj_base of 262: the last trajectory file (run 3: two runs of set 1 and
    // one of set 2) is named with "_3" and is 264 characters long.
    EXPECT_EQ(load_long(with(kValidModel, "traj\n", token(262, 't') + "\n")),
              msg("the trajectory file name of run 3 is 264 characters long; paths may hold at "
                  "most 263."));
    EXPECT_EQ(load_long(with(kValidModel, "traj\n", token(261, 't') + "\n")), "");

    // Event-log names add "_<run>_<file>"; they matter only with the event log on.
    std::string long_log = with(kValidModel, "evlog\n", token(260, 'e') + "\n");
    EXPECT_EQ(load_long(long_log),
              msg("the event-log file name of run 3 is 264 characters long; paths may hold at "
                  "most 263."));
    EXPECT_EQ(load_long(with(long_log, "eventlog_flag = 1", "eventlog_flag = 0")), "");
    EXPECT_EQ(load_long(with(kValidModel, "evlog\n", token(259, 'e') + "\n")), "");
    EXPECT_EQ(load_long(with(kValidModel, "summary.txt\n", token(264, 's') + "\n")),
              msg("the summary file's path is 264 characters long; paths may hold at most 263."));
    EXPECT_EQ(load_long(with(kValidModel, "evlog\n", token(264, 'e') + "\n")),
              msg("the event-log base path is 264 characters long; paths may hold at most 263."));
}

TEST_F(Validate, ModelPathTooLong) {
    std::string name(150, 'm');
    std::filesystem::create_directories(dir_ + "/" + name + "/" + name);
    write(dir_ + "/constants.txt", "./\n" + name + "/" + name + "/model.txt\n");
    std::string model_path = dir_ + "/.//" + name + "/" + name + "/model.txt";
    write(model_path, kValidModel);
    EXPECT_EQ(load_console_model(dir_, model_),
              "Model file " + model_path + ": the model file's path is " +
                  std::to_string(model_path.size()) +
                  " characters long; paths may hold at most 263. Exit.\n");
}

TEST_F(Validate, SpeciesPositions) {
    EXPECT_EQ(load(with(kValidModel, "0\n1\nnum_prods", "0\n3\nnum_prods")),
              rxn_msg(0, 0, "substrate 1 is species 3, outside 0..2."));
    EXPECT_EQ(load(with(kValidModel, "0\n1\nnum_prods", "-1\n1\nnum_prods")),
              rxn_msg(0, 0, "substrate 0 is species -1, outside 0..2."));
    EXPECT_EQ(load(with(kValidModel, "0\n1\nStoP = 0.5", "0\n7\nStoP = 0.5")),
              rxn_msg(1, 1, "product 1 is species 7, outside 0..2."));
    EXPECT_EQ(load(with(kValidModel, "0\n2\nsnapshot", "0\n5\nsnapshot")),
              file_msg("monitored species 1 is species 5, outside 0..2."));
    EXPECT_EQ(load(with(kValidModel, "num_monit = 2\n0\n2\n", "num_monit = -1\n")),
              file_msg("num_monit = -1 is below 0."));
    EXPECT_EQ(load(with(kValidModel, "num_monit = 2\n0\n2\n", "num_monit = 0\n")), "");
}

TEST_F(Validate, SubstrateAndProductCounts) {
    EXPECT_EQ(load(with(kValidModel, "num_subs = 2\n0\n1\n", "num_subs = -1\n")),
              rxn_msg(0, 0, "num_subs = -1 is below 0."));
    EXPECT_EQ(load(with(kValidModel, "num_subs = 2\n0\n1\n", "num_subs = 100000000\n")),
              rxn_msg(0, 0, "num_subs = 100000000 is more than the model file can hold."));
    EXPECT_EQ(load(with(kValidModel, "num_prods = 1\n2\n", "num_prods = -1\n")),
              rxn_msg(0, 0, "num_prods = -1 is below 0."));
    EXPECT_EQ(load(with(kValidModel, "num_subs = 2\n0\n1\n", "num_subs = 1\n0\n")),
              rxn_msg(0, 0, "a reaction of type \"binding\" reads 2 substrate(s), but num_subs = 1."));
    EXPECT_EQ(load(with(with(kValidModel, "num_subs = 2\n0\n1\n", "num_subs = 1\n0\n"),
                        "rxntype = binding", "rxntype = Binding")),
              rxn_msg(0, 0, "a reaction of type \"Binding\" (read as \"binding\") reads 2 "
                            "substrate(s), but num_subs = 1."));
    EXPECT_EQ(load(with(with(kValidModel, "num_subs = 2\n0\n1\n", "num_subs = 1\n0\n"),
                        "rxntype = binding", "rxntype = homo-ltor")),
              rxn_msg(0, 0, "a reaction of type \"homo-ltor\" reads 2 substrate(s), but num_subs = 1."));
    // Without a substrate line the line end after the count is not skipped:
    // the "num_prods" read stops on it, and so does the id read.
    EXPECT_EQ(load(with(kValidModel, "num_subs = 1\n2\n", "num_subs = 0\n")),
              rxn_msg(1, 0, "a reaction of type \"unbinding\" reads 1 substrate(s), but num_subs = 0."));
    EXPECT_EQ(load(with(kValidModel, "num_prods = 2\n0\n1\n", "num_prods = 1\n0\n")),
              rxn_msg(1, 1, "a reaction of type \"unbinding\" reads 2 products, but num_prods = 1."));
    EXPECT_EQ(load(with(kValidModel, "num_prods = 2\n0\n1\nStoP = 0.5\n", "num_prods = 0\n")),
              rxn_msg(1, 1, "the reaction has no products, so it has no rate constants; give it a "
                            "sink species as product."));
}

TEST_F(Validate, UndefFormulaNeeds) {
    std::string undef = with(kValidModel, kUnbindingBlock, kUndefBlock);
    EXPECT_EQ(load(with(undef, "id = 1", "id = 24")),
              rxn_msg(1, 24, "the built-in formula of id 24 reads species 22, but the model has 3 "
                             "species."));
    EXPECT_EQ(load(with(undef, "id = 1", "id = 0")),
              rxn_msg(1, 0, "the built-in formula of id 0 reads k_1, but num_rates = 1."));
    EXPECT_EQ(load(with(with(undef, "id = 1", "id = 0"), "consts 1\nkd 0.5\n",
                        "consts 2\nka 1\nkb 2\n")),
              "");
    EXPECT_EQ(load(with(undef, "consts 1\nkd 0.5\n", "consts -1\n")),
              rxn_msg(1, 1, "num_rates = -1 is below 0."));
    // The constant lines are then not read, and the id read stops on them.
    EXPECT_EQ(load(with(undef, "consts 1", "consts 100000")),
              rxn_msg(1, 0, "num_rates = 100000 is more than the model file can hold."));
}

TEST_F(Validate, RateConstantsTheFormulaReads) {
    // The file format always gives these types their constants; a model built
    // otherwise (or changed after reading) is still checked.
    ASSERT_EQ(load(kValidModel), "");
    ConsoleModel m = model_;
    m.reactions[0].rates.clear();
    m.reactions[0].num_rates = 0;
    EXPECT_EQ(validate_model(m, ReadNotes{}),
              rxn_msg(0, 0, "a reaction of type \"binding\" reads 1 rate constants, but has 0."));

    m = model_;
    Reaction& g = m.reactions[0];
    std::snprintf(g.rxntype, sizeof g.rxntype, "genmm");
    g.rxn_index = kGenmm;
    g.subs_coef = {1, 1};
    g.prods_coef = {1};
    g.num_rates = 1;
    EXPECT_EQ(validate_model(m, ReadNotes{}),
              rxn_msg(0, 0, "a reaction of type \"genmm\" reads 2 rate constants, but has 1."));
}

TEST_F(Validate, ParameterSets) {
    EXPECT_EQ(load(with(kValidModel, "1 0 1.5", "5 0 1.5")),
              set_msg(2, "rate change 0 names reaction 5, outside 0..1."));
    EXPECT_EQ(load(with(kValidModel, "1 0 1.5", "-1 0 1.5")),
              set_msg(2, "rate change 0 names reaction -1, outside 0..1."));
    EXPECT_EQ(load(with(kValidModel, "1 0 1.5", "1 1 1.5")),
              set_msg(2, "rate change 0 names rate constant 1 of reaction 1 (id 1), which has 1 "
                         "rate constant(s)."));
    EXPECT_EQ(load(with(kValidModel, "2 10\n", "7 10\n")),
              set_msg(2, "species change 0 names species 7, outside 0..2."));
    EXPECT_EQ(load(with(kValidModel, "num_species = 1\n2 10\n", "num_species = -1\n")),
              set_msg(2, "num_species = -1 is below 0."));
    EXPECT_EQ(load(with(kValidModel, "num_rates = 1\n1 0 1.5\n", "num_rates = -2\n")),
              set_msg(2, "num_rates = -2 is below 0."));
    EXPECT_EQ(load(with(kValidModel, "num_rates = 1\n1 0 1.5\n", "num_rates = 99999\n")),
              set_msg(2, "num_rates = 99999 is more than the model file can hold."));
}

TEST_F(Validate, SnapshotInterval) {
    EXPECT_EQ(load(with(kValidModel, "snapshot_interval = 0.5", "snapshot_interval = 0")),
              file_msg("snapshot_interval = 0 is not a positive number."));
    EXPECT_EQ(load(with(kValidModel, "snapshot_interval = 0.5", "snapshot_interval = -1")),
              file_msg("snapshot_interval = -1 is not a positive number."));
    EXPECT_EQ(load(with(kValidModel, "snapshot_interval = 0.5", "snapshot_interval = nan")),
              file_msg("snapshot_interval = nan is not a positive number."));
    // A misspelt key leaves the interval at 0.
    EXPECT_EQ(load(with(kValidModel, "snapshot_interval = 0.5", "snapshot_intervl = 0.5")),
              file_msg("snapshot_interval = 0 is not a positive number."));
}

// "mass-action": multiplicities read from the substrate lines; a source has
// no substrate line and a degradation no product line, and both read their
// constant; a species given twice or a multiplicity below 1 is refused.
TEST_F(Validate, MassActionSourcesDegradationsAndMultiplicities) {
    const std::string dimer_decay =
        "Dimer\nrxntype = mass-action\nnum_subs = 1\n0 2\nnum_prods = 2\n0 1\n2 1\n"
        "StoP = 0.5\nid = 1\n\nDecay\nrxntype = mass-action\nnum_subs = 1\n2 1\n"
        "num_prods = 0\nStoP = 0.25\nid = 2\n\nSource\nrxntype = mass-action\n"
        "num_subs = 0\nnum_prods = 1\n1 3\nStoP = 4\nid = 3\n";
    const std::string model =
        with(with(kValidModel, "num_rxns = 2", "num_rxns = 4"), kUnbindingBlock, dimer_decay);
    ASSERT_EQ(load(model), "");
    const std::vector<Reaction>& r = model_.reactions;
    EXPECT_EQ(r[1].rxn_index, kMassAction);
    EXPECT_EQ(r[1].subs_coef, std::vector<int>{2});
    EXPECT_EQ(r[1].prods_coef, (std::vector<int>{1, 1}));
    EXPECT_EQ(model_.sizes.num_prods[2], 0);
    EXPECT_EQ(r[2].rates[0].value, 0.25);
    EXPECT_EQ(r[2].id, 2);
    EXPECT_EQ(model_.sizes.num_subs[3], 0);
    EXPECT_EQ(r[3].prods_coef, std::vector<int>{3});
    EXPECT_EQ(r[3].rates[0].value, 4.0);
    EXPECT_EQ(model_.params.time_end, 5.0);  // the sections after them read on

    EXPECT_EQ(load(with(model, "num_subs = 1\n0 2\n", "num_subs = 2\n0 1\n0 1\n")),
              rxn_msg(1, 1, "species 0 is listed twice among the substrates; give it once with "
                            "its multiplicity."));
    EXPECT_EQ(load(with(model, "num_subs = 1\n0 2\n", "num_subs = 1\n0 0\n")),
              rxn_msg(1, 1, "substrate 0 has multiplicity 0; a \"mass-action\" substrate needs "
                            "at least 1."));
}

}  // namespace
}  // namespace plenta

// The start-up read: constants.txt, the header, read_constants over the
// stored model folders and over small texts that show the format's rules.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "console/console.h"

namespace plenta {
namespace {

const std::string kModels = std::string(PLENTA_TEST_DATA_DIR) + "/models";

// A fresh directory under the system's temporary directory.
std::string make_temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "plenta_reader_XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The model records for a header of num_sets, num_rxns and num_cmpds, read
// from `text` by read_model_sections.
struct ReadResult {
    ConsoleModel model;
    ReadNotes notes;
    std::size_t end_pos = 0;
    std::string rest;  // the text the reader left unread
};

ReadResult read_text(const std::string& text, int num_sets, int num_rxns, int num_cmpds) {
    ReadResult r;
    r.model.params.num_sets = num_sets;
    r.model.sizes.num_rxns = num_rxns;
    r.model.sizes.num_cmpds = num_cmpds;
    allocate_model(r.model);
    TextScanner in(text);
    read_model_sections(in, r.model.reactions, r.model.sizes, r.model.species, r.model.params,
                        r.model.sets, &r.notes);
    r.end_pos = in.pos();
    r.rest = in.text().substr(in.pos());
    return r;
}

const char kHeader1x1x2[] =
    "t\ns\ne\n\nnum_sets = 1\nnum_rxns = 1\nnum_cmpds = 2\n\n"
    "A 10\nB 0\n\n";
const char kParams[] =
    "time_start = 0\ntime_end = 5\nvolume = 2\nalgorithm = 2\nrandseed = 7\n\n"
    "num_monit = 1\n1\nsnapshot_interval = 1\neventlog_flag = 0\nnum_repeats = 4\n\n";

TEST(DataDir, SlashAnywhereGetsSlashOtherwiseBackslash) {
    EXPECT_EQ(data_dir_from_line("/tmp/x"), "/tmp/x/");
    EXPECT_EQ(data_dir_from_line("./"), ".//");
    EXPECT_EQ(data_dir_from_line("a\\b/c"), "a\\b/c/");
    EXPECT_EQ(data_dir_from_line("C:\\data"), "C:\\data\\");
    EXPECT_EQ(data_dir_from_line(""), "\\");
}

TEST(ConstantsTxt, DirectoryLineAndModelName) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/constants.txt";
    std::string data_dir, name;

    write_file(path, "/some/where\r\n  model.txt  trailing words\n");
    EXPECT_EQ(read_constants_txt(path, data_dir, name), "");
    EXPECT_EQ(data_dir, "/some/where/");
    EXPECT_EQ(name, "model.txt");

    write_file(path, "\nm.txt");  // an empty directory line is a directory too
    EXPECT_EQ(read_constants_txt(path, data_dir, name), "");
    EXPECT_EQ(data_dir, "\\");
    EXPECT_EQ(name, "m.txt");

    write_file(path, "");
    EXPECT_EQ(read_constants_txt(path, data_dir, name),
              "constants.txt holds no data directory line. Exit.\n");
    write_file(path, "/data/\n   \n");
    EXPECT_EQ(read_constants_txt(path, data_dir, name),
              "constants.txt names no model file after its directory line. Exit.\n");
    EXPECT_EQ(read_constants_txt(dir + "/absent.txt", data_dir, name),
              "Can't open constants.txt file. Exit.\n");
    EXPECT_EQ(std::string(kMsgCantOpenConstants), "Can't open constants.txt file. Exit.\n");
    std::filesystem::remove_all(dir);
}

TEST(Header, TokensJoinedToDataDirAndCounts) {
    ConsoleModel m;
    m.data_dir = "/d/";
    TextScanner in("traj\nsum.txt\nev\n\nnum_sets = 2\nnum_rxns = 3\nnum_cmpds = 4\n\nA 1\n");
    read_header(in, m);
    EXPECT_EQ(m.traj_base, "/d/traj");
    EXPECT_EQ(m.summary_path, "/d/sum.txt");
    EXPECT_EQ(m.evlog_base, "/d/ev");
    EXPECT_EQ(m.params.num_sets, 2);
    EXPECT_EQ(m.sizes.num_rxns, 3);
    EXPECT_EQ(m.sizes.num_cmpds, 4);
    EXPECT_EQ(in.text().substr(in.pos()), "A 1\n");
}

TEST(LoadModel, AllTenTypes) {
    ConsoleModel m;
    ASSERT_EQ(load_console_model(kModels + "/all_types", m), "");
    EXPECT_EQ(m.data_dir, kModels + "/all_types/.//");
    EXPECT_EQ(m.model_path, kModels + "/all_types/.//model.txt");
    EXPECT_EQ(m.traj_base, kModels + "/all_types/.//traj");
    EXPECT_EQ(m.summary_path, kModels + "/all_types/.//summary.txt");
    EXPECT_EQ(m.evlog_base, kModels + "/all_types/.//evlog");
    EXPECT_EQ(m.params.eventlog_arraysize, 1000000);

    ASSERT_EQ(m.sizes.num_cmpds, 7);
    EXPECT_STREQ(m.species[0].name, "A");
    EXPECT_EQ(m.species[0].count, 100);
    EXPECT_STREQ(m.species[6].name, "sink");

    ASSERT_EQ(m.sizes.num_rxns, 11);
    const int expected_types[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
    for (int i = 0; i < 11; i++) {
        EXPECT_EQ(m.reactions[i].rxn_index, expected_types[i]) << "reaction " << i;
        EXPECT_EQ(m.sizes.num_prods[i], m.reactions[i].prods_index.size()) << "reaction " << i;
        EXPECT_EQ(m.sizes.num_subs[i], m.reactions[i].subs_index.size()) << "reaction " << i;
    }
    const Reaction& binding = m.reactions[0];
    EXPECT_EQ(binding.subs_index, (std::vector<int>{0, 1}));
    EXPECT_EQ(binding.subs_coef, (std::vector<int>{0, 0}));
    EXPECT_EQ(binding.prods_index, (std::vector<int>{3}));
    ASSERT_EQ(binding.num_rates, 1);
    EXPECT_EQ(binding.rates[0].value, 0.001);

    EXPECT_EQ(m.reactions[2].prods_index, (std::vector<int>{0, 1}));
    EXPECT_EQ(m.reactions[4].prods_index, (std::vector<int>{5}));
    EXPECT_EQ(m.reactions[4].prods_coef, (std::vector<int>{2}));
    EXPECT_EQ(m.reactions[5].subs_index, (std::vector<int>{5, 5}));
    EXPECT_EQ(m.reactions[6].subs_coef, (std::vector<int>{1, 1}));

    const Reaction& genmm = m.reactions[7];
    ASSERT_EQ(genmm.num_rates, 3);  // one per substrate, values over three lines
    EXPECT_EQ(genmm.rates[0].value, 0.2);
    EXPECT_EQ(genmm.rates[1].value, 30.0);
    EXPECT_EQ(genmm.rates[2].value, 40.0);
    EXPECT_EQ(genmm.id, 7);

    const Reaction& norder = m.reactions[8];
    EXPECT_EQ(norder.subs_order, (std::vector<double>{1.0, 2.0}));
    ASSERT_EQ(norder.num_rates, 2);
    EXPECT_EQ(norder.rates[0].value, 1e-5);
    EXPECT_EQ(norder.rates[1].value, 2.0);

    const Reaction& undef = m.reactions[9];
    EXPECT_STREQ(undef.formula, "k_0*X[2]");
    ASSERT_EQ(undef.num_rates, 1);
    EXPECT_STREQ(undef.rates[0].name, "kdeg");
    EXPECT_EQ(undef.rates[0].value, 0.03);
    EXPECT_EQ(undef.id, 1);
    EXPECT_STREQ(binding.rates[0].name, "");  // only "undef" names its constants

    EXPECT_STREQ(m.reactions[10].rxntype, "Binding");  // unknown name: read as "binding"
    EXPECT_EQ(m.reactions[10].subs_index, (std::vector<int>{4, 5}));
    EXPECT_EQ(m.reactions[10].id, 10);

    EXPECT_EQ(m.params.time_end, 10.0);
    EXPECT_EQ(m.params.algorithm, 1);
    EXPECT_EQ(m.params.tau_error, 0.0);
    EXPECT_EQ(m.params.randseed, 12345u);
    EXPECT_EQ(m.params.monit, (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(m.params.snapshot_interval, 1.0);
    EXPECT_EQ(m.params.eventlog_flag, 1);
    EXPECT_EQ(m.params.num_repeats, (std::vector<int>{2, 1, 2}));

    ASSERT_EQ(m.sets.size(), 3u);
    EXPECT_EQ(m.sets[0].num_species, 0);  // set 1 is the model as read
    EXPECT_TRUE(m.sets[0].species.empty() && m.sets[0].rates.empty());
    ASSERT_EQ(m.sets[1].num_species, 1);
    EXPECT_EQ(m.sets[1].species[0].index, 0);
    EXPECT_EQ(m.sets[1].species[0].count, 200);
    ASSERT_EQ(m.sets[1].num_rates, 1);
    EXPECT_EQ(m.sets[1].rate_rxn[0], 0);
    EXPECT_EQ(m.sets[1].rates[0].value, 0.002);
    ASSERT_EQ(m.sets[2].num_rates, 2);
    EXPECT_EQ(m.sets[2].rate_rxn, (std::vector<int>{7, 9}));
    EXPECT_EQ(m.sets[2].rates[0].index, 2);
    EXPECT_EQ(m.sets[2].rates[1].value, 0.06);
}

TEST(LoadModel, TauLeapReadsTauErrorAndDirectMethodModel) {
    ConsoleModel tau;
    ASSERT_EQ(load_console_model(kModels + "/tau_leap", tau), "");
    EXPECT_EQ(tau.params.algorithm, 3);
    EXPECT_EQ(tau.params.tau_error, 0.03);
    EXPECT_EQ(tau.params.randseed, 99u);
    EXPECT_EQ(tau.params.num_repeats, (std::vector<int>{3}));

    ConsoleModel pair;
    ASSERT_EQ(load_console_model(kModels + "/binding_pair", pair), "");
    EXPECT_EQ(pair.params.algorithm, 2);
    EXPECT_EQ(pair.params.snapshot_interval, 0.5);
    EXPECT_EQ(pair.params.num_repeats, (std::vector<int>{2, 2}));
    EXPECT_EQ(pair.sets[1].species[0].index, 2);
    EXPECT_EQ(pair.sets[1].rates[0].value, 1.5);
}

TEST(LoadModel, CrLfFileReadsLikeLf) {
    std::string dir = make_temp_dir();
    std::ifstream src(kModels + "/all_types/model.txt", std::ios::binary);
    std::string lf((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
    std::string crlf;
    for (char c : lf) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    write_file(dir + "/constants.txt", "./\r\nmodel.txt\r\n");
    write_file(dir + "/model.txt", crlf);
    ConsoleModel a, b;
    ASSERT_EQ(load_console_model(kModels + "/all_types", a), "");
    ASSERT_EQ(load_console_model(dir, b), "");
    ASSERT_EQ(b.sizes.num_rxns, a.sizes.num_rxns);
    for (int i = 0; i < a.sizes.num_rxns; i++) {
        EXPECT_STREQ(b.reactions[i].rxntype, a.reactions[i].rxntype);
        EXPECT_EQ(b.reactions[i].subs_index, a.reactions[i].subs_index);
        EXPECT_EQ(b.reactions[i].id, a.reactions[i].id);
        ASSERT_EQ(b.reactions[i].rates.size(), a.reactions[i].rates.size());
        for (std::size_t k = 0; k < a.reactions[i].rates.size(); k++)
            EXPECT_EQ(b.reactions[i].rates[k].value, a.reactions[i].rates[k].value);
    }
    EXPECT_STREQ(b.reactions[9].formula, "k_0*X[2]");
    EXPECT_EQ(b.params.num_repeats, a.params.num_repeats);
    EXPECT_EQ(b.sets[2].rates[1].value, a.sets[2].rates[1].value);
    std::filesystem::remove_all(dir);
}

std::string one_reaction(const std::string& block) {
    return std::string(kHeader1x1x2) + "title\n" + block + kParams;
}

TEST(ReadReaction, GenmmValuesOnOneLineOrSpread) {
    std::string subs = "rxntype = genmm\nnum_subs = 3\n0 1\n1 1\n0 2\nnum_prods = 1\n1 1\n";
    ReadResult one = read_text(one_reaction(subs + "StoP = 1.5 2.5 3.5\nid = 4\n\n"), 1, 1, 2);
    ReadResult spread =
        read_text(one_reaction(subs + "StoP = 1.5\n\n2.5\n   3.5\n\nid = 4\n\n"), 1, 1, 2);
    for (const ReadResult* r : {&one, &spread}) {
        const Reaction& g = r->model.reactions[0];
        ASSERT_EQ(g.num_rates, 3);
        EXPECT_EQ(g.rates[0].value, 1.5);
        EXPECT_EQ(g.rates[1].value, 2.5);
        EXPECT_EQ(g.rates[2].value, 3.5);
        EXPECT_EQ(g.subs_coef, (std::vector<int>{1, 1, 2}));
        EXPECT_EQ(g.id, 4);
        EXPECT_EQ(r->model.params.num_repeats[0], 4);
    }
    // Three substrates need three values: with two, the third read stops at "id".
    ReadResult short_of_one = read_text(one_reaction(subs + "StoP = 1.5 2.5\nid = 4\n\n"), 1, 1, 2);
    EXPECT_EQ(short_of_one.model.reactions[0].rates[2].value, 0.0);
    EXPECT_EQ(short_of_one.model.reactions[0].id, 4);
}

TEST(ReadReaction, UndefFormulaIsCutAtTheFirstBlank) {
    std::string block =
        "rxntype = undef\nnum_subs = 1\n0 1\nnum_prods = 1\n1 1\n"
        "k_0 * X[0]\nconsts 2\nka 1.5\nkb 2.5\nid = 3\n\n";
    ReadResult r = read_text(one_reaction(block), 1, 1, 2);
    const Reaction& u = r.model.reactions[0];
    EXPECT_STREQ(u.formula, "k_0");
    // The rest of the formula is taken for the label: "*" is the label, and
    // "X[0]" is not the count, so num_rates stays 0 and the id read stops at it.
    EXPECT_EQ(u.num_rates, 0);
    EXPECT_TRUE(u.rates.empty());
    EXPECT_EQ(u.id, 0);

    std::string good =
        "rxntype = undef\nnum_subs = 1\n0 1\nnum_prods = 1\n1 1\n"
        "k_0*X[0]\nconsts 2\nka 1.5\nkb 2.5\nid = 3\n\n";
    ReadResult g = read_text(one_reaction(good), 1, 1, 2);
    const Reaction& v = g.model.reactions[0];
    ASSERT_EQ(v.num_rates, 2);
    EXPECT_STREQ(v.rates[1].name, "kb");
    EXPECT_EQ(v.rates[1].value, 2.5);
    EXPECT_EQ(v.id, 3);
}

TEST(ReadReaction, NoProductsMeansNoProductLinesAndNoRates) {
    std::string text = std::string(kHeader1x1x2) +
                       "first\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 0\nid = 5\n\n" + kParams;
    ReadResult r = read_text(text, 1, 1, 2);
    const Reaction& x = r.model.reactions[0];
    EXPECT_EQ(r.model.sizes.num_prods[0], 0);
    EXPECT_TRUE(x.prods_index.empty() && x.prods_coef.empty() && x.rates.empty());
    EXPECT_EQ(x.num_rates, 0);
    EXPECT_EQ(x.id, 5);
    EXPECT_EQ(r.model.params.volume, 2.0);  // the rest is read as usual
}

TEST(ReadReaction, MisspeltKeyLeavesFieldsAndReadingGoesOnFromThere) {
    // "Stop" for "StoP": the rate read stops at "p", so does the id read; the
    // next reaction's title read takes the rest of that line, and its own
    // reads stop at "id = 3" until its id read matches it.
    std::string text =
        "t\ns\ne\n\nnum_sets = 1\nnum_rxns = 2\nnum_cmpds = 2\n\nA 10\nB 0\n\n"
        "r0\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStop = 0.5\nid = 3\n\n"
        "r1\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n0\nStoP = 0.25\nid = 4\n\n" +
        std::string(kParams);
    ReadResult r = read_text(text, 1, 2, 2);
    EXPECT_EQ(r.model.reactions[0].rates[0].value, 0.0);
    EXPECT_EQ(r.model.reactions[0].id, 0);
    EXPECT_STREQ(r.model.reactions[1].rxntype, "");
    EXPECT_EQ(r.model.sizes.num_subs[1], 0);
    EXPECT_EQ(r.model.reactions[1].id, 3);
}

TEST(ReadReaction, UnknownTypeReadsAsBinding) {
    std::string block = "rxntype = dimerise\nnum_subs = 2\n0\n1\nnum_prods = 1\n1\nStoP = 3\nid = 2\n\n";
    ReadResult r = read_text(one_reaction(block), 1, 1, 2);
    EXPECT_EQ(r.model.reactions[0].rxn_index, 0);
    EXPECT_STREQ(r.model.reactions[0].rxntype, "dimerise");
    EXPECT_EQ(r.model.reactions[0].subs_index, (std::vector<int>{0, 1}));
    EXPECT_EQ(r.model.reactions[0].rates[0].value, 3.0);
}

TEST(ReadParameters, TauErrorOnlyWithAlgorithm3) {
    std::string block = "rxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStoP = 1\nid = 0\n\n";
    std::string tau_line = "tau_error = 0.05\n";
    std::string p3 = std::string(kParams);
    p3.replace(p3.find("algorithm = 2"), 13, "algorithm = 3\n" + tau_line);
    ReadResult with3 = read_text(std::string(kHeader1x1x2) + "title\n" + block + p3, 1, 1, 2);
    EXPECT_EQ(with3.model.params.tau_error, 0.05);
    EXPECT_EQ(with3.model.params.randseed, 7u);
    EXPECT_EQ(with3.model.params.snapshot_interval, 1.0);

    // With another algorithm the line is not expected: the randseed read stops
    // on it, and so does every read after it.
    std::string p2 = std::string(kParams);
    p2.insert(p2.find("randseed"), tau_line);
    std::string text = std::string(kHeader1x1x2) + "title\n" + block + p2;
    ReadResult with2 = read_text(text, 1, 1, 2);
    EXPECT_EQ(with2.model.params.tau_error, 0.0);
    EXPECT_EQ(with2.model.params.randseed, 0u);
    EXPECT_EQ(with2.model.sizes.num_monit, 0);
    EXPECT_EQ(with2.model.params.snapshot_interval, 0.0);
    EXPECT_EQ(with2.rest.substr(0, 9), "tau_error");
}

TEST(ReadParameters, OneSetReadsNothingAfterItsRuns) {
    std::string block = "rxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStoP = 1\nid = 0\n\n";
    std::string extra = "num_repeats = 9\nnum_species = 1\n0 5\nnum_rates = 0\n";
    ReadResult r = read_text(one_reaction(block) + extra, 1, 1, 2);
    EXPECT_EQ(r.model.params.num_repeats, (std::vector<int>{4}));
    EXPECT_EQ(r.rest, extra);
}

TEST(ReadNotesTest, LongLinesAndNamesAreNoted) {
    std::string block = "rxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStoP = 1\nid = 0\n\n";
    std::string header_long = one_reaction(block);
    header_long.replace(0, 1, std::string(79, 't'));  // header line 1
    ReadResult h = read_text(header_long, 1, 1, 2);
    EXPECT_EQ(h.notes.fault, ReadNotes::kHeaderLine);
    EXPECT_EQ(h.notes.position, 1);
    EXPECT_EQ(h.notes.length, 79u);

    std::string title_ok = std::string(kHeader1x1x2) + std::string(78, 'T') + "\n" + block + kParams;
    EXPECT_EQ(read_text(title_ok, 1, 1, 2).notes.fault, ReadNotes::kNone);
    std::string title_long = std::string(kHeader1x1x2) + std::string(79, 'T') + "\n" + block + kParams;
    ReadResult t = read_text(title_long, 1, 1, 2);
    EXPECT_EQ(t.notes.fault, ReadNotes::kTitleLine);
    EXPECT_EQ(t.notes.position, 0);

    std::string name83(83, 'n'), name84(84, 'n');
    std::string species_ok = one_reaction(block);
    species_ok.replace(species_ok.find("A 10"), 1, name83);
    ReadResult s = read_text(species_ok, 1, 1, 2);
    EXPECT_EQ(s.notes.fault, ReadNotes::kNone);
    EXPECT_EQ(std::string(s.model.species[0].name), name83);
    std::string species_long = one_reaction(block);
    species_long.replace(species_long.find("A 10"), 1, name84);
    ReadResult l = read_text(species_long, 1, 1, 2);
    EXPECT_EQ(l.notes.fault, ReadNotes::kSpeciesName);
    EXPECT_EQ(l.notes.position, 0);
    EXPECT_EQ(l.notes.length, 84u);
    EXPECT_EQ(std::string(l.model.species[0].name), name83);  // stored truncated
    EXPECT_EQ(l.model.species[0].count, 10);
}

TEST(ReadAllocation, CountsBeyondTheTextAllocateNothing) {
    std::string huge_subs = std::string(kHeader1x1x2) + "title\n" +
                            "rxntype = transv1\nnum_subs = 2000000000\n0 1\n" + kParams;
    ReadResult r = read_text(huge_subs, 1, 1, 2);
    EXPECT_EQ(r.model.sizes.num_subs[0], 2000000000);
    EXPECT_TRUE(r.model.reactions[0].subs_index.empty());
    EXPECT_TRUE(r.model.reactions[0].subs_coef.empty());

    std::string block = "rxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStoP = 1\nid = 0\n\n";
    std::string params = kParams;
    params.replace(params.find("num_monit = 1"), 13, "num_monit = 2147483647");
    ReadResult p = read_text(std::string(kHeader1x1x2) + "title\n" + block + params, 1, 1, 2);
    EXPECT_EQ(p.model.sizes.num_monit, 2147483647);
    EXPECT_TRUE(p.model.params.monit.empty());

    // With no substrate line to skip it, a line end after the count would stop
    // the "num_prods" read; the two keys are written without one.
    std::string negative = std::string(kHeader1x1x2) + "title\n" +
                           "rxntype = genmm\nnum_subs = -3num_prods = -1\nStoP = 2\nid = 6\n\n" +
                           kParams;
    ReadResult n = read_text(negative, 1, 1, 2);
    EXPECT_TRUE(n.model.reactions[0].subs_index.empty());
    EXPECT_TRUE(n.model.reactions[0].prods_index.empty());
    EXPECT_EQ(n.model.reactions[0].num_rates, -3);
    EXPECT_TRUE(n.model.reactions[0].rates.empty());
    EXPECT_EQ(n.model.reactions[0].id, 6);  // the StoP value went nowhere; reading went on
}

TEST(ReadWarnings, NoneForTheStoredModels) {
    for (const char* name : {"all_types", "binding_pair", "tau_leap"}) {
        ConsoleModel m;
        ASSERT_EQ(load_console_model(kModels + "/" + name, m), "");
        EXPECT_TRUE(m.warnings.empty()) << name << ": " << m.warnings.front();
    }
}

TEST(ReadWarnings, EachSkippedPlaceOnceAndAtMostTwentyKept) {
    // 40 species lines without counts: every species read stops at the next
    // line, 40 places in all; the first 20 are kept, the rest counted.  A
    // warning names the line where the unmatched read began.
    std::string text = "t\ns\ne\n\nnum_sets = 1\nnum_rxns = 1\nnum_cmpds = 40\n\n";
    for (int c = 0; c < 40; c++) text += "S" + std::to_string(c) + "\n";
    ReadResult r = read_text(text, 1, 1, 40);
    ASSERT_EQ(r.notes.warnings.size(), kMaxReadWarnings);
    EXPECT_GT(r.notes.warnings_dropped, 0);
    EXPECT_EQ(r.notes.warnings[0].line, 9);  // where the read began: S0's line
    EXPECT_EQ(r.notes.warnings[0].where, "species 0");
    EXPECT_EQ(r.notes.warnings[0].expected, "\"<name> <number>\"");
    EXPECT_EQ(r.notes.warnings[0].found, "\"S0\"");
    EXPECT_EQ(format_read_warning("m.txt", r.notes.warnings[0]),
              "Warning: model file m.txt, line 9 (species 0): expected \"<name> <number>\", "
              "found \"S0\"; skipped.\n");
    // The skipped text changes nothing of what is read: S1 is species 1's name.
    EXPECT_EQ(std::string(r.model.species[1].name), "S1");
}

}  // namespace
}  // namespace plenta

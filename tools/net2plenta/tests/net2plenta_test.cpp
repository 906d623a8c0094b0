// net2plenta: every reaction of every network converts to a reaction whose
// propensity is the .net rate law, at the initial state and at random
// states, with the same net change of every species; lines it cannot
// express are refused by line; the program writes a folder plenta runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "console/console.h"
#include "tools/net2plenta/net2plenta.h"

namespace net2plenta {
namespace {

namespace fs = std::filesystem;

// The propensity a .net reaction line means: c times, over the reactant
// list, (x - k) for the k-th earlier copy of the same species.
double net_law(const NetReaction& r, const std::vector<int>& counts) {
    double a = r.rate;
    std::map<int, int> seen;
    for (int s : r.reactants) a *= static_cast<double>(counts[s] - seen[s]++);
    for (const auto& e : seen)
        if (counts[e.first] < e.second) return 0.0;
    return a;
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "net2plenta_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string network_path(const std::string& name) {
    const std::string small = std::string(NET_DATA_DIR) + "/" + name + ".net";
    if (fs::exists(small)) return small;
    return std::string(PLENTA_NETWORKS_DIR) + "/" + name + ".net";
}

// Converts, loads the model file as plenta does and compares every reaction.
void check_network(const std::string& name) {
    const std::string path = network_path(name);
    if (!fs::exists(path)) GTEST_SKIP() << path << " is not available";
    const NetModel net = read_net(path);
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    Options options;
    write_model_folder(net, options, dir.path.string());
    plenta::ConsoleModel m;
    ASSERT_EQ(plenta::load_console_model(dir.path.string(), m), "");
    ASSERT_EQ(m.reactions.size(), net.reactions.size());
    ASSERT_EQ(m.species.size(), net.species.size());
    const std::size_t n = net.species.size();

    std::vector<int> counts(n);
    for (std::size_t s = 0; s < n; s++) {
        EXPECT_EQ(m.species[s].count, net.species[s].count);
        counts[s] = m.species[s].count;
    }
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> small(0, 6), large(0, 5000000);
    long long compared = 0;
    for (int state = 0; state < 12; state++) {
        if (state > 0)
            for (std::size_t s = 0; s < n; s++) counts[s] = state % 2 ? small(rng) : large(rng);
        for (std::size_t s = 0; s < n; s++) m.species[s].count = counts[s];
        for (std::size_t i = 0; i < net.reactions.size(); i++) {
            const double want = net_law(net.reactions[i], counts);
            const double got = plenta::calc_rxn_prob_vesk(m.reactions[i], m.species, m.params,
                                                          m.sizes, static_cast<int>(i));
            if (got != want) {
                ADD_FAILURE() << name << " line " << net.reactions[i].line << " ("
                              << m.reactions[i].rxntype << ") state " << state << ": " << got
                              << " != " << want;
                return;
            }
            compared++;
        }
    }
    EXPECT_EQ(compared, 12LL * static_cast<long long>(net.reactions.size()));

    // Net changes, one reaction at a time (a dense matrix of the largest
    // networks would not fit).
    for (std::size_t i = 0; i < net.reactions.size(); i++) {
        const NetReaction& r = net.reactions[i];
        std::map<int, int> want;
        for (int s : r.reactants) want[s] -= 1;
        for (int s : r.products) want[s] += 1;
        plenta::ModelSizes one;
        one.num_rxns = 1;
        one.num_cmpds = static_cast<int>(n);
        one.num_subs = {m.sizes.num_subs[i]};
        one.num_prods = {m.sizes.num_prods[i]};
        plenta::StoichMatrix matrix(1, static_cast<int>(n));
        plenta::create_stoich_matrix(one, {m.reactions[i]}, matrix);
        for (const auto& e : want)
            if (matrix.row(0)[e.first] != e.second) {
                ADD_FAILURE() << name << " line " << r.line << ": species " << e.first
                              << " changes by " << matrix.row(0)[e.first] << ", not "
                              << e.second;
                return;
            }
        int nonzero = 0;
        for (std::size_t s = 0; s < n; s++) nonzero += matrix.row(0)[s] != 0;
        int want_nonzero = 0;
        for (const auto& e : want) want_nonzero += e.second != 0;
        ASSERT_EQ(nonzero, want_nonzero) << name << " line " << r.line;
    }
}

TEST(Net2plentaExact, Multistate) { check_network("multistate"); }
TEST(Net2plentaExact, Multisite2) { check_network("multisite2"); }
TEST(Net2plentaExact, GeneModels) {
    check_network("dnarepressor");
    check_network("dnadimer_repressor");
}
TEST(Net2plentaExact, DiffusionCtrw) { check_network("diffusion_ctrw_256"); }
TEST(Net2plentaExact, EgfrNet) { check_network("egfr_net"); }
TEST(Net2plentaExact, BCR) { check_network("BCR"); }
TEST(Net2plentaExact, FceriGamma2) { check_network("fceri_gamma2"); }

TEST(Net2plentaRead, ExpressionsRepeatsAndTypes) {
    const NetModel net = parse_net(
        "begin parameters\n 1 k 2\n 2 k2 k*ln(4)/ln(2)  # ConstantExpression\n 3 n0 10*k\n"
        "end parameters\nbegin species\n 1 A() n0\n 2 B() 3\n 3 C() 0\nend species\n"
        "begin reactions\n 1 1,1 1,2 0.5*k2 #dimer\n 2 1,1 3 0.5*k2\n 3 1,2 3 k\n"
        " 4 0 1 k\n 5 2 0 k\n 6 3 1,2 k\n 7 1,1,1 3 k\nend reactions\n"
        "begin groups\n 1 Tot 1,2*3\nend groups\n",
        "t.net");
    ASSERT_EQ(net.parameters.size(), 3u);
    EXPECT_EQ(net.parameters[1].second, 4.0);
    EXPECT_EQ(net.species[0].count, 20);
    EXPECT_EQ(net.reactions[0].rate, 2.0);
    EXPECT_EQ(net.reactions[0].rule, "dimer");
    const char* types[] = {"mass-action", "homo-ltor", "binding",    "mass-action",
                           "mass-action", "unbinding", "mass-action"};
    for (std::size_t i = 0; i < net.reactions.size(); i++) {
        const OutReaction o = convert_reaction(net.reactions[i]);
        if (i == 5) {
            EXPECT_EQ(o.type, "uni-multi");  // two products: the first-order type with coefficients
            continue;
        }
        EXPECT_EQ(o.type, types[i]) << "reaction " << i + 1;
    }
    EXPECT_EQ(convert_reaction(net.reactions[1]).k0, 4.0);  // pairs: twice c
    EXPECT_EQ(convert_reaction(net.reactions[6]).subs[0].coef, 3);
    ASSERT_EQ(net.groups.size(), 1u);
    EXPECT_EQ(net.groups[0].terms, (std::vector<std::pair<int, double>>{{0, 1.0}, {2, 2.0}}));
    Options o;
    EXPECT_EQ(monitored_species(net, o), (std::vector<int>{0, 2}));
    EXPECT_NE(groups_file_text(net, o).find("\nTot 1*1,2*2\n"), std::string::npos);
    o.monitor_groups = false;
    EXPECT_EQ(monitored_species(net, o), (std::vector<int>{0, 1, 2}));
}

std::string refusal(const std::string& text) {
    try {
        parse_net(text, "bad.net");
    } catch (const NetError& e) {
        return e.what();
    }
    return "";
}

TEST(Net2plentaRead, RefusesWhatItCannotExpressNamingTheLine) {
    const std::string head = "begin parameters\n 1 k 2\nend parameters\nbegin species\n 1 A 5\nend species\n";
    EXPECT_EQ(refusal(head + "begin reactions\n 1 1 0 Sat(k,1)\nend reactions\n").rfind("bad.net:8: the rate law 'Sat(k,1)' is not a constant expression", 0), 0u);
    EXPECT_EQ(refusal(head + "begin reactions\n 1 1,2 0 k\nend reactions\n"),
              "bad.net:8: reactant 2 is not among the 1 species");
    EXPECT_EQ(refusal("begin species\n 1 A 2.5\nend species\n").rfind("bad.net:2: initial count 2.5", 0), 0u);
    EXPECT_EQ(refusal("begin species\n 1 $A 2\nend species\n"),
              "bad.net:2: species $A has a fixed count, which plenta cannot hold");
    EXPECT_EQ(refusal(head + "begin functions\n 1 f() k\nend functions\n"),
              "bad.net:7: block 'functions' is not one a network can be converted from "
              "(parameters, species, reactions, groups)");
    EXPECT_EQ(refusal(head + "begin reactions\n 1 1 0 k extra\nend reactions\n"),
              "bad.net:8: a reaction line needs an index, reactants, products and one rate expression");
    EXPECT_EQ(refusal(head + "begin reactions\n 1 1 0 -k\nend reactions\n"),
              "bad.net:8: the rate law '-k' is negative");
}

// The program end to end: the folder it writes runs in plenta, with the
// groups' species as the trajectory columns.
TEST(Net2plentaProgram, WritesAFolderThatPlentaRuns) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string out = (dir.path / "multistate").string();
    const std::string convert = std::string(NET2PLENTA_EXE) + " " + NET_DATA_DIR +
                                "/multistate.net " + out +
                                " --time-end 5 --interval 0.5 --runs 2 --seed 7 > /dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    // The folder names itself as the data directory, so a copy of it runs on
    // its own files and leaves the original as it was.
    std::ifstream constants(out + "/constants.txt");
    std::stringstream constants_text;
    constants_text << constants.rdbuf();
    EXPECT_EQ(constants_text.str(), "./\nmodel.txt\n");
    const std::string copy = (dir.path / "copy").string();
    ASSERT_EQ(std::system(("cp -r " + out + " " + copy + " && cd " + copy + " && " + PLENTA_EXE)
                              .c_str()),
              0);
    EXPECT_FALSE(std::filesystem::exists(out + "/traj_1"));
    EXPECT_TRUE(std::filesystem::exists(copy + "/traj_1"));
    ASSERT_EQ(std::system(("cd " + out + " && " + PLENTA_EXE).c_str()), 0);
    std::ifstream traj(out + "/traj_2");
    std::string header;
    std::getline(traj, header);
    EXPECT_EQ(header, "run 2 points 11 n_mon 3 n_rxn 18");
    std::ifstream groups(out + "/groups.txt");
    std::stringstream text;
    text << groups.rdbuf();
    EXPECT_NE(text.str().find("\nA_P 1*1,1*2,1*3\nA_unbound_P 1*3\nA_bound_P 1*1,1*2\nRLA_P 1*1\n"),
              std::string::npos);
    EXPECT_NE(std::system((std::string(NET2PLENTA_EXE) + " /nonexistent.net " + out +
                           " 2> /dev/null").c_str()),
              0);
    EXPECT_NE(std::system((std::string(NET2PLENTA_EXE) + " --runs x 2> /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace net2plenta

namespace net2plenta {
namespace {

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// --method rssa with per-run streams: the same files from one worker as from
// two, every run its own; with the event log on, one event per firing.
TEST(Net2plentaProgram, RssaRunsWithWorkersAndTheEventLog) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string one = (dir.path / "one").string(), two = (dir.path / "two").string();
    for (const std::string& out : {one, two})
        ASSERT_EQ(std::system((std::string(NET2PLENTA_EXE) + " " + NET_DATA_DIR +
                               "/multistate.net " + out + " --time-end 3 --runs 4 > /dev/null")
                                  .c_str()),
                  0);
    ASSERT_EQ(std::system(("cd " + one + " && " + PLENTA_EXE + " --method rssa --jobs 1").c_str()), 0);
    ASSERT_EQ(std::system(("cd " + two + " && " + PLENTA_EXE + " --method rssa --jobs 2").c_str()), 0);
    for (int run = 1; run <= 4; run++)
        EXPECT_EQ(file_text(one + "/traj_" + std::to_string(run)),
                  file_text(two + "/traj_" + std::to_string(run)))
            << "run " << run;
    EXPECT_EQ(file_text(one + "/summary.txt"), file_text(two + "/summary.txt"));
    EXPECT_NE(file_text(one + "/traj_1"), file_text(one + "/traj_2"));

    std::string model = file_text(one + "/model.txt");
    model.replace(model.find("eventlog_flag = 0"), 17, "eventlog_flag = 1");
    std::ofstream(one + "/model.txt", std::ios::binary) << model;
    ASSERT_EQ(std::system(("cd " + one + " && " + PLENTA_EXE + " --method rssa").c_str()), 0);
    std::istringstream summary(file_text(one + "/summary.txt"));
    std::string line;
    long long firings = 0;
    int lines = 0;
    while (std::getline(summary, line)) {
        if (++lines <= 2) continue;  // run 1's header lines
        if (line.rfind("grp", 0) == 0) break;
        firings += std::atoll(line.substr(line.find(' ') + 1).c_str());
    }
    EXPECT_GT(firings, 0);
    EXPECT_EQ(static_cast<long long>(fs::file_size(one + "/evlog_1_1")), 16 * firings);
}

}  // namespace
}  // namespace net2plenta

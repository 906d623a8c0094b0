// End-to-end runs of plenta with its command line: --method cr runs the
// exact methods by composition-rejection with outputs as consistent as the
// defined ones, --method direct is the program without arguments, and a
// wrong command line ends with status 2 before anything is read or written.
#include <map>
#include <utility>

#include "e2e_support.h"

namespace plenta_e2e {
namespace {


// Two sets of two runs of A + B <-> AB, with an event log.
std::string two_sets_model(int algorithm) {
    return model_header(2, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
           parameters(0.0, 5.0, algorithm, 2024, {0, 1, 2}, 0.5, 1, 2) +
           "num_repeats = 2\nnum_species = 1\n2 10\nnum_rates = 1\n1 0 1.5\n";
}

// Every file of the directory but constants.txt, which names the directory.
std::map<std::string, std::string> all_outputs(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : file_names(dir.path()))
        if (name != "constants.txt") files[name] = read_file(dir.file(name));
    return files;
}

TEST(E2eMethod, CompositionRejectionRunsWithConsistentOutputs) {
    for (int algorithm : {2, 1}) {
        TempDir dir;
        write_model(dir, two_sets_model(algorithm));
        RunResult r = run_plenta_with(dir.path(), "--method cr");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(file_names(dir.path()),
                  (std::set<std::string>{"constants.txt", "model.txt", "summary.txt", "traj_1",
                                         "traj_2", "traj_3", "traj_4", "evlog_1_1", "evlog_2_1",
                                         "evlog_3_1", "evlog_4_1"}));
        std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
        ASSERT_EQ(runs.size(), 4u);
        const int start_ab[] = {0, 0, 10, 10};
        for (int k = 0; k < 4; k++) {
            const std::string n = std::to_string(k + 1);
            Trajectory t = read_trajectory(dir.file("traj_" + n));
            ASSERT_EQ(t.lines.size(), 11u);
            // Firing totals are the column sums of the trajectory.
            EXPECT_EQ(firing_column_sums(t), runs[k].fire_totals) << "run " << n;
            EXPECT_GT(runs[k].fire_totals[0], 0) << "run " << n;
            // A + AB and B + AB are conserved at every snapshot.
            for (const auto& line : t.lines) {
                const int a = std::stoi(line[1]), b = std::stoi(line[2]), ab = std::stoi(line[3]);
                EXPECT_EQ(a + ab, 50 + start_ab[k]);
                EXPECT_EQ(b + ab, 40 + start_ab[k]);
            }
            // The event log holds every firing, in time order, within the run.
            EventLogFile log = read_eventlog(dir.file("evlog_" + n + "_1"));
            std::vector<long long> logged(2, 0);
            double last = 0.0;
            for (std::size_t e = 0; e < log.times.size(); e++) {
                EXPECT_GE(log.times[e], last);
                EXPECT_LE(log.times[e], 5.0);
                last = log.times[e];
                logged.at(static_cast<std::size_t>(log.rxns[e]) - 1) += 1;
            }
            EXPECT_EQ(logged, runs[k].fire_totals) << "run " << n;
        }
    }
}

TEST(E2eMethod, OneSeedReproducesTheOutputAndTheStreamDiffersFromTheDefault) {
    TempDir a, b, plain;
    for (const TempDir* d : {&a, &b, &plain}) write_model(*d, two_sets_model(2));
    ASSERT_EQ(run_plenta_with(a.path(), "--method cr").status, 0);
    ASSERT_EQ(run_plenta_with(b.path(), "--method=cr").status, 0);
    ASSERT_EQ(run_plenta_with(plain.path(), "").status, 0);
    EXPECT_EQ(all_outputs(a), all_outputs(b));
    EXPECT_NE(read_file(a.file("traj_1")), read_file(plain.file("traj_1")));
}

// A <-> B with formula laws, and a Hill-type production of A read from B.
std::string formula_network_model(int algorithm) {
    return model_header(1, 3, 2) + "A 300\nB 100\n\n" +
           "Conversion A -> B\nrxntype = formula\nnum_subs = 1\n0 1\nnum_prods = 1\n1 1\n"
           "rate = k1*A\nid = 0\n\n"
           "Conversion B -> 2 A\nrxntype = formula\nnum_subs = 1\n1 1\nnum_prods = 1\n0 2\n"
           "rate = k2*B\nid = 1\n\n"
           "Production of A, repressed by B\nrxntype = formula\nnum_subs = 0\nnum_prods = 1\n0 1\n"
           "rate = 5/(1 + (B/50)^2)\nid = 2\n\n" +
           parameters(0.0, 20.0, algorithm, 77, {0, 1}, 2.0, 0, 1) +
           "parameters = 2\nk1 0.05\nk2 0.04\n";
}

// Every method applies a formula reaction's row: the counts at every
// snapshot are the initial counts plus each reaction's firings times its
// net change (A: -1, +2, +1; B: +1, -1, 0).
TEST(E2eMethod, FormulaReactionsChangeTheCountsUnderEveryMethod) {
    const std::pair<int, const char*> runs[] = {
        {2, ""}, {1, ""}, {3, ""}, {2, "--method cr"}, {2, "--method rssa"}};
    for (const auto& [algorithm, args] : runs) {
        TempDir dir;
        write_model(dir, formula_network_model(algorithm));
        RunResult r = run_plenta_with(dir.path(), args);
        ASSERT_EQ(r.status, 0) << args << r.out << r.err;
        Trajectory t = read_trajectory(dir.file("traj_1"));
        ASSERT_EQ(t.lines.size(), 11u) << args;
        long long fired[3] = {0, 0, 0};
        for (const auto& line : t.lines) {
            for (int k = 0; k < 3; k++) fired[k] += std::stoll(line[3 + k]);
            EXPECT_EQ(std::stoll(line[1]), 300 - fired[0] + 2 * fired[1] + fired[2])
                << "algorithm " << algorithm << " " << args << " at " << line[0];
            EXPECT_EQ(std::stoll(line[2]), 100 + fired[0] - fired[1])
                << "algorithm " << algorithm << " " << args << " at " << line[0];
        }
        EXPECT_GT(fired[0], 0) << args;
        EXPECT_GT(fired[2], 0) << args;
    }
}

TEST(E2eMethod, MethodDirectIsTheProgramWithoutArguments) {
    for (int algorithm : {2, 1, 3}) {
        TempDir with, without;
        write_model(with, two_sets_model(algorithm));
        write_model(without, two_sets_model(algorithm));
        ASSERT_EQ(run_plenta_with(with.path(), "--method direct").status, 0);
        ASSERT_EQ(run_plenta_with(without.path(), "").status, 0);
        EXPECT_EQ(all_outputs(with), all_outputs(without)) << "algorithm " << algorithm;
    }
}

TEST(E2eMethod, TauLeapingWithCompositionRejectionIsRefusedBeforeAnyOutput) {
    TempDir dir;
    write_model(dir, two_sets_model(3));
    RunResult r = run_plenta_with(dir.path(), "--method cr");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Model file " + dir.file("model.txt") +
                         ": the composition-rejection method (--method cr) is an exact method; it "
                         "does not apply to tau-leaping (algorithm = 3). Exit.\n");
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
}

TEST(E2eMethod, WrongCommandLineEndsWithStatusTwoAndTouchesNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"--bogus", "plenta: unknown option '--bogus'\n"},
        {"--method", "plenta: option '--method' needs a value\n"},
        {"--method fast", "plenta: unknown method 'fast' for --method (direct, cr, rssa)\n"},
        {"--method=", "plenta: unknown method '' for --method (direct, cr, rssa)\n"},
        {"--help=yes", "plenta: option '--help' takes no value\n"},
        {"model.txt", "plenta: unexpected argument 'model.txt'\n"},
        {"--method cr -x", "plenta: unknown option '-x'\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_model(dir, two_sets_model(2));
        RunResult r = run_plenta_with(dir.path(), c.first);
        EXPECT_EQ(r.status, 2) << c.first;
        EXPECT_EQ(r.err, c.second + "Try 'plenta --help'.\n") << c.first;
        EXPECT_EQ(r.out, "") << c.first;
        EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}))
            << c.first;
    }
}

TEST(E2eMethod, HelpPrintsUsageAndRunsNothing) {
    TempDir dir;
    write_model(dir, two_sets_model(2));
    RunResult r = run_plenta_with(dir.path(), "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: plenta [--method direct|cr|rssa]", 0), 0u);
    EXPECT_NE(r.out.find("--method cr"), std::string::npos);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
}

}  // namespace
}  // namespace plenta_e2e

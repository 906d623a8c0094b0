// End-to-end failures of the built plenta: each message on standard output
// with exit status 1, and what was written before a failure is kept.
#include "console/console.h"
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

std::string pair_model(const std::string& traj, const std::string& summary,
                       const std::string& evlog, int eventlog_flag, int runs = 1) {
    return model_header(1, 2, 3, traj, summary, evlog) +
           binding_pair_network(50, 40, 0.01, 0.5) +
           parameters(0.0, 3.0, 2, 11, {0, 2}, 1.0, eventlog_flag, runs);
}

TEST(E2eFailure, UnwritableSummaryEndsBeforeAnyRun) {
    TempDir dir;
    write_model(dir, pair_model("traj", "missing/summary.txt", "evlog", 1));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't open " + dir.path() + "/missing/summary.txt file. Exit.\n");
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
}

TEST(E2eFailure, UnwritableTrajectoryNamesTheFileAndKeepsTheSummary) {
    TempDir dir;
    write_model(dir, pair_model("missing/traj", "summary.txt", "evlog", 1));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't open " + dir.path() + "/missing/traj_1 file. Exit.\n");
    // The two summary lines written before the trajectory file was tried.
    EXPECT_EQ(read_file(dir.file("summary.txt")), "grp 1 rxns 2\nset 1 run 1\n");
    EXPECT_FALSE(exists(dir.file("evlog_1_1")));
}

TEST(E2eFailure, UnwritableEventLogNamesTheFileAndKeepsEarlierFiles) {
    TempDir dir;
    write_model(dir, pair_model("traj", "summary.txt", "missing/evlog", 1));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't open " + dir.path() + "/missing/evlog_1_1 file. Exit.\n");
    EXPECT_EQ(read_file(dir.file("summary.txt")), "grp 1 rxns 2\nset 1 run 1\n");
    EXPECT_EQ(read_file(dir.file("traj_1")), "run 1 points 4 n_mon 2 n_rxn 2\n");
}

TEST(E2eFailure, SecondRunsTrajectoryFailingKeepsTheWholeFirstRun) {
    // A directory in the way of the second run's trajectory file.
    TempDir dir;
    write_model(dir, pair_model("traj", "summary.txt", "evlog", 1, 2));
    fs::create_directory(dir.file("traj_2"));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't open " + dir.path() + "/traj_2 file. Exit.\n");
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);  // run 1 whole, run 2 up to its two lines
    EXPECT_TRUE(runs[1].fire_totals.empty());
    Trajectory t = read_trajectory(dir.file("traj_1"));
    ASSERT_EQ(t.lines.size(), 4u);
    EXPECT_EQ(firing_column_sums(t), runs[0].fire_totals);
    EventLogFile log = read_eventlog(dir.file("evlog_1_1"));
    EXPECT_EQ(static_cast<long long>(log.times.size()),
              runs[0].fire_totals[0] + runs[0].fire_totals[1]);
}

TEST(E2eFailure, MissingInputFiles) {
    TempDir no_constants;
    RunResult r = run_plenta_in(no_constants.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, plenta::kMsgCantOpenConstants);

    TempDir no_model;
    write_file(no_model.file("constants.txt"), no_model.path() + "\nabsent.txt\n");
    r = run_plenta_in(no_model.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't open file " + no_model.path() + "/absent.txt. Exit!\n");
    EXPECT_EQ(file_names(no_model.path()), std::set<std::string>{"constants.txt"});
}

// Validation errors reach the user through the binary as one "Model file"
// line, and nothing is created.
TEST(E2eFailure, InvalidModelsAreRejectedBeforeAnyFileIsCreated) {
    struct Case {
        std::string model;
        std::string phrase;  // part of the message
    };
    const std::string net = binding_pair_network(50, 40, 0.01, 0.5);
    const Case cases[] = {
        {model_header(1, 2, 3) + net + parameters(0.0, 3.0, 2, 1, {0, 5}, 1.0, 0, 1),
         "monitored species 1 is species 5, outside 0..2."},
        {model_header(1, 2, 3) + net + parameters(0.0, 3.0, 2, 1, {0}, 0.0, 0, 1),
         "snapshot_interval = 0 is not a positive number."},
        {model_header(1, 0, 3) + net + parameters(0.0, 3.0, 2, 1, {0}, 1.0, 0, 1),
         "num_rxns = 0 is below 1."},
        {model_header(2, 2, 3) + net + parameters(0.0, 3.0, 2, 1, {0}, 1.0, 0, 1) +
             "num_repeats = 1\nnum_species = 1\n3 10\nnum_rates = 0\n",
         "parameter set 2: species change 0 names species 3, outside 0..2."},
        // A trajectory header cannot hold more than an int's worth of points.
        {model_header(1, 2, 3) + net + parameters(0.0, 1e300, 2, 1, {0}, 1.0, 0, 1),
         "give a snapshot point count outside the range of an int."},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_model(dir, c.model);
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 1) << c.phrase;
        EXPECT_EQ(r.out.rfind("Model file " + dir.path() + "/model.txt", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(c.phrase), std::string::npos) << r.out;
        EXPECT_EQ(r.out.back(), '\n');
        EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
    }
}

TEST(E2eFailure, SeedTheGeneratorCannotTakeIsRefusedBeforeAnyFile) {
    // 0 and numbers past the generator's range are refused with a message
    // naming the field, before the previous summary is touched; a number
    // past 32 bits is refused as written, not run as its remainder.
    for (const char* seed : {"0", "2147483399", "99999999999", "-5"}) {
        SCOPED_TRACE(seed);
        TempDir dir;
        std::string params = parameters(0.0, 3.0, 2, 11, {0}, 1.0, 0, 1);
        params.replace(params.find("randseed = 11"), 13, std::string("randseed = ") + seed);
        write_model(dir, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) + params);
        write_file(dir.file("summary.txt"), "previous\n");
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Model file " + dir.path() + "/model.txt: randseed = " + seed +
                             " is outside 1..2147483398. Exit.\n");
        EXPECT_EQ(read_file(dir.file("summary.txt")), "previous\n");
        EXPECT_FALSE(exists(dir.file("traj_1")));
    }
}

TEST(E2eFailure, SnapshotGridOfTenthsNeverLoopsForever) {
    // 0.1 is not a double: a boundary computed as t + (0.1 - fmod(t, 0.1))
    // can round back to t itself (it does at 0.5), after which no call
    // would move the time.  The driver must then stop with its message and
    // status 1; where the boundaries are computed exactly, the run ends
    // normally with a line for every tenth.
    TempDir dir;
    write_model(dir, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.0, 0.0) +
                         parameters(0.0, 1.0, 2, 11, {0}, 0.1, 0, 1));
    RunResult r = run_plenta_in(dir.path());
    Trajectory t = read_trajectory(dir.file("traj_1"));
    EXPECT_EQ(t.points, 11);
    if (r.status == 0) {
        EXPECT_EQ(r.out, "");
        ASSERT_EQ(t.lines.size(), 11u);
        EXPECT_EQ(t.lines.back()[0], "1");
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind("The simulation time cannot advance past ", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(" with snapshot_interval = 0.1. Exit.\n"), std::string::npos);
        EXPECT_FALSE(t.lines.empty());  // the lines before the stall were kept
    }
}

}  // namespace
}  // namespace plenta_e2e

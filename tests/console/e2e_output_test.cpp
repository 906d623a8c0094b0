// End-to-end runs of the built plenta on small models: which files appear,
// the summary lines, the trajectory layout and totals, run and set
// numbering, parameter-set changes, the event-log contents, and
// reproducibility from the seed.
#include <cmath>
#include <map>

#include "e2e_support.h"

namespace plenta_e2e {
namespace {

// Two sets of two runs each: A + B <-> AB, the second set starting with 10 AB
// and a faster unbinding.
std::string two_sets_model(int eventlog_flag) {
    return model_header(2, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
           parameters(0.0, 5.0, 2, 2024, {0, 1, 2}, 0.5, eventlog_flag, 2) +
           "num_repeats = 2\nnum_species = 1\n2 10\nnum_rates = 1\n1 0 1.5\n";
}

TEST(E2eFiles, TwoSetsOfTwoRunsAreNumberedOverAllSets) {
    TempDir dir;
    write_model(dir, two_sets_model(1));
    RunResult r = run_plenta_in(dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");  // nothing but failure messages is printed

    EXPECT_EQ(file_names(dir.path()),
              (std::set<std::string>{"constants.txt", "model.txt", "summary.txt", "traj_1",
                                     "traj_2", "traj_3", "traj_4", "evlog_1_1", "evlog_2_1",
                                     "evlog_3_1", "evlog_4_1"}));

    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 4u);
    const int expected_set[] = {1, 1, 2, 2};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(runs[k].set, expected_set[k]);
        EXPECT_EQ(runs[k].run, k + 1);
        // The header counts runs within the set; the file name over all sets.
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(k + 1)));
        EXPECT_EQ(t.run, k % 2 + 1);
        EXPECT_EQ(t.points, 11);
        EXPECT_EQ(t.n_mon, 3);
        EXPECT_EQ(t.n_rxn, 2);
    }
    // The summary's block starts with the reaction count.
    EXPECT_EQ(read_file(dir.file("summary.txt")).substr(0, 25), "grp 1 rxns 2\nset 1 run 1\n");
}

TEST(E2eTrajectory, LinesTotalsAndFinalLineWithoutLineEnd) {
    TempDir dir;
    write_model(dir, two_sets_model(0));
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 4u);
    for (int k = 0; k < 4; k++) {
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(k + 1)));
        EXPECT_FALSE(t.ends_with_newline);
        // Data lines for 0, 0.5, ..., 4.5, then the final line at 5.
        ASSERT_EQ(t.lines.size(), 11u);
        for (std::size_t i = 0; i < t.lines.size(); i++) {
            ASSERT_EQ(t.lines[i].size(), 1u + 3u + 2u) << "line " << i;
            EXPECT_DOUBLE_EQ(std::atof(t.lines[i][0].c_str()), 0.5 * static_cast<double>(i));
            // Each firing of binding removes one A and one B and adds one AB,
            // so A + AB and B + AB stay at their starting values.
            int a = std::atoi(t.lines[i][1].c_str());
            int b = std::atoi(t.lines[i][2].c_str());
            int ab = std::atoi(t.lines[i][3].c_str());
            const int ab0 = k < 2 ? 0 : 10;
            EXPECT_EQ(a + ab, 50 + ab0);
            EXPECT_EQ(b + ab, 40 + ab0);
        }
        EXPECT_EQ(t.lines[0][1], "50");
        EXPECT_EQ(t.lines[0][3], k < 2 ? "0" : "10");  // set 2 starts with 10 AB
        EXPECT_EQ(t.lines[0][4], "0");                 // no firing before time 0
        EXPECT_EQ(t.lines.back()[0], "5");
        std::vector<long long> sums = firing_column_sums(t);
        EXPECT_EQ(sums, runs[k].fire_totals) << "run " << k + 1;
        // The change of AB over the run is binding minus unbinding firings.
        int ab_end = std::atoi(t.lines.back()[3].c_str());
        EXPECT_EQ(ab_end - (k < 2 ? 0 : 10), sums[0] - sums[1]);
    }
}

TEST(E2eEventLog, ContentsMatchTheSummaryAndTheTrajectory) {
    TempDir dir;
    write_model(dir, two_sets_model(1));
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 4u);
    for (int k = 0; k < 4; k++) {
        EventLogFile log = read_eventlog(dir.file("evlog_" + std::to_string(k + 1) + "_1"));
        std::vector<long long> per_rxn(2, 0);
        double previous = 0.0;
        for (std::size_t e = 0; e < log.times.size(); e++) {
            EXPECT_GE(log.times[e], previous);
            EXPECT_LE(log.times[e], 5.0);
            previous = log.times[e];
            double number = log.rxns[e];
            ASSERT_TRUE(number == 1.0 || number == 2.0) << number;
            per_rxn[static_cast<std::size_t>(number) - 1]++;
        }
        EXPECT_EQ(per_rxn, runs[k].fire_totals);
        // The events before each snapshot time are the trajectory's counts.
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(k + 1)));
        std::size_t e = 0;
        for (std::size_t i = 1; i < t.lines.size(); i++) {
            const double upto = std::atof(t.lines[i][0].c_str());
            long long fired[2] = {0, 0};
            for (; e < log.times.size() && log.times[e] <= upto; e++)
                fired[static_cast<int>(log.rxns[e]) - 1]++;
            EXPECT_EQ(fired[0], std::atoll(t.lines[i][4].c_str())) << "line " << i;
            EXPECT_EQ(fired[1], std::atoll(t.lines[i][5].c_str())) << "line " << i;
        }
    }
}

TEST(E2eSets, ZeroRunSetWritesNothingAndLaterSetsStartFromTheModelAsRead) {
    // Set 2 has no runs but changes A and k_on; set 3 changes only B.  Set 3
    // must run with A as read (50) and B = 7; set 1 with the model as read.
    TempDir dir;
    write_model(dir, model_header(3, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                         parameters(0.0, 1.0, 2, 99, {0, 1, 2}, 1.0, 0, 1) +
                         "num_repeats = 0\nnum_species = 1\n0 5\nnum_rates = 1\n0 0 0.0\n"
                         "num_repeats = 1\nnum_species = 1\n1 7\nnum_rates = 0\n");
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    EXPECT_EQ(file_names(dir.path()),
              (std::set<std::string>{"constants.txt", "model.txt", "summary.txt", "traj_1",
                                     "traj_2"}));
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].set, 1);
    EXPECT_EQ(runs[1].set, 3);
    EXPECT_EQ(runs[1].run, 2);
    Trajectory t = read_trajectory(dir.file("traj_2"));
    EXPECT_EQ(t.run, 1);
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0][1], "50");
    EXPECT_EQ(t.lines[0][2], "7");
    // k_on is back to 0.01 (set 2 zeroed it): binding fires in set 3.
    EXPECT_GT(runs[1].fire_totals[0], 0);
}

TEST(E2eTimes, StartNotBelowEndCallsNoEngine) {
    TempDir dir;
    write_model(dir, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                         parameters(4.0, 4.0, 2, 5, {0, 2}, 1.0, 1, 2));
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    for (int run = 1; run <= 2; run++) {
        std::string n = std::to_string(run);
        EXPECT_EQ(read_file(dir.file("traj_" + n)),
                  "run " + n + " points 5 n_mon 2 n_rxn 2\n4\t50\t0\t0\t0");
        EXPECT_EQ(read_eventlog(dir.file("evlog_" + n + "_1")).bytes, 0u);
    }
    EXPECT_EQ(read_file(dir.file("summary.txt")),
              "grp 1 rxns 2\nset 1 run 1\n1 0\n2 0\ngrp 1 rxns 2\nset 1 run 2\n1 0\n2 0\n");
}

TEST(E2eTimes, StartOffTheGridSnapshotsOnlyOnBoundaries) {
    // time_start 0.25, interval 1: the first call runs to 1, lines at 1, 2
    // and the final line at 3; the header's point count is the formula's 4.
    TempDir dir;
    write_model(dir, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                         parameters(0.25, 3.0, 2, 5, {2}, 1.0, 0, 1));
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    Trajectory t = read_trajectory(dir.file("traj_1"));
    EXPECT_EQ(t.points, 4);
    ASSERT_EQ(t.lines.size(), 3u);
    EXPECT_EQ(t.lines[0][0], "1");
    EXPECT_EQ(t.lines[1][0], "2");
    EXPECT_EQ(t.lines[2][0], "3");
}

TEST(E2eReproducibility, SameInputGivesIdenticalFilesAndRunsDiffer) {
    TempDir first, second;
    write_model(first, two_sets_model(1));
    write_model(second, two_sets_model(1));
    ASSERT_EQ(run_plenta_in(first.path()).status, 0);
    ASSERT_EQ(run_plenta_in(second.path()).status, 0);
    std::set<std::string> names = file_names(first.path());
    ASSERT_EQ(names, file_names(second.path()));
    for (const std::string& name : names) {
        if (name == "constants.txt") continue;  // holds each directory's own path
        EXPECT_EQ(read_file(first.file(name)), read_file(second.file(name))) << name;
    }
    // One continuing stream: the two runs of set 1 are different draws.
    EXPECT_NE(read_file(first.file("evlog_1_1")), read_file(first.file("evlog_2_1")));
}

TEST(E2eReproducibility, AnotherSeedGivesAnotherTrajectory) {
    TempDir a, b;
    write_model(a, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                       parameters(0.0, 5.0, 2, 1, {0}, 1.0, 0, 1));
    write_model(b, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                       parameters(0.0, 5.0, 2, 2, {0}, 1.0, 0, 1));
    ASSERT_EQ(run_plenta_in(a.path()).status, 0);
    ASSERT_EQ(run_plenta_in(b.path()).status, 0);
    EXPECT_NE(read_file(a.file("traj_1")), read_file(b.file("traj_1")));
}

TEST(E2eEventLog, LogOffCreatesNoEventLogFile) {
    TempDir dir;
    write_model(dir, model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                         parameters(0.0, 2.0, 1, 3, {0}, 1.0, 2, 1));
    ASSERT_EQ(run_plenta_in(dir.path()).status, 0);
    EXPECT_EQ(file_names(dir.path()),
              (std::set<std::string>{"constants.txt", "model.txt", "summary.txt", "traj_1"}));
}

}  // namespace
}  // namespace plenta_e2e

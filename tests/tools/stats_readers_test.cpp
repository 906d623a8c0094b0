// The pieces of plenta-stats: running moments, the trajectory and summary
// readers, the table and its CSV form.
#include <cmath>

#include "tests/tools/stats_support.h"
#include "tools/plenta-stats/stats.h"

namespace plenta_stats {
namespace {

using stats_test::TempDir;
using stats_test::write_file;

TEST(RunningMoments, AgreeWithTwoPassValuesAndStayAccurateFarFromZero) {
    // Values 1e9 + {4, 7, 13, 16}: mean 1e9 + 10, squared deviations 36 + 9 +
    // 9 + 36 = 90, sample variance 30.  The sum of squares minus the squared
    // sum would lose every digit of it in double precision.
    RunningMoments m;
    for (long long v : {4, 7, 13, 16}) add_sample(m, 1000000000LL + v);
    EXPECT_EQ(m.n, 4);
    EXPECT_EQ(exact_mean(m), 1000000010.0);
    EXPECT_DOUBLE_EQ(sample_sd(m), std::sqrt(30.0));
    EXPECT_EQ(m.min, 1000000004LL);
    EXPECT_EQ(m.max, 1000000016LL);

    RunningMoments one;
    add_sample(one, -3);
    EXPECT_EQ(sample_sd(one), 0.0);  // as std() of one value
    EXPECT_EQ(exact_mean(one), -3.0);
    EXPECT_EQ(one.min, -3);
    EXPECT_EQ(exact_mean(RunningMoments{}), 0.0);
}

TEST(RunningMoments, SumsOfCountsNear2To63DoNotOverflow) {
    // Three samples of 2^63 - 1: their sum needs 65 bits; the mean is exact.
    const long long big = 9223372036854775807LL;
    RunningMoments m;
    for (int i = 0; i < 3; i++) add_sample(m, big);
    EXPECT_EQ(exact_mean(m), 9223372036854775807.0);
    EXPECT_EQ(m.max, big);
    RunningMoments low;
    for (int i = 0; i < 3; i++) add_sample(low, -big - 1);
    EXPECT_EQ(exact_mean(low), -9223372036854775808.0);
}

const TrajectoryLayout kLayout{1, 2, 0.5, 0.0};

TEST(ParseTrajectory, ReadsLinesTotalsAndGridIndices) {
    Trajectory t;
    ASSERT_EQ(parse_trajectory("run 2 points 3 n_mon 1 n_rxn 2\n0\t5\t0\t0\n0.5\t7\t3\t1\n1\t4\t1\t4",
                               kLayout, t),
              "");
    EXPECT_EQ(t.run_in_set, 2);
    EXPECT_EQ(t.points, 3);
    ASSERT_EQ(t.lines.size(), 3u);
    for (std::size_t i = 0; i < 3; i++) {
        EXPECT_TRUE(t.lines[i].on_grid);
        EXPECT_EQ(t.lines[i].grid_index, static_cast<long long>(i));
    }
    EXPECT_EQ(t.values, (std::vector<long long>{5, 0, 0, 7, 3, 1, 4, 1, 4}));
    EXPECT_EQ(t.firing_totals, (std::vector<long long>{4, 5}));
}

TEST(ParseTrajectory, RefusesFilesCutShortOrOfAnotherLayout) {
    const std::string header = "run 1 points 3 n_mon 1 n_rxn 2\n";
    struct Case {
        std::string text, problem;
    };
    const std::vector<Case> cases = {
        {"", "empty file"},
        {"run 1 points 3", "no line after the header"},
        {header, "ends after the header: no snapshot lines (truncated)"},
        {header + "0\t5\t0\t0\n",
         "ends with a line end after line 2: the final line is missing (truncated)"},
        {header + "0\t5\t0\t0\n0.5\t7\t3", "line 3: expected 1 counts and 2 firing numbers after the time"},
        {header + "0\t5\t0\t0\t9", "line 2: text after the model's 3 columns"},
        {header + "0\t5\t0\t0x", "line 2: text after the model's 3 columns"},
        {header + "0\t5\t\t0", "line 2: expected 1 counts and 2 firing numbers after the time"},
        {header + "zero\t5\t0\t0", "line 2: no snapshot time at its start"},
        {header + "0.25\t5\t0\t0\n1\t1\t1\t1", "line 2: time 0.25 is not a snapshot time of the model"},
        {header + "1\t5\t0\t0\n0.5\t1\t1\t1", "line 3: time 0.5 does not follow the line before"},
        {"run 1 points 3 n_mon 2 n_rxn 2\n0\t5\t0\t0\t0",
         "header gives n_mon 2 n_rxn 2, the model 1 and 2"},
        {"points 3\n0\t5\t0\t0", "no trajectory header on line 1"},
    };
    for (const Case& c : cases) {
        Trajectory t;
        EXPECT_EQ(parse_trajectory(c.text, kLayout, t), c.problem) << c.text;
    }
}

TEST(ParseTrajectory, FinalLineOffTheGridIsKeptWithItsTime) {
    // time_start 2.2 at or after time_end: only the final line, at 2.2.
    Trajectory t;
    ASSERT_EQ(parse_trajectory("run 1 points 5 n_mon 1 n_rxn 2\n2.2\t5\t0\t0", kLayout, t), "");
    ASSERT_EQ(t.lines.size(), 1u);
    EXPECT_FALSE(t.lines[0].on_grid);
    EXPECT_DOUBLE_EQ(t.lines[0].time, 2.2);
}

TEST(ParseTrajectory, SkippedSnapshotAndTimesBeyondSixDigits) {
    // A snapshot may be missing where the simulated time drifted off the grid.
    Trajectory t;
    ASSERT_EQ(parse_trajectory("run 1 points 5 n_mon 1 n_rxn 2\n0\t1\t0\t0\n1.5\t1\t0\t0\n2\t1\t0\t0",
                               kLayout, t),
              "");
    EXPECT_EQ(t.lines[1].grid_index, 3);
    EXPECT_EQ(t.lines[2].grid_index, 4);
    // From a million intervals on, "%g" prints neighbouring snapshots alike;
    // the order of the lines tells them apart.
    const TrajectoryLayout unit{1, 2, 1.0, 1234560.0};
    std::string text = "run 1 points 9 n_mon 1 n_rxn 2\n";
    for (long long j = 1234560; j <= 1234566; j++)
        text += grid_time_text(j, 1.0) + "\t1\t0\t0" + (j < 1234566 ? "\n" : "");
    ASSERT_EQ(grid_time_text(1234561, 1.0), grid_time_text(1234562, 1.0));
    ASSERT_EQ(parse_trajectory(text, unit, t), "");
    for (std::size_t i = 0; i < t.lines.size(); i++)
        EXPECT_EQ(t.lines[i].grid_index, 1234560 + static_cast<long long>(i));
}

TEST(SetTable, RowsInTimeOrderWithOffGridRowsApart) {
    SetTable table;
    table.layout = kLayout;
    Trajectory a, b, c;
    ASSERT_EQ(parse_trajectory("run 1 points 3 n_mon 1 n_rxn 2\n0\t2\t0\t0\n0.5\t4\t2\t0\n1\t6\t2\t0",
                               kLayout, a), "");
    ASSERT_EQ(parse_trajectory("run 2 points 3 n_mon 1 n_rxn 2\n0\t4\t0\t0\n0.5\t8\t4\t0\n1\t0\t0\t8",
                               kLayout, b), "");
    ASSERT_EQ(parse_trajectory("run 3 points 3 n_mon 1 n_rxn 2\n0\t6\t0\t0\n0.5\t9\t3\t0\n0.75\t9\t0\t0",
                               kLayout, c), "");
    add_run(table, a);
    add_run(table, b);
    add_run(table, c);
    EXPECT_EQ(table.runs_summarised, 3);
    ASSERT_EQ(table.rows.size(), 4u);  // 0, 0.5, 0.75 (off the grid), 1
    std::vector<double> times;
    std::vector<long long> runs;
    for (const auto& [key, row] : table.rows) {
        times.push_back(key.time);
        runs.push_back(row.runs);
    }
    EXPECT_EQ(times, (std::vector<double>{0, 0.5, 0.75, 1}));
    EXPECT_EQ(runs, (std::vector<long long>{3, 3, 1, 2}));
    const SnapshotRow& first = table.rows.begin()->second;
    EXPECT_EQ(exact_mean(first.species[0]), 4.0);
    EXPECT_DOUBLE_EQ(sample_sd(first.species[0]), 2.0);

    TempDir dir;
    ASSERT_TRUE(write_csv(dir.file("t.csv"), table, {"A,b"}));
    EXPECT_EQ(stats_test::read_file(dir.file("t.csv")),
              "time,\"A,b_mean\",\"A,b_sd\",\"A,b_min\",\"A,b_max\",R1_firings_mean,R2_firings_mean,runs\n"
              "0,4,2,2,6,0,0,3\n"
              "0.5,7,2.64575131106459,4,9,3,0,3\n"
              "0.75,9,0,9,9,0,0,1\n"
              "1,3,4.24264068711928,0,6,1,4,2\n");
    EXPECT_FALSE(write_csv(dir.file("no/such/dir/t.csv"), table, {"A"}));
}

TEST(CsvPath, NextToTheSummaryOrInTheOutFolder) {
    EXPECT_EQ(csv_path("/data/m/summary.txt", "", 2), "/data/m/summary_set2_stats.csv");
    EXPECT_EQ(csv_path("/data/m/results", "", 1), "/data/m/results_set1_stats.csv");
    EXPECT_EQ(csv_path("/data/m/a.b.txt", "/tmp/o", 3), "/tmp/o/a.b_set3_stats.csv");
    EXPECT_EQ(csv_path("/data/m/.hidden", "/tmp/o/", 1), "/tmp/o/.hidden_set1_stats.csv");
}

TEST(SummaryReader, RunsWithAndWithoutTotals) {
    TempDir dir;
    write_file(dir.file("s"),
               "grp 1 rxns 2\nset 1 run 1\n1 5\n2 7\n"
               "grp 1 rxns 2\nset 2 run 2\n1 0\n2 3\n"
               "grp 1 rxns 2\nset 2 run 3\n1 4\n2 1");  // the last line cut while written
    SummaryReader reader(dir.file("s"), 2);
    ASSERT_TRUE(reader.is_open());
    SummaryRun run;
    ASSERT_TRUE(reader.next(run));
    EXPECT_EQ(run.set_number, 1);
    EXPECT_EQ(run.run_counter, 1);
    EXPECT_TRUE(run.has_totals);
    EXPECT_EQ(run.totals, (std::vector<long long>{5, 7}));
    ASSERT_TRUE(reader.next(run));
    EXPECT_EQ(run.run_counter, 2);
    EXPECT_TRUE(run.has_totals);
    ASSERT_TRUE(reader.next(run));
    EXPECT_EQ(run.run_counter, 3);
    EXPECT_FALSE(run.has_totals);
    EXPECT_FALSE(reader.next(run));
    EXPECT_EQ(reader.error(), "");
    EXPECT_EQ(count_summary_runs(dir.file("s")), 3);

    // An unfinished run followed by more text, and then text that is not a
    // summary line at all.
    write_file(dir.file("t"), "grp 1 rxns 2\nset 1 run 1\n1 5\ngrp 1 rxns 2\nset 1 run 2\nhello\n");
    SummaryReader bad(dir.file("t"), 2);
    ASSERT_TRUE(bad.next(run));
    EXPECT_FALSE(run.has_totals);
    ASSERT_TRUE(bad.next(run));
    EXPECT_FALSE(run.has_totals);
    EXPECT_FALSE(bad.next(run));
    EXPECT_EQ(bad.error(), "line 6: expected 'grp 1 rxns 2', found 'hello'");

    SummaryReader wrong(dir.file("s"), 3);
    EXPECT_FALSE(wrong.next(run));
    EXPECT_EQ(wrong.error(), "line 1: expected 'grp 1 rxns 3', found 'grp 1 rxns 2'");
}

TEST(ParseTrajectory, FiringColumnsAddingUpBeyond64BitsAreRefused) {
    const std::string big = "9223372036854775807";
    Trajectory t;
    const std::string text = "run 1 points 2 n_mon 1 n_rxn 2\n0\t1\t" + big + "\t0\n0.5\t1\t" +
                             big + "\t0";
    const std::string problem = parse_trajectory(text, kLayout, t);
    EXPECT_NE(problem.find("firing numbers of reaction 1 add up beyond the range of 64 bits"),
              std::string::npos)
        << problem;
}

}  // namespace
}  // namespace plenta_stats

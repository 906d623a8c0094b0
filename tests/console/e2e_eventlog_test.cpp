// Event logs that overflow their buffer: the driver run in-process with a
// buffer of 7 events, under the exact methods and tau-leaping, and the built
// program with its real one-million-event files.
#include <algorithm>
#include <numeric>

#include "console/console.h"
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

// Runs the driver in this process with the given buffer size; returns its
// exit status and what it printed.
int run_in_process(const TempDir& dir, int capacity, std::string* printed = nullptr) {
    testing::internal::CaptureStdout();
    int status = plenta::run_plenta(dir.path(), capacity);
    std::string out = testing::internal::GetCapturedStdout();
    if (printed != nullptr) *printed = out;
    return status;
}

// All event-log files of one run, in file order, and the number of files.
EventLogFile concatenated_log(const TempDir& dir, int run, int* files) {
    EventLogFile all;
    int n = 0;
    for (;; n++) {
        std::string name = dir.file("evlog_" + std::to_string(run) + "_" + std::to_string(n + 1));
        if (!exists(name)) break;
        EventLogFile f = read_eventlog(name);
        all.times.insert(all.times.end(), f.times.begin(), f.times.end());
        all.rxns.insert(all.rxns.end(), f.rxns.begin(), f.rxns.end());
        all.bytes += f.bytes;
    }
    *files = n;
    return all;
}

// Every file but the last holds exactly `capacity` events; the whole log is
// in time order, names reactions 1..num_rxns and adds up to the summary.
void expect_run_log(const TempDir& dir, int run, int capacity, const SummaryRun& summary,
                    EventLogFile* whole = nullptr) {
    int files = 0;
    EventLogFile log = concatenated_log(dir, run, &files);
    const long long total =
        std::accumulate(summary.fire_totals.begin(), summary.fire_totals.end(), 0LL);
    ASSERT_EQ(static_cast<long long>(log.times.size()), total) << "run " << run;
    EXPECT_EQ(files, static_cast<int>(total / capacity) + 1) << "run " << run;
    for (int k = 1; k < files; k++) {
        std::string name = dir.file("evlog_" + std::to_string(run) + "_" + std::to_string(k));
        EXPECT_EQ(read_eventlog(name).bytes, static_cast<std::size_t>(capacity) * 16) << name;
    }
    std::vector<long long> per_rxn(summary.fire_totals.size(), 0);
    for (std::size_t e = 0; e < log.times.size(); e++) {
        if (e > 0) {
            EXPECT_GE(log.times[e], log.times[e - 1]) << "event " << e;
        }
        const int number = static_cast<int>(log.rxns[e]);
        ASSERT_EQ(static_cast<double>(number), log.rxns[e]);
        ASSERT_GE(number, 1);
        ASSERT_LE(number, static_cast<int>(per_rxn.size()));
        per_rxn[static_cast<std::size_t>(number - 1)]++;
    }
    EXPECT_EQ(per_rxn, summary.fire_totals) << "run " << run;
    if (whole != nullptr) *whole = log;
}

std::string pair_model(int algorithm, int runs, int a = 50, int b = 40) {
    return model_header(1, 2, 3) + binding_pair_network(a, b, 0.01, 0.5) +
           parameters(0.0, 3.0, algorithm, 31, {0, 1, 2}, 0.5, 1, runs);
}

TEST(E2eEventLogOverflow, DirectMethodSplitsTheSameEventsIntoFilesOfSeven) {
    // The exact methods return early when the buffer fills and resume toward
    // the same boundary, so a small buffer changes nothing but the file
    // boundaries: the concatenated files equal the single file of a large
    // buffer, and the trajectories are the same.
    TempDir small, large;
    write_model(small, pair_model(2, 2));
    write_model(large, pair_model(2, 2));
    ASSERT_EQ(run_in_process(small, 7), 0);
    ASSERT_EQ(run_in_process(large, plenta::kConsoleEventlogArraysize), 0);
    std::vector<SummaryRun> runs = read_summary(small.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(read_file(small.file("summary.txt")), read_file(large.file("summary.txt")));
    for (int run = 1; run <= 2; run++) {
        EventLogFile whole;
        expect_run_log(small, run, 7, runs[static_cast<std::size_t>(run - 1)], &whole);
        EXPECT_GT(whole.times.size(), 20u);  // several files
        EventLogFile reference = read_eventlog(large.file("evlog_" + std::to_string(run) + "_1"));
        EXPECT_EQ(whole.times, reference.times);
        EXPECT_EQ(whole.rxns, reference.rxns);
        std::string traj = "traj_" + std::to_string(run);
        EXPECT_EQ(read_file(small.file(traj)), read_file(large.file(traj)));
    }
}

TEST(E2eEventLogOverflow, FirstReactionSelectionAlsoKeepsEveryEvent) {
    TempDir dir;
    write_model(dir, pair_model(1, 1));
    ASSERT_EQ(run_in_process(dir, 7), 0);
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 1u);
    expect_run_log(dir, 1, 7, runs[0]);
}

TEST(E2eEventLogOverflow, TauLeapBatchesAreDrainedWithoutLoss) {
    // Leaps log batches of many identical entries, far more than 7: the
    // drain hook empties the buffer inside a batch, so every firing is
    // logged and every full file still holds exactly 7 events.
    TempDir dir;
    write_model(dir, model_header(1, 2, 3) + binding_pair_network(4000, 3000, 0.001, 0.5) +
                         parameters(0.0, 2.0, 3, 8, {0, 1, 2}, 0.5, 1, 2));
    ASSERT_EQ(run_in_process(dir, 7), 0);
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);
    for (int run = 1; run <= 2; run++) {
        EventLogFile whole;
        expect_run_log(dir, run, 7, runs[static_cast<std::size_t>(run - 1)], &whole);
        // Leaps happened: some event time is shared by more than 7 entries.
        std::size_t longest = 1, current = 1;
        for (std::size_t e = 1; e < whole.times.size(); e++) {
            current = whole.times[e] == whole.times[e - 1] ? current + 1 : 1;
            longest = std::max(longest, current);
        }
        EXPECT_GT(longest, 7u);
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(run)));
        EXPECT_EQ(firing_column_sums(t), runs[static_cast<std::size_t>(run - 1)].fire_totals);
    }
}

TEST(E2eEventLogOverflow, BufferFilledByTheLastFiringLeavesAnEmptyLastFile) {
    // 14 molecules of A decay to B and nothing else happens: 14 firings fill
    // a 7-event buffer exactly twice, so the run ends with an empty third file.
    TempDir dir;
    write_model(dir, model_header(1, 1, 2) +
                         "A 14\nB 0\n\nDecay A -> B\nrxntype = uni-uni\nnum_subs = 1\n0\n"
                         "num_prods = 1\n1\nStoP = 5.0\nid = 0\n\n" +
                         parameters(0.0, 20.0, 2, 3, {0, 1}, 10.0, 1, 1));
    ASSERT_EQ(run_in_process(dir, 7), 0);
    EXPECT_EQ(read_eventlog(dir.file("evlog_1_1")).bytes, 112u);
    EXPECT_EQ(read_eventlog(dir.file("evlog_1_2")).bytes, 112u);
    EXPECT_EQ(read_eventlog(dir.file("evlog_1_3")).bytes, 0u);
    EXPECT_FALSE(exists(dir.file("evlog_1_4")));
    EXPECT_EQ(read_file(dir.file("summary.txt")), "grp 1 rxns 1\nset 1 run 1\n1 14\n");
}

TEST(E2eEventLogOverflow, NextFileThatCannotBeCreatedEndsTheRunKeepingTheFullFile) {
    // A directory in the way of the second event-log file of run 1.
    TempDir dir;
    write_model(dir, pair_model(2, 1));
    fs::create_directory(dir.file("evlog_1_2"));
    std::string printed;
    EXPECT_EQ(run_in_process(dir, 7, &printed), 1);
    EXPECT_EQ(printed, "Can't open " + dir.path() + "/evlog_1_2 file. Exit.\n");
    EventLogFile first = read_eventlog(dir.file("evlog_1_1"));
    EXPECT_EQ(first.bytes, 7u * 16u);
    EXPECT_EQ(read_file(dir.file("summary.txt")), "grp 1 rxns 2\nset 1 run 1\n");
    // The trajectory file holds what was written before the failure.
    Trajectory t = read_trajectory(dir.file("traj_1"));
    EXPECT_EQ(t.points, 7);
    EXPECT_FALSE(t.lines.empty());
}

TEST(E2eEventLogOverflow, RealProgramWritesMillionEventFiles) {
    // A <-> B with propensities of 1000 each way: about 2000 firings per
    // unit time, so 1300 time units give some 2.6 million events.
    TempDir dir;
    write_model(dir, model_header(1, 2, 2) +
                         "A 1000\nB 1000\n\n"
                         "Forward A -> B\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\n"
                         "StoP = 1.0\nid = 0\n\n"
                         "Backward B -> A\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n0\n"
                         "StoP = 1.0\nid = 1\n\n" +
                         parameters(0.0, 1300.0, 2, 17, {0}, 100.0, 1, 1));
    RunResult r = run_plenta_in(dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 1u);
    const long long total = runs[0].fire_totals[0] + runs[0].fire_totals[1];
    ASSERT_GT(total, 2000000);
    ASSERT_LT(total, 3000000);
    EXPECT_EQ(fs::file_size(dir.file("evlog_1_1")), 16000000u);
    EXPECT_EQ(fs::file_size(dir.file("evlog_1_2")), 16000000u);
    EXPECT_EQ(fs::file_size(dir.file("evlog_1_3")),
              static_cast<std::uintmax_t>(total - 2000000) * 16u);
    EXPECT_FALSE(exists(dir.file("evlog_1_4")));
    expect_run_log(dir, 1, plenta::kConsoleEventlogArraysize, runs[0]);
}

}  // namespace
}  // namespace plenta_e2e

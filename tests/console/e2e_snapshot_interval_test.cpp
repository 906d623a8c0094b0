// End-to-end runs with snapshot intervals that no double holds (0.1, 0.2,
// 0.3, 0.7, 1/3 written as 0.333333333333333) under the direct method,
// first-reaction selection and tau-leaping: every run ends, with one data
// line per snapshot time below time_end, printed as the decimal multiple,
// and firing columns that add up to the summary's totals.  Each run has a
// time limit, so that a run that never ends fails instead of blocking.
#include <cinttypes>
#include <cstdio>

#include "e2e_support.h"

namespace plenta_e2e {
namespace {

constexpr int kTimeLimitSeconds = 120;
constexpr int kTimedOut = 124;  // exit status of timeout(1) when the limit is hit

RunResult run_plenta_with_time_limit(const std::string& dir) {
    TempDir capture;
    std::string command = "cd '" + dir + "' && timeout " + std::to_string(kTimeLimitSeconds) +
                          " '" + plenta_binary() + "' >'" + capture.file("out") + "' 2>'" +
                          capture.file("err") + "'";
    int raw = std::system(command.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(capture.file("out"));
    r.err = read_file(capture.file("err"));
    return r;
}

// The parameter section with the times and the interval as the user writes
// them (the shared helper prints six digits only).
std::string parameter_text(const std::string& time_start, const std::string& time_end,
                           int algorithm, const std::string& interval, int eventlog_flag) {
    std::string s = "time_start = " + time_start + "\ntime_end = " + time_end +
                    "\nvolume = 1.0\nalgorithm = " + std::to_string(algorithm) + "\n";
    if (algorithm == 3) s += "tau_error = 0.03\n";
    s += "randseed = 4711\n\nnum_monit = 2\n0\n2\nsnapshot_interval = " + interval +
         "\neventlog_flag = " + std::to_string(eventlog_flag) + "\nnum_repeats = 1\n\n";
    return s;
}

std::string model_text(const std::string& time_start, const std::string& time_end, int algorithm,
                       const std::string& interval, int eventlog_flag) {
    return model_header(1, 2, 3) + binding_pair_network(3000, 2000, 0.001, 0.5) +
           parameter_text(time_start, time_end, algorithm, interval, eventlog_flag);
}

std::string printed(double t) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", t);
    return text;
}

// An interval as the decimal fraction num / den that the user wrote, and a
// time_end; the expected data lines are those of the decimal multiples
// k * num / den below time_end, counted by hand.
struct Case {
    const char* interval;
    std::int64_t num, den;
    const char* time_end;
    int data_lines;          // snapshot times below time_end
    const char* final_time;  // as printed
    int points;              // header: floor(time_end / interval) + 1
};

const Case kCases[] = {
    {"0.1", 1, 10, "1", 10, "1", 11},
    {"0.2", 2, 10, "1", 5, "1", 6},
    {"0.3", 3, 10, "0.9", 3, "0.9", 4},
    {"0.7", 7, 10, "2.1", 3, "2.1", 4},
    {"0.333333333333333", 333333333333333, 1000000000000000, "0.999999999999999", 3, "1", 4},
    {"0.1", 1, 10, "10", 100, "10", 101},
    {"0.2", 2, 10, "5", 25, "5", 26},
    {"0.7", 7, 10, "7", 10, "7", 11},
    // time_end not a multiple: the last interval runs on past it.
    {"0.3", 3, 10, "10", 34, "10.2", 34},
    {"0.333333333333333", 333333333333333, 1000000000000000, "10.5", 32, "10.6667", 32},
    // Three intervals of 0.333333333333333 end 1e-15 before 1, more than
    // rounding: that snapshot (printed as 1) is below time_end, and one more
    // interval is run.
    {"0.333333333333333", 333333333333333, 1000000000000000, "1", 4, "1.33333", 4},
};

void check_run(const Case& c, int algorithm, const TempDir& dir) {
    const std::string what = std::string("interval ") + c.interval + ", time_end " + c.time_end +
                             ", algorithm " + std::to_string(algorithm);
    Trajectory t = read_trajectory(dir.file("traj_1"));
    EXPECT_EQ(t.points, c.points) << what;
    ASSERT_EQ(t.lines.size(), static_cast<std::size_t>(c.data_lines) + 1) << what;
    for (int k = 0; k < c.data_lines; ++k) {
        ASSERT_EQ(t.lines[k].size(), 1u + 2u + 2u) << what << ", line " << k;
        const double decimal = static_cast<double>(k * c.num) / static_cast<double>(c.den);
        EXPECT_EQ(t.lines[k][0], printed(decimal)) << what << ", line " << k;
    }
    EXPECT_EQ(t.lines.back()[0], c.final_time) << what;
    EXPECT_FALSE(t.ends_with_newline) << what;
    // A + AB and B + AB stay at their starting values: every line is a state
    // the network can reach.
    for (const auto& fields : t.lines) {
        EXPECT_EQ(std::atoi(fields[1].c_str()) + std::atoi(fields[2].c_str()), 3000) << what;
    }
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 1u) << what;
    EXPECT_EQ(firing_column_sums(t), runs[0].fire_totals) << what;
    EXPECT_GT(runs[0].fire_totals[0], 100) << what;
    // Every interval fires something at these rates: no interval was skipped.
    for (std::size_t k = 1; k < t.lines.size(); ++k)
        EXPECT_NE(t.lines[k][3] + t.lines[k][4], "00") << what << ", line " << k;
}

TEST(E2eSnapshotInterval, DecimalIntervalsEndWithALinePerSnapshotForEveryMethod) {
    for (int algorithm : {2, 1, 3}) {
        for (const Case& c : kCases) {
            TempDir dir;
            write_model(dir, model_text("0.0", c.time_end, algorithm, c.interval, 0));
            RunResult r = run_plenta_with_time_limit(dir.path());
            ASSERT_NE(r.status, kTimedOut)
                << "interval " << c.interval << ", algorithm " << algorithm << " never ended";
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_EQ(r.out, "");
            check_run(c, algorithm, dir);
        }
    }
}

// The event log of a run with an interval of 0.1 holds every firing once, in
// time order, and the firings of each line are the logged events since the
// previous snapshot time k * 0.1.
TEST(E2eSnapshotInterval, EventLogMatchesTheLinesOfEachInterval) {
    for (int algorithm : {2, 3}) {
        TempDir dir;
        write_model(dir, model_text("0.0", "3", algorithm, "0.1", 1));
        RunResult r = run_plenta_with_time_limit(dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        Trajectory t = read_trajectory(dir.file("traj_1"));
        ASSERT_EQ(t.lines.size(), 31u);
        EventLogFile log = read_eventlog(dir.file("evlog_1_1"));
        std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
        ASSERT_EQ(runs.size(), 1u);
        ASSERT_EQ(static_cast<long long>(log.times.size()),
                  runs[0].fire_totals[0] + runs[0].fire_totals[1]);
        for (std::size_t e = 1; e < log.times.size(); ++e)
            ASSERT_LE(log.times[e - 1], log.times[e]) << "event " << e;
        std::size_t e = 0;
        for (std::size_t k = 0; k < t.lines.size(); ++k) {
            const double snapshot = static_cast<double>(k) * 0.1;
            long long fired[2] = {0, 0};
            for (; e < log.times.size() && log.times[e] <= snapshot; ++e)
                fired[static_cast<int>(log.rxns[e]) - 1] += 1;
            EXPECT_EQ(std::atoll(t.lines[k][3].c_str()), fired[0]) << "algorithm " << algorithm
                                                                   << ", line " << k;
            EXPECT_EQ(std::atoll(t.lines[k][4].c_str()), fired[1]) << "algorithm " << algorithm
                                                                   << ", line " << k;
        }
        EXPECT_EQ(e, log.times.size());
    }
}

}  // namespace
}  // namespace plenta_e2e

// End-to-end: a write that fails (a full disk, here /dev/full behind a
// symbolic link) ends the program with status 1 and a message naming the
// file; an interrupted program keeps every finished run's totals, and an
// interrupted ensemble stops its workers, leaves no temporary files and
// keeps the previous summary.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e_support.h"

namespace plenta_e2e {
namespace {

std::string pair_model(int runs, double time_end = 3.0, double interval = 1.0,
                       int eventlog_flag = 0) {
    return model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
           parameters(0.0, time_end, 2, 11, {0, 2}, interval, eventlog_flag, runs);
}


bool have_dev_full() { return exists("/dev/full"); }

void link_to_dev_full(const TempDir& dir, const std::string& name) {
    fs::create_symlink("/dev/full", dir.file(name));
}

// A file of run 2 on a full disk: the program ends there with the file
// named; run 1 is whole, run 2 has no totals and no run 3 is started.
void expect_end_in_run_two(const std::string& file, int eventlog_flag) {
    SCOPED_TRACE(file);
    TempDir dir;
    write_model(dir, pair_model(3, 3.0, 1.0, eventlog_flag));
    link_to_dev_full(dir, file);
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't write " + dir.path() + "/" + file + " file (No space left on "
                     "device). Exit.\n");
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].fire_totals.size(), 2u);
    EXPECT_TRUE(runs[1].fire_totals.empty());
    EXPECT_FALSE(exists(dir.file("traj_3")));
    if (eventlog_flag == 1) {
        EXPECT_GT(read_eventlog(dir.file("evlog_1_1")).times.size(), 0u);
    }
}

TEST(E2eFullDisk, SummaryTrajectoryOrEventLogThatCannotBeWrittenEndsWithStatusOne) {
    if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
    {
        TempDir dir;
        write_model(dir, pair_model(2));
        link_to_dev_full(dir, "summary.txt");
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Can't write " + dir.path() + "/summary.txt file (No space left on "
                         "device). Exit.\n");
        EXPECT_FALSE(exists(dir.file("traj_2")));  // ended after run 1
    }
    expect_end_in_run_two("traj_2", 0);
    // The event log goes past the page cache where it can; a device that
    // takes nothing is reported all the same.
    expect_end_in_run_two("evlog_2_1", 1);
}

TEST(E2eFullDisk, EnsembleModesFailWithoutASummaryAndKeepThePreviousOne) {
    if (!have_dev_full()) GTEST_SKIP() << "no /dev/full";
    for (const std::string args : {"--streams per-run", "--jobs 2"}) {
        SCOPED_TRACE(args);
        TempDir dir;
        write_model(dir, pair_model(4));
        write_file(dir.file("summary.txt"), "previous\n");
        link_to_dev_full(dir, "traj_3");
        RunResult r = run_plenta_with(dir.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Can't write " + dir.path() + "/traj_3 file (No space left on "
                         "device). Exit.\nRun 3 (set 1) failed; no summary was written. Exit.\n");
        EXPECT_EQ(read_file(dir.file("summary.txt")), "previous\n");
        for (const std::string& name : file_names(dir.path())) {
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
            EXPECT_EQ(name.find(".worker-"), std::string::npos) << name;
        }
    }
    // The merged summary itself on a full disk.
    TempDir dir;
    write_model(dir, pair_model(4));
    link_to_dev_full(dir, "summary.txt.tmp");
    RunResult r = run_plenta_with(dir.path(), "--jobs 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Can't write " + dir.path() + "/summary.txt.tmp file (No space left on "
                     "device). Exit.\n");
    EXPECT_FALSE(exists(dir.file("summary.txt")));
}

// ---- Interruptions ----

// plenta started in dir with its output thrown away; its process id.
pid_t start_plenta(const std::string& dir, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const std::string binary = plenta_binary();
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Waits until the condition holds, at most `seconds`.
template <typename Condition>
bool wait_for(Condition condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// The children of a process, from /proc.
std::vector<pid_t> children_of(pid_t pid) {
    std::vector<pid_t> kids;
    std::istringstream in(read_file("/proc/" + std::to_string(pid) + "/task/" +
                                    std::to_string(pid) + "/children"));
    pid_t kid;
    while (in >> kid) kids.push_back(kid);
    return kids;
}

// Whether a process has ended (gone, or a zombie waiting for its reaper).
bool has_ended(pid_t pid) {
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty()) return true;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

// A model whose runs take a good part of a second each.
std::string slow_model(int runs) { return pair_model(runs, 300000.0, 1000.0); }

TEST(E2eInterruption, TerminatedProgramKeepsEveryFinishedRunsTotals) {
    TempDir dir;
    write_model(dir, slow_model(200));
    const pid_t pid = start_plenta(dir.path(), {});
    ASSERT_GT(pid, 0);
    // Two runs finished: the third trajectory file exists.
    ASSERT_TRUE(wait_for([&] { return exists(dir.file("traj_3")); }, 60.0));
    kill(pid, SIGTERM);
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(wstatus));
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_GE(runs.size(), 2u);
    for (std::size_t i = 0; i < runs.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(runs[i].fire_totals.size(), 2u);  // only whole blocks reach the file
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(i + 1)));
        EXPECT_EQ(firing_column_sums(t), runs[i].fire_totals);
    }
}

TEST(E2eInterruption, TerminatedEnsembleStopsItsWorkersAndLeavesNoTemporaryFiles) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        TempDir dir;
        write_model(dir, slow_model(40));
        write_file(dir.file("summary.txt"), "previous\n");
        const pid_t pid = start_plenta(dir.path(), {"--jobs", "2"});
        ASSERT_GT(pid, 0);
        std::vector<pid_t> workers;
        ASSERT_TRUE(wait_for([&] { return (workers = children_of(pid)).size() == 2; }, 30.0));
        ASSERT_TRUE(wait_for([&] { return exists(dir.file("traj_2")); }, 30.0));
        kill(pid, sig);
        int wstatus = 0;
        ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
        ASSERT_TRUE(WIFEXITED(wstatus));
        EXPECT_EQ(WEXITSTATUS(wstatus), 128 + sig);
        for (pid_t w : workers) EXPECT_TRUE(has_ended(w)) << w;
        EXPECT_EQ(read_file(dir.file("summary.txt")), "previous\n");
        for (const std::string& name : file_names(dir.path())) {
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
            EXPECT_EQ(name.find(".worker-"), std::string::npos) << name;
        }
    }
}

TEST(E2eInterruption, WorkersDoNotOutliveAParentKilledOutright) {
    TempDir dir;
    write_model(dir, slow_model(40));
    const pid_t pid = start_plenta(dir.path(), {"--jobs", "2"});
    ASSERT_GT(pid, 0);
    std::vector<pid_t> workers;
    ASSERT_TRUE(wait_for([&] { return (workers = children_of(pid)).size() == 2; }, 30.0));
    kill(pid, SIGKILL);
    int wstatus = 0;
    ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
    for (pid_t w : workers) EXPECT_TRUE(wait_for([&] { return has_ended(w); }, 5.0)) << w;
}

// ---- Bounded slices ----

TEST(E2eSlices, SliceCountsBeyondTheRunsAreRefusedAtOnce) {
    TempDir dir;
    write_model(dir, pair_model(4));
    RunResult r = run_plenta_with(dir.path(), "--slice 1/999999999");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Model file " + dir.path() + "/model.txt: 999999999 slices of a summary of 4 "
                     "runs; a summary can be split into at most as many slices as it has "
                     "runs. Exit.\n");
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));

    write_file(dir.file("summary.txt.part-1-of-999999999"), "");
    r = run_plenta_with(dir.path(), "--merge-summary");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("999999999 slices of a summary of 4 runs"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(dir.file("summary.txt")));
}

}  // namespace
}  // namespace plenta_e2e

// Ensembles with per-run streams: every way of sharing out the runs (one
// process, worker processes, slices merged in any order) writes the same
// folder byte for byte; the failures leave no summary claiming a run; the
// command line refuses what cannot work.
#include "console/console.h"
#include "e2e_ensemble_models.h"
#include "random/ranlib.h"

namespace plenta_e2e {
namespace {

// A fresh folder holding the ensemble model.
struct ModelFolder {
    TempDir dir;
    explicit ModelFolder(const std::string& model) { write_model(dir, model); }
    std::string path() const { return dir.path(); }
    std::string file(const std::string& name) const { return dir.file(name); }
};

void expect_runs_ok(const ModelFolder& f, const std::string& args) {
    RunResult r = run_plenta_args(f.path(), args);
    ASSERT_EQ(r.status, 0) << args << "\n" << r.out << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(r.err, "") << args;
}

TEST(E2eEnsemble, EverySharingWritesTheSameFolder) {
    for (int algorithm : {3, 2, 1}) {
        SCOPED_TRACE("algorithm " + std::to_string(algorithm));
        const std::string model = ensemble_model(algorithm);
        ModelFolder one(model);
        expect_runs_ok(one, "--jobs 1");
        ASSERT_EQ(read_summary(one.file("summary.txt")).size(), std::size_t{kEnsembleRuns});
        ASSERT_TRUE(exists(one.file("evlog_9_1")));

        for (const std::string args : {"--jobs 2", "--jobs 3", "--jobs=4", "--streams per-run",
                                       "--jobs 20"}) {
            SCOPED_TRACE(args);
            ModelFolder other(model);
            expect_runs_ok(other, args);
            expect_same_folder(one.path(), other.path());
        }

        // Three slices, done out of order (so every run is the first of its
        // process or follows other runs than before), then merged.
        ModelFolder sliced(model);
        for (const std::string args : {"--slice 3/3", "--slice 1/3", "--slice 2/3 --jobs 2"})
            expect_runs_ok(sliced, args);
        EXPECT_TRUE(exists(sliced.file("summary.txt.part-2-of-3")));
        EXPECT_FALSE(exists(sliced.file("summary.txt")));
        expect_runs_ok(sliced, "--merge-summary");
        EXPECT_FALSE(exists(sliced.file("summary.txt.part-1-of-3")));  // merge deletes the parts
        expect_same_folder(one.path(), sliced.path());
    }
}

TEST(E2eEnsemble, ARunDoneAloneEqualsTheSameRunAfterOthers) {
    const std::string model = ensemble_model(3);
    ModelFolder all(model), alone(model);
    expect_runs_ok(all, "--streams per-run");
    expect_runs_ok(alone, "--slice 6/9");  // run 6 only, first and last of its process
    EXPECT_EQ(read_file(alone.file("traj_6")), read_file(all.file("traj_6")));
    EXPECT_EQ(read_file(alone.file("evlog_6_1")), read_file(all.file("evlog_6_1")));
    EXPECT_FALSE(exists(alone.file("traj_5")));
    EXPECT_EQ(read_summary(alone.file("summary.txt.part-6-of-9")).size(), 1u);
}

TEST(E2eEnsemble, PerRunStreamsStartWhereTheContinuingStreamStarts) {
    const std::string model = ensemble_model(2);
    ModelFolder defined(model), per_run(model);
    RunResult r = run_plenta_in(defined.path());
    ASSERT_EQ(r.status, 0) << r.out;
    expect_runs_ok(per_run, "--streams per-run");
    // Substream 0 is the seeded stream itself: run 1 is the same run.
    EXPECT_EQ(read_file(per_run.file("traj_1")), read_file(defined.file("traj_1")));
    EXPECT_EQ(read_file(per_run.file("evlog_1_1")), read_file(defined.file("evlog_1_1")));
    // Later runs come from their own substreams, not from where run 1 ended.
    EXPECT_NE(read_file(per_run.file("evlog_2_1")), read_file(defined.file("evlog_2_1")));
    // The summary has the one-process shape: the same runs in the same order.
    std::vector<SummaryRun> a = read_summary(defined.file("summary.txt"));
    std::vector<SummaryRun> b = read_summary(per_run.file("summary.txt"));
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); i++) {
        EXPECT_EQ(a[i].set, b[i].set);
        EXPECT_EQ(a[i].run, b[i].run);
    }
}

TEST(E2eEnsemble, AFailingWorkerFailsTheCommandAndKeepsThePreviousSummary) {
    for (const std::string args : {"--jobs 3", "--streams per-run", "--slice 2/3"}) {
        SCOPED_TRACE(args);
        ModelFolder f(ensemble_model(3));
        write_file(f.file("summary.txt"), "grp 1 rxns 4\nset 1 run 1\n");  // an older summary
        write_file(f.file("summary.txt.part-2-of-3"), "stale\n");
        fs::create_directory(f.file("traj_5"));  // run 5 (slice 2 of 3) cannot write its file
        RunResult r = run_plenta_args(f.path(), args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Can't open " + f.file("traj_5") + " file. Exit.\n" +
                             "Run 5 (set 2) failed; no summary was written. Exit.\n");
        // The previous summary and part stay until a new one is complete.
        EXPECT_EQ(read_file(f.file("summary.txt")), "grp 1 rxns 4\nset 1 run 1\n");
        EXPECT_EQ(read_file(f.file("summary.txt.part-2-of-3")), "stale\n");
        for (const std::string& name : file_names(f.path()))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        for (const std::string& name : file_names(f.path()))
            EXPECT_EQ(name.find(".worker-"), std::string::npos) << name;
    }
}

TEST(E2eEnsemble, MergeRefusesMissingOrDamagedParts) {
    const std::string model = ensemble_model(2);
    ModelFolder f(model);
    RunResult none = run_plenta_args(f.path(), "--merge-summary");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "No summary parts " + f.file("summary.txt") + ".part-K-of-M to merge. Exit.\n");

    expect_runs_ok(f, "--slice 1/2");
    RunResult missing = run_plenta_args(f.path(), "--merge-summary");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Summary part " + f.file("summary.txt.part-2-of-2") +
                               " is missing: slice 2/2 has not finished. Exit.\n");
    EXPECT_FALSE(exists(f.file("summary.txt")));

    expect_runs_ok(f, "--slice 2/2");
    const std::string part2 = read_file(f.file("summary.txt.part-2-of-2"));
    // Cut short inside run 6's block (the third of slice 2: runs 2, 4, 6, 8).
    const std::size_t cut = part2.find("set 2 run 6\n") + 14;
    write_file(f.file("summary.txt.part-2-of-2"), part2.substr(0, cut));
    RunResult damaged = run_plenta_args(f.path(), "--merge-summary");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.out, "Summary part " + f.file("summary.txt.part-2-of-2") +
                               ": run 6 is missing or cut short. Exit.\n");
    EXPECT_FALSE(exists(f.file("summary.txt")));
    EXPECT_TRUE(exists(f.file("summary.txt.part-1-of-2")));  // kept for another try

    write_file(f.file("summary.txt.part-2-of-2"), part2 + part2.substr(0, 30));
    RunResult extra = run_plenta_args(f.path(), "--merge-summary");
    EXPECT_EQ(extra.status, 1);
    EXPECT_NE(extra.out.find("holds more than its runs"), std::string::npos) << extra.out;

    write_file(f.file("summary.txt.part-2-of-2"), part2);
    write_file(f.file("summary.txt.part-1-of-3"), "");
    RunResult mixed = run_plenta_args(f.path(), "--merge-summary");
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.out.find("different slice counts (2 3)"), std::string::npos) << mixed.out;
    fs::remove(f.file("summary.txt.part-1-of-3"));
    expect_runs_ok(f, "--merge-summary");
    EXPECT_EQ(read_summary(f.file("summary.txt")).size(), std::size_t{kEnsembleRuns});
}

TEST(E2eEnsemble, WrongCommandLinesEndWithStatusTwo) {
    ModelFolder f(ensemble_model(2));
    for (const std::string args :
         {"--jobs 0", "--jobs x", "--slice 4/3", "--slice 0/3", "--slice 3", "--slice 1/0",
          "--streams both", "--merge-summary --jobs 2", "--streams continuing --jobs 2",
          "--slice 1/2 --streams continuing"}) {
        RunResult r = run_plenta_args(f.path(), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("Try 'plenta --help'."), std::string::npos) << args;
        EXPECT_EQ(file_names(f.path()), (std::set<std::string>{"constants.txt", "model.txt"}))
            << args;
    }
    // --jobs alone: one worker per core.
    expect_runs_ok(f, "--jobs");
    EXPECT_EQ(read_summary(f.file("summary.txt")).size(), std::size_t{kEnsembleRuns});
}

TEST(E2eEnsemble, MoreRunsThanSubstreamsAreRefusedBeforeAnyFile) {
    ModelFolder f(model_header(1, 4, 4) + dimerisation_network(10) +
                  parameters(0.0, 1.0, 2, 5, {0}, 1.0, 0, RANLIB_SUBSTREAM_COUNT + 1));
    RunResult r = run_plenta_args(f.path(), "--jobs 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Model file " + f.file("model.txt") + ": 2097152 runs; per-run streams serve "
                     "at most 2097151 runs of one randseed. Exit.\n");
    EXPECT_EQ(file_names(f.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
}

TEST(EnsembleShares, SlicesAndWorkersCoverEveryRunOnce) {
    for (int slices : {1, 2, 3, 7}) {
        for (int workers : {1, 2, 5}) {
            std::vector<int> owners(200, 0);
            for (int k = 1; k <= slices; k++)
                for (int w = 0; w < workers; w++) {
                    plenta::RunShare share{k, slices, w, workers};
                    for (int r = 1; r <= 200; r++) owners[r - 1] += share.contains(r);
                }
            for (int r = 1; r <= 200; r++) ASSERT_EQ(owners[r - 1], 1) << r;
        }
    }
    // The job-array rule: slice K of M holds the runs with (r - 1) mod M = K - 1.
    plenta::RunShare second_of_three{2, 3, 0, 1};
    EXPECT_TRUE(second_of_three.contains(2));
    EXPECT_TRUE(second_of_three.contains(5));
    EXPECT_FALSE(second_of_three.contains(3));
}

TEST(EnsembleShares, OverrunWarningOnlyPastTheSubstream) {
    EXPECT_EQ(plenta::substream_overrun_warning(3, RANLIB_SUBSTREAM_LENGTH), "");
    EXPECT_EQ(plenta::substream_overrun_warning(3, RANLIB_SUBSTREAM_LENGTH + 1),
              "Warning: run 3 drew 1099511627777 random numbers, more than the 1099511627776 "
              "(2^40) of its substream; its last ones are also the first ones of run 4.\n");
}

}  // namespace
}  // namespace plenta_e2e

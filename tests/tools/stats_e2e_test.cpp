// plenta-stats on real output folders: the built plenta simulates the
// birth-death model in a temporary folder, plenta-stats summarises it, and
// the tables are compared with the process's exact distribution; damaged and
// missing files are named and left out, and the rest is still summarised.
#include <cmath>
#include <memory>

#include "tests/tools/stats_support.h"

namespace stats_test {
namespace {

double mean_count(double k, double t) { return k / kDeath * (1.0 - std::exp(-kDeath * t)); }

// Expected deaths in (a, b]: g times the integral of the mean count.
double mean_deaths(double k, double a, double b) {
    return kDeath * (k * (b - a) - k / kDeath * (std::exp(-kDeath * a) - std::exp(-kDeath * b)));
}

class BirthDeathEnsemble : public ::testing::Test {
protected:
    static constexpr int kRuns1 = 1000;
    static constexpr int kRuns2 = 200;

    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        write_model_folder(dir_->path(), birth_death_model(kRuns1, kRuns2));
        plenta_ = run_plenta(dir_->path());
        stats_ = run_stats("--no-progress '" + dir_->path() + "'");
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::unique_ptr<TempDir> dir_;
    static Result plenta_;
    static Result stats_;
};

std::unique_ptr<TempDir> BirthDeathEnsemble::dir_;
Result BirthDeathEnsemble::plenta_;
Result BirthDeathEnsemble::stats_;

// At every snapshot the mean and the variance of X agree with the Poisson
// law within four standard errors (the seed is fixed, so a failure means a
// change, not bad luck): se(mean) = sqrt(lambda/n); for a Poisson sample the
// sample variance has variance (lambda + 2 lambda^2)/n to first order.  The
// mean firings per interval are Poisson means with the same standard error.
void expect_poisson_table(const Csv& csv, double k, int runs) {
    ASSERT_EQ(csv.rows.size(), 11u);  // 0, 0.5, ..., 5: the final line is on the grid
    const std::size_t mean = csv.column("X_mean"), sd = csv.column("X_sd"),
                      min = csv.column("X_min"), max = csv.column("X_max"),
                      births = csv.column("R1_firings_mean"), deaths = csv.column("R2_firings_mean"),
                      n = csv.column("runs");
    for (std::size_t i = 0; i < csv.rows.size(); i++) {
        const std::vector<double>& row = csv.rows[i];
        const double t = row[0];
        EXPECT_DOUBLE_EQ(t, kInterval * static_cast<double>(i));
        EXPECT_EQ(row[n], runs);
        EXPECT_LE(row[min], row[mean]);
        EXPECT_GE(row[max], row[mean]);
        if (i == 0) {
            for (std::size_t c : {mean, sd, min, max, births, deaths}) EXPECT_EQ(row[c], 0.0);
            continue;
        }
        const double lambda = mean_count(k, t);
        EXPECT_NEAR(row[mean], lambda, 4.0 * std::sqrt(lambda / runs)) << "t = " << t;
        EXPECT_NEAR(row[sd] * row[sd], lambda, 4.0 * std::sqrt((lambda + 2 * lambda * lambda) / runs))
            << "t = " << t;
        const double b = k * kInterval, d = mean_deaths(k, t - kInterval, t);
        EXPECT_NEAR(row[births], b, 4.0 * std::sqrt(b / runs)) << "t = " << t;
        EXPECT_NEAR(row[deaths], d, 4.0 * std::sqrt(d / runs)) << "t = " << t;
    }
}

TEST_F(BirthDeathEnsemble, TablesAgreeWithThePoissonLawOfEachSet) {
    ASSERT_EQ(plenta_.status, 0) << plenta_.out;
    ASSERT_EQ(stats_.status, 0) << stats_.err;
    EXPECT_EQ(stats_.err, "");
    const Csv set1 = read_csv(dir_->file("summary_set1_stats.csv"));
    EXPECT_EQ(set1.names, (std::vector<std::string>{"time", "X_mean", "X_sd", "X_min", "X_max",
                                                    "R1_firings_mean", "R2_firings_mean", "runs"}));
    expect_poisson_table(set1, kBirth, kRuns1);
    expect_poisson_table(read_csv(dir_->file("summary_set2_stats.csv")), kBirthSet2, kRuns2);
    EXPECT_NE(stats_.out.find("set 1: 1000 runs, 11 snapshot times -> " +
                              dir_->file("summary_set1_stats.csv")),
              std::string::npos)
        << stats_.out;
}

TEST_F(BirthDeathEnsemble, OutOptionWritesTheSameTablesElsewhere) {
    TempDir out;
    Result r = run_stats("--no-progress --out '" + out.path() + "' '" + dir_->path() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"summary_set1_stats.csv", "summary_set2_stats.csv"})
        EXPECT_EQ(read_file(out.file(name)), read_file(dir_->file(name))) << name;
}

// A small folder of two sets, damaged in set 1 before summarising.
class DamagedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        write_model_folder(dir_.path(), birth_death_model(20, 5));
        ASSERT_EQ(run_plenta(dir_.path()).status, 0);
    }
    std::string traj(int run) const { return dir_.file("traj_" + std::to_string(run)); }
    TempDir dir_;
};

TEST_F(DamagedFolder, TruncatedAndMissingFilesAreNamedOnceAndTheRestSummarised) {
    std::string text = read_file(traj(3));
    write_file(traj(3), text.substr(0, text.rfind('\n') + 1));  // the final line lost
    text = read_file(traj(7));
    write_file(traj(7), text.substr(0, text.size() - 1));  // the last firing count cut
    std::filesystem::remove(traj(12));

    Result r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(count_lines(r.err), 4) << r.err;  // one per file and the count
    const std::vector<std::string> lines = split(r.err, '\n');
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "plenta-stats: " + traj(3) + ": ends with a line end after line 11: "
                        "the final line is missing (truncated); run 3 (set 1) left out");
    // Cut inside its last number or right before it: either the firings no
    // longer add up to the summary's totals or a column is missing.
    EXPECT_EQ(lines[1].rfind("plenta-stats: " + traj(7) + ": ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("; run 7 (set 1) left out"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "plenta-stats: " + traj(12) + ": cannot open the trajectory file; "
                        "run 12 (set 1) left out");
    EXPECT_EQ(lines[3], "plenta-stats: 3 of 25 runs left out (named above)");

    const Csv set1 = read_csv(dir_.file("summary_set1_stats.csv"));
    ASSERT_EQ(set1.rows.size(), 11u);
    for (const auto& row : set1.rows) EXPECT_EQ(row.back(), 17);
    const Csv set2 = read_csv(dir_.file("summary_set2_stats.csv"));
    ASSERT_EQ(set2.rows.size(), 11u);
    for (const auto& row : set2.rows) EXPECT_EQ(row.back(), 5);
}

TEST_F(DamagedFolder, UnfinishedLastRunIsLeftOut) {
    // The program stopped during run 25: its totals never reached the summary.
    std::string summary = read_file(dir_.file("summary.txt"));
    summary.erase(summary.rfind("set 2 run 25\n") + 13);
    write_file(dir_.file("summary.txt"), summary);
    Result r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(traj(25) + ": the summary file holds no firing totals for this run: "
                                    "it did not finish; run 25 (set 2) left out"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(read_csv(dir_.file("summary_set2_stats.csv")).rows[0].back(), 4);
}

TEST_F(DamagedFolder, TrajectoryOfAnotherModelIsLeftOut) {
    write_file(traj(2), "run 2 points 11 n_mon 2 n_rxn 2\n0\t0\t0\t0\t0");
    Result r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(traj(2) + ": header gives n_mon 2 n_rxn 2, the model 1 and 2; run 2"),
              std::string::npos)
        << r.err;
}

TEST(StatsFolder, UnreadableFolderGivesOneMessageAndNoTable) {
    TempDir dir;
    struct Case {
        std::string folder, message;
    };
    const std::string missing = dir.file("nothing-here");
    std::vector<Case> cases = {
        {missing, "plenta-stats: " + missing + ": not a readable folder\n"},
        {dir.path(), "plenta-stats: " + dir.path() +
                         ": cannot read constants.txt in it (not a model folder, or not readable)\n"},
    };
    for (const Case& c : cases) {
        Result r = run_stats("--no-progress '" + c.folder + "'");
        EXPECT_EQ(r.status, 1) << c.folder;
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
    }
    // A model folder in which plenta has not run: no summary file.
    write_model_folder(dir.path(), birth_death_model(3, 1));
    Result r = run_stats("'" + dir.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "plenta-stats: " + dir.file("summary.txt") +
                         ": cannot open the summary file (has plenta run in this folder?)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("summary_set1_stats.csv")));
}

TEST_F(DamagedFolder, SummaryWithFewerRunsThanTheModelIsAnError) {
    // Interrupted after run 10 of 25: the tables hold what is there, and the
    // status says the ensemble is incomplete.
    std::string summary = read_file(dir_.file("summary.txt"));
    summary.erase(summary.find("grp 1 rxns 2\nset 1 run 11\n"));
    write_file(dir_.file("summary.txt"), summary);
    Result r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "plenta-stats: " + dir_.file("summary.txt") +
                         ": lists 10 runs of set 1, the model gives it 20 (the summary is "
                         "incomplete: did plenta finish?)\n"
                         "plenta-stats: " + dir_.file("summary.txt") +
                         ": lists 0 runs of set 2, the model gives it 5 (the summary is "
                         "incomplete: did plenta finish?)\n");
    EXPECT_EQ(read_csv(dir_.file("summary_set1_stats.csv")).rows[0].back(), 10);

    write_file(dir_.file("summary.txt"), "");
    r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lists 0 runs of set 1, the model gives it 20"), std::string::npos) << r.err;

    std::filesystem::remove(dir_.file("summary.txt"));
    std::filesystem::create_directory(dir_.file("summary.txt"));
    r = run_stats("--no-progress '" + dir_.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "plenta-stats: " + dir_.file("summary.txt") +
                         ": is a folder, not the summary file\n");
}

TEST(StatsFolder, RelativeDataDirectoryIsTheFolderItself) {
    // A folder whose constants.txt names "./" can be copied and read from
    // anywhere: the data directory is taken relative to FOLDER.
    TempDir dir;
    const std::string run1 = dir.file("run1"), run2 = dir.file("run2");
    std::filesystem::create_directory(run1);
    write_file(run1 + "/model.txt", birth_death_model(4, 1));
    write_file(run1 + "/constants.txt", "./\nmodel.txt\n");
    ASSERT_EQ(run_plenta(run1).status, 0);
    std::filesystem::copy(run1, run2, std::filesystem::copy_options::recursive);
    std::filesystem::remove(run1 + "/summary.txt");  // run2 must not read run1
    Result r = run("cd '" + dir.path() + "' && '" PLENTA_STATS_EXE "' --no-progress run2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(run2 + "/summary_set1_stats.csv"));
    EXPECT_FALSE(std::filesystem::exists(run1 + "/summary_set1_stats.csv"));
}

TEST(StatsCommandLine, HelpAndUsageErrors) {
    Result help = run_stats("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"Usage: plenta-stats", "constants.txt", "_set<k>_stats.csv", "--out",
                             "R<n>_firings_mean", "Exit status"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    EXPECT_EQ(run_stats("").status, 2);
    EXPECT_EQ(run_stats("--frobnicate x").status, 2);
    EXPECT_EQ(run_stats("a b").status, 2);
    EXPECT_EQ(run_stats("--out").status, 2);
}

}  // namespace
}  // namespace stats_test

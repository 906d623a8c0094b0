// plenta-mpi under mpirun with three ranks writes the same folder, byte for
// byte, as plenta --jobs 1, and fails without a summary when a rank fails.
#include "e2e_ensemble_models.h"

namespace plenta_e2e {
namespace {

std::string mpirun(int ranks) {
    return std::string("'") + PLENTA_MPIEXEC + "' --oversubscribe --allow-run-as-root -np " +
           std::to_string(ranks) + " '" + PLENTA_MPI_EXE + "'";
}

TEST(MpiEnsemble, ThreeRanksWriteTheFolderOfOneProcess) {
    for (int algorithm : {3, 2}) {
        TempDir one, mpi;
        write_model(one, ensemble_model(algorithm));
        write_model(mpi, ensemble_model(algorithm));
        RunResult r1 = run_plenta_args(one.path(), "--jobs 1");
        ASSERT_EQ(r1.status, 0) << r1.out << r1.err;
        RunResult rm = run_in(mpi.path(), mpirun(3));
        ASSERT_EQ(rm.status, 0) << rm.out << rm.err;
        EXPECT_EQ(rm.out, "");
        expect_same_folder(one.path(), mpi.path());
        EXPECT_EQ(read_summary(mpi.file("summary.txt")).size(), std::size_t{kEnsembleRuns});
    }
}

TEST(MpiEnsemble, AFailingRankLeavesNoNewSummaryAndKeepsTheOldOne) {
    TempDir dir;
    write_model(dir, ensemble_model(3));
    write_file(dir.file("summary.txt"), "an older summary\n");
    // Run 5's trajectory name taken by a directory: rank 1 (runs 2, 5, 8)
    // cannot create it.
    fs::create_directory(dir.file("traj_5"));
    RunResult r = run_in(dir.path(), mpirun(3));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("Can't open " + dir.file("traj_5") + " file. Exit.\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Run 5 (set 2) failed; no summary was written."), std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(dir.file("summary.txt")), "an older summary\n");
    EXPECT_FALSE(exists(dir.file("summary.txt.tmp")));
}

TEST(MpiEnsemble, ASeedTheGeneratorCannotTakeIsRefusedBeforeAnyFile) {
    TempDir dir;
    std::string model = ensemble_model(2, 0);
    write_model(dir, model);
    write_file(dir.file("summary.txt"), "an older summary\n");
    RunResult r = run_in(dir.path(), mpirun(2));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Model file " + dir.path() + "/model.txt: randseed = 0 is outside "
                     "1..2147483398. Exit.\n");
    EXPECT_EQ(read_file(dir.file("summary.txt")), "an older summary\n");
    EXPECT_EQ(file_names(dir.path()),
              (std::set<std::string>{"constants.txt", "model.txt", "summary.txt"}));
}

}  // namespace
}  // namespace plenta_e2e

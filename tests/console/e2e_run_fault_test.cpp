// A fault of the model met during a run (here a count that would pass the
// largest 32-bit count) ends the program with status 1 and one message
// naming the model file, the reaction, the time and the value; every line
// written before stays in the files.
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

// G -> G + M at rate 10 with M starting 47 below 2^31 - 1: the count passes
// the limit within the first five time units of the first run.
std::string production_model(int runs) {
    return "traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = 1\nnum_cmpds = 2\n\n"
           "M 2147483600\nG 1\n\n"
           "make M\nrxntype = uni-multi\nnum_subs = 1\n1\nnum_prods = 2\n 1 1\n 0 1\nStoP = 10.0\nid = 0\n\n"
           "time_start = 0.0\ntime_end = 10.0\nvolume = 1.0\nalgorithm = 2\nrandseed = 12345\n\n"
           "num_monit = 2\n0\n1\nsnapshot_interval = 1.0\neventlog_flag = 0\nnum_repeats = " +
           std::to_string(runs) + "\n";
}

TEST(E2eRunFault, CountBeyond32BitsEndsWithAMessageAndKeepsTheLinesWritten) {
    TempDir dir;
    write_model(dir, production_model(2));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    const std::string prefix = "Model file " + dir.path() + "/model.txt: reaction 1 at time ";
    ASSERT_EQ(r.out.compare(0, prefix.size(), prefix), 0) << r.out;
    EXPECT_NE(r.out.find(": species 0 would reach 2147483648, beyond the largest count 2147483647. Exit.\n"),
              std::string::npos) << r.out;
    // The trajectory keeps every snapshot before the fault, each below the limit
    // and counting up; the second run never starts.
    Trajectory t = read_trajectory(dir.file("traj_1"));
    ASSERT_GE(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0][1], "2147483600");
    for (std::size_t i = 1; i < t.lines.size(); ++i) {
        EXPECT_GE(std::stoll(t.lines[i][1]), std::stoll(t.lines[i - 1][1]));
        EXPECT_LE(std::stoll(t.lines[i][1]), 2147483647LL);
    }
    EXPECT_EQ(read_file(dir.file("summary.txt")), "grp 1 rxns 1\nset 1 run 1\n");
    EXPECT_FALSE(exists(dir.file("traj_2")));
}

}  // namespace
}  // namespace plenta_e2e

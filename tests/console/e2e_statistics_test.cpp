// Statistics of whole runs: 400 runs of a birth-death process in one plenta
// process (one continuing random stream), the mean count at every snapshot
// time against the exact mean.
//
// Birth G -> G + M at rate k (one gene copy), death M -> Sink at rate g per
// molecule, M(0) = 0: M(t) is Poisson distributed with mean
// (k / g)(1 - exp(-g t)), so the standard error of a mean over n runs is
// sqrt(mean / n).  The bound of 4 standard errors is met by the fixed seeds
// below; a failure means the simulation changed, not bad luck.
#include <cmath>

#include "e2e_support.h"

namespace plenta_e2e {
namespace {

constexpr double kBirth = 10.0;
constexpr double kDeath = 1.0;
constexpr int kRuns = 400;

std::string birth_death_model(int algorithm, unsigned long seed) {
    std::ostringstream s;
    s << "G 1\nM 0\nSink 0\n\n"
      << "Birth G -> G + M\nrxntype = uni-multi\nnum_subs = 1\n0\nnum_prods = 2\n0 1\n1 1\n"
      << "StoP = " << kBirth << "\nid = 0\n\n"
      << "Death M -> Sink\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n2\n"
      << "StoP = " << kDeath << "\nid = 1\n\n";
    return model_header(1, 2, 3) + s.str() +
           parameters(0.0, 3.0, algorithm, seed, {1}, 0.5, 0, kRuns);
}

void expect_means_match(int algorithm, unsigned long seed) {
    TempDir dir;
    write_model(dir, birth_death_model(algorithm, seed));
    RunResult r = run_plenta_in(dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<double> sum(7, 0.0);
    for (int run = 1; run <= kRuns; run++) {
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(run)));
        ASSERT_EQ(t.lines.size(), 7u);
        for (std::size_t i = 0; i < 7; i++) sum[i] += std::atof(t.lines[i][1].c_str());
    }
    EXPECT_EQ(sum[0], 0.0);
    for (std::size_t i = 1; i < 7; i++) {
        const double t = 0.5 * static_cast<double>(i);
        const double exact = kBirth / kDeath * (1.0 - std::exp(-kDeath * t));
        const double mean = sum[i] / kRuns;
        EXPECT_NEAR(mean, exact, 4.0 * std::sqrt(exact / kRuns)) << "t = " << t;
    }
}

TEST(E2eStatistics, BirthDeathMeanByTheDirectMethod) { expect_means_match(2, 20240601); }

TEST(E2eStatistics, BirthDeathMeanByFirstReactionSelection) { expect_means_match(1, 777); }

}  // namespace
}  // namespace plenta_e2e

// Per-run streams give statistically independent runs: over 400 runs shared
// by two workers, the counts of two monitored species have the known means
// and variances, and consecutive runs' first event times are uncorrelated.
// Fixed seed, so a failure means a change, not bad luck.
#include <cmath>

#include "e2e_ensemble_models.h"

namespace plenta_e2e {
namespace {

constexpr int kRuns = 400;
constexpr int kA0 = 100, kC0 = 50;
constexpr double kK1 = 1.0, kK2 = 0.5, kKc = 0.7, kT = 1.0;

// A <-> B (k1 forward, k2 back) from A = 100, and C -> Sink (kc) from C = 50,
// monitoring A and C, event log on.
std::string independent_pairs_model() {
    std::ostringstream s;
    s << model_header(1, 3, 4) << "A " << kA0 << "\nB 0\nC " << kC0 << "\nSink 0\n\n"
      << "Forward A -> B\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\nStoP = " << kK1
      << "\nid = 0\n\n"
      << "Back B -> A\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n0\nStoP = " << kK2
      << "\nid = 1\n\n"
      << "Decay C -> Sink\nrxntype = uni-uni\nnum_subs = 1\n2\nnum_prods = 1\n3\nStoP = " << kKc
      << "\nid = 2\n\n"
      << parameters(0.0, kT, 2, 1357911, {0, 2}, kT, 1, kRuns);
    return s.str();
}

struct Moments {
    double mean = 0, var = 0;
};

Moments moments(const std::vector<double>& x) {
    Moments m;
    for (double v : x) m.mean += v;
    m.mean /= static_cast<double>(x.size());
    for (double v : x) m.var += (v - m.mean) * (v - m.mean);
    m.var /= static_cast<double>(x.size() - 1);
    return m;
}

// Each species count at time t is binomial(n, p) (independent molecules):
// the sample mean within 4 standard errors, the sample variance within 4
// standard errors of a sample variance (about var * sqrt(2 / (runs - 1))).
void expect_binomial(const std::vector<double>& x, int n, double p, const char* name) {
    const Moments m = moments(x);
    const double mean = n * p, var = n * p * (1 - p);
    const double runs = static_cast<double>(x.size());
    EXPECT_NEAR(m.mean, mean, 4 * std::sqrt(var / runs)) << name;
    EXPECT_NEAR(m.var, var, 4 * var * std::sqrt(2 / (runs - 1))) << name;
}

TEST(E2eEnsembleStatistics, RunsOfPerRunStreamsAreIndependent) {
    TempDir dir;
    write_model(dir, independent_pairs_model());
    RunResult r = run_plenta_args(dir.path(), "--jobs 2");
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    std::vector<double> a, c, first_time;
    for (int run = 1; run <= kRuns; run++) {
        Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(run)));
        ASSERT_FALSE(t.lines.empty());
        a.push_back(std::atof(t.lines.back()[1].c_str()));
        c.push_back(std::atof(t.lines.back()[2].c_str()));
        EventLogFile log = read_eventlog(dir.file("evlog_" + std::to_string(run) + "_1"));
        ASSERT_FALSE(log.times.empty());
        first_time.push_back(log.times[0]);
    }
    const double pa = (kK2 + kK1 * std::exp(-(kK1 + kK2) * kT)) / (kK1 + kK2);
    expect_binomial(a, kA0, pa, "A");
    expect_binomial(c, kC0, std::exp(-kKc * kT), "C");

    // The first waiting time is exponential with mean 1 / a0.
    const double a0 = kK1 * kA0 + kKc * kC0;
    const Moments w = moments(first_time);
    EXPECT_NEAR(w.mean, 1 / a0, 4 / (a0 * std::sqrt(static_cast<double>(kRuns))));

    // Consecutive runs: correlation within 4 standard errors (1 / sqrt(n)) of 0.
    double sxy = 0, sxx = 0, syy = 0;
    for (int i = 0; i + 1 < kRuns; i++) {
        const double x = first_time[i] - w.mean, y = first_time[i + 1] - w.mean;
        sxy += x * y;
        sxx += x * x;
        syy += y * y;
    }
    const double rho = sxy / std::sqrt(sxx * syy);
    EXPECT_LT(std::fabs(rho), 4 / std::sqrt(static_cast<double>(kRuns - 1))) << rho;
    // And no two runs are the same run.
    std::set<double> distinct(first_time.begin(), first_time.end());
    EXPECT_EQ(distinct.size(), first_time.size());
}

}  // namespace
}  // namespace plenta_e2e

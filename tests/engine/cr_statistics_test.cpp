// Fixed-seed checks of the distribution that composition-rejection samples:
// means and variances of the analytic isomerisation and birth-death laws at
// several times, and the dimerisation-decay network against the direct
// method.  Bounds are five standard errors; each test also shows that a
// model with one rate 10% off lies outside them.  With the seed fixed,
// a failure means a change, not chance.
#include <gtest/gtest.h>

#include <cmath>

#include "cr_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

constexpr int kRuns = 2000;

struct Moments {
    std::vector<double> mean;
    std::vector<double> var;  // sample variance
};

// Species s at each time of `times` (multiples of the snapshot interval),
// over kRuns runs from the same start, by composition-rejection.
Moments moments_at(Network net, int s, const std::vector<double>& times, double interval) {
    const std::vector<Compound> start = net.species;
    net.params.snapshot_interval = interval;
    std::vector<double> sum(times.size(), 0.0), sum2(times.size(), 0.0);
    CrState st;
    for (int run = 0; run < kRuns; run++) {
        net.species = start;
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        crtest::start_run(net, st);
        for (std::size_t k = 0; k < times.size(); k++) {
            while (net.t < times[k]) crtest::run_interval(net, st);
            EXPECT_EQ(net.t, times[k]);
            const double x = net.species[s].count;
            sum[k] += x;
            sum2[k] += x * x;
        }
    }
    Moments m;
    for (std::size_t k = 0; k < times.size(); k++) {
        const double mean = sum[k] / kRuns;
        m.mean.push_back(mean);
        m.var.push_back((sum2[k] - kRuns * mean * mean) / (kRuns - 1));
    }
    return m;
}

// Standard error of a sample variance: sqrt((mu4 - sigma^4) / n).
double variance_se(double sigma2, double mu4) { return std::sqrt((mu4 - sigma2 * sigma2) / kRuns); }

double isomerisation_p(double kf, double kb, double t) {
    return (kb + kf * std::exp(-(kf + kb) * t)) / (kf + kb);
}

// A <-> B from N molecules of A: A(t) is binomial(N, p(t)).
TEST(CrStatistics, IsomerisationIsBinomialAtSeveralTimes) {
    const int n = 100;
    const double kf = 1.0, kb = 0.5;
    const std::vector<double> times = {0.25, 1.0, 3.0};
    setall(20240601, 20240601);
    const Moments m = moments_at(testutil::isomerisation(kDirectMethod, n, 0, kf, kb), 0, times,
                                 0.25);
    for (std::size_t k = 0; k < times.size(); k++) {
        const double p = isomerisation_p(kf, kb, times[k]), q = 1.0 - p;
        const double var = n * p * q;
        const double mu4 = var * (1.0 + 3.0 * (n - 2) * p * q);
        const double mean_bound = 5.0 * std::sqrt(var / kRuns);
        EXPECT_NEAR(m.mean[k], n * p, mean_bound) << "t = " << times[k];
        EXPECT_NEAR(m.var[k], var, 5.0 * variance_se(var, mu4)) << "t = " << times[k];
        const double wrong = n * isomerisation_p(1.1 * kf, kb, times[k]);
        EXPECT_GT(std::fabs(m.mean[k] - wrong), mean_bound) << "t = " << times[k];
    }
}

// Birth at rate k g and death at rate d per molecule, from 0: X(t) is
// Poisson with mean (k g / d)(1 - e^{-d t}).
TEST(CrStatistics, BirthDeathIsPoissonAtSeveralTimes) {
    const int g = 10;
    const double k = 2.0, d = 1.0;
    const std::vector<double> times = {0.5, 2.0, 5.0};
    setall(99991, 99991);
    const Moments m = moments_at(testutil::birth_death(kDirectMethod, g, k, d), 1, times, 0.5);
    for (std::size_t i = 0; i < times.size(); i++) {
        const double lambda = (k * g / d) * (1.0 - std::exp(-d * times[i]));
        const double mu4 = lambda + 3.0 * lambda * lambda;
        const double mean_bound = 5.0 * std::sqrt(lambda / kRuns);
        EXPECT_NEAR(m.mean[i], lambda, mean_bound) << "t = " << times[i];
        EXPECT_NEAR(m.var[i], lambda, 5.0 * variance_se(lambda, mu4)) << "t = " << times[i];
        EXPECT_GT(std::fabs(m.mean[i] - 1.1 * lambda), mean_bound) << "t = " << times[i];
    }
}

// Dimerisation-decay has no closed form: the two methods' samples of S1 and
// S2 at t = 1 must agree within five standard errors of their difference.
TEST(CrStatistics, DimerisationDecayAgreesWithTheDirectMethod) {
    const int s1 = 1000;
    setall(4711, 4711);
    const Moments cr_s1 = moments_at(testutil::dimerisation_decay(kDirectMethod, s1), 0, {1.0}, 1.0);
    setall(4712, 4712);
    const Moments cr_s2 = moments_at(testutil::dimerisation_decay(kDirectMethod, s1), 1, {1.0}, 1.0);
    setall(4713, 4713);
    Network direct = testutil::dimerisation_decay(kDirectMethod, s1);
    double sum[2] = {0, 0}, sum2[2] = {0, 0};
    for (int run = 0; run < kRuns; run++) {
        for (Compound& c : direct.species) c.count = 0;
        direct.species[0].count = s1;
        direct.start_run(0.0);
        direct.run_interval();
        for (int s = 0; s < 2; s++) {
            sum[s] += direct.species[s].count;
            sum2[s] += static_cast<double>(direct.species[s].count) * direct.species[s].count;
        }
    }
    const Moments* cr[2] = {&cr_s1, &cr_s2};
    for (int s = 0; s < 2; s++) {
        const double mean = sum[s] / kRuns;
        const double var = (sum2[s] - kRuns * mean * mean) / (kRuns - 1);
        const double se = std::sqrt((var + cr[s]->var[0]) / kRuns);
        EXPECT_NEAR(cr[s]->mean[0], mean, 5.0 * se) << "species " << s;
        EXPECT_GT(se, 0.0);
    }
}

}  // namespace
}  // namespace plenta

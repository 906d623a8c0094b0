// Fixed-seed checks of the simulated distribution against analytic means.
// The bound is five standard errors; the tests also check that a model with
// one propensity 10% off lies far outside it, so they can tell a wrong rate
// from bad luck.  With the seed fixed, a failure means a change, not chance.
#include <gtest/gtest.h>

#include <cmath>

#include "engine_test_util.h"

namespace plenta {
namespace {

using testutil::Network;

constexpr int kRuns = 2000;

// Mean of species `s` at time t_end over kRuns runs from the same start.
double mean_at(Network net, int s, double t_end) {
    const std::vector<Compound> start = net.species;
    net.params.snapshot_interval = t_end;
    double sum = 0.0;
    for (int run = 0; run < kRuns; run++) {
        net.species = start;
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        net.start_run(0.0);
        net.run_interval();
        EXPECT_EQ(net.t, t_end);
        sum += net.species[s].count;
    }
    return sum / kRuns;
}

// A <-> B from N molecules of A: each molecule is in A at time t with
// probability p = (kb + kf e^{-(kf+kb) t}) / (kf + kb), independently, so
// A(t) is binomial(N, p).
double isomerisation_p(double kf, double kb, double t) {
    return (kb + kf * std::exp(-(kf + kb) * t)) / (kf + kb);
}

TEST(ExactStatistics, IsomerisationMeanIsBinomial) {
    const int n = 100;
    const double kf = 1.0, kb = 0.5, t = 1.0;
    const double p = isomerisation_p(kf, kb, t);
    const double bound = 5.0 * std::sqrt(n * p * (1.0 - p) / kRuns);
    const double wrong = n * isomerisation_p(1.1 * kf, kb, t);
    for (int algorithm : {kDirectMethod, 1}) {
        setall(20240601, 20240601);
        const double mean = mean_at(testutil::isomerisation(algorithm, n, 0, kf, kb), 0, t);
        EXPECT_NEAR(mean, n * p, bound) << "algorithm " << algorithm;
        EXPECT_GT(std::fabs(mean - wrong), 3.0 * bound) << "algorithm " << algorithm;
    }
}

// Birth at rate k g (a source species of constant count g) and death at
// rate d per molecule, from 0: X(t) is Poisson with mean
// (k g / d) (1 - e^{-d t}).
TEST(ExactStatistics, BirthDeathMeanIsPoisson) {
    const int g = 10;
    const double k = 2.0, d = 1.0, t = 2.0;
    const double lambda = (k * g / d) * (1.0 - std::exp(-d * t));
    const double bound = 5.0 * std::sqrt(lambda / kRuns);
    const double wrong = 1.1 * lambda;
    for (int algorithm : {kDirectMethod, 1}) {
        setall(99991, 99991);
        const double mean = mean_at(testutil::birth_death(algorithm, g, k, d), 1, t);
        EXPECT_NEAR(mean, lambda, bound) << "algorithm " << algorithm;
        EXPECT_GT(std::fabs(mean - wrong), 3.0 * bound) << "algorithm " << algorithm;
    }
}

}  // namespace
}  // namespace plenta

// Fixed-seed goodness of fit of the Poisson deviate against the exact pmf,
// for single means on both sides of the switch at 10 and for calls that
// alternate between two means (the saved set-up must be reused and rebuilt
// correctly).  The seeds are fixed, so the outcome is deterministic; the
// bounds are set where a true Poisson sample fails with probability < 1e-5.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::chi_square;
using random_test::chi_square_bound;
using random_test::StateGuard;

// Accumulates a sample of one mean.
struct PoissonSample {
    double mu;
    std::vector<double> counts;
    double sum = 0, sum2 = 0, n = 0;

    explicit PoissonSample(float mean)
        : mu(mean), counts(static_cast<size_t>(mean + 12.0 * std::sqrt(mean) + 40.0), 0.0) {}

    void add(int32_t k) {
        ASSERT_GE(k, 0);
        const size_t cell = static_cast<size_t>(k) < counts.size() ? k : counts.size() - 1;
        counts[cell] += 1;
        sum += k;
        sum2 += static_cast<double>(k) * k;
        n += 1;
    }

    // Exact Poisson probabilities, the last cell taking the upper tail.
    std::vector<double> expected() const {
        std::vector<double> e(counts.size());
        double total = 0;
        for (size_t k = 0; k + 1 < e.size(); k++) {
            e[k] = std::exp(k * std::log(mu) - mu - std::lgamma(k + 1.0));
            total += e[k];
        }
        e.back() = total < 1 ? 1 - total : 0;
        for (double& x : e) x *= n;
        return e;
    }

    void check() const {
        const random_test::ChiSquare c = chi_square(counts, expected());
        EXPECT_LT(c.statistic, chi_square_bound(c.df)) << "mean " << mu << ", df " << c.df;
        const double mean = sum / n;
        const double var = (sum2 - n * mean * mean) / (n - 1);
        // Standard errors of the sample mean and variance of a Poisson law:
        // var(mean) = mu / n, var(s^2) ~ (mu + 2 mu^2) / n.
        EXPECT_NEAR(mean, mu, 5 * std::sqrt(mu / n)) << "mean " << mu;
        EXPECT_NEAR(var, mu, 5 * std::sqrt((mu + 2 * mu * mu) / n)) << "mean " << mu;
    }
};

void check_single_mean(float mu, int32_t seed, int n) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(seed, seed + 1);
    PoissonSample sample(mu);
    for (int i = 0; i < n; i++) sample.add(ignpoi(mu));
    sample.check();
}

TEST(PoissonDistribution, TableInversionBelowTen) {
    check_single_mean(0.5f, 1234, 400000);
    check_single_mean(3.0f, 2345, 400000);
    check_single_mean(9.999f, 3456, 400000);
}

TEST(PoissonDistribution, NormalSampleFromTen) {
    check_single_mean(10.0f, 4567, 400000);
    check_single_mean(40.0f, 5678, 400000);
    check_single_mean(1000.0f, 6789, 400000);
}

TEST(PoissonDistribution, SmallAndMediumNonIntegerMeans) {
    check_single_mean(0.01f, 1111, 200000);
    check_single_mean(13.7f, 2222, 300000);
    check_single_mean(123.456f, 3333, 300000);
}

// Alternating calls: every call changes the mean, so each set-up is redone
// (or, for two means below 10, the table is restarted) on every call.
void check_alternating(float mu1, float mu2, int32_t seed, int n) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(seed, seed);
    PoissonSample a(mu1), b(mu2);
    for (int i = 0; i < n; i++) {
        a.add(ignpoi(mu1));
        b.add(ignpoi(mu2));
    }
    a.check();
    b.check();
}

TEST(PoissonDistribution, AlternatingBelowAndAboveTen) {
    check_alternating(3.0f, 40.0f, 97531, 200000);
    check_alternating(12.0f, 9.5f, 86420, 200000);
}

TEST(PoissonDistribution, AlternatingTwoMeansBelowTen) { check_alternating(2.5f, 7.5f, 13579, 200000); }

TEST(PoissonDistribution, AlternatingTwoMeansAboveTen) { check_alternating(10.0f, 250.0f, 24680, 200000); }

TEST(PoissonDistribution, EngineEntryPointFits) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(777, 888);
    // A mean given in double, as the engine computes it.
    const double mean = 0.1 * 47.3;
    PoissonSample sample(static_cast<float>(mean));
    for (int i = 0; i < 200000; i++) sample.add(my_poisson(mean));
    sample.check();
}

}  // namespace

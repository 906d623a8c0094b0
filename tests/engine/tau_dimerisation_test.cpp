// Tau-leaping against the exact method on the dimerisation-decay network
// (Gillespie 2001; Cao, Gillespie and Petzold 2006): S1 -> 0, 2 S1 -> S2,
// S2 -> 2 S1, S2 -> S3 from S1 = 100000, counts compared at t = 10.
//
// Tau-leaping is a first-order method: its bias in the mean shrinks in
// proportion to tau_error.  Measured over several seeds (10 to 20 runs each),
// the mean of S1 is 3% to 5% high and that of S2 about 3.5% low at tau_error
// 0.03 (S1 dimerises, yet its order-row entry is 1, and the fast dimer
// equilibrium is stiff), about 1.5% off at 0.01, and within the sampling
// error (about 0.5%) at 0.003.  The bounds below allow for that bias plus a
// few standard errors of the means.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"
#include "engine_test_util.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

constexpr int kRuns = 20;
constexpr double kEndTime = 10.0;

struct Means {
    double s1 = 0.0, s2 = 0.0, s3 = 0.0;
};

Means mean_counts(int algorithm, double tau_error) {
    Means m;
    for (int r = 0; r < kRuns; ++r) {
        testutil::Network net = testutil::dimerisation_decay(algorithm);
        net.params.tau_error = tau_error;
        net.start_run(0.0);
        while (net.t < kEndTime) {
            if (algorithm == kTauLeaping)
                vesk_tau(net.reactions, net.model, net.species, net.matrix, net.params,
                         net.event_log(), net.event_count, net.fire_count, net.t);
            else
                net.run_interval();
        }
        EXPECT_EQ(net.t, kEndTime);
        m.s1 += net.species[0].count / static_cast<double>(kRuns);
        m.s2 += net.species[1].count / static_cast<double>(kRuns);
        m.s3 += net.species[2].count / static_cast<double>(kRuns);
    }
    return m;
}

double relative(double value, double reference) { return std::fabs(value - reference) / reference; }

TEST(TauDimerisation, MeansAgreeWithTheExactMethodAndConvergeWithTauError) {
    setall(20061, 20061);
    const Means exact = mean_counts(kDirectMethod, 0.0);
    const Means coarse = mean_counts(kTauLeaping, 0.03);
    const Means fine = mean_counts(kTauLeaping, 0.003);

    // Sanity of the reference: by t = 10 most S1 has dimerised or decayed.
    EXPECT_GT(exact.s1, 2000.0);
    EXPECT_LT(exact.s1, 3500.0);

    EXPECT_LT(relative(coarse.s1, exact.s1), 0.08);
    EXPECT_LT(relative(coarse.s2, exact.s2), 0.06);
    EXPECT_LT(relative(coarse.s3, exact.s3), 0.04);

    EXPECT_LT(relative(fine.s1, exact.s1), 0.015);
    EXPECT_LT(relative(fine.s2, exact.s2), 0.01);
    EXPECT_LT(relative(fine.s3, exact.s3), 0.01);

    // A smaller error bound brings the leap closer to the exact method.
    EXPECT_LT(relative(fine.s1, exact.s1), relative(coarse.s1, exact.s1));
}

}  // namespace
}  // namespace plenta

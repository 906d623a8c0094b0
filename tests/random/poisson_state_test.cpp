// The saved set-up of the Poisson deviate: which case a mean takes, how the
// cumulative table of the inversion method grows, is reused and restarted,
// and how many uniforms a call consumes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::Reference;
using random_test::StateGuard;

const RanlibPoissonState& state() { return *ranlib_poisson_state(); }

// The next uniform, without consuming it.
float peek_uniform() {
    Reference ref = random_test::reference_at_current();
    return ref.next_uniform();
}

// What inversion of the saved table gives for u: 0, the first entry k with
// u <= P(X <= k), or -1 when u lies beyond the table.
int32_t invert_table(float u) {
    const RanlibPoissonState& st = state();
    if (u <= st.p0) return 0;
    for (int32_t k = 1; k <= st.ll; k++)
        if (u <= st.pp[k - 1]) return k;
    return -1;
}

double poisson_cdf(double mu, int k) {
    double sum = 0;
    for (int j = 0; j <= k; j++) sum += std::exp(j * std::log(mu) - mu - std::lgamma(j + 1.0));
    return sum;
}

TEST(PoissonState, MeanOfTenTakesTheNormalSample) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(1, 2);
    ignpoi(10.0f);
    EXPECT_EQ(state().muprev, 10.0f);
    EXPECT_EQ(state().s, static_cast<float>(std::sqrt(10.0)));
    EXPECT_EQ(state().d, 600.0f);
    EXPECT_EQ(state().l, 8);  // integer part of 10 - 1.1484
    EXPECT_EQ(state().ll, 0);
}

TEST(PoissonState, MeanJustBelowTenTakesTheTable) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(1, 2);
    const float mu = 9.999999f;
    ASSERT_LT(mu, 10.0f);
    for (int i = 0; i < 100; i++) ignpoi(mu);
    EXPECT_EQ(state().muprev, 0.0f);
    EXPECT_EQ(state().muold, mu);
    EXPECT_EQ(state().m, 9);
    EXPECT_EQ(state().p0, static_cast<float>(std::exp(-static_cast<double>(mu))));
    EXPECT_GT(state().ll, 0);
    EXPECT_EQ(state().l, 0);  // the normal bound is not touched
}

TEST(PoissonState, TableHoldsTheCumulativeProbabilitiesAndNeverExceeds35) {
    StateGuard guard;
    for (float mu : {0.5f, 5.0f, 9.999999f}) {
        random_test::reset_poisson_state();
        setall(424242, 171717);
        for (int i = 0; i < 20000; i++) {
            ignpoi(mu);
            ASSERT_LE(state().ll, 35);
        }
        const RanlibPoissonState& st = state();
        ASSERT_GT(st.ll, 0);
        for (int32_t k = 1; k <= st.ll; k++) {
            EXPECT_NEAR(st.pp[k - 1], poisson_cdf(mu, k), 1e-6) << "mean " << mu << " k " << k;
            if (k > 1) {
                EXPECT_GE(st.pp[k - 1], st.pp[k - 2]);
            }
        }
        EXPECT_EQ(st.q, st.pp[st.ll - 1]);
    }
}

TEST(PoissonState, TableCallsInvertOneUniform) {
    StateGuard guard;
    for (float mu : {0.7f, 3.0f, 9.0f}) {
        random_test::reset_poisson_state();
        setall(99, 77);
        for (int i = 0; i < 5000; i++) {
            Reference after = random_test::reference_at_current();
            const float u = after.next_uniform();
            const int32_t k = ignpoi(mu);
            ASSERT_EQ(k, invert_table(u)) << "mean " << mu << " u " << u;
            // Exactly one uniform was drawn.
            ASSERT_EQ(ranlib_generator_state()->Xcg1[0], after.s1);
        }
    }
}

TEST(PoissonState, SmallUniformReturnsZeroWithoutTouchingTheTable) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(5, 6);
    random_test::force_next_ignlgi(1);  // u = 2^-31 <= exp(-mu)
    EXPECT_EQ(ignpoi(4.0f), 0);
    EXPECT_EQ(state().ll, 0);
    EXPECT_EQ(state().muold, 4.0f);
}

TEST(PoissonState, UniformBeyondTheFullTableDrawsAgain) {
    // For this mean the float sum of the 35 probabilities stays below 1, so
    // u = 1.0 matches no entry: the table is filled to 35 and a fresh uniform
    // decides.
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(5, 6);
    const float mu = 9.999999f;
    random_test::force_next_ignlgi(2147483562);  // u = 1.0
    Reference ref = random_test::reference_at_current();
    ref.next();
    const float second = ref.next_uniform();
    const int32_t k = ignpoi(mu);
    EXPECT_EQ(state().ll, 35);
    EXPECT_LT(state().pp[34], 1.0f);
    EXPECT_EQ(k, invert_table(second));
    EXPECT_EQ(ranlib_generator_state()->Xcg1[0], ref.s1);  // two uniforms used
}

TEST(PoissonState, TableSurvivesANormalSampleAcceptedAtOnce) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(31, 41);
    const float small = 5.0f;
    for (int i = 0; i < 200; i++) ignpoi(small);
    const RanlibPoissonState first = state();
    ASSERT_GT(first.ll, 0);

    // A mean of 20 whose normal sample is at or above the bound: no
    // preparation step, so the prepared mean stays.  Retry until one is.
    bool accepted_at_once = false;
    for (int attempt = 0; attempt < 100 && !accepted_at_once; attempt++) {
        const RanlibPoissonState before = state();
        const int32_t k = ignpoi(20.0f);
        accepted_at_once = state().muold == small;
        if (accepted_at_once) {
            EXPECT_GE(k, state().l);
        } else {
            *ranlib_poisson_state() = before;
        }
    }
    ASSERT_TRUE(accepted_at_once);
    EXPECT_EQ(state().l, 18);
    EXPECT_EQ(state().muprev, 20.0f);

    // Back to the first mean: its table and length are reused as they were.
    const float u = peek_uniform();
    const int32_t k = ignpoi(small);
    EXPECT_EQ(state().muprev, 0.0f);
    EXPECT_EQ(state().muold, small);
    EXPECT_GE(state().ll, first.ll);
    for (int32_t j = 0; j < first.ll; j++) EXPECT_EQ(state().pp[j], first.pp[j]);
    EXPECT_EQ(k, invert_table(u));
    EXPECT_EQ(state().l, 18);  // the normal bound is left alone
}

TEST(PoissonState, PreparationForANewLargeMeanRestartsTheTable) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(8, 9);
    for (int i = 0; i < 100; i++) ignpoi(6.0f);
    ASSERT_GT(state().ll, 0);
    // A normal sample below zero (forced through a far-tail normal deviate)
    // skips the squeeze and goes to the preparation and the hat.
    random_test::force_next_ignlgi(1073741900);  // u just above 1/2: far tail
    const int32_t k = ignpoi(10.0f);
    EXPECT_GE(k, 0);
    EXPECT_EQ(state().muold, 10.0f);
    EXPECT_EQ(state().omega, static_cast<float>(0.3989423 / state().s));
    EXPECT_EQ(state().c, static_cast<float>(0.1069 / 10.0f));
    // The next call below 10 with the old mean builds a new table.
    ignpoi(6.0f);
    EXPECT_EQ(state().muold, 6.0f);
    EXPECT_EQ(state().p0, static_cast<float>(std::exp(-6.0)));
}

TEST(PoissonState, FarTailNormalDeviateIsBelowMinusRootTen) {
    // The forced value of the previous test really gives g = 10 + s z < 0.
    StateGuard guard;
    setall(8, 9);
    random_test::force_next_ignlgi(1073741900);
    EXPECT_LT(snorm(), -std::sqrt(10.0f));
}

TEST(PoissonState, EngineEntryPointEqualsIgnpoi) {
    StateGuard guard;
    random_test::reset_poisson_state();
    setall(2718, 2818);
    const RanlibGeneratorState gen = *ranlib_generator_state();
    const RanlibPoissonState poi = state();
    std::int32_t a[500], b[500];
    for (int i = 0; i < 500; i++) a[i] = my_poisson(i % 2 ? 2.5 : 17.25);
    *ranlib_generator_state() = gen;
    *ranlib_poisson_state() = poi;
    for (int i = 0; i < 500; i++) b[i] = ignpoi(i % 2 ? 2.5f : 17.25f);
    for (int i = 0; i < 500; i++) ASSERT_EQ(a[i], b[i]) << i;
}

TEST(PoissonState, MeansWithoutEventsReturnZeroAndDrawNothing) {
    StateGuard guard;
    setall(3, 4);
    const RanlibGeneratorState gen = *ranlib_generator_state();
    const RanlibPoissonState poi = state();
    EXPECT_EQ(ignpoi(0.0f), 0);
    EXPECT_EQ(ignpoi(-3.0f), 0);
    EXPECT_EQ(ignpoi(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(my_poisson(0.0), 0);
    EXPECT_EQ(my_poisson(-1e-300), 0);
    EXPECT_EQ(my_poisson(1e-60), 0);  // rounds to 0 in single precision
    EXPECT_EQ(my_poisson(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(ranlib_generator_state()->Xcg1[0], gen.Xcg1[0]);
    EXPECT_EQ(ranlib_generator_state()->Xcg2[0], gen.Xcg2[0]);
    EXPECT_EQ(state().muold, poi.muold);
    EXPECT_EQ(state().muprev, poi.muprev);
}

TEST(PoissonState, MeansBeyondThe32BitRangeSaturate) {
    StateGuard guard;
    setall(3, 4);
    EXPECT_EQ(my_poisson(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ignpoi(1e20f), std::numeric_limits<int32_t>::max());
}

}  // namespace

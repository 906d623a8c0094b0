// The standard normal and exponential deviates and the sign transfer:
// worked values for forced uniforms, and fixed-seed goodness of fit against
// the exact distribution functions (bounds at probability < 1e-5 for a true
// sample, so a failure means a change, not bad luck).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::chi_square;
using random_test::chi_square_bound;
using random_test::Reference;
using random_test::StateGuard;

double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// Quantile of the standard normal by bisection on the cdf.
double normal_quantile(double p) {
    double lo = -10, hi = 10;
    for (int i = 0; i < 200; i++) {
        const double mid = 0.5 * (lo + hi);
        (normal_cdf(mid) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Chi-square over bins given by increasing edges (plus the two open ends).
random_test::ChiSquare fit(const std::vector<float>& sample, const std::vector<double>& edges,
                           double (*cdf)(double)) {
    for (size_t i = 1; i < edges.size(); i++)
        if (!(edges[i - 1] < edges[i])) ADD_FAILURE() << "bin edges out of order at " << i;
    std::vector<double> observed(edges.size() + 1, 0.0), expected(edges.size() + 1, 0.0);
    for (float x : sample) {
        size_t lo = 0, hi = edges.size();  // first edge above x
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (edges[mid] <= x)
                lo = mid + 1;
            else
                hi = mid;
        }
        observed[lo] += 1;
    }
    double prev = 0;
    for (size_t i = 0; i <= edges.size(); i++) {
        const double next = i < edges.size() ? cdf(edges[i]) : 1.0;
        expected[i] = (next - prev) * sample.size();
        prev = next;
    }
    return chi_square(observed, expected);
}

struct Moments {
    double m1 = 0, m2 = 0, m3 = 0, m4 = 0;
};

Moments raw_moments(const std::vector<float>& sample) {
    Moments m;
    for (float f : sample) {
        const double x = f;
        m.m1 += x;
        m.m2 += x * x;
        m.m3 += x * x * x;
        m.m4 += x * x * x * x;
    }
    const double n = static_cast<double>(sample.size());
    m.m1 /= n;
    m.m2 /= n;
    m.m3 /= n;
    m.m4 /= n;
    return m;
}

// ---- fsign ----

TEST(Fsign, TransfersTheSignAndLeavesZeroSignsAlone) {
    EXPECT_EQ(fsign(2.5f, 1.0f), 2.5f);
    EXPECT_EQ(fsign(2.5f, -0.1f), -2.5f);
    EXPECT_EQ(fsign(-2.5f, 3.0f), 2.5f);
    EXPECT_EQ(fsign(-2.5f, -3.0f), -2.5f);
    EXPECT_EQ(fsign(2.5f, 0.0f), 2.5f);
    EXPECT_EQ(fsign(-2.5f, 0.0f), -2.5f);
    EXPECT_EQ(fsign(0.0f, -1.0f), 0.0f);
}

// ---- snorm ----

TEST(Snorm, UniformOfOneIsClampedToTheLastCentreStrip) {
    // u = 1: sign negative, 32 u = 32 is clamped to strip 31, the fraction
    // u - 31 = 1 exceeds t(31) = 0.5847031, so the result is
    // -(a(31) + (1 - t(31)) h(31)) with a(31) = 1.862732, h(31) = 0.7010474,
    // from that one uniform alone.
    StateGuard guard;
    setall(12, 34);
    random_test::force_next_ignlgi(2147483562);
    Reference after = random_test::reference_at_current();
    after.next();
    const float expected = -(1.862732f + (1.0f - 0.5847031f) * 0.7010474f);
    EXPECT_EQ(snorm(), expected);
    EXPECT_EQ(ranlib_generator_state()->Xcg1[0], after.s1);
}

TEST(Snorm, FirstUniformSelectsTheStrip) {
    // u = 0.25 + 1/64 (exactly representable): sign positive, 32 (2u - 0) =
    // 17, so strip 17 with fraction 0.  Whatever the later uniforms, the
    // deviate lies in that strip, [a(17), a(18)] = [0.6744898, 0.7245144]
    // (the quartile and the 23/32 quantile).
    StateGuard guard;
    setall(12, 34);
    const int32_t z = random_test::z_for_uniform(0.265625f);
    ASSERT_NE(z, 0);
    random_test::force_next_ignlgi(z);
    const float first = snorm();
    EXPECT_GE(first, 0.6744898f);
    EXPECT_LE(first, 0.7245144f);
}

// The first uniform u picks the sign (u > 1/2 is negative) and, through
// v = 32 (2u - sign), the strip: strip i = floor(v) of the centre covers
// [q(i), q(i + 1)] with q(i) the 1/2 + (i - 1)/64 quantile, and v < 1 the tail
// beyond q(32), where every halving of v moves one segment out: segment n
// (v in [2^-(n+1), 2^-n)) covers the quantiles 1 - 2^-n / 64 to
// 1 - 2^-(n+1) / 64.  The quantiles here come from erfc, independently of the
// tables.  Forcing u and checking where the deviate falls tests the tables'
// values (to the float rounding of their seven digits) and the strip logic.
float first_uniform_for(double v, bool negative) {
    const double u = negative ? (1.0 + v / 32.0) / 2.0 : v / 64.0;
    return static_cast<float>(u);
}

double strip_start(int i) { return normal_quantile(0.5 + (i - 1) / 64.0); }

TEST(Snorm, EveryCentreStripStaysBetweenItsQuantiles) {
    StateGuard guard;
    setall(2024, 4202);
    for (int i = 1; i <= 31; i++) {
        for (bool negative : {false, true}) {
            for (double frac : {0.001, 0.3, 0.7}) {
                const float u = first_uniform_for(i + frac, negative);
                const int32_t z = random_test::z_for_uniform(u);
                ASSERT_NE(z, 0);
                random_test::force_next_ignlgi(z);
                const double y = snorm();
                const double lo = strip_start(i), hi = strip_start(i + 1);
                const double x = negative ? -y : y;
                EXPECT_GE(x, lo - 1e-6) << "strip " << i << " negative " << negative;
                EXPECT_LE(x, hi + 1e-6) << "strip " << i << " negative " << negative;
            }
        }
    }
}

TEST(Snorm, TopOfEachCentreStripReachesTheNextQuantile) {
    // With the fraction just below 1 (above every acceptance threshold t(i))
    // one uniform decides: a(i) + (1 - t(i)) h(i) is the strip's end.
    StateGuard guard;
    setall(2024, 4202);
    for (int i = 1; i <= 31; i++) {
        // The largest float u with 64 u below i + 1.
        const float u = std::nextafter(static_cast<float>((i + 1) / 64.0), 0.0f);
        const int32_t z = random_test::z_for_uniform(u);
        ASSERT_NE(z, 0);
        random_test::force_next_ignlgi(z);
        Reference after = random_test::reference_at_current();
        after.next();
        const double y = snorm();
        EXPECT_NEAR(y, strip_start(i + 1), 2e-6) << "strip " << i;
        EXPECT_EQ(ranlib_generator_state()->Xcg1[0], after.s1) << "strip " << i;
    }
}

TEST(Snorm, TailSegmentsStayBetweenTheirQuantiles) {
    StateGuard guard;
    setall(2024, 4202);
    for (int n = 0; n <= 22; n++) {
        for (bool negative : {false, true}) {
            const double v = 1.5 * std::ldexp(1.0, -(n + 1));
            const float u = first_uniform_for(v, negative);
            // Near 1/2 the float spacing is coarse: keep only uniforms that
            // still fall in segment n.
            const double v_actual = negative ? 32.0 * (2.0 * u - 1.0) : 64.0 * u;
            if (!(v_actual >= std::ldexp(1.0, -(n + 1)) && v_actual < std::ldexp(1.0, -n))) continue;
            const int32_t z = random_test::z_for_uniform(u);
            ASSERT_NE(z, 0);
            random_test::force_next_ignlgi(z);
            const double y = snorm();
            const double x = negative ? -y : y;
            const double lo = normal_quantile(1 - std::ldexp(1.0, -n) / 64);
            const double hi = normal_quantile(1 - std::ldexp(1.0, -(n + 1)) / 64);
            EXPECT_GE(x, lo - 1e-5) << "segment " << n << " negative " << negative;
            EXPECT_LE(x, hi + 1e-5) << "segment " << n << " negative " << negative;
        }
    }
}

TEST(Snorm, TailSegmentsStartAtTheirQuantiles) {
    // v = 2^-(n+1) exactly: after the halvings the fraction is 0, so w = 0,
    // the threshold is 0 and the next uniform accepts: the deviate is the
    // segment's start a(32) + d(6) + ... + d(5 + n), from two uniforms.
    StateGuard guard;
    setall(2024, 4202);
    for (int n = 0; n <= 22; n++) {
        for (bool negative : {false, true}) {
            const double v = std::ldexp(1.0, -(n + 1));
            const float u = first_uniform_for(v, negative);
            const double v_actual = negative ? 32.0 * (2.0 * u - 1.0) : 64.0 * u;
            if (v_actual != v) continue;  // not representable next to 1/2
            const int32_t z = random_test::z_for_uniform(u);
            ASSERT_NE(z, 0);
            random_test::force_next_ignlgi(z);
            Reference after = random_test::reference_at_current();
            after.next();
            after.next();
            const double y = snorm();
            const double start = normal_quantile(1 - std::ldexp(1.0, -n) / 64);
            EXPECT_NEAR(negative ? -y : y, start, 1e-6) << "segment " << n;
            EXPECT_EQ(ranlib_generator_state()->Xcg1[0], after.s1) << "segment " << n;
        }
    }
}

TEST(Snorm, FitsTheStandardNormalLaw) {
    StateGuard guard;
    setall(1357911, 24681012);
    std::vector<float> sample(1500000);
    for (float& x : sample) x = snorm();

    // Edges at the 1/2 + k/128 quantiles (two bins per strip of the
    // algorithm) and a finer split of both tails.
    std::vector<double> edges;
    for (double x : {-4.0, -3.5, -3.0, -2.75, -2.5}) edges.push_back(x);
    for (int k = 1; k < 128; k++) edges.push_back(normal_quantile(k / 128.0));
    for (double x : {2.5, 2.75, 3.0, 3.5, 4.0}) edges.push_back(x);
    const random_test::ChiSquare c = fit(sample, edges, normal_cdf);
    EXPECT_LT(c.statistic, chi_square_bound(c.df)) << "df " << c.df;

    const double n = static_cast<double>(sample.size());
    const Moments m = raw_moments(sample);
    // Standard errors of the raw moments of N(0, 1): sqrt(var(x^k) / n).
    EXPECT_NEAR(m.m1, 0.0, 5 * std::sqrt(1.0 / n));
    EXPECT_NEAR(m.m2, 1.0, 5 * std::sqrt(2.0 / n));
    EXPECT_NEAR(m.m3, 0.0, 5 * std::sqrt(15.0 / n));
    EXPECT_NEAR(m.m4, 3.0, 5 * std::sqrt(96.0 / n));
}

// ---- sexpo ----

TEST(Sexpo, UniformOfOneTakesTheMinimumOfEightMore) {
    // u = 1: doubled to 2 > 1, so no multiple of ln 2; u - 1 = 1 > q(1), and
    // only q(8) = 1 ends the search: the minimum of eight further uniforms,
    // times q(1) = 0.6931472.
    StateGuard guard;
    setall(56, 78);
    random_test::force_next_ignlgi(2147483562);
    Reference ref = random_test::reference_at_current();
    ref.next();
    float umin = 2.0f;
    for (int i = 0; i < 8; i++) {
        const float u = ref.next_uniform();
        if (u < umin) umin = u;
    }
    EXPECT_EQ(sexpo(), umin * 0.6931472f);
    EXPECT_EQ(ranlib_generator_state()->Xcg1[0], ref.s1);
}

TEST(Sexpo, SmallestUniformGivesThirtyOneMultiplesOfLnTwo) {
    // u = 2^-31 needs 31 doublings to pass 1 (u stays <= 1 up to 2^0), and
    // lands on exactly 2, so it continues as for u = 1.
    StateGuard guard;
    setall(56, 78);
    random_test::force_next_ignlgi(1);
    Reference ref = random_test::reference_at_current();
    ref.next();
    float a = 0.0f;
    for (int i = 0; i < 31; i++) a = a + 0.6931472f;
    float umin = 2.0f;
    for (int i = 0; i < 8; i++) {
        const float u = ref.next_uniform();
        if (u < umin) umin = u;
    }
    EXPECT_EQ(sexpo(), a + umin * 0.6931472f);
}

TEST(Sexpo, SmallFractionIsReturnedDirectly) {
    // u = 0.75: doubled to 1.5, u - 1 = 0.5 <= ln 2, result 0.5 from one uniform.
    StateGuard guard;
    setall(56, 78);
    const int32_t z = random_test::z_for_uniform(0.75f);
    ASSERT_NE(z, 0);
    random_test::force_next_ignlgi(z);
    Reference after = random_test::reference_at_current();
    after.next();
    EXPECT_EQ(sexpo(), 0.5f);
    EXPECT_EQ(ranlib_generator_state()->Xcg1[0], after.s1);
}

TEST(Sexpo, SearchEndsAtTheFirstPartialSumOfTheLogSeriesAboveTheFraction) {
    // For a first uniform u in (1/2, 1) the fraction is f = 2u - 1; when f
    // exceeds ln 2 the search draws uniforms until f <= q(k), with q(k) the
    // k-th partial sum of (ln 2)^j / j!, so it uses k + 1 uniforms.  q(k) is
    // computed here from its definition (rounded to seven decimals as
    // published); fractions just below and just above it tell the table
    // entry to the float spacing of f (2^-23).
    StateGuard guard;
    setall(31337, 73313);
    double term = 1, sum = 0;
    for (int k = 1; k <= 7; k++) {
        term *= std::log(2.0) / k;
        sum += term;
        const float qk = static_cast<float>(std::round(sum * 1e7) / 1e7);
        const float u_below = static_cast<float>((1.0 + qk) / 2.0);  // f <= q(k) after rounding down
        float u = u_below;
        while (2.0f * u - 1.0f > qk) u = std::nextafter(u, 0.0f);
        const float u_above = std::nextafter(u, 1.0f);
        for (const auto& [first, uniforms] : {std::pair<float, int>{u, k == 1 ? 1 : k + 1},
                                               std::pair<float, int>{u_above, k + 2}}) {
            const int32_t z = random_test::z_for_uniform(first);
            ASSERT_NE(z, 0);
            random_test::force_next_ignlgi(z);
            Reference ref = random_test::reference_at_current();
            ref.next();
            for (int i = 1; i < uniforms; i++) ref.next();
            const float x = sexpo();
            EXPECT_EQ(ranlib_generator_state()->Xcg1[0], ref.s1)
                << "q(" << k << "), first uniform " << first << ", " << uniforms << " uniforms";
            EXPECT_GT(x, 0.0f);
            EXPECT_LE(x, 0.6931472f);
        }
    }
}

double exponential_cdf(double x) { return x <= 0 ? 0.0 : -std::expm1(-x); }

TEST(Sexpo, FitsTheStandardExponentialLaw) {
    StateGuard guard;
    setall(97531, 86420);
    std::vector<float> sample(1500000);
    for (float& x : sample) {
        x = sexpo();
        ASSERT_GT(x, 0.0f);
    }
    // Bins of width ln(2) / 16 up to 12 ln 2, so that every part of the
    // minimum search (q(1) .. q(8)) shapes several bins.
    std::vector<double> edges;
    for (int k = 1; k <= 16 * 12; k++) edges.push_back(k * std::log(2.0) / 16);
    const random_test::ChiSquare c = fit(sample, edges, exponential_cdf);
    EXPECT_LT(c.statistic, chi_square_bound(c.df)) << "df " << c.df;

    const double n = static_cast<double>(sample.size());
    const Moments m = raw_moments(sample);
    // Raw moments of Exp(1): k!, with var(x^k) = (2k)! - (k!)^2.
    EXPECT_NEAR(m.m1, 1.0, 5 * std::sqrt(1.0 / n));
    EXPECT_NEAR(m.m2, 2.0, 5 * std::sqrt(20.0 / n));
    EXPECT_NEAR(m.m3, 6.0, 5 * std::sqrt(684.0 / n));
}

}  // namespace

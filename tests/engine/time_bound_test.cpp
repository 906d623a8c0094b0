// The lower bound of ln(1 / u) that first-reaction selection keys its
// tentative times by until the earliest is needed: it must never exceed the
// logarithm the exact time uses, for any float u the generator can give, and
// a time formed from it must never exceed the exact time.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/hot_path.h"

namespace plenta {
namespace {

float float_of_bits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::uint32_t bits_of(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The edge cases: 1, the generator's smallest and largest uniforms, the
// smallest normal float, each side of every power of two between 2^-31 and
// 1, and the mantissas where the bound comes closest (m = 1 / ln 2).
std::vector<float> edge_uniforms() {
    std::vector<float> u{1.0f, FLT_MIN, static_cast<float>(1 * 4.656613057E-10),
                         static_cast<float>(2147483562 * 4.656613057E-10), std::nextafter(1.0f, 0.0f)};
    for (int e = -31; e <= 0; ++e) {
        const float p = std::ldexp(1.0f, e);
        for (float m : {1.0f, static_cast<float>(1.0 / std::log(2.0)), 1.25f, 1.5f, 1.75f}) {
            const float c = p * m;
            if (c > 1.0f) continue;
            u.push_back(c);
            u.push_back(std::nextafter(c, 0.0f));
            u.push_back(std::nextafter(c, 2.0f));
        }
    }
    return u;
}

// Every float from the smallest normal up to 1 at a stride that visits every
// cell of every binade at many offsets, and the edge cases.
std::vector<float> many_uniforms() {
    std::vector<float> u = edge_uniforms();
    for (std::uint32_t b = bits_of(FLT_MIN); b <= bits_of(1.0f); b += 997) u.push_back(float_of_bits(b));
    return u;
}

TEST(LogLowerBound, NeverAboveTheLogarithmAndClose) {
    double worst = 0.0;
    double closest = 1.0;
    for (float u : many_uniforms()) {
        if (!(u > 0.0f && u <= 1.0f)) continue;
        const double exact = std::log(1.0 / static_cast<double>(u));
        const double lower = log_recip_lower(u);
        ASSERT_LE(lower, exact) << "u = " << u;
        worst = std::max(worst, exact - lower);
        closest = std::min(closest, exact - lower);
    }
    // The tangent of log2 lies at most 0.0861 above it (times ln 2).
    EXPECT_LT(worst, 0.0861 * std::log(2.0) + 1e-6);
    // It comes closest near m = 1 / ln 2 (the gap rounded up, and the slack).
    EXPECT_LT(closest, 1e-4);
    EXPECT_GE(closest, 0.5 * kLogSlack);
}

TEST(LogLowerBound, OddInputsGiveZero) {
    // ln(1 / u) >= 0 for every u in (0, 1]: 0 is a bound for the ones the
    // formula does not cover (denormals), and it is returned for anything else.
    EXPECT_EQ(log_recip_lower(0.0f), 0.0);
    EXPECT_EQ(log_recip_lower(FLT_MIN / 4.0f), 0.0);
    EXPECT_EQ(log_recip_lower(std::nanf("")), 0.0);
    EXPECT_EQ(log_recip_lower(1.5f), 0.0);
    EXPECT_EQ(log_recip_lower(-0.5f), 0.0);
    EXPECT_LT(log_recip_lower(1.0f), 0.0);  // the tangent's gap below ln 1 = 0
}

TEST(PendingTimeBound, ExactIsTentativeTimeAndLowerIsBelowIt) {
    const std::vector<double> propensities{1e-30, 3.7e-12, 1e-3, 0.75, 1.0, 12345.678, 1e12, 1e300, DBL_MAX};
    const std::vector<double> starts{0.0, 1e-300, 0.1, 1.0, 1e6 + 0.3, 1e15, 1e300};
    const std::vector<float> uniforms = edge_uniforms();
    int strictly_below = 0;
    for (double ai : propensities) {
        for (double t : starts) {
            for (float u : uniforms) {
                if (!(u > 0.0f && u <= 1.0f)) continue;
                const PendingTime p = PendingTime::of(t, 1.0 / ai, u);
                const double want = tentative_time(ai, t, [u]() { return u; });
                const double exact = p.exact();
                ASSERT_EQ(std::memcmp(&exact, &want, sizeof exact), 0) << ai << " " << t << " " << u;
                const double lower = lower_time(t, p.inv_a, u);
                ASSERT_LE(lower, exact) << ai << " " << t << " " << u;
                if (lower < exact) ++strictly_below;
            }
        }
    }
    EXPECT_GT(strictly_below, 0);
}

}  // namespace
}  // namespace plenta

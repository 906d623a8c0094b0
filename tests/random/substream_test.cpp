// Per-run substreams: the jump to substream `index` against plain stepping
// (small spacings) and against 64-bit modular powers (the real spacing of
// 2^40), and what setsub installs and clears.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using namespace random_test;

// a^(index * 2^k) * seed mod m, with the exponent reduced mod m - 1 (Fermat:
// a^(m-1) = 1 for the prime m): an independent route to the same jump.
std::int64_t jumped_seed(std::int64_t a, std::int64_t seed, std::int64_t index, int k,
                         std::int64_t m) {
    const std::int64_t spacing = powmod(2, k, m - 1);
    const std::int64_t exponent = mulmod(index % (m - 1), spacing, m - 1);
    return mulmod(powmod(a, exponent, m), seed, m);
}

TEST(Substream, SmallSpacingsEqualPlainStepping) {
    StateGuard guard;
    setall(20240611, 77777);
    const std::int32_t seed1 = 20240611, seed2 = 77777;
    for (int k : {0, 1, 3, 6}) {
        // Step a copy of generator 1 from its start, one value at a time,
        // and compare its seeds at every multiple of 2^k.
        int32_t first = 1;
        gscgn(1, &first);
        setsd(seed1, seed2);
        const int spacing = 1 << k;
        for (int index = 0; index <= 40; index++) {
            int32_t sub1 = 0, sub2 = 0, cur1 = 0, cur2 = 0;
            subsds(seed1, seed2, k, index, &sub1, &sub2);
            getsd(&cur1, &cur2);
            ASSERT_EQ(sub1, cur1) << "k " << k << " index " << index;
            ASSERT_EQ(sub2, cur2) << "k " << k << " index " << index;
            for (int i = 0; i < spacing; i++) ignlgi();
        }
    }
}

TEST(Substream, RunSpacingEqualsModularPowers) {
    StateGuard guard;
    setall(1, 1);
    const std::int32_t seeds[][2] = {{1, 1}, {12345, 12345}, {2147483562, 2147483398}};
    const std::int32_t indices[] = {0, 1, 2, 3, 1000, 65535, 1 << 20, RANLIB_SUBSTREAM_COUNT - 1};
    for (const auto& seed : seeds) {
        for (std::int32_t index : indices) {
            int32_t sub1 = 0, sub2 = 0;
            subsds(seed[0], seed[1], RANLIB_SUBSTREAM_LOG2, index, &sub1, &sub2);
            EXPECT_EQ(sub1, jumped_seed(kA1, seed[0], index, RANLIB_SUBSTREAM_LOG2, kM1))
                << seed[0] << " index " << index;
            EXPECT_EQ(sub2, jumped_seed(kA2, seed[1], index, RANLIB_SUBSTREAM_LOG2, kM2))
                << seed[1] << " index " << index;
        }
    }
}

TEST(Substream, AllSubstreamsFitInOnePeriod) {
    // The combined period is (m1 - 1)(m2 - 1) / 2 (the two component periods
    // share only the factor 2); every substream must end before it wraps.
    const unsigned long long period = static_cast<unsigned long long>(kM1 - 1) *
                                      static_cast<unsigned long long>(kM2 - 1) / 2;
    const unsigned long long used =
        static_cast<unsigned long long>(RANLIB_SUBSTREAM_COUNT) * RANLIB_SUBSTREAM_LENGTH;
    EXPECT_LE(used, period);
    EXPECT_GT(used + RANLIB_SUBSTREAM_LENGTH, period);  // and the count is the largest that fits
    EXPECT_EQ(RANLIB_SUBSTREAM_LENGTH, 1ULL << 40);
}

TEST(Substream, SetsubStartsGeneratorOneAtTheSubstream) {
    StateGuard guard;
    setall(999, 999);
    int32_t other = 7;
    gscgn(1, &other);  // another generator selected: setsub must go back to 1
    for (int i = 0; i < 13; i++) ranf();
    setsub(999, 999, 4);
    int32_t g = 0;
    gscgn(0, &g);
    EXPECT_EQ(g, 1);
    Reference ref{jumped_seed(kA1, 999, 4, 40, kM1), jumped_seed(kA2, 999, 4, 40, kM2)};
    EXPECT_EQ(ranlib_draw_count(), 0u);
    for (int i = 0; i < 100; i++) ASSERT_EQ(ignlgi(), ref.next()) << i;
    for (int i = 0; i < 50; i++) ASSERT_EQ(ranf(), ref.next_uniform()) << i;
    EXPECT_EQ(ranlib_draw_count(), 150u);
}

TEST(Substream, SubstreamZeroIsTheSeededStreamOfGeneratorOne) {
    StateGuard guard;
    setall(31415, 31415);
    std::vector<std::int32_t> seeded(64);
    for (auto& z : seeded) z = ignlgi();
    setsub(31415, 31415, 0);
    for (std::size_t i = 0; i < seeded.size(); i++) ASSERT_EQ(ignlgi(), seeded[i]) << i;
}

TEST(Substream, SetsubBeforeAnySeedingIsNotOverwrittenByTheDefaults) {
    StateGuard guard;
    reset_generator_state();
    setsub(5, 6, 2);
    Reference ref{jumped_seed(kA1, 5, 2, 40, kM1), jumped_seed(kA2, 6, 2, 40, kM2)};
    EXPECT_EQ(ignlgi(), ref.next());
}

TEST(Substream, SetsubClearsThePoissonSetUp) {
    StateGuard guard;
    setall(4242, 4242);
    for (int i = 0; i < 20; i++) my_poisson(i % 2 ? 3.5 : 42.0);
    EXPECT_NE(ranlib_poisson_state()->muold, 0.0f);
    setsub(4242, 4242, 1);
    const RanlibPoissonState fresh{};
    const RanlibPoissonState& now = *ranlib_poisson_state();
    EXPECT_EQ(now.muprev, fresh.muprev);
    EXPECT_EQ(now.muold, fresh.muold);
    EXPECT_EQ(now.ll, 0);
    EXPECT_EQ(now.l, 0);
}

TEST(Substream, RunValuesDoNotDependOnTheRunsBefore) {
    // Run 3's Poisson counts alone, and after runs 1 and 2 drew with other
    // means (and one with the same mean, whose table would be reused).
    StateGuard guard;
    setall(2718, 2718);
    auto draw_run = [](int index) {
        setsub(2718, 2718, index);
        std::vector<std::int32_t> v;
        for (int i = 0; i < 300; i++) v.push_back(my_poisson(i % 3 ? 6.75 : 15.5));
        return v;
    };
    const std::vector<std::int32_t> alone = draw_run(2);
    draw_run(0);
    setsub(2718, 2718, 1);
    for (int i = 0; i < 77; i++) my_poisson(i % 2 ? 6.75 : 250.0);
    EXPECT_EQ(draw_run(2), alone);
}

TEST(Substream, DrawCounterRestartsWithSetall) {
    StateGuard guard;
    setall(3, 3);
    EXPECT_EQ(ranlib_draw_count(), 0u);
    for (int i = 0; i < 10; i++) ranf();
    ignlgi();
    EXPECT_EQ(ranlib_draw_count(), 11u);
    setall(3, 3);
    EXPECT_EQ(ranlib_draw_count(), 0u);
}

TEST(Substream, NegativeIndexEndsTheProcess) {
    int status = 0;
    const std::string err = run_in_child(
        [] {
            setall(1, 1);
            int32_t a = 0, b = 0;
            subsds(1, 1, 40, -1, &a, &b);
        },
        &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, " Substream index out of range in SUBSDS\n");
}

}  // namespace

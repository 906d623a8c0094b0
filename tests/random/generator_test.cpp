// The combined generator and its stream controls, checked against an
// independent computation in plain 64-bit modular arithmetic: the n-th
// state of a component is seed * a^n mod m, and the jump multipliers are
// a^(2^k) mod m computed here by k squarings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "random/generator_step.h"
#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::jump_multiplier;
using random_test::kA1;
using random_test::kA2;
using random_test::kM1;
using random_test::kM2;
using random_test::mulmod;
using random_test::powmod;
using random_test::Reference;
using random_test::StateGuard;

void select_generator(int32_t g) { gscgn(1, &g); }

int32_t current_generator() {
    int32_t g = 0;
    gscgn(0, &g);
    return g;
}

// ---- Seeding and the known stream ----

TEST(Generator, FirstValuesAfterSetallMatchIndependentComputation) {
    StateGuard guard;
    setall(1234567890, 123456789);
    Reference ref{1234567890, 123456789};
    for (int i = 0; i < 10000; i++) ASSERT_EQ(ignlgi(), ref.next()) << "draw " << i;
}

TEST(Generator, FirstDrawWithoutSeedingUsesTheDefaultSeeds) {
    StateGuard guard;
    random_test::reset_generator_state();
    Reference ref{1234567890, 123456789};
    for (int i = 0; i < 1000; i++) ASSERT_EQ(ignlgi(), ref.next()) << "draw " << i;
    const RanlibGeneratorState* s = ranlib_generator_state();
    EXPECT_EQ(s->qrgnin, 1);
    EXPECT_EQ(s->qqssd, 1);
    EXPECT_EQ(s->curntg, 1);
}

TEST(Generator, JumpMultipliersArePowersOfTheMultipliers) {
    // Computed independently by 30 and 50 squarings.
    EXPECT_EQ(jump_multiplier(kA1, 30, kM1), 1033780774);
    EXPECT_EQ(jump_multiplier(kA2, 30, kM2), 1494757890);
    EXPECT_EQ(jump_multiplier(kA1, 50, kM1), 2082007225);
    EXPECT_EQ(jump_multiplier(kA2, 50, kM2), 784306273);

    StateGuard guard;
    setall(1, 1);
    const RanlibGeneratorState* s = ranlib_generator_state();
    EXPECT_EQ(s->Xm1, kM1);
    EXPECT_EQ(s->Xm2, kM2);
    EXPECT_EQ(s->Xa1, kA1);
    EXPECT_EQ(s->Xa2, kA2);
    EXPECT_EQ(s->Xa1w, jump_multiplier(kA1, 30, kM1));
    EXPECT_EQ(s->Xa2w, jump_multiplier(kA2, 30, kM2));
    EXPECT_EQ(s->Xa1vw, jump_multiplier(kA1, 50, kM1));
    EXPECT_EQ(s->Xa2vw, jump_multiplier(kA2, 50, kM2));
}

TEST(Generator, VirtualGeneratorsStartTwoToTheFiftyValuesApart) {
    StateGuard guard;
    const int32_t seeds[][2] = {{1234567890, 123456789}, {1, 1}, {2147483562, 2147483398}};
    for (const auto& seed : seeds) {
        setall(seed[0], seed[1]);
        const RanlibGeneratorState* s = ranlib_generator_state();
        // Generator 2 in the system's own terms ...
        EXPECT_EQ(s->Xig1[1], mltmod(2082007225, seed[0], 2147483563));
        EXPECT_EQ(s->Xig2[1], mltmod(784306273, seed[1], 2147483399));
        // ... and every generator against seed * (a^(2^50))^(g - 1).
        const std::int64_t v1 = jump_multiplier(kA1, 50, kM1);
        const std::int64_t v2 = jump_multiplier(kA2, 50, kM2);
        for (int32_t g = 1; g <= 32; g++) {
            const std::int64_t i1 = mulmod(seed[0], powmod(v1, g - 1, kM1), kM1);
            const std::int64_t i2 = mulmod(seed[1], powmod(v2, g - 1, kM2), kM2);
            ASSERT_EQ(s->Xig1[g - 1], i1) << "generator " << g;
            ASSERT_EQ(s->Xig2[g - 1], i2) << "generator " << g;
            ASSERT_EQ(s->Xcg1[g - 1], i1);
            ASSERT_EQ(s->Xlg2[g - 1], i2);
            select_generator(g);
            Reference ref{i1, i2};
            for (int i = 0; i < 50; i++) ASSERT_EQ(ignlgi(), ref.next()) << "generator " << g;
        }
        select_generator(1);
    }
}

TEST(Generator, SetallRestartsEveryStreamAndKeepsSelectionAndAntitheticFlags) {
    StateGuard guard;
    setall(11, 22);
    select_generator(7);
    setant(1);
    for (int i = 0; i < 5; i++) ignlgi();
    select_generator(3);
    for (int i = 0; i < 5; i++) ignlgi();
    select_generator(1);
    for (int i = 0; i < 5; i++) ignlgi();

    // Re-seeding while generator 3 is current: all 32 streams restart,
    // generator 1 included, and generator 3 stays current.
    select_generator(3);
    setall(11, 22);
    EXPECT_EQ(current_generator(), 3);
    const RanlibGeneratorState* s = ranlib_generator_state();
    for (int g = 0; g < 32; g++) {
        EXPECT_EQ(s->Xcg1[g], s->Xig1[g]) << "generator " << g + 1;
        EXPECT_EQ(s->Xcg2[g], s->Xig2[g]) << "generator " << g + 1;
    }
    EXPECT_EQ(s->Xcg1[0], 11);
    EXPECT_EQ(s->Xcg2[0], 22);
    EXPECT_EQ(s->Xqanti[6], 1);
    select_generator(7);
    setant(0);
}

// ---- The uniform deviate ----

TEST(Uniform, IsTheGeneratorValueTimesTheScaleRoundedToFloat) {
    StateGuard guard;
    setall(987654321, 192837465);
    Reference ref{987654321, 192837465};
    for (int i = 0; i < 10000; i++) {
        const float u = ranf();
        const float expected = ref.next_uniform();
        ASSERT_EQ(u, expected);
        ASSERT_GT(u, 0.0f);
        ASSERT_LE(u, 1.0f);
    }
}

TEST(Uniform, SmallestValueIsTwoToMinus31AndTheTop63ValuesGiveOne) {
    StateGuard guard;
    setall(1, 1);
    random_test::force_next_ignlgi(1);
    EXPECT_EQ(ranf(), std::ldexp(1.0f, -31));
    for (int32_t z = 2147483480; z <= 2147483562; z++) {
        random_test::force_next_ignlgi(z);
        const float u = ranf();
        if (z >= 2147483500)
            ASSERT_EQ(u, 1.0f) << "z = " << z;
        else
            ASSERT_LT(u, 1.0f) << "z = " << z;
    }
}

TEST(Uniform, ForcedValuesReachTheGenerator) {
    // The helper itself: the forced value is what ignlgi returns.
    StateGuard guard;
    setall(1, 1);
    for (int32_t z : {1, 2, 1000, 999, 1001, 123456789, 2147483561, 2147483562}) {
        random_test::force_next_ignlgi(z);
        ASSERT_EQ(ignlgi(), z);
    }
}

TEST(Generator, AntitheticFlagReflectsEveryValue) {
    StateGuard guard;
    setall(5555, 7777);
    Reference ref{5555, 7777};
    setant(1);
    for (int i = 0; i < 1000; i++) ASSERT_EQ(ignlgi(), kM1 - ref.next());
    random_test::force_next_ignlgi(1);
    EXPECT_EQ(ignlgi(), 2147483562);
    random_test::force_next_ignlgi(2147483562);
    EXPECT_EQ(ignlgi(), 1);
    setant(0);
    ref = random_test::reference_at_current();
    for (int i = 0; i < 100; i++) ASSERT_EQ(ignlgi(), ref.next());
}

// ---- Blocks, jumps and explicit seeds ----

TEST(Generator, InitgnMovesBetweenBlocks) {
    StateGuard guard;
    setall(31415926, 27182818);
    for (int i = 0; i < 7; i++) ignlgi();
    initgn(1);
    for (int i = 0; i < 7; i++) ignlgi();
    initgn(1);
    for (int i = 0; i < 7; i++) ignlgi();
    initgn(0);
    // Start of the third block: 2 * 2^30 values from the initial seeds.
    const std::int64_t w1 = jump_multiplier(kA1, 30, kM1);
    const std::int64_t w2 = jump_multiplier(kA2, 30, kM2);
    int32_t s1 = 0, s2 = 0;
    getsd(&s1, &s2);
    EXPECT_EQ(s1, mulmod(31415926, mulmod(w1, w1, kM1), kM1));
    EXPECT_EQ(s2, mulmod(27182818, mulmod(w2, w2, kM2), kM2));
    const RanlibGeneratorState* s = ranlib_generator_state();
    EXPECT_EQ(s->Xlg1[0], s1);
    EXPECT_EQ(s->Xlg2[0], s2);
    EXPECT_EQ(s->Xig1[0], 31415926);  // initial seeds untouched

    initgn(-1);
    getsd(&s1, &s2);
    EXPECT_EQ(s1, 31415926);
    EXPECT_EQ(s2, 27182818);
    EXPECT_EQ(s->Xlg1[0], 31415926);
}

TEST(Generator, AdvnstJumpsTwoToTheKValues) {
    StateGuard guard;
    for (int32_t k = -2; k <= 12; k++) {
        setall(24681357, 13572468);
        for (int i = 0; i < 3; i++) ignlgi();
        Reference ref = random_test::reference_at_current();
        const std::int64_t steps = k < 1 ? 1 : std::int64_t{1} << k;
        for (std::int64_t i = 0; i < steps; i++) ref.next();

        advnst(k);
        int32_t s1 = 0, s2 = 0;
        getsd(&s1, &s2);
        ASSERT_EQ(s1, ref.s1) << "k = " << k;
        ASSERT_EQ(s2, ref.s2) << "k = " << k;
        // The new point is also the generator's new initial seed.
        const RanlibGeneratorState* s = ranlib_generator_state();
        ASSERT_EQ(s->Xig1[0], ref.s1);
        ASSERT_EQ(s->Xig2[0], ref.s2);
        for (int i = 0; i < 5; i++) ASSERT_EQ(ignlgi(), ref.next());
    }
}

TEST(Generator, AdvnstThirtyEqualsTheNextBlock) {
    StateGuard guard;
    setall(42, 4242);
    advnst(30);
    int32_t a1 = 0, a2 = 0;
    getsd(&a1, &a2);
    setall(42, 4242);
    initgn(1);
    int32_t b1 = 0, b2 = 0;
    getsd(&b1, &b2);
    EXPECT_EQ(a1, b1);
    EXPECT_EQ(a2, b2);
}

TEST(Generator, SetsdAndGetsdWorkOnTheCurrentGenerator) {
    StateGuard guard;
    setall(100, 200);
    select_generator(9);
    setsd(123, 456);
    int32_t s1 = 0, s2 = 0;
    getsd(&s1, &s2);
    EXPECT_EQ(s1, 123);
    EXPECT_EQ(s2, 456);
    Reference ref{123, 456};
    for (int i = 0; i < 20; i++) ASSERT_EQ(ignlgi(), ref.next());
    getsd(&s1, &s2);
    EXPECT_EQ(s1, ref.s1);
    EXPECT_EQ(s2, ref.s2);
    // Generator 1 is untouched and continues its own stream.
    select_generator(1);
    getsd(&s1, &s2);
    EXPECT_EQ(s1, 100);
    EXPECT_EQ(s2, 200);
}

TEST(Generator, FlagAccessors) {
    StateGuard guard;
    int32_t v = 0;
    gsrgs(0, &v);
    int32_t before = v;
    int32_t seven = 7;
    gsrgs(1, &seven);
    gsrgs(0, &v);
    EXPECT_EQ(v, 7);
    gsrgs(1, &before);

    ranlib_generator_state()->qqssd = 0;
    int32_t ignored = 0;  // a set request always stores 1
    gssst(1, &ignored);
    gssst(0, &v);
    EXPECT_EQ(v, 1);

    select_generator(32);
    EXPECT_EQ(current_generator(), 32);
    select_generator(1);
}

}  // namespace

// The step advances each seed to a s mod m; the 64-bit form must give what
// Schrage's 32-bit decomposition gives for every 32-bit seed, the ones
// setsd may store outside [1, m) (0, below 0, at or beyond m) included.
TEST(Generator, StepEqualsSchragesDecompositionForEverySeed) {
    auto schrage = [](std::int32_t s, std::int32_t a, std::int32_t m) {
        const std::int32_t q = m / a;
        const std::int32_t r = m % a;
        const std::int32_t k = s / q;
        std::int32_t next = a * (s - k * q) - k * r;
        if (next < 0) next += m;
        return next;
    };
    std::vector<std::int32_t> seeds = {INT32_MIN, INT32_MIN + 1, -2147483563, -40014, -1, 0, 1,
                                       53667, 53668, 52774, 2147483398, 2147483399,
                                       2147483562, 2147483563, 2147483564, INT32_MAX};
    std::uint32_t x = 12345u;
    for (int i = 0; i < 200000; ++i) {  // and spread over the whole range
        x = x * 1664525u + 1013904223u;
        seeds.push_back(static_cast<std::int32_t>(x));
    }
    for (std::int32_t s : seeds) {
        std::int32_t s1 = s;
        std::int32_t s2 = s;
        const std::int32_t want1 = schrage(s, 40014, 2147483563);
        const std::int32_t want2 = schrage(s, 40692, 2147483399);
        std::int32_t z = want1 - want2;
        if (z < 1) z += 2147483562;
        ASSERT_EQ(ranlib_detail::advance_seeds(s1, s2), z) << "seed " << s;
        ASSERT_EQ(s1, want1) << "seed " << s;
        ASSERT_EQ(s2, want2) << "seed " << s;
    }
}

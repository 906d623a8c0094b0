// The held window of the uniform deviate: the values taken are ranf's, the
// generator is left where ranf would leave it at commit() and at the end of
// the object (seeds and draw count), and it follows the current generator
// and its antithetic flag.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "random/ranf_held.h"
#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::Drawn;
using random_test::draw_with_ranf;
using random_test::same_state;
using random_test::StateGuard;

TEST(RanfHeld, ValuesAreRanfsAndTheStateIsRanfsAtEveryCommitAndAtTheEnd) {
    StateGuard guard;
    setall(1234, 5678);
    for (int i = 0; i < 37; i++) ranf();
    const Drawn expected = draw_with_ranf(1000);
    const RanlibGeneratorState before = *ranlib_generator_state();
    {
        RanfHeld held;
        EXPECT_TRUE(same_state(*ranlib_generator_state(), before)) << "building the window drew";
        int taken = 0;
        // Commits after varying runs of takes, none after the last run.
        for (int run = 1; taken + run <= 990; run += 7) {
            for (int i = 0; i < run; i++, taken++) {
                if (i + RanfHeld::kAhead <= run) {
                    for (int later = 0; later < RanfHeld::kAhead; later++)
                        ASSERT_EQ(held.peek(later), expected.values[taken + later]);
                }
                ASSERT_EQ(held.take(), expected.values[taken]) << "draw " << taken;
            }
            held.commit();
            ASSERT_TRUE(same_state(*ranlib_generator_state(), expected.states[taken - 1]))
                << "after " << taken << " draws";
        }
        for (; taken < 1000; taken++) ASSERT_EQ(held.take(), expected.values[taken]);
    }
    EXPECT_TRUE(same_state(*ranlib_generator_state(), expected.states[999]));
    // Nothing taken: nothing changes.
    { RanfHeld idle; }
    EXPECT_TRUE(same_state(*ranlib_generator_state(), expected.states[999]));
}

TEST(RanfHeld, FollowsTheCurrentGeneratorAndItsAntitheticFlag) {
    StateGuard guard;
    setall(9, 10);
    int32_t g = 5;
    gscgn(1, &g);
    setant(1);
    const Drawn expected = draw_with_ranf(50);
    {
        RanfHeld held;
        for (int i = 0; i < 50; i++) ASSERT_EQ(held.take(), expected.values[i]) << "draw " << i;
    }
    EXPECT_TRUE(same_state(*ranlib_generator_state(), expected.states[49]));
}

// Seeds that no seeding call leaves (below 0, or at the top of the 32-bit
// range) and other constants, written into the state: the values still
// follow ranf's steps.
TEST(RanfHeld, SeedsOutsideTheUsualOnesGiveRanfsValues) {
    StateGuard guard;
    setall(11, 12);
    RanlibGeneratorState* st = ranlib_generator_state();
    const int32_t g = st->curntg - 1;
    const int32_t cases[][2] = {{-7, 5}, {5, -2147483647}, {2147483647, 2147483646}, {0, 0}};
    for (const auto& seeds : cases) {
        st->Xcg1[g] = seeds[0];
        st->Xcg2[g] = seeds[1];
        const Drawn expected = draw_with_ranf(20);
        {
            RanfHeld held;
            for (int i = 0; i < 20; i++)
                ASSERT_EQ(held.take(), expected.values[i]) << seeds[0] << " " << seeds[1] << " draw " << i;
        }
        EXPECT_TRUE(same_state(*st, expected.states[19]));
    }
}

TEST(RanfHeld, UnseededGeneratorGetsTheDefaultSeedsAsRanfWould) {
    StateGuard guard;
    random_test::reset_generator_state();
    const float by_ranf = ranf();
    random_test::reset_generator_state();
    RanfHeld held;
    EXPECT_EQ(held.take(), by_ranf);
}

}  // namespace

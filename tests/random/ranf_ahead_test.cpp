// The look-ahead window of the uniform deviate: taking values through it is
// drawing them with ranf (the same values, the same generator state after
// each one), seeing values ahead changes nothing, and it follows the current
// generator and its antithetic flag.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "random/ranf_ahead.h"
#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::Drawn;
using random_test::draw_with_ranf;
using random_test::same_state;
using random_test::StateGuard;

TEST(RanfAhead, TakingIsDrawingWithRanfValueByValueAndStateByState) {
    StateGuard guard;
    setall(1234, 5678);
    for (int i = 0; i < 37; i++) ranf();  // somewhere inside the stream
    const Drawn expected = draw_with_ranf(1000);
    RanfAhead ahead;
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(ahead.take(), expected.values[i]) << "draw " << i;
        ASSERT_TRUE(same_state(*ranlib_generator_state(), expected.states[i])) << "after draw " << i;
    }
    // And ranf goes on from there as if it had drawn them all.
    const float next = ranf();
    *ranlib_generator_state() = expected.states[999];
    EXPECT_EQ(next, ranf());
}

TEST(RanfAhead, PeekShowsWhatLaterTakesReturnAndChangesNothing) {
    StateGuard guard;
    setall(42, 43);
    const Drawn expected = draw_with_ranf(200);
    const RanlibGeneratorState before = *ranlib_generator_state();
    RanfAhead ahead;
    EXPECT_TRUE(same_state(*ranlib_generator_state(), before)) << "building the window drew";
    for (int taken = 0; taken + RanfAhead::kAhead <= 200; taken++) {
        for (int later = 0; later < RanfAhead::kAhead; later++)
            ASSERT_EQ(ahead.peek(later), expected.values[taken + later]) << taken << " + " << later;
        ASSERT_EQ(ahead.take(), expected.values[taken]);
    }
}

TEST(RanfAhead, FollowsTheCurrentGeneratorAndItsAntitheticFlag) {
    StateGuard guard;
    setall(9, 10);
    int32_t g = 5;
    gscgn(1, &g);
    setant(1);
    const Drawn expected = draw_with_ranf(50);
    RanfAhead ahead;
    for (int i = 0; i < 50; i++) {
        ASSERT_EQ(ahead.take(), expected.values[i]) << "draw " << i;
        ASSERT_TRUE(same_state(*ranlib_generator_state(), expected.states[i]));
    }
    // Generator 1 was not touched.
    g = 1;
    gscgn(1, &g);
    setant(0);
    setall(9, 10);
    const float first_of_1 = ranf();
    setall(9, 10);
    RanfAhead from_1;
    EXPECT_EQ(from_1.take(), first_of_1);
}

TEST(RanfAhead, UnseededGeneratorGetsTheDefaultSeedsAsRanfWould) {
    StateGuard guard;
    random_test::reset_generator_state();
    const float by_ranf = ranf();
    random_test::reset_generator_state();
    RanfAhead ahead;
    EXPECT_EQ(ahead.take(), by_ranf);
}

}  // namespace

// Snapshot boundaries: the grid of k * interval against the stepping
// t + (interval - fmod(t, interval)), the end of a span and the count of
// whole intervals in it.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"

namespace plenta {
namespace {

double stepped(double t, double interval) { return t + (interval - std::fmod(t, interval)); }

// A fixed sequence of fractions in [0, 1) (a 64-bit LCG, top 53 bits).
struct Fractions {
    std::uint64_t x = 0x853c49e6748fea9bULL;
    double next() {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(x >> 11) * 0x1p-53;
    }
};

// Where the interval is a binary fraction and the stepped value lands exactly
// on a later multiple, the grid gives that same double, so outputs of such
// runs do not change; and the snapshot test agrees with fmod == 0.
TEST(SnapshotGrid, BinaryFractionsAgreeWithSteppingOverManyTimes) {
    const double intervals[] = {1.0, 0.5, 0.25, 0.125, 0.0625, 2.0, 10.0, 0.75, 1.5, 1024.0};
    Fractions f;
    for (double interval : intervals) {
        int compared = 0, total = 0;
        for (int k = 0; k < 20000; ++k) {
            const double on_grid = static_cast<double>(k) * interval;
            const double inside = (static_cast<double>(k) + f.next()) * interval;
            for (double t : {on_grid, inside}) {
                ++total;
                const double want = stepped(t, interval);
                EXPECT_EQ(is_snapshot_time(t, interval), std::fmod(t, interval) == 0.0)
                    << "t = " << t << ", interval = " << interval;
                if (!(want > t) || std::fmod(want, interval) != 0.0) continue;
                ++compared;
                ASSERT_EQ(next_snapshot_time(t, interval), want)
                    << "t = " << t << ", interval = " << interval;
            }
        }
        // Nearly every case is one where stepping is exact.
        EXPECT_GT(compared, total * 99 / 100) << "interval " << interval;
    }
}

// Intervals that no double holds: walking boundary to boundary visits every
// grid time k * interval, each recognised as a snapshot time, far beyond the
// times where stepping stalls (0.5 for 0.1, 1.0 for 0.2, 5/3 for 1/3).
TEST(SnapshotGrid, DecimalIntervalsWalkEveryGridTime) {
    const double intervals[] = {0.1, 0.2, 0.3, 0.7, 0.333333333333333, 0.01, 0.05};
    for (double interval : intervals) {
        double t = 0.0;
        for (int k = 1; k <= 100000; ++k) {
            const double next = next_snapshot_time(t, interval);
            ASSERT_EQ(next, static_cast<double>(k) * interval)
                << "interval " << interval << ", step " << k;
            ASSERT_TRUE(is_snapshot_time(next, interval)) << next;
            t = next;
        }
    }
    // The stepped value stalls at these times; the grid goes on.
    EXPECT_EQ(stepped(0.5, 0.1), 0.5);
    EXPECT_EQ(next_snapshot_time(0.5, 0.1), 6 * 0.1);
    EXPECT_EQ(stepped(1.0, 0.2), 1.0);
    EXPECT_EQ(next_snapshot_time(1.0, 0.2), 6 * 0.2);
    // ... and misses grid times as snapshot times.
    EXPECT_NE(std::fmod(3 * 0.1, 0.1), 0.0);
    EXPECT_TRUE(is_snapshot_time(3 * 0.1, 0.1));
}

// A call that returned early (its event log filled) restarts from a firing
// time between two grid times, and must go on to the same boundary: one just
// below a grid time, one just above it, and ones in between.
TEST(SnapshotGrid, TimesBetweenGridTimesGoToTheNextOne) {
    const double intervals[] = {0.1, 0.3, 0.7, 0.333333333333333, 1.0, 0.25};
    Fractions f;
    for (double interval : intervals) {
        for (int k = 1; k < 3000; ++k) {
            const double g = static_cast<double>(k) * interval;
            const double g_next = static_cast<double>(k + 1) * interval;
            const double below = std::nextafter(g, 0.0);
            const double above = std::nextafter(g, 1e300);
            EXPECT_EQ(next_snapshot_time(below, interval), g) << g;
            EXPECT_EQ(next_snapshot_time(above, interval), g_next) << g;
            EXPECT_FALSE(is_snapshot_time(below, interval)) << below;
            EXPECT_FALSE(is_snapshot_time(above, interval)) << above;
            const double inside = g + f.next() * (g_next - g);
            if (inside > g && inside < g_next) {
                EXPECT_EQ(next_snapshot_time(inside, interval), g_next) << inside;
            }
        }
    }
}

TEST(SnapshotGrid, HugeTimesNeverGiveAnEarlierBoundary) {
    // Still resolvable: the next whole number after 2^52.
    EXPECT_EQ(next_snapshot_time(0x1p52, 1.0), 0x1p52 + 1.0);
    // t + interval == t: neighbouring grid times are no longer distinct
    // doubles, and the result is t itself (no later boundary).
    EXPECT_EQ(1e17 + 1.0, 1e17);
    EXPECT_EQ(next_snapshot_time(1e17, 1.0), 1e17);
    EXPECT_EQ(next_snapshot_time(1e17, 0.1), 1e17);
    // The next grid time would overflow.
    EXPECT_EQ(next_snapshot_time(DBL_MAX, DBL_MAX / 2), DBL_MAX);
    EXPECT_EQ(next_snapshot_time(DBL_MAX / 2, DBL_MAX / 4), 3 * (DBL_MAX / 4));
    // A subnormal interval cannot reach 1 with any representable index.
    EXPECT_EQ(next_snapshot_time(1.0, 1e-310), 1.0);
    // Whatever the inputs, the result is t or later, never earlier or NaN.
    Fractions f;
    for (int i = 0; i < 20000; ++i) {
        const double t = std::ldexp(f.next(), static_cast<int>(f.next() * 2000.0) - 1000);
        const double interval = std::ldexp(0.5 + f.next(), static_cast<int>(f.next() * 200) - 100);
        const double next = next_snapshot_time(t, interval);
        ASSERT_TRUE(next >= t) << t << " " << interval;
        if (next > t) {
            ASSERT_TRUE(std::isfinite(next));
            ASSERT_TRUE(is_snapshot_time(next, interval)) << next << " " << interval;
        }
    }
}

TEST(SnapshotSpan, EndsOnAGridTimeShortOfTheEndByRoundingOnly) {
    // Three intervals of 0.3 end at 0.8999999999999999, below a time_end of 0.9.
    const double third = 3 * 0.3;
    ASSERT_LT(third, 0.9);
    EXPECT_FALSE(span_continues(third, 0.0, 0.9, 0.3));
    EXPECT_TRUE(span_continues(2 * 0.3, 0.0, 0.9, 0.3));
    // Binary fractions: exactly the plain end > t.
    EXPECT_FALSE(span_continues(3.0, 0.0, 3.0, 1.0));
    EXPECT_TRUE(span_continues(2.0, 0.0, 3.0, 1.0));
    EXPECT_TRUE(span_continues(2.5, 0.0, 3.0, 1.0));
    // A time near the end that is not a grid time (an early return) goes on.
    EXPECT_TRUE(span_continues(std::nextafter(third, 0.0), 0.0, 0.9, 0.3));
    // The first call of a span is always made while end > start.
    EXPECT_TRUE(span_continues(third, third, 0.9, 0.3));
    // A real shortfall is not rounding: 0.999999999999999 is a grid time of
    // 0.333333333333333, 1e-15 below 1.
    EXPECT_TRUE(span_continues(3 * 0.333333333333333, 0.0, 1.0, 0.333333333333333));
    EXPECT_FALSE(span_continues(3 * 0.333333333333333, 0.0, 0.999999999999999,
                                0.333333333333333));
    // An interval no wider than the allowance: grid times within it are real
    // snapshots of their own.
    const double tiny = 0x1p-50;
    EXPECT_TRUE(span_continues(1.0 - tiny, 0.0, 1.0, tiny));
    // NaN or reached ends stop.
    EXPECT_FALSE(span_continues(1.0, 0.0, std::nan(""), 1.0));
    EXPECT_FALSE(span_continues(5.0, 0.0, 4.0, 1.0));
}

TEST(SnapshotSpan, WholeIntervalsCountsQuotientsShortByRoundingAsWhole) {
    EXPECT_LT(0.3 / 0.1, 3.0);
    EXPECT_EQ(whole_snapshot_intervals(0.3, 0.1), 3.0);
    EXPECT_EQ(whole_snapshot_intervals(0.9, 0.3), 3.0);
    EXPECT_EQ(whole_snapshot_intervals(2.1, 0.7), 3.0);
    EXPECT_EQ(whole_snapshot_intervals(1.0, 0.1), 10.0);
    EXPECT_EQ(whole_snapshot_intervals(10.0, 0.3), 33.0);
    EXPECT_EQ(whole_snapshot_intervals(2.5, 1.0), 2.0);
    EXPECT_EQ(whole_snapshot_intervals(5.0, 0.5), 10.0);
    EXPECT_EQ(whole_snapshot_intervals(0.0, 0.1), 0.0);
    EXPECT_EQ(whole_snapshot_intervals(2.9999, 1.0), 2.0);
    EXPECT_EQ(whole_snapshot_intervals(1e300, 1.0), 1e300);
    // Over many decimal spans n * 0.1 (n / 10 as the user writes it): n.
    for (int n = 0; n <= 100000; ++n)
        ASSERT_EQ(whole_snapshot_intervals(n / 10.0, 0.1), n) << n;
    // And every span of a binary-fraction interval: the plain floor.
    Fractions f;
    for (int i = 0; i < 20000; ++i) {
        const double span = f.next() * 1000.0;
        ASSERT_EQ(whole_snapshot_intervals(span, 0.25), std::floor(span / 0.25)) << span;
    }
}

// The decimal span of n intervals of 0.1 ends on the n-th grid time: the
// count and the end of the span agree.
TEST(SnapshotSpan, CountAndEndAgreeForDecimalSpans) {
    const double intervals[] = {0.1, 0.2, 0.3, 0.7};
    const int tenths[] = {1, 2, 3, 7};
    for (int i = 0; i < 4; ++i) {
        const double interval = intervals[i];
        for (int n = 1; n <= 2000; ++n) {
            const double end = n * tenths[i] / 10.0;  // the decimal n * interval
            ASSERT_EQ(whole_snapshot_intervals(end, interval), n) << end;
            double t = 0.0;
            int calls = 0;
            while (span_continues(t, 0.0, end, interval)) {
                t = next_snapshot_time(t, interval);
                ++calls;
            }
            ASSERT_EQ(calls, n) << "interval " << interval << ", end " << end;
        }
    }
}

TEST(SnapshotSpan, StartShortOfAGridTimeByRoundingStartsOnIt) {
    EXPECT_EQ(snapshot_start_time(0.7, 0.1), 7 * 0.1);
    EXPECT_NE(0.7, 7 * 0.1);
    EXPECT_EQ(snapshot_start_time(0.8, 0.1), 0.8);  // a grid time already
    double summed = 0.0;
    for (int k = 0; k < 8; ++k) summed += 0.1;
    EXPECT_LT(summed, 8 * 0.1);
    EXPECT_EQ(snapshot_start_time(summed, 0.1), 8 * 0.1);
    EXPECT_EQ(snapshot_start_time(2.5, 1.0), 2.5);
    EXPECT_EQ(snapshot_start_time(3.0, 1.0), 3.0);
    EXPECT_EQ(snapshot_start_time(3.2, 1.0), 3.2);
    EXPECT_EQ(snapshot_start_time(std::nextafter(1.0, 0.0), 1.0), 1.0);
    EXPECT_EQ(snapshot_start_time(1e17, 1.0), 1e17);
}

}  // namespace
}  // namespace plenta

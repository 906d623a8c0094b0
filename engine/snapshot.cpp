// Snapshot boundaries: an interval run advances to the next snapshot time,
// and the front ends take a snapshot on every one.
//
// The snapshot times are the grid k * interval for whole numbers k, each one
// the double product of k and the interval.  The step to the next boundary is
// defined as d = interval - fmod(t, interval), and where t + d is exact (an
// interval and times that are binary fractions, such as 1, 0.5 or 10) that
// is exactly the next grid time.  For an interval such as 0.1, which no
// double holds, t + d drifts off the grid and can even round back to t
// (t = 0.5: fmod gives 0.09999999999999998, d about 3e-17), so a run would
// stall there, and a test of fmod(t, interval) == 0 misses most grid times
// (fmod(0.30000000000000004, 0.1) is not 0).  So t + d is only used to find
// the grid index, and the boundary is the grid time itself: for binary
// fractions that is the same double, for all other intervals it is a time
// that the snapshot test below recognises.
#include <cfloat>
#include <cmath>

#include "engine.h"

namespace plenta {

namespace {

// Below 2^53 every whole number is a double and k + 1 is the next index.
constexpr double kExactIndexLimit = 9007199254740992.0;  // 2^53

// Grid indices tried after the estimate from t + d: the estimate is the next
// index or, where the grid time k * interval rounds down onto t itself, one
// below it.
constexpr int kGridIndicesTried = 4;

// Two times closer than this many machine epsilons of their magnitude count
// as the same time at the end of a span.  A time end that the user means as
// K intervals, and the grid time K * interval, differ by the rounding of the
// interval, of the product and of end itself: at most about 2 epsilon.
constexpr double kSameTimeEpsilons = 4.0;

double grid_time(double k, double interval) { return k * interval; }

double same_time_tolerance(double t) { return kSameTimeEpsilons * DBL_EPSILON * std::fabs(t); }

}  // namespace

// The first grid time later than t.  When none can be told apart from t
// (t so large that t + interval == t, where neighbouring grid indices no
// longer give distinct doubles and snapshot times cannot be written one by
// one) the result is t itself: the engine then fires nothing and returns, and
// the front ends stop with a message instead of calling it forever.
double next_snapshot_time(double t, double interval) {
    const double defined = t + (interval - std::fmod(t, interval));
    double k = std::nearbyint(defined / interval);
    for (int i = 0; i < kGridIndicesTried && std::fabs(k) < kExactIndexLimit; ++i, k += 1.0) {
        const double g = grid_time(k, interval);
        if (!std::isfinite(g)) break;
        if (g > t) return g;
    }
    return t;
}

// Whether t is a grid time.  Its nearest index and the two neighbours are
// tried, since near the top of the exact range the product of the nearest
// index can round away from t.  Beyond that range the grid cannot be walked
// and the plain remainder test stands.
bool is_snapshot_time(double t, double interval) {
    const double k = std::nearbyint(t / interval);
    if (!(std::fabs(k) < kExactIndexLimit)) return std::fmod(t, interval) == 0.0;
    return grid_time(k, interval) == t || grid_time(k - 1.0, interval) == t ||
           grid_time(k + 1.0, interval) == t;
}

// A span from start to end is over once t reaches end, or once t is a grid
// time past start that falls short of end by rounding only: with interval
// 0.3, the third grid time 0.8999999999999999 stands for a time end of 0.9,
// as the user means three intervals, and the span ends there instead of
// running a fourth interval to 1.2.  The rounding allowance is only applied
// where it is well below half an interval, so that it cannot merge two grid
// times.
bool span_continues(double t, double start, double end, double interval) {
    if (!(end > t)) return false;
    const double tolerance = same_time_tolerance(end);
    const bool short_by_rounding = t > start && end - t <= tolerance &&
                                   tolerance < 0.5 * interval && is_snapshot_time(t, interval);
    return !short_by_rounding;
}

// floor(span / interval), except that a quotient short of a whole number by
// rounding only counts as that number: 0.3 / 0.1 is 2.9999999999999996, but
// a span of 0.3 holds three intervals of 0.1 (and the span above ends on the
// third grid time, 0.30000000000000004).
double whole_snapshot_intervals(double span, double interval) {
    const double q = span / interval;
    const double whole = std::nearbyint(q);
    const double tolerance = same_time_tolerance(whole);
    if (whole > q && whole - q <= tolerance && tolerance < 0.5) return whole;
    return std::floor(q);
}

// A span that starts short of a grid time by rounding only (0.7 against the
// grid time 0.7000000000000001 of interval 0.1, or a start time summed up
// from intervals) starts on that grid time, rather than giving it a snapshot
// of its own after an interval of 1e-16.
double snapshot_start_time(double t, double interval) {
    const double g = next_snapshot_time(t, interval);
    const double tolerance = same_time_tolerance(g);
    if (g > t && g - t <= tolerance && tolerance < 0.5 * interval) return g;
    return t;
}

}  // namespace plenta

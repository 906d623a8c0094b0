// Snapshot boundaries: an interval run advances to the next multiple of the
// snapshot interval, and the front ends take a snapshot on every multiple.
#include <cmath>

#include "engine.h"

namespace plenta {

// d = interval - fmod(t, interval): a whole interval when t is on a boundary.
double next_snapshot_time(double t, double interval) {
    return t + (interval - std::fmod(t, interval));
}

bool is_snapshot_time(double t, double interval) { return std::fmod(t, interval) == 0.0; }

}  // namespace plenta

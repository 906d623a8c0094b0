// engine.h - the simulation engine: one exact step (propensity updates and
// the next event), the interval run of the exact methods, tau selection and
// the tau-leaping interval run.
//
// The engine works in place on the front end's records and allocates nothing
// that outlives a call.  Times are absolute, in the model's time unit.
#ifndef PLENTA_ENGINE_ENGINE_H
#define PLENTA_ENGINE_ENGINE_H

#include <vector>

#include "model/model.h"

namespace plenta {

// ---- Constants of the exact step ----

constexpr double kMinPropensity = 1e-30;                    // below it: no tentative time
constexpr double kNeverTime = 1.7976931348623157e308;       // largest double: will not fire

// ---- Event log ----

// Caller-owned buffer of eventlog_arraysize events: firing times, and the
// reaction numbers (position + 1) stored as doubles.  The console program
// owns two vectors; the MATLAB gateway hands over its two output matrices.
//
// The buffer is never written past its capacity.  Exact steps return early
// when a firing fills it, and the front end empties it before the next call.
// A tau leap appends a batch of n identical entries (the leap's end time and
// the reaction number), which may not fit in what is left; when the buffer
// fills in the middle of a batch the engine calls `drain`, which must write
// the buffer out and set the event count to 0, and then goes on appending.
// Without a drain the rest of that batch is not logged (the MATLAB gateway,
// whose log is its fixed-size output, stops logging and says so).
struct EventLog {
    double* times = nullptr;
    double* rxns = nullptr;
    void (*drain)(void* context, int& event_count) = nullptr;
    void* drain_context = nullptr;
};

// ---- Snapshot boundaries ----

// Snapshot times are the grid k * interval (k whole, the double product).
// Where the interval and the times are binary fractions the grid agrees with
// stepping t + (interval - fmod(t, interval)); for other intervals (0.1,
// 0.3, 1/3) only the grid keeps every boundary later than the last and
// recognisable as a snapshot time.

// The first grid time later than t, for interval runs that start at t; t
// itself when no later grid time can be told apart from t (t + interval == t).
double next_snapshot_time(double t, double interval);

// Whether t lies on a snapshot boundary (a snapshot is taken there).
bool is_snapshot_time(double t, double interval);

// Whether a run that started at `start` and has reached t goes on toward
// `end`: end > t, except that a grid time past start that is short of end by
// rounding only (a few ulps) ends the span there.
bool span_continues(double t, double start, double end, double interval);

// floor(span / interval), a quotient short of a whole number by rounding only
// counting as that number (0.3 / 0.1 gives 3).
double whole_snapshot_intervals(double span, double interval);

// t, or the grid time right above it when t is short of it by rounding only.
double snapshot_start_time(double t, double interval);

// ---- One exact step ----

// Every reaction's propensity at time t; under first-reaction selection also
// every tentative time (one uniform per reaction with ai >= 1e-30).
void update_rxn_prob_all(std::vector<Reaction>& reactions, const std::vector<Compound>& species,
                         const SimParams& params, const ModelSizes& model, double t);

// After reaction `fired` fired at time t: refresh its dependents' propensities
// (and tentative times); under the direct method re-sum a0 in index order.
void update_rxn_prob_vesk(double& a0, std::vector<Reaction>& reactions, int fired,
                          const std::vector<Compound>& species, double t,
                          const SimParams& params, const ModelSizes& model);

// The next event: by the direct method (algorithm 2, two uniforms) or by the
// earliest tentative time (any other algorithm, no uniforms).
void find_next_reaction_vesk(double& next_time, int& next_rxn, double& a0,
                             const std::vector<Reaction>& reactions, int algorithm,
                             int recompute, const ModelSizes& model, double t);

// ---- Interval runs ----

// Advance one trajectory by exact simulation to the next snapshot boundary,
// or, with the event log on, until the log fills (then t is the last firing).
void vesk(std::vector<Reaction>& reactions, const ModelSizes& model,
          std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
          EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t);

// The same interval run by tau-leaping with critical reactions.
void vesk_tau(std::vector<Reaction>& reactions, const ModelSizes& model,
              std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
              EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t);

// Leap length for the current state and error bound tau_error (pure).
double find_tau(const ModelSizes& model, const std::vector<Reaction>& reactions,
                const std::vector<Compound>& species, const StoichMatrix& matrix,
                double tau_error);

}  // namespace plenta

#endif  // PLENTA_ENGINE_ENGINE_H

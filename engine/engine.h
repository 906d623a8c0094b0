// engine.h - the simulation engine: one exact step (propensity updates and
// the next event), the interval run of the exact methods, tau selection and
// the tau-leaping interval run.
//
// The engine works in place on the front end's records and allocates nothing
// that outlives a call.  Times are absolute, in the model's time unit.
#ifndef PLENTA_ENGINE_ENGINE_H
#define PLENTA_ENGINE_ENGINE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"

class RanfAhead;  // random/ranf_ahead.h

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

// Where an interval call from t ends: the next snapshot boundary, or the
// time of an event due before it (params.stop_time), where the call stops
// with its pending firing kept.
inline double interval_end(double t, const SimParams& params) {
    return std::min(next_snapshot_time(t, params.snapshot_interval), params.stop_time);
}

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

// ---- Faults met in a step ----

// Whether a fault was raised, so that the run must stop; a propensity
// evaluated through a const view records its fault without the time, which
// is then the time given here (the time of the state it was computed for).
inline bool run_fault_raised(const SimParams& params, double t) {
    if (!params.fault.raised()) return false;
    if (std::isnan(params.fault.time)) params.fault.time = t;
    return true;
}

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

// ==== Composition-rejection method (opt-in exact method for large networks) ====
//
// Exact simulation whose cost per event does not grow with the number of
// reactions (Slepoy, Thompson and Plimpton 2008): propensities are kept in
// groups by their binary exponent (a in [2^(e-1), 2^e)), a group is chosen
// with probability proportional to its sum, and a member of it by rejection
// against the group's bound 2^e (acceptance at least 1/2).  It samples the
// same process as the direct method with another use of the random numbers;
// the defined methods stay the default.

// ---- Constants ----

constexpr int kCrMinExponent = -1073;  // frexp exponent of the smallest subnormal
constexpr int kCrMaxExponent = 1024;   // frexp exponent of the largest double
constexpr int kCrNumGroups = kCrMaxExponent - kCrMinExponent + 1;
constexpr long long kCrResumInterval = 100000;  // firings between fresh group sums
constexpr double kCrResumFall = 1e-6;  // total below this share of its last fresh value: resum
constexpr int kCrPrefetchFrom = 8192;  // reactions from which the lines outgrow the core's cache

// ---- Storage ----

// The allocator of the method's per-reaction arrays.  With 10^5 reactions
// the reaction lines span thousands of 4 KiB pages and every event touches
// a random one, so a TLB miss and its page walk come on top of the cache
// miss.  An array of 2 MiB or more is therefore aligned to 2 MiB and, on
// Linux, offered to the kernel for transparent huge pages (it may decline;
// nothing else changes).  Smaller arrays get the ordinary allocation.
void* cr_allocate(std::size_t bytes, std::size_t align);
void cr_deallocate(void* p, std::size_t bytes, std::size_t align);

template <class T>
struct CrAllocator {
    using value_type = T;
    CrAllocator() = default;
    template <class U>
    CrAllocator(const CrAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(cr_allocate(n * sizeof(T), alignof(T))); }
    void deallocate(T* p, std::size_t n) { cr_deallocate(p, n * sizeof(T), alignof(T)); }
    template <class U>
    bool operator==(const CrAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const CrAllocator<U>&) const { return false; }
};

// ---- State of one run ----

struct CrGroup {
    double sum = 0.0;          // the members' propensities, kept by differences
    double unscale = 0.0;      // 2^-e, exact, or 0 where it is not a finite double
    std::vector<int> members;  // reactions, in no particular order
};

// How a reaction's propensity is evaluated inside the method: the
// mass-action types from a copy of their inputs (the same formulas, the same
// arithmetic), every other type through the reaction record.
enum CrKind : std::int8_t { kCrFirstOrder, kCrDimerisation, kCrBimolecular, kCrGeneral };

// Everything the method reads of a reaction on its hot path, in one cache
// line: its propensity as grouped, its position in its group, the rate
// constant and substrates of a mass-action type, and what its firing does
// (see CrFiring), here in the line when it fits and in CrState::blocks when
// not.  In a network of 10^5 reactions the method's working set must stay
// in cache, and a firing should touch one line for the reaction it fires;
// the reaction records (hundreds of bytes each, their arrays on the heap)
// would not do.  The group is not stored: it is the exponent of a.
constexpr int kCrInlineInts = 8;
constexpr std::uint8_t kCrInBlocks = 255;  // num_changes of a firing kept in CrState::blocks

struct alignas(64) CrReaction {
    double a = 0.0;
    double k0 = 0.0;
    int s0 = 0;
    int s1 = 0;
    int pos = -1;
    CrKind kind = kCrGeneral;
    std::uint8_t fired = 0;        // fired in the current call (own counts only)
    std::uint8_t num_changes = 0;  // row entries in `firing`, or kCrInBlocks
    std::uint8_t num_deps = 0;
    // (species, change) pairs then dependents; or, for kCrInBlocks, the
    // offset of the firing's block in CrState::blocks.
    int firing[kCrInlineInts] = {};
};

static_assert(sizeof(CrReaction) == 64, "a reaction of the method is one cache line");

// The group of a propensity, the binary exponent e of a = m 2^e with m in
// [0.5, 1), offset to start at 0; -1 for one that cannot fire.  A
// propensity of 0, a negative one (from negative counts, which the engine
// does not prevent) and a NaN or infinity (from a zero volume or a
// degenerate formula) take no part in the selection.
//
// A normal double's exponent is read off its bits, a = 1.f 2^(E - 1023) =
// 0.1f 2^(E - 1022) for the biased exponent field E: the group is evaluated
// twice for every propensity update, where a library call would show.
inline int cr_group_of(double a) {
    if (!(a > 0.0 && a <= kNeverTime)) return -1;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    const int biased = static_cast<int>(bits >> 52);  // the sign bit is 0
    int e = biased - 1022;
    if (biased == 0) std::frexp(a, &e);  // subnormal
    return e - kCrMinExponent;
}

// What one firing of a reaction does: the non-zero net change of each
// species in its stoichiometry row, then the reactions whose propensities
// follow.  A block in CrState::blocks holds the number of row entries n, the
// number of dependents, then n (species, change) pairs, then the dependents.
struct CrFiring {
    const int* changes;  // (species, change) pairs
    int num_changes;
    const int* deps;
    int num_deps;
};

// Owned by the caller for a whole run and reused across interval calls (and
// runs: rebuilding keeps the storage).  Built by cr_build from the reactions'
// current ai and the current counts.
//
// When every reaction is of a mass-action type the method works on its own
// copy of the counts and of the propensities.  It writes back the counts the
// call changed when the call ends; the reactions' ai it leaves as they were
// until cr_sync_propensities (writing them after every call would pull the
// large reaction records through the cache, and only a caller that hands
// the propensities out needs them).  The caller rebuilds the state after
// changing counts, rate constants or the network between calls.
struct CrState {
    std::vector<CrGroup> groups;  // kCrNumGroups, indexed by exponent - kCrMinExponent
    std::vector<int> active;      // non-empty groups, highest exponent first
    std::vector<CrReaction, CrAllocator<CrReaction>> rxns;
    std::vector<int> blocks;      // the firings too large for their reaction's line
    bool own_counts = false;      // every reaction mass-action: counts below, not the records
    bool prefetch = false;        // large enough for cr_prefetch_next to pay
    std::vector<int> counts;      // the species counts (own_counts only)
    std::vector<int> fired;       // reactions fired in this call, for the write-back
    long long firings_since_resum = 0;
    double total_at_resum = 0.0;
    long long resums = 0;          // fresh summations so far (the build's included)
    long long firings_checked = 0; // firings since the last consistency check (debug builds)
};

inline CrFiring cr_firing(const CrState& st, int rxn) {
    const CrReaction& r = st.rxns[static_cast<std::size_t>(rxn)];
    if (r.num_changes != kCrInBlocks)
        return CrFiring{r.firing, r.num_changes, r.firing + 2 * r.num_changes, r.num_deps};
    const int* b = st.blocks.data() + r.firing[0];
    return CrFiring{b + 2, b[0], b + 2 + 2 * b[0], b[1]};
}

// ---- Create ----

// The firing blocks (the non-zero net changes of every reaction, by the
// rules of create_stoich_matrix, and its dependents), the mass-action
// inputs, the counts, and the groups from every reaction's current ai.
// Recomputes no propensity and draws nothing.
void cr_build(CrState& state, const std::vector<Reaction>& reactions, const ModelSizes& model,
              const std::vector<Compound>& species);

// Propensity of a mass-action reaction from counts, by the formulas the
// records use; kCrGeneral is not handled here.
inline double cr_mass_action_propensity(const CrReaction& r, const int* counts, double volume) {
    const double x0 = static_cast<double>(counts[r.s0]);
    if (r.kind == kCrFirstOrder) return first_order_propensity(r.k0, x0);
    if (r.kind == kCrDimerisation) return dimerisation_propensity(r.k0, volume, x0);
    return bimolecular_propensity(r.k0, volume, x0, static_cast<double>(counts[r.s1]));
}

// ---- Maintain ----

// Moves reaction rxn to the group of its new propensity a.
void cr_set_propensity(CrState& state, int rxn, double a);

// Every group sum summed afresh from its members.
void cr_resum(CrState& state);

// Every reaction record's ai set to the method's propensity.
void cr_sync_propensities(const CrState& state, std::vector<Reaction>& reactions);

// The total propensity: the group sums, highest exponent first.
double cr_total(const CrState& state);

// ---- Run ----

// The next event from time t: waiting time (1 / a0) ln(1 / u1), group by
// u2 a0 over the running group sums, then, in a group of more than one
// member, candidates by pairs (u3: position, u4: acceptance) until one is
// accepted.  With nothing able to
// fire: no draw, next time +infinity, next reaction 0.
void find_next_reaction_cr(double& next_time, int& next_rxn, double& a0, CrState& state,
                           double t);

// The same, drawing through a look-ahead window of the generator (the same
// values in the same order), which lets the interval run prefetch.
void find_next_reaction_cr(double& next_time, int& next_rxn, double& a0, CrState& state,
                           double t, RanfAhead& draws);

// Prefetches what the next event's draws would pick over the current groups
// (the candidates' lines and fire counts, and the member entry of the event
// after); draws and changes nothing.  Pays only in networks whose lines
// outgrow the core's cache (CrState::prefetch).
void cr_prefetch_next(const CrState& state, const RanfAhead& draws, double a0,
                      const int* fire_count);

// The interval run of vesk by composition-rejection: same boundary, early
// return on a full event log, fire_count, log and kept state.  The species
// counts are current when it returns; the reactions' ai after
// cr_sync_propensities.
void vesk_cr(CrState& state, std::vector<Reaction>& reactions, const ModelSizes& model,
             std::vector<Compound>& species, SimParams& params, EventLog evlog,
             int& event_count, std::vector<int>& fire_count, double& t);

// ==== Exact methods chosen by name ====
//
// The opt-in exact methods sit behind one interface, so that a front end
// starts a run, advances it one snapshot interval at a time and hands back
// the state without knowing which method runs.  A method object owns its
// state for a whole run and is reused by the next run (start_run rebuilds
// it).  Its random numbers come from the current generator stream, so
// per-run streams work as for the defined methods.
class RunMethod {
public:
    virtual ~RunMethod() = default;
    virtual const char* name() const = 0;
    // Whether the method reads the reactions' dependents lists (the front
    // end builds them with calc_dependency_by_species); no opt-in method
    // needs the dense stoichiometry matrix.
    virtual bool needs_dependents() const = 0;
    // A run from time t: the counts and every reaction's ai are current
    // (update_rxn_prob_all at t).  Builds the state and draws the first
    // event into params' kept state.
    virtual void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                           std::vector<Compound>& species, SimParams& params, double t) = 0;
    // The interval run of vesk: to the next snapshot boundary, or until the
    // event log fills (then t is the last firing).  The counts are current
    // when it returns.
    virtual void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                         std::vector<Compound>& species, SimParams& params, EventLog evlog,
                         int& event_count, std::vector<int>& fire_count, double& t) = 0;
    // Every reaction record's ai set to its current propensity.
    virtual void sync_propensities(std::vector<Reaction>& reactions,
                                   const std::vector<Compound>& species, const SimParams& params,
                                   const ModelSizes& model) = 0;
};

// The method of a name ("cr" composition-rejection, "rssa" rejection-based
// with composition-rejection over propensity bounds); null for any other.
std::unique_ptr<RunMethod> make_run_method(const std::string& name);

// The names make_run_method knows, in the order help texts list them.
const std::vector<std::string>& run_method_names();

}  // namespace plenta

#endif  // PLENTA_ENGINE_ENGINE_H

// hot_path.h - what the engine's interval runs keep of a model for the
// length of one call, in compact arrays: the non-zero entries of every
// stoichiometry row, each reaction's propensity inputs in a small record,
// the propensities and tentative times contiguous; and the checks that stop
// a run at a fault of the model.  Private to the engine.
//
// The records are built from the front end's records when a call starts and
// the results written back when it ends, so front ends may change counts,
// rate constants and propensities between calls as before.
#ifndef PLENTA_ENGINE_HOT_PATH_H
#define PLENTA_ENGINE_HOT_PATH_H

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine.h"

namespace plenta {

// ---- Faults ----

// A propensity the exact waiting time and the selection can use: finite and
// >= 0 (NaN fails both comparisons).
inline bool is_bad_propensity(double a) { return !(a >= 0.0 && a <= DBL_MAX); }

// Records the fault unless one was recorded before (the first one wins).
void raise_fault(SimParams& params, RunFault::Kind kind, int rxn, int species, double t,
                 double value);

// Raises kBadPropensity for the first bad value among a[0..n) (as reaction
// positions); false when there is one.
bool check_propensities(SimParams& params, const double* a, int n, double t);

// check_propensities over the reactions' ai.
bool check_reaction_propensities(const std::vector<Reaction>& reactions, SimParams& params,
                                 double t);

// ---- Sparse stoichiometry ----

// The non-zero entries of every reaction's row, in species order: reaction j
// changes species[k] by change[k] for k in [start[j], start[j + 1]).  Adding
// only these gives the counts that adding the whole row gives.
struct SparseRows {
    std::vector<int> start;
    std::vector<int> species;
    std::vector<int> change;
    void build(const StoichMatrix& matrix, int num_rxns, int num_cmpds);
};

// The same entries by species (the matrix's columns), in reaction order:
// species i is changed by reaction rxn[k] by change[k] for k in
// [start[i], start[i + 1]).
struct SparseColumns {
    std::vector<int> start;
    std::vector<int> rxn;
    std::vector<int> change;
    void build(const SparseRows& rows, int num_cmpds);
};

// find_tau over the matrix's columns (order: the order row).
double find_tau_sparse(const SparseColumns& columns, const std::int32_t* order, int num_cmpds,
                       const std::vector<Reaction>& reactions,
                       const std::vector<Compound>& species, double tau_error);

// Adds n firings of a row to the counts, each sum formed in 64 bits and
// checked against the 32-bit range before it is stored (mirror: the species
// records get the new counts too).  On a count that would leave the range the
// fault is raised and false returned; the entries before it are applied.
inline bool apply_firings(const SparseRows& rows, int rxn, long long n, int* counts,
                          Compound* mirror, SimParams& params, double t) {
    const int end = rows.start[static_cast<std::size_t>(rxn) + 1];
    for (int k = rows.start[static_cast<std::size_t>(rxn)]; k < end; ++k) {
        const int s = rows.species[static_cast<std::size_t>(k)];
        const long long v = static_cast<long long>(counts[s]) + n * rows.change[static_cast<std::size_t>(k)];
        if (v < 0 || v > INT_MAX) {
            raise_fault(params, v < 0 ? RunFault::kNegativeCount : RunFault::kCountOverflow, rxn, s,
                        t, static_cast<double>(v));
            return false;
        }
        counts[s] = static_cast<int>(v);
        if (mirror != nullptr) mirror[s].count = static_cast<int>(v);
    }
    return true;
}

// The same with only the 32-bit range checked: inside a tau leap a batch may
// take a count below 0 for a while (a later batch of the leap brings it
// back); the leap's end is checked as a whole (leap_ends_sound).
inline bool apply_batch(const SparseRows& rows, int rxn, long long n, int* counts,
                        Compound* mirror, SimParams& params, double t) {
    const int end = rows.start[static_cast<std::size_t>(rxn) + 1];
    for (int k = rows.start[static_cast<std::size_t>(rxn)]; k < end; ++k) {
        const int s = rows.species[static_cast<std::size_t>(k)];
        const long long v = static_cast<long long>(counts[s]) + n * rows.change[static_cast<std::size_t>(k)];
        if (v < INT_MIN || v > INT_MAX) {
            raise_fault(params, v < 0 ? RunFault::kNegativeCount : RunFault::kCountOverflow, rxn, s,
                        t, static_cast<double>(v));
            return false;
        }
        counts[s] = static_cast<int>(v);
        mirror[s].count = static_cast<int>(v);
    }
    return true;
}

// Adds n to a reaction's firing total, checked as above.
inline bool count_firings(int* fire_count, int rxn, long long n, SimParams& params, double t) {
    const long long v = static_cast<long long>(fire_count[rxn]) + n;
    if (v > INT_MAX) {
        raise_fault(params, RunFault::kFiringOverflow, rxn, -1, t, static_cast<double>(v));
        return false;
    }
    fire_count[rxn] = static_cast<int>(v);
    return true;
}

// ---- Propensity records ----

// The mass-action types are evaluated from the record (the formulas of
// model.h, the same arithmetic); every other type through calc_rxn_prob_vesk
// and the reaction record, so that a new type needs nothing here.
enum class HotKind : std::int8_t { kFirstOrder, kDimerisation, kBimolecular, kGeneral };

// c is the formula's leading factor: k0 for first order, else the rate
// constant over the volume, k0 / V, which the formulas form first (so the
// division is done once per call instead of once per evaluation).
struct HotReaction {
    double c = 0.0;
    int s0 = 0;
    int s1 = 0;
    HotKind kind = HotKind::kGeneral;
};

HotReaction hot_reaction(const Reaction& reaction, double volume);

// Propensity of a reaction of a mass-action kind (not kGeneral):
// first_order_propensity, dimerisation_propensity, bimolecular_propensity.
inline double mass_action_propensity(const HotReaction& r, const int* counts) {
    const double x0 = static_cast<double>(counts[r.s0]);
    if (r.kind == HotKind::kFirstOrder) return r.c * x0;
    if (r.kind == HotKind::kDimerisation) return (r.c * x0) * (x0 - 1.0) / 2.0;
    return (r.c * x0) * static_cast<double>(counts[r.s1]);
}

// The same three formulas as one sequence of operations, for a loop over
// many reactions without a branch on the kind: a = ((c x0) y) h with
// y = x[s1] - off.  First order: y = 1 (s1 a count that stays 0, off = -1)
// and h = 1, giving c x0; dimerisation: s1 = s0, off = 1, h = 1/2, giving
// (c x0) (x0 - 1) / 2 (halving by a multiplication is exact, as dividing by
// 2 is); bimolecular: off = 0, h = 1, giving (c x0) x1.  A factor of 1 is
// exact, so the value is mass_action_propensity's bit for bit.
struct SmallReaction {
    double c;
    double off;
    double half;
    int s0;
    int s1;
};

inline double small_propensity(const SmallReaction& r, const int* counts) {
    const double x0 = static_cast<double>(counts[r.s0]);
    const double y = static_cast<double>(counts[r.s1]) - r.off;
    return ((r.c * x0) * y) * r.half;
}

// Propensity of reaction j: counts are the call's own, and the species
// records hold the same counts whenever a reaction of kGeneral exists.
inline double hot_propensity(const HotReaction& r, const int* counts,
                             const std::vector<Reaction>& reactions,
                             const std::vector<Compound>& species, const SimParams& params,
                             const ModelSizes& model, int j) {
    if (r.kind != HotKind::kGeneral) return mass_action_propensity(r, counts);
    return calc_rxn_prob_vesk(reactions[static_cast<std::size_t>(j)], species, params, model, j);
}

// ---- The steps of the exact methods, shared by the public one-step
// functions and the interval runs ----

// Direct method, waiting time: t + (1 / a0) ln(1 / u1).
inline double direct_next_time(double t, double a0, double u1) {
    return t + (1.0 / a0) * std::log(1.0 / u1);
}

// Direct method, selection: the first reaction whose running propensity sum
// exceeds r.  ranf() can return exactly 1.0, making r equal to the whole
// sum; then no sum exceeds it and the reaction picked is the last one that
// can fire at all, never one with propensity 0 (reaction 0 only when none
// can fire).  ai(i) gives reaction i's propensity.
template <class Propensity>
inline int select_reaction(Propensity ai, int num_rxns, double r) {
    double sum = 0.0;
    for (int i = 0; i < num_rxns; i++) {
        sum = sum + ai(i);
        if (sum > r) return i;
    }
    for (int i = num_rxns - 1; i >= 0; i--)
        if (ai(i) > 0.0) return i;
    return 0;
}

// select_reaction over the running sums prefix[i] = a[0] + ... + a[i],
// formed left to right from 0 as select_reaction forms them.  With every
// a[i] >= 0 they never decrease, so the first one beyond r is found by
// bisection.
inline int select_by_running_sums(const double* prefix, const double* a, int num_rxns,
                                  double r) {
    const double* first = std::upper_bound(prefix, prefix + num_rxns, r);
    if (first != prefix + num_rxns) return static_cast<int>(first - prefix);
    for (int i = num_rxns - 1; i >= 0; i--)
        if (a[i] > 0.0) return i;
    return 0;
}

// An exponential waiting time from t with mean inv_a (one over the rate)
// from the uniform u, as an absolute time: t + inv_a ln(1 / u); the second
// form takes 1 / u formed beforehand.
inline double time_from_recip(double t, double inv_a, double recip_u) {
    return t + inv_a * std::log(recip_u);
}

inline double exponential_time(double t, double inv_a, double u) {
    return time_from_recip(t, inv_a, 1.0 / u);
}

// First-reaction selection: an exponential waiting time with rate ai from
// one uniform, as an absolute time; a propensity below 1e-30 is "never" and
// draws nothing.  draw() gives the uniform.
template <class Draw>
inline double tentative_time(double ai, double t, Draw draw) {
    if (ai < kMinPropensity) return kNeverTime;
    const double u = static_cast<double>(draw());
    return exponential_time(t, 1.0 / ai, u);
}

// ---- A lower bound of the logarithm ----
//
// First-reaction selection only needs the earliest of the tentative times
// exactly; the others need only be known to be later.  A cheap lower bound
// of ln(1 / u) gives a lower bound of a time: with inv_a > 0, t + inv_a L is
// formed by a multiplication and an addition, each rounded to nearest, and
// rounding is monotone, so L' <= L gives t + inv_a L' <= t + inv_a L.
//
// A normal float u = 2^e m (m in [1, 2)) has the bit pattern
// b = (e + 127) 2^23 + (m - 1) 2^23, so e + m - 1 = b 2^-23 - 127.  log2 m
// is concave; its tangent of slope 1 (at m = 1 / ln 2) lies above it:
// log2 m <= m - 1 + kLog2Gap with kLog2Gap = 1 - log2(ln 2) - 1 / ln 2
// (0.08607...).  So log2 u <= b 2^-23 - 127 + kLog2Gap, and
// ln(1 / u) >= ln 2 (127 - kLog2Gap - b 2^-23): an integer conversion, a
// multiplication and a subtraction, loose by at most kLog2Gap ln 2 < 0.06.
// A bound that loose costs an exact time now and then for a reaction that
// turns out not to be the earliest; the logarithms it saves cost more.  The
// roundings of the two operations (below 1e-14 for b < 2^30) and those of
// the logarithm it bounds (of 1 / u rounded, with the math library's own
// error of an ulp or so, below 1e-14 too) are covered by kLogSlack.
constexpr double kLog2Gap = 0.0861;  // rounded up
constexpr double kLogSlack = 1e-9;
constexpr double kLn2 = 0.69314718055994530942;

// A value <= std::log(1.0 / u) for every float u in (0, 1], within 0.06 of
// it for the normal ones; 0 (ln(1 / u) >= 0) for any other u.
inline double log_recip_lower(float u) {
    std::uint32_t bits;
    std::memcpy(&bits, &u, sizeof bits);
    // Normal and at most 1 (0x3f800000): one unsigned comparison.
    if (bits - 0x00800000u > 0x3f800000u - 0x00800000u) return 0.0;
    return (kLn2 * (127.0 - kLog2Gap) - kLogSlack) - (kLn2 / 8388608.0) * static_cast<double>(bits);
}

// A tentative time whose logarithm is put off: exponential_time(from,
// inv_a, u) (the very bits tentative_time gives), 1 / u formed when it is
// drawn so that only the logarithm is left when the time is needed.
struct PendingTime {
    double from;
    double inv_a;
    double recip_u;
    static PendingTime of(double from, double inv_a, float u) {
        return PendingTime{from, inv_a, 1.0 / static_cast<double>(u)};
    }
    double exact() const { return time_from_recip(from, inv_a, recip_u); }
};

// A time below or at exponential_time(from, inv_a, u), for inv_a > 0.
inline double lower_time(double from, double inv_a, float u) {
    return from + inv_a * log_recip_lower(u);
}

// First-reaction selection: the earliest tentative time, ties to the lower
// index; kNeverTime and reaction 0 when none is earlier.
template <class Time>
inline int earliest_reaction(Time time, int num_rxns, double& best) {
    best = kNeverTime;
    int index = 0;
    for (int i = 0; i < num_rxns; i++) {
        const double ti = time(i);
        if (ti < best) {
            best = ti;
            index = i;
        }
    }
    return index;
}

}  // namespace plenta

#endif  // PLENTA_ENGINE_HOT_PATH_H

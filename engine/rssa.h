// rssa.h - the rejection-based method (RSSA with composition-rejection,
// Thanh, Priami and Zunino 2014; Thanh, Zunino and Priami 2017): an exact
// method whose set-up and memory follow the species, the reactions and
// their reactant and product entries, and whose cost per firing does not
// follow how many reactions read the species a firing changes.
//
// Every species keeps a fluctuation interval [lo, hi] around its count, and
// every reaction an upper and a lower bound of its propensity over the box
// of its reactants' intervals (mass-action propensities grow with every
// count, so they are the propensity at hi and at lo).  Candidates are drawn
// in proportion to the upper bounds, by composition-rejection over groups of
// upper bounds of one binary exponent, at the times of a Poisson process of
// rate U = sum of the upper bounds; a candidate fires with probability
// a / aU, decided against the lower bound first and by computing a only
// when that does not settle it.  A rejected candidate is a thinning of the
// process: time goes on, nothing changes.  After a firing only the species
// whose count left its interval get a new interval, and only the reactions
// that read those species new bounds, through an index from each species to
// its readers; there are no reaction-to-reaction dependency lists.
//
// Reactions of the other types (Michaelis-Menten shapes, "n-order" with
// any exponent, "undef") have bounds equal to their propensity, recomputed
// whenever one of their substrates changes: exact for any formula.
#ifndef PLENTA_ENGINE_RSSA_H
#define PLENTA_ENGINE_RSSA_H

#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace plenta {

// How a reaction's propensity is computed inside the method.
enum RssaKind : std::int8_t {
    kRssaNone,         // propensity 0 whatever the counts (no rate, or no row rule and no formula)
    kRssaFirstOrder,   // k x0
    kRssaBimolecular,  // ((k / V) x0) x1
    kRssaPairs,        // ((k / V) x0) (x0 - 1) / 2
    kRssaFactorial,    // "mass-action": k' prod x_j (x_j - 1) ... (x_j - n_j + 1)
    kRssaRecord,       // any other type: through the reaction record, exact bounds
};

// Everything a trial and a firing read of a reaction, in one cache line: in
// a network of 10^5 reactions every firing touches a random one.  A firing
// of up to three changes of at most 127 molecules is kept in the line.
constexpr int kRssaInlineChanges = 3;
constexpr std::uint8_t kRssaChangesOutside = 255;  // num_changes: in RssaState::changes

struct alignas(64) RssaReaction {
    double upper = 0.0;  // aU, the member value of the groups
    double lower = 0.0;  // aL
    double k = 0.0;      // the constant as the kind's formula takes it
    int s0 = 0;          // first reactant; for the factorial kind, its first pair in RssaState::reads
    int s1 = 0;
    int pos = -1;        // position in its group, -1 when aU is not > 0
    int rxn = 0;         // the reaction's position in the model
    std::int16_t num_reads = 0;
    RssaKind kind = kRssaNone;
    std::uint8_t num_changes = 0;  // changes in the line, or kRssaChangesOutside
    // The changed species, or for kRssaChangesOutside in [0] the offset of
    // (count, then pairs) in RssaState::changes.
    int change_species[kRssaInlineChanges] = {};
    std::int8_t change_delta[kRssaInlineChanges] = {};
    // Firings since the fire counts were last written: counted here, in the
    // line the firing reads anyway, rather than in the model's array of
    // counts, which would be one more random line per firing.
    int fired = 0;
};

static_assert(sizeof(RssaReaction) == 64, "a reaction of the method is one cache line");

// A species' count and its fluctuation interval [count - down, count + up],
// in eight bytes: a firing reads and writes every species it changes, and in
// a network of 10^5 species a random one; at eight bytes the array is half
// of what it is with the interval's ends as counts, so that more of it stays
// in the core's cache.  A change d moves the count and both distances; the
// count left its interval when either distance falls below 0.  The sum of
// the distances stays as the interval was set, at most 2 kRssaMaxWidth.
struct RssaSpecies {
    int count = 0;
    std::uint16_t down = 0;  // count - the interval's low end
    std::uint16_t up = 0;    // the interval's high end - count
};

static_assert(sizeof(RssaSpecies) == 8, "a species of the method is eight bytes");

inline int rssa_low(const RssaSpecies& f) { return f.count - f.down; }
inline int rssa_high(const RssaSpecies& f) { return f.count + f.up; }

struct RssaGroup {
    double sum = 0.0;
    double unscale = 0.0;  // 2^-e, exact, or 0 where it is not a finite double
    std::vector<int> members;
};

struct RssaState {
    // Species: counts, intervals and the readers index (bounded readers,
    // whose bounds follow the interval, then record readers, recomputed on
    // every change of the count).
    std::vector<RssaSpecies> sp;
    std::vector<int> least;          // the least half-width, from the number of readers
    std::vector<int> reader_start;   // num_cmpds + 1 offsets into readers
    std::vector<int> record_start;   // first record reader within each species' slice
    std::vector<int> readers;
    // Reactions and their sparse rows, in the method's own order: sorted by
    // the reactant that the fewest reactions read, so that the readers of a
    // species of few readers (small complexes, whose counts leave their
    // intervals at nearly every change) lie side by side in memory.
    // Indices in groups, readers and this array are of that order;
    // RssaReaction::rxn gives the model's position.
    std::vector<RssaReaction> rxns;
    std::vector<int> changes;  // firings outside their line: count, then (species, change) pairs
    std::vector<int> reads;    // (species, multiplicity) pairs of the factorial kind
    // The reactions fired since the fire counts and the species records were
    // last written (each once): only their species' counts can differ from
    // the records'.
    std::vector<int> fired;
    // Composition-rejection over the upper bounds.
    std::vector<RssaGroup> groups;  // kCrNumGroups, by exponent as in composition-rejection
    std::vector<int> active;        // groups in use, highest exponent first
    double total = 0.0;             // U, kept by differences
    double total_at_resum = 0.0;    // U as last summed afresh
    long long updates_since_resum = 0;
    bool records = false;           // some reaction reads the records: keep them current
    double volume = 1.0;
    // Statistics of the current run.
    long long trials = 0;
    long long rebounds = 0;  // bounds recomputed after intervals moved
};

// The fluctuation interval of a count: x -/+ max(least, x / 16), at most
// kRssaMaxWidth, not below 0 nor above the largest int.  A count below 0
// (the engine does not prevent them) gets the interval [x, x].
constexpr int kRssaCountsPerWidth = 16;
constexpr int kRssaMaxWidth = 32767;
constexpr int kRssaReadersPerWidth = 256;

// The half-width of a species' interval: a share of its count, and at
// least `least`, which grows with the number of reactions that read the
// species.
int rssa_width(int x, int least);

// Species f gets the interval of its count.
void rssa_set_interval(RssaSpecies& f, int least);

// Builds everything from the records and the current counts: the kinds and
// rows of the reactions, the readers index, the intervals, the bounds and
// the groups.  Draws nothing.  Time and memory: species + reactions + their
// entries.
void rssa_build(RssaState& state, const std::vector<Reaction>& reactions, const ModelSizes& model,
                const std::vector<Compound>& species, const SimParams& params);

// The propensity of reaction j at the method's counts (the records' for kRssaRecord).
double rssa_propensity(const RssaState& state, int j, const std::vector<Reaction>& reactions,
                       const std::vector<Compound>& species, const SimParams& params,
                       const ModelSizes& model);

// The next candidate time from t: t + Exp(U), or +infinity when U = 0.
double rssa_next_time(RssaState& state, double t);

// The interval run of vesk by the rejection-based method: fire reactions in
// time order up to the next snapshot boundary, or until a firing fills the
// event log.  params.next_time holds the next candidate's time between
// calls.  The species records' counts are current when it returns; the
// reactions' ai after rssa_sync_propensities.
void vesk_rssa(RssaState& state, std::vector<Reaction>& reactions, const ModelSizes& model,
               std::vector<Compound>& species, SimParams& params, EventLog evlog,
               int& event_count, std::vector<int>& fire_count, double& t);

// Every reaction record's ai set to its propensity at the current counts.
void rssa_sync_propensities(const RssaState& state, std::vector<Reaction>& reactions,
                            const std::vector<Compound>& species, const SimParams& params,
                            const ModelSizes& model);

// Moves reaction j to the group of its new upper bound (the total follows).
void rssa_set_upper(RssaState& state, int j, double upper);

// New bounds of a reaction of a mass-action kind from the intervals.
void rssa_bound(RssaState& state, int j);

// Species s gets a new interval around its count, and every reaction of a
// mass-action kind that reads it new bounds.
void rssa_rebound(RssaState& state, int s);

// Every group sum and the total summed afresh from the members.
void rssa_resum(RssaState& state);

}  // namespace plenta

#endif  // PLENTA_ENGINE_RSSA_H

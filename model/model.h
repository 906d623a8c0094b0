// model.h - the reaction network model: records of species, reactions, sizes
// and parameters, the reaction-type table, the stoichiometry matrix, the
// reaction dependency graph and the propensity of every reaction type.
//
// Species and reactions are addressed by their zero-based position in the
// species array and the reaction array; every index stored in a record is
// such a position.  Every record is value-initialised: fields a front end
// does not fill read as 0, an empty text or an empty array.
#ifndef PLENTA_MODEL_MODEL_H
#define PLENTA_MODEL_MODEL_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace plenta {

// ---- Field widths (whole field including the terminating NUL) ----

constexpr int kNameLen = 84;      // species, type and constant names: 83 characters
constexpr int kFormulaLen = 132;  // "undef" formula text: 131 characters

// ---- Reaction types, in the order of the type table ----

enum RxnType : int {
    kBinding = 0,
    kUniqueBiBi = 1,
    kUnbinding = 2,
    kUniUni = 3,
    kUniMulti = 4,
    kHomoLtor = 5,
    kTransv1 = 6,
    kGenmm = 7,
    kNOrder = 8,
    kUndef = 9,
    kMassAction = 10,
    kFormula = 11,  // propensity given by a formula (model/rate_law.h)
};
constexpr int kNumRxnTypes = 12;

// The type names as a model gives them, indexed by type index.
extern const char* const kRxnTypeNames[kNumRxnTypes];

// Type index of a type name: whole-string, case-sensitive comparison with the
// table in order; a name matching none of them yields 0 ("binding").
int assign_rxn_index(const char* name);

// ---- Records ----

class RateLaw;  // model/rate_law.h

// The compiled law of a "formula" reaction, owned by its reaction; a copy of
// the reaction gets a law compiled afresh (the compiled form is bound to the
// addresses of its own slots).  Empty for every other type.
class RateLawRef {
public:
    RateLawRef();
    explicit RateLawRef(std::unique_ptr<RateLaw> law);
    RateLawRef(const RateLawRef& other);
    RateLawRef(RateLawRef&& other) noexcept;
    RateLawRef& operator=(const RateLawRef& other);
    RateLawRef& operator=(RateLawRef&& other) noexcept;
    ~RateLawRef();
    const RateLaw* get() const { return law_.get(); }
    const RateLaw* operator->() const { return law_.get(); }
    explicit operator bool() const { return law_ != nullptr; }

private:
    std::unique_ptr<RateLaw> law_;
};

// One species; also one species change of a parameter set.
struct Compound {
    char name[kNameLen] = {};
    int index = 0;  // in a species change: the species position whose count is replaced
    int count = 0;  // molecules; in a species change: the replacing initial count
};

// One rate constant of a reaction; also one rate change of a parameter set.
struct RateConstant {
    char name[kNameLen] = {};  // filled only for "undef" reactions read from a model file
    int index = 0;             // in a rate change: position within the reaction's rates
    double value = 0.0;
};

// One reaction.  The substrate and product counts live in ModelSizes
// (num_subs[i], num_prods[i]); the lists here have exactly that many entries,
// or are empty where the type or the input gives none.
struct Reaction {
    char rxntype[kNameLen] = {};
    int rxn_index = 0;  // type index, 0..9; everything type-dependent switches on it
    int id = 0;         // selects the built-in formula of an "undef" reaction
    std::vector<int> subs_index;     // species position of each substrate
    std::vector<int> subs_coef;      // stoichiometric coefficient (types 6..9, mass-action)
    std::vector<double> subs_order;  // exponent of each substrate ("n-order")
    std::vector<int> prods_index;    // species position of each product
    std::vector<int> prods_coef;     // stoichiometric coefficient (types 4, 6..9)
    char formula[kFormulaLen] = {};  // stored, never evaluated
    int num_rates = 0;
    std::vector<RateConstant> rates;  // num_rates entries
    double ai = 0.0;    // current propensity
    double time = 0.0;  // tentative next firing time (first-reaction selection)
    std::vector<int> dependents;  // reactions to refresh after this one fires, ascending
    RateLawRef law;  // "formula" reactions: the compiled law; rates hold its parameters
};

// The network's dimensions and per-reaction counts.
struct ModelSizes {
    int num_rxns = 0;
    int num_cmpds = 0;
    int num_monit = 0;
    int num_points = 0;          // snapshot columns of the MATLAB result matrices
    std::vector<int> num_deps;   // length of each reaction's dependents list
    std::vector<int> num_subs;   // substrates of each reaction
    std::vector<int> num_prods;  // products of each reaction
};

// Algorithm codes; any value other than these two means first-reaction selection.
constexpr int kDirectMethod = 2;
constexpr int kTauLeaping = 3;

// A fault of the model that a run meets while it advances: a propensity that
// is negative, NaN or infinite (no exponential waiting time exists for it),
// a count that would go below 0, or a count or firing total that would leave
// the 32 bits it is kept in.  The engine records the first one and returns at
// once; front ends check `raised` after every engine call and end the run
// with describe_run_fault's message (nothing already written is lost).
//
// Events (model/event.h) raise their own kinds: a species assigned a value
// that is not a count (NaN, infinite, negative, beyond 2^31 - 1), a
// parameter assigned a value that is not finite, a delay that is not a
// finite number >= 0, and more executions at one instant than
// kMaxExecutionsPerInstant; `event` names the event (position), `species`
// the species and `rxn` the parameter's scope position where they apply.
struct RunFault {
    enum Kind : int {
        kNone = 0, kBadPropensity, kNegativeCount, kCountOverflow, kFiringOverflow,
        kEventSpecies, kEventParameter, kEventDelay, kEventCascade
    };
    Kind kind = kNone;
    int event = -1;     // event position for the event kinds, else -1
    int rxn = -1;       // reaction position, or -1 when the fault is no one reaction's
    int species = -1;   // species position for the count faults, else -1
    double time = 0.0;  // model time at which it was met
    double value = 0.0; // the offending propensity, or the count or total it would take
    bool raised() const { return kind != kNone; }
};

// One sentence for a fault, naming the reaction (number = position + 1), the
// species (position), the time and the value, e.g. "reaction 3 at time 2.5:
// propensity -1 is not a finite number >= 0."  Front ends add the file or
// the call it belongs to.
std::string describe_run_fault(const RunFault& fault);

// Simulation parameters, followed by the state that the exact methods keep
// from one interval call to the next.
// Storage that the engine's interval runs reuse from one call to the next:
// their arrays are rebuilt on every call, only the allocations are kept (a
// run of many short snapshot intervals would otherwise allocate them anew
// each time).  A copy of the parameters starts without any, so that copies
// never share it.
class EngineScratch {
public:
    EngineScratch() = default;
    EngineScratch(const EngineScratch&) {}
    EngineScratch& operator=(const EngineScratch&) { return *this; }
    EngineScratch(EngineScratch&&) noexcept = default;
    EngineScratch& operator=(EngineScratch&&) noexcept = default;
    ~EngineScratch() = default;

    std::shared_ptr<void> exact;  // the exact methods' call state (engine/vesk.cpp)
};

struct SimParams {
    double time_start = 0.0;  // console program
    double time_end = 0.0;    // console program
    double volume = 0.0;
    int algorithm = 0;
    double tau_error = 0.0;   // read only when algorithm is 3
    int eventlog_arraysize = 0;
    std::uint32_t randseed = 0;
    double snapshot_interval = 0.0;
    int eventlog_flag = 0;          // 1 = record every firing
    std::vector<int> monit;         // monitored species positions, in output order
    int num_sets = 0;               // console program
    std::vector<int> num_repeats;   // runs of each parameter set (console program)
    double start_time = 0.0;        // MATLAB library
    double timestep = 0.0;          // MATLAB library
    // Kept state: the next event of the exact methods.
    double total_prob = 0.0;
    double next_time = 0.0;
    int next_rxn = 0;
    // Set by the events layer (engine/events.h) for the length of one
    // interval call, left as they are by front ends.  stop_time: the call
    // ends there at the latest (t = stop_time), a later firing kept pending.
    // event_check, when set: called with the firing's time after every
    // firing (after every tau leap), the counts in the species records
    // current; the call ends right after a firing for which it returns true
    // (t = that time), with the next firing already drawn and kept.
    double stop_time = std::numeric_limits<double>::infinity();
    bool (*event_check)(void* context, double t) = nullptr;
    void* event_check_context = nullptr;
    // The first fault a run met; a front end clears it when a run starts.
    // Mutable: a propensity that is computed through a const view of the
    // parameters (a formula's) records its fault where it is computed.
    mutable RunFault fault;
    // The engine's reused storage (see EngineScratch).
    EngineScratch scratch;
};

// The changes that one parameter set applies to the model as read.
struct ParamSet {
    int num_species = 0;
    std::vector<Compound> species;    // index = species position, count = its initial count
    int num_rates = 0;
    std::vector<int> rate_rxn;        // reaction position of each rate change
    std::vector<RateConstant> rates;  // index = position in that reaction's rates, value = new
};

// ---- Stoichiometry matrix ----

// num_rxns + 1 rows of num_cmpds net changes: row r is what one firing of
// reaction r adds to every species; row num_rxns is the order row (for every
// species, the largest number of distinct species consumed by any one
// reaction that consumes it).  Created zero-filled.
struct StoichMatrix {
    int num_rxns = 0;
    int num_cmpds = 0;
    std::vector<std::int32_t> entries;  // row-major

    StoichMatrix() = default;
    StoichMatrix(int rxns, int cmpds)
        : num_rxns(rxns),
          num_cmpds(cmpds),
          entries(static_cast<std::size_t>(rxns + 1) * static_cast<std::size_t>(cmpds), 0) {}

    std::int32_t* row(int r) {
        return entries.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(num_cmpds);
    }
    const std::int32_t* row(int r) const {
        return entries.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(num_cmpds);
    }
    const std::int32_t* order_row() const { return row(num_rxns); }
};

// Printed (standard output) for a type index that has no matrix row rule.
extern const char kMsgStoichTypeUndefined[];
// Printed (standard output) for a type index that has no propensity formula.
extern const char kMsgPropensityTypeUndefined[];

// ---- Network builders ----

// Fills the reaction rows and the order row of a zero-filled matrix.
void create_stoich_matrix(const ModelSizes& model, const std::vector<Reaction>& reactions,
                          StoichMatrix& matrix);

// Prints, in reaction order, the message create_stoich_matrix prints for each
// reaction whose type has no row rule, without building the matrix: for a
// front end whose method keeps its own sparse rows (num_rxns x num_cmpds
// entries would not fit in memory for the largest networks).
void report_types_without_row_rule(const ModelSizes& model,
                                   const std::vector<Reaction>& reactions);

// Builds num_deps and every reaction's sorted dependents list: j depends on i
// when a substrate of j (for a formula reaction: a species its law reads) is
// a substrate or a product of i.
void calc_dependency(ModelSizes& model, std::vector<Reaction>& reactions);

// 0 at the first of count values equal to key, 1 when none is.
int is_unique(int count, const int* values, int key);

// Ascending comparator over reaction indices: a - b.
int compare(int a, int b);

// The same num_deps and dependents lists as calc_dependency, by the same
// rule, built through an index from each species to the reactions that read
// it: the cost follows the number of dependency pairs, not num_rxns^2, so
// that networks of 10^5 reactions are built in well under a second.
void calc_dependency_by_species(ModelSizes& model, std::vector<Reaction>& reactions);

// ---- Checks of the values a run starts from ----

// The generator takes seeds in 1..m2 - 1, m2 = 2^31 - 249 its smaller modulus
// (both of its components are seeded with randseed).
constexpr long long kMinRandseed = 1;
constexpr long long kMaxRandseed = 2147483398;

// The first value a run cannot start from, as one sentence naming the species
// (position and name), the reaction (number = position + 1) and rate constant,
// or the field; "" when there is none.  Counts must be >= 0, rate constants
// finite and >= 0 ("undef" constants finite), the volume finite and > 0 and,
// for tau-leaping, tau_error finite and > 0.
std::string check_run_values(const ModelSizes& model, const std::vector<Compound>& species,
                             const std::vector<Reaction>& reactions, const SimParams& params);

// "" for a finite time, else a sentence naming the field.
std::string check_finite_time(const char* field, double value);

// "" for a seed the generator takes, else a sentence giving the range.
std::string check_randseed(long long randseed);

// ---- Propensities ----

// Propensity of reaction `rxn` (whose entry of num_subs is used) in the
// current state; pure apart from the message for an unknown type.
double calc_rxn_prob_vesk(const Reaction& reaction, const std::vector<Compound>& species,
                          const SimParams& params, const ModelSizes& model, int rxn);

// The mass-action types, evaluated after nearly every firing, are also
// available inline to the engine's step (same arithmetic, same order).  A
// bimolecular encounter rate ((k0 / V) x0) x1; first order k0 x0; distinct
// pairs of one species ((k0 / V) x0) (x0 - 1) / 2.
inline double bimolecular_propensity(double k0, double volume, double x0, double x1) {
    return ((k0 / volume) * x0) * x1;
}
inline double first_order_propensity(double k0, double x0) { return k0 * x0; }
inline double dimerisation_propensity(double k0, double volume, double x0) {
    return ((k0 / volume) * x0) * (x0 - 1.0) / 2.0;
}

// calc_rxn_prob_vesk with the mass-action types (0..5) evaluated inline;
// every other type goes through calc_rxn_prob_vesk.  Identical results.
inline double calc_rxn_prob_inline(const Reaction& reaction, const std::vector<Compound>& species,
                                   const SimParams& params, const ModelSizes& model, int rxn) {
    const int type = reaction.rxn_index;
    if (type == kUniUni || type == kUniMulti || type == kUnbinding)
        return first_order_propensity(reaction.rates[0].value,
                                      static_cast<double>(species[reaction.subs_index[0]].count));
    if (type == kHomoLtor)
        return dimerisation_propensity(reaction.rates[0].value, params.volume,
                                       static_cast<double>(species[reaction.subs_index[0]].count));
    if (type == kBinding || type == kUniqueBiBi)
        return bimolecular_propensity(reaction.rates[0].value, params.volume,
                                      static_cast<double>(species[reaction.subs_index[0]].count),
                                      static_cast<double>(species[reaction.subs_index[1]].count));
    return calc_rxn_prob_vesk(reaction, species, params, model, rxn);
}

// "mass-action" with reactant multiplicities n_j: the number of ways to pick
// the reactant molecules, c / V^(n - 1) * prod_j x_j (x_j - 1) ... (x_j - n_j + 1)
// with n = sum n_j the order (c V for a source of order 0).  A reactant
// with fewer than n_j molecules gives 0.
double mass_action_propensity(const Reaction& reaction, const std::vector<Compound>& species,
                              double volume, int num_subs);

// Built-in formula of an "undef" reaction, chosen by its id (0..37; others give 0).
double rxn_prob_undef(const Reaction& reaction, const std::vector<Compound>& species);

// Highest species position that the built-in formula of `id` reads, or -1
// when the id has no formula.
int rxn_prob_undef_max_species(int id);

}  // namespace plenta

#endif  // PLENTA_MODEL_MODEL_H

// Reference copy, kept by the differential test: the engine's vesk_tau as it was
// before the hot paths were rewritten (same draws, same arithmetic, written
// the plain way).  Not part of the product; see reference_engine.h.
// vesk_tau - the tau-leaping interval run with critical reactions.
//
// After Cao, Gillespie and Petzold, "Avoiding negative populations in
// explicit Poisson tau-leaping", J. Chem. Phys. 123, 054104 (2005).  Each
// pass of the loop either fires one reaction exactly (first-reaction
// selection over the reactions' tentative times) or leaps over tau: every
// non-critical reaction fires a Poisson number of times and at most one
// critical reaction - one that could exhaust a substrate within a few
// firings - fires once, at the end of the leap.  A leap that would carry
// fewer than 10 expected events is replaced by a stretch of 101 exact steps.
//
// The exact-step state lives in the reactions' own `time` fields; the kept
// state of SimParams (total_prob, next_time, next_rxn) belongs to the exact
// methods and is neither read nor written here.
//
// Event log.  The log holds eventlog_arraysize entries and is never written
// past that.  An exact step appends one entry and the call returns as soon as
// the log is full, like the exact interval run.  A leap appends a batch of n
// entries, all with the leap's end time, which may not fit in what is left:
// whenever the buffer is full and entries of the batch remain, the front
// end's drain hook is called (it writes the buffer out and sets the count to
// 0) and appending goes on, so no firing is left out.  Without a drain hook
// the rest of that batch is not logged and the count stays at capacity.
// After a batch of n (n = 1 for a critical firing) the call returns early
// when c + n >= eventlog_arraysize, with c counted after appending.
// A call that starts with logging on and the log already full but no drain
// hook (a fixed-size log that has filled) logs nothing and never returns
// early: it runs as if logging were off.
#include <cmath>
#include <cstdint>
#include <vector>

#include "reference_engine.h"
#include "random/ranlib.h"

namespace plenta {
namespace reference {

namespace {

constexpr double kMinTotalPropensity = 1e-15;  // below it nothing more happens this interval
constexpr double kMinLeapEvents = 10.0;        // a leap must carry >= 10 expected events
constexpr int kExactStretch = 100;             // exact steps after the triggering one
constexpr double kCriticalFirings = 5.0;       // fewer firings' worth of substrate: critical
constexpr double kNoCriticalMargin = 1.0;      // tau_c = tau + 1 when nothing is critical

double total_propensity(const std::vector<Reaction>& reactions) {
    double a0 = 0.0;
    for (const Reaction& r : reactions) a0 += r.ai;
    return a0;
}

// Adds n firings of reaction j to the counts and the firing total.
void fire(std::vector<Compound>& species, const StoichMatrix& matrix, int num_cmpds, int j, int n,
          std::vector<int>& fire_count) {
    const std::int32_t* row = matrix.row(j);
    for (int s = 0; s < num_cmpds; ++s) {
        if (row[s] != 0) species[s].count += n * row[s];
    }
    fire_count[j] += n;
}

// Appends n entries (time t, reaction number) to the log, draining it through
// the front end's hook whenever it is full and entries remain.
void append_events(const EventLog& evlog, int capacity, int& count, int n, double t,
                   double number) {
    for (int e = 0; e < n; ++e) {
        if (count >= capacity) {
            if (evlog.drain == nullptr) return;  // no room and no drain: not logged
            evlog.drain(evlog.drain_context, count);
            if (count >= capacity) return;  // a drain that freed nothing must not loop forever
        }
        evlog.times[count] = t;
        evlog.rxns[count] = number;
        ++count;
    }
}

// A reaction is critical when one of its substrates holds fewer than 5
// firings' worth of molecules (x / nu < 5, nu the net consumption per
// firing).  A substrate the reaction produces on net (nu < 0) makes it
// critical at any non-negative count; one with no net change (nu = 0) only at
// a negative count.  Reactions with ai <= 0 cannot fire and are never critical.
bool is_critical(const Reaction& reaction, int num_subs, const std::vector<Compound>& species,
                 const StoichMatrix& matrix, int j) {
    if (reaction.ai <= 0.0) return false;
    const std::int32_t* row = matrix.row(j);
    for (int k = 0; k < num_subs; ++k) {
        const int s = reaction.subs_index[k];
        const int x = species[s].count;
        const int nu = -row[s];
        if (nu != 0) {
            if (static_cast<double>(x) / static_cast<double>(nu) < kCriticalFirings) return true;
        } else if (x < 0) {
            return true;
        }
    }
    return false;
}

// Fills the working list: non-critical reactions from the front in ascending
// order, critical ones from the back (the lowest-index critical reaction in
// the last slot).  Returns the number of non-critical reactions; a0c gets the
// critical reactions' total propensity, summed in index order.
int classify_reactions(const std::vector<Reaction>& reactions, const ModelSizes& model,
                       const std::vector<Compound>& species, const StoichMatrix& matrix,
                       std::vector<int>& list, double& a0c) {
    int front = 0;
    int back = model.num_rxns;
    a0c = 0.0;
    for (int j = 0; j < model.num_rxns; ++j) {
        if (is_critical(reactions[j], model.num_subs[j], species, matrix, j)) {
            list[--back] = j;
            a0c += reactions[j].ai;
        } else {
            list[front++] = j;
        }
    }
    return front;
}

// Picks the critical reaction to fire: r = u * a0c, then the first critical
// reaction, walking up from the lowest index, whose propensity brings the
// running sum to r or beyond.  The sum is built in the same order as a0c, so
// it reaches a0c >= r at the latest on the last critical reaction.
int choose_critical(const std::vector<Reaction>& reactions, const std::vector<int>& list,
                    int num_noncritical, double a0c) {
    const double r = static_cast<double>(ranf()) * a0c;
    double sum = 0.0;
    const int last = static_cast<int>(list.size()) - 1;
    for (int slot = last; slot >= num_noncritical; --slot) {
        sum += reactions[list[slot]].ai;
        if (sum >= r) return list[slot];
    }
    return list[num_noncritical];  // not reached: the full sum equals a0c
}

}  // namespace

void vesk_tau(std::vector<Reaction>& reactions, const ModelSizes& model,
              std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
              EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t) {
    const double boundary = next_snapshot_time(t, params.snapshot_interval);
    const int capacity = params.eventlog_arraysize;
    // A full log without a drain (or a log with no room at all) cannot take
    // entries: this call then runs unlogged.
    const bool logging = params.eventlog_flag == 1 && capacity > 0 &&
                         !(event_count >= capacity && evlog.drain == nullptr);
    int& c = event_count;

    std::vector<int> list(static_cast<std::size_t>(model.num_rxns));
    int exact_left = 0;  // exact steps still to take before tau is chosen again

    for (;;) {
        double a0 = total_propensity(reactions);
        if (t >= boundary || a0 < kMinTotalPropensity) break;

        bool exact = false;
        double tau = 0.0;
        if (exact_left >= 1) {
            --exact_left;
            exact = true;
        } else {
            tau = reference::find_tau(model, reactions, species, matrix, params.tau_error);
            if (kMinLeapEvents / a0 > tau) {
                exact_left = kExactStretch;
                exact = true;
            }
        }

        if (exact) {
            double next_time = 0.0;
            int mu = 0;
            reference::find_next_reaction_vesk(next_time, mu, a0, reactions, params.algorithm, 0, model, t);
            t = next_time;
            // A firing beyond the boundary stays pending in its reaction's
            // tentative time for the next call; one exactly on it fires now.
            if (t > boundary) break;
            fire(species, matrix, model.num_cmpds, mu, 1, fire_count);
            if (logging) append_events(evlog, capacity, c, 1, t, static_cast<double>(mu + 1));
            reference::update_rxn_prob_vesk(a0, reactions, mu, species, t, params, model);
            if (logging && c >= capacity) return;
            continue;
        }

        // Leap preparation.
        double a0c = 0.0;
        const int num_noncritical = classify_reactions(reactions, model, species, matrix, list, a0c);
        double tau_critical;
        if (a0c > 0.0) {
            tau_critical = -std::log(static_cast<double>(ranf())) / a0c;
        } else {
            tau_critical = tau + kNoCriticalMargin;
        }
        int critical = -1;
        if (tau >= tau_critical) {
            tau = tau_critical;
            critical = choose_critical(reactions, list, num_noncritical, a0c);
        }
        // A leap that would pass the boundary ends on it.  t + (T - t) can
        // round to a value just below T; the leap's end is set to T itself so
        // that it does not leave a sliver of the interval for another pass.
        bool to_boundary = false;
        if (t + tau >= boundary) {
            tau = boundary - t;
            to_boundary = true;
        }

        // The leap.  After each reaction's batch every propensity (and
        // tentative time) is recomputed, so later reactions draw their counts
        // from a state that already holds the earlier batches.
        t = to_boundary ? boundary : t + tau;
        for (int slot = 0; slot < num_noncritical; ++slot) {
            const int j = list[slot];
            const double mean = reactions[j].ai * tau;
            if (mean <= 0.0) continue;
            const int n = my_poisson(mean);
            fire(species, matrix, model.num_cmpds, j, n, fire_count);
            reference::update_rxn_prob_all(reactions, species, params, model, t);
            if (logging) {
                append_events(evlog, capacity, c, n, t, static_cast<double>(j + 1));
                if (n >= capacity - c) return;  // c + n >= capacity, without overflow
            }
        }
        if (critical >= 0) {
            fire(species, matrix, model.num_cmpds, critical, 1, fire_count);
            reference::update_rxn_prob_all(reactions, species, params, model, t);
            if (logging) {
                append_events(evlog, capacity, c, 1, t, static_cast<double>(critical + 1));
                if (1 >= capacity - c) return;
            }
        }
    }
    t = boundary;
}

}  // namespace reference
}  // namespace plenta

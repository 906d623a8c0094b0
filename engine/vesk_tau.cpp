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
//
// Cost of a leap.  The defined leap re-evaluates every propensity and draws
// every tentative time after each reaction's batch.  Here the stoichiometry
// is kept as its non-zero entries (rows and columns), tau selection runs over
// the columns, and after a batch only the propensities that read a changed
// count are re-evaluated (with every reaction of a type evaluated through
// its record, whose inputs are not known here); the tentative times of a
// batch that a later batch of the same leap replaces are never looked at, so
// their draws are skipped over (the generator is advanced by their number
// in one step) and only the last batch's times are drawn.  The values, the
// draws and their order are those of the defined leap.
//
// An exact step that would take a count below 0, a leap that ends with one,
// a count beyond 2^31 - 1 or a firing total beyond 2^31 - 1 at any point, a
// propensity NaN or infinite at any point or negative at a leap's end or
// after an exact step raises params.fault and ends the call.  (Within a leap
// one batch may take a count below 0 and a later one bring it back; the
// defined leap allows that.)
#include <cfloat>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine.h"
#include "hot_path.h"
#include "random/ranf_local.h"
#include "random/ranlib.h"

namespace plenta {

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

// What a call keeps of the model (see "Cost of a leap").
struct TauCall {
    SparseRows rows;
    SparseColumns columns;
    std::vector<HotReaction> rec;
    std::vector<int> counts;           // the counts; the species records hold the same
    std::vector<int> reader_start;     // species s is read by readers[reader_start[s] ..]
    std::vector<int> readers;          // (mass-action reactions, by their record)
    std::vector<int> general;          // reactions evaluated through their records
    std::vector<int> touched;          // reactions re-evaluated after the current batch
    std::vector<char> mark;
    std::vector<char> own_dep;         // reaction j is among its own dependents
    std::vector<std::int64_t> powers1, powers2;  // for skipping draws
};

void build_tau_call(TauCall& c, const std::vector<Reaction>& reactions, const ModelSizes& model,
                    const std::vector<Compound>& species, const StoichMatrix& matrix,
                    double volume) {
    const int n = model.num_rxns;
    const int m = model.num_cmpds;
    c.rows.build(matrix, n, m);
    c.columns.build(c.rows, m);
    c.rec.resize(static_cast<std::size_t>(n));
    c.general.clear();
    c.reader_start.assign(static_cast<std::size_t>(m) + 1, 0);
    for (int j = 0; j < n; ++j) {
        HotReaction& r = c.rec[static_cast<std::size_t>(j)];
        r = hot_reaction(reactions[static_cast<std::size_t>(j)], volume);
        if (r.kind == HotKind::kGeneral) {
            c.general.push_back(j);
            continue;
        }
        c.reader_start[static_cast<std::size_t>(r.s0) + 1] += 1;
        if (r.kind == HotKind::kBimolecular && r.s1 != r.s0) c.reader_start[static_cast<std::size_t>(r.s1) + 1] += 1;
    }
    for (int s = 0; s < m; ++s) c.reader_start[static_cast<std::size_t>(s) + 1] += c.reader_start[static_cast<std::size_t>(s)];
    c.readers.assign(static_cast<std::size_t>(c.reader_start[static_cast<std::size_t>(m)]), 0);
    std::vector<int> next(c.reader_start.begin(), c.reader_start.end() - 1);
    for (int j = 0; j < n; ++j) {
        const HotReaction& r = c.rec[static_cast<std::size_t>(j)];
        if (r.kind == HotKind::kGeneral) continue;
        c.readers[static_cast<std::size_t>(next[static_cast<std::size_t>(r.s0)]++)] = j;
        if (r.kind == HotKind::kBimolecular && r.s1 != r.s0)
            c.readers[static_cast<std::size_t>(next[static_cast<std::size_t>(r.s1)]++)] = j;
    }
    c.counts.resize(species.size());
    for (std::size_t s = 0; s < species.size(); ++s) c.counts[s] = species[s].count;
    c.mark.assign(static_cast<std::size_t>(n), 0);
    c.own_dep.resize(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        const std::vector<int>& deps = reactions[static_cast<std::size_t>(j)].dependents;
        c.own_dep[static_cast<std::size_t>(j)] = std::binary_search(deps.begin(), deps.end(), j);
    }
    c.touched.clear();
    RanfLocal().skip_powers(n, c.powers1, c.powers2);
}

// Reactions with a propensity of at least 1e-30: those that draw a
// tentative time in update_rxn_prob_all.
bool draws_time(double ai) { return !(ai < kMinPropensity); }

// The propensities after reaction j's batch (the part of
// update_rxn_prob_all that changes anything): every reaction that reads a
// count the batch changed, and every reaction evaluated through its record.
// `drawing` follows the number of reactions that draw a tentative time.
bool refresh_after_batch(TauCall& c, int j, std::vector<Reaction>& reactions,
                         const std::vector<Compound>& species, SimParams& params,
                         const ModelSizes& model, int& drawing, double t) {
    c.touched.clear();
    for (int k = c.rows.start[static_cast<std::size_t>(j)]; k < c.rows.start[static_cast<std::size_t>(j) + 1]; ++k) {
        const int s = c.rows.species[static_cast<std::size_t>(k)];
        for (int q = c.reader_start[static_cast<std::size_t>(s)]; q < c.reader_start[static_cast<std::size_t>(s) + 1]; ++q) {
            const int r = c.readers[static_cast<std::size_t>(q)];
            if (!c.mark[static_cast<std::size_t>(r)]) {
                c.mark[static_cast<std::size_t>(r)] = 1;
                c.touched.push_back(r);
            }
        }
    }
    for (int r : c.general) c.touched.push_back(r);
    bool ok = true;
    for (int r : c.touched) {
        Reaction& rxn = reactions[static_cast<std::size_t>(r)];
        const double v = hot_propensity(c.rec[static_cast<std::size_t>(r)], c.counts.data(), reactions, species, params, model, r);
        drawing += static_cast<int>(draws_time(v)) - static_cast<int>(draws_time(rxn.ai));
        rxn.ai = v;
        c.mark[static_cast<std::size_t>(r)] = 0;
        if (ok && !(std::fabs(v) <= DBL_MAX)) {  // a negative one may pass within a leap
            raise_fault(params, RunFault::kBadPropensity, r, -1, t, v);
            ok = false;
        }
    }
    return ok;
}

// update_rxn_prob_all over every reaction, for the propensities handed in
// (which need not agree with the counts); returns false at a bad one.
bool refresh_all(TauCall& c, std::vector<Reaction>& reactions,
                 const std::vector<Compound>& species, SimParams& params,
                 const ModelSizes& model, int& drawing, double t) {
    drawing = 0;
    for (int r = 0; r < model.num_rxns; ++r) {
        Reaction& rxn = reactions[static_cast<std::size_t>(r)];
        rxn.ai = hot_propensity(c.rec[static_cast<std::size_t>(r)], c.counts.data(), reactions, species, params, model, r);
        drawing += static_cast<int>(draws_time(rxn.ai));
        if (!(std::fabs(rxn.ai) <= DBL_MAX)) {  // a negative one may pass within a leap
            raise_fault(params, RunFault::kBadPropensity, r, -1, t, rxn.ai);
            return false;
        }
    }
    return true;
}

// The end of a leap: no count below 0 and every propensity finite and >= 0.
bool leap_ends_sound(const TauCall& c, const std::vector<Reaction>& reactions,
                     SimParams& params, double t) {
    for (std::size_t s = 0; s < c.counts.size(); ++s) {
        if (c.counts[s] < 0) {
            raise_fault(params, RunFault::kNegativeCount, -1, static_cast<int>(s), t, c.counts[s]);
            return false;
        }
    }
    return check_reaction_propensities(reactions, params, t);
}

// The tentative times of update_rxn_prob_all, drawn, for the current
// propensities.
void draw_times(std::vector<Reaction>& reactions, double t) {
    RanfLocal gen;
    auto draw = [&gen]() { return gen.draw(); };
    for (Reaction& rxn : reactions) rxn.time = tentative_time(rxn.ai, t, draw);
    gen.commit();
}

}  // namespace

bool check_reaction_propensities(const std::vector<Reaction>& reactions, SimParams& params,
                                 double t) {
    for (std::size_t r = 0; r < reactions.size(); ++r) {
        if (is_bad_propensity(reactions[r].ai)) {
            raise_fault(params, RunFault::kBadPropensity, static_cast<int>(r), -1, t, reactions[r].ai);
            return false;
        }
    }
    return true;
}

void vesk_tau(std::vector<Reaction>& reactions, const ModelSizes& model,
              std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
              EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t) {
    // No leap steps over an event's time.
    const double boundary = interval_end(t, params);
    const bool checking = params.event_check != nullptr;
    const int capacity = params.eventlog_arraysize;
    // A full log without a drain (or a log with no room at all) cannot take
    // entries: this call then runs unlogged.
    const bool logging = params.eventlog_flag == 1 && capacity > 0 &&
                         !(event_count >= capacity && evlog.drain == nullptr);
    int& c = event_count;

    // A call may start from the middle of a leap (the last one returned at a
    // full log), where a count and so a propensity may be below 0 for a
    // while; with no count below 0 a negative propensity is a fault.
    bool mid_leap = false;
    for (const Compound& sp : species) mid_leap |= sp.count < 0;
    for (std::size_t r = 0; r < reactions.size(); ++r) {
        const double ai = reactions[r].ai;
        if (mid_leap ? !(std::fabs(ai) <= DBL_MAX) : is_bad_propensity(ai)) {
            raise_fault(params, RunFault::kBadPropensity, static_cast<int>(r), -1, t, ai);
            return;
        }
    }
    TauCall call;
    build_tau_call(call, reactions, model, species, matrix, params.volume);
    int* counts = call.counts.data();
    Compound* mirror = species.data();
    int* fired_total = fire_count.data();

    RanfLocal gen;  // the exact steps' draws (resynchronised for each step)
    auto draw = [&gen]() { return gen.draw(); };
    std::vector<int> list(static_cast<std::size_t>(model.num_rxns));
    int exact_left = 0;  // exact steps still to take before tau is chosen again

    for (;;) {
        if (run_fault_raised(params, t)) return;
        double a0 = total_propensity(reactions);
        if (!(a0 <= DBL_MAX)) {  // finite terms, an infinite sum
            raise_fault(params, RunFault::kBadPropensity, -1, -1, t, a0);
            return;
        }
        if (t >= boundary || a0 < kMinTotalPropensity) break;

        bool exact = false;
        double tau = 0.0;
        if (exact_left >= 1) {
            --exact_left;
            exact = true;
        } else {
            tau = find_tau_sparse(call.columns, matrix.order_row(), model.num_cmpds, reactions,
                                  species, params.tau_error);
            if (kMinLeapEvents / a0 > tau) {
                exact_left = kExactStretch;
                exact = true;
            }
        }

        if (exact) {
            // find_next_reaction_vesk under first-reaction selection.
            double next_time = 0.0;
            const Reaction* rxns = reactions.data();
            const int mu = earliest_reaction([rxns](int i) { return rxns[i].time; }, model.num_rxns, next_time);
            t = next_time;
            // A firing beyond the boundary stays pending in its reaction's
            // tentative time for the next call; one exactly on it fires now.
            if (t > boundary) break;
            if (!apply_firings(call.rows, mu, 1, counts, mirror, params, t) ||
                !count_firings(fired_total, mu, 1, params, t))
                return;
            if (logging) append_events(evlog, capacity, c, 1, t, static_cast<double>(mu + 1));
            // update_rxn_prob_vesk under first-reaction selection: the
            // dependents' propensities and tentative times, then the fired
            // reaction's own time when it is not among them.
            gen.resync();
            const std::vector<int>& deps = reactions[static_cast<std::size_t>(mu)].dependents;
            bool bad = false;
            for (int j : deps) {
                Reaction& rxn = reactions[static_cast<std::size_t>(j)];
                rxn.ai = hot_propensity(call.rec[static_cast<std::size_t>(j)], counts, reactions, species, params, model, j);
                bad |= is_bad_propensity(rxn.ai);
                rxn.time = tentative_time(rxn.ai, t, draw);
            }
            if (!call.own_dep[static_cast<std::size_t>(mu)])
                reactions[static_cast<std::size_t>(mu)].time = tentative_time(reactions[static_cast<std::size_t>(mu)].ai, t, draw);
            gen.commit();
            if (bad) {
                check_reaction_propensities(reactions, params, t);
                return;
            }
            if (logging && c >= capacity) return;
            // An event's condition became true: stop right after this firing.
            if (checking && params.event_check(params.event_check_context, t)) return;
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
        // from a state that already holds the earlier batches.  The times of
        // a batch's update are drawn only when no later update replaces them
        // (pending: the update of the last batch, whose draws are still due).
        t = to_boundary ? boundary : t + tau;
        bool pending = false;
        bool first_update = true;  // the leap's first update re-evaluates every propensity
        int drawing = 0;
        for (int slot = 0; slot < num_noncritical; ++slot) {
            const int j = list[static_cast<std::size_t>(slot)];
            const double mean = reactions[static_cast<std::size_t>(j)].ai * tau;
            if (mean <= 0.0) continue;
            if (pending) RanfLocal::skip_generator(drawing, call.powers1, call.powers2);
            // A batch whose mean is beyond what an int holds has no Poisson
            // count to draw: its firing total would leave 32 bits.
            if (!(mean < static_cast<double>(INT_MAX))) {
                raise_fault(params, RunFault::kFiringOverflow, j, -1, t, mean);
                return;
            }
            const int n = my_poisson(mean);
            if (n < 0) {
                raise_fault(params, RunFault::kFiringOverflow, j, -1, t, mean);
                return;
            }
            if (!apply_batch(call.rows, j, n, counts, mirror, params, t) ||
                !count_firings(fired_total, j, n, params, t))
                return;
            const bool ok = first_update
                                ? refresh_all(call, reactions, species, params, model, drawing, t)
                                : refresh_after_batch(call, j, reactions, species, params, model, drawing, t);
            if (!ok) return;
            first_update = false;
            pending = true;
            if (logging) {
                append_events(evlog, capacity, c, n, t, static_cast<double>(j + 1));
                if (n >= capacity - c) {  // c + n >= capacity, without overflow
                    draw_times(reactions, t);
                    return;
                }
            }
        }
        if (critical >= 0) {
            if (pending) RanfLocal::skip_generator(drawing, call.powers1, call.powers2);
            if (!apply_batch(call.rows, critical, 1, counts, mirror, params, t) ||
                !count_firings(fired_total, critical, 1, params, t))
                return;
            const bool ok = first_update
                                ? refresh_all(call, reactions, species, params, model, drawing, t)
                                : refresh_after_batch(call, critical, reactions, species, params, model, drawing, t);
            if (!ok) return;
            pending = true;
            if (logging) {
                append_events(evlog, capacity, c, 1, t, static_cast<double>(critical + 1));
                if (1 >= capacity - c) {
                    draw_times(reactions, t);
                    return;
                }
            }
        }
        if (pending) draw_times(reactions, t);
        if (!leap_ends_sound(call, reactions, params, t)) return;
        // Events' conditions are tested after every leap.
        if (checking && params.event_check(params.event_check_context, t)) return;
    }
    t = boundary;
}

}  // namespace plenta

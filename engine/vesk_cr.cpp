// Interval run of the composition-rejection method: fire reactions one at a
// time, in time order, up to and including the next snapshot boundary, or
// until a firing fills the event log; the same contract as the direct-method
// run, with the next event drawn by composition-rejection.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "engine.h"
#include "random/ranf_ahead.h"

namespace plenta {

namespace {

// ---- A firing on the records (networks with other than mass-action types) ----

void apply_row_to_records(const CrFiring& f, std::vector<Compound>& species) {
    Compound* s = species.data();
    for (int k = 0; k < f.num_changes; k++) s[f.changes[2 * k]].count += f.changes[2 * k + 1];
}

// The fired reaction's dependents get new propensities, in list order, both
// in their records and in the groups.
void refresh_records(CrState& st, const CrFiring& f, std::vector<Reaction>& reactions,
                     const std::vector<Compound>& species, const SimParams& params,
                     const ModelSizes& model) {
    for (int k = 0; k < f.num_deps; k++) {
        const int j = f.deps[k];
        Reaction& rxn = reactions[static_cast<std::size_t>(j)];
        rxn.ai = calc_rxn_prob_inline(rxn, species, params, model, j);
        cr_set_propensity(st, j, rxn.ai);
    }
}

// ---- A firing on the method's own counts (mass-action networks) ----

void fire_on_own_counts(CrState& st, const CrFiring& f, int rxn, double volume) {
    int* counts = st.counts.data();
    for (int k = 0; k < f.num_changes; k++) counts[f.changes[2 * k]] += f.changes[2 * k + 1];
    for (int k = 0; k < f.num_deps; k++) {
        const int j = f.deps[k];
        const double a =
            cr_mass_action_propensity(st.rxns[static_cast<std::size_t>(j)], counts, volume);
        cr_set_propensity(st, j, a);
    }
    std::uint8_t& flag = st.rxns[static_cast<std::size_t>(rxn)].fired;
    if (!flag) {
        flag = 1;
        st.fired.push_back(rxn);  // at most one entry a reaction: reserved at build
    }
}

// The counts the call's firings changed go back to the species records: those
// of the species in the fired reactions' rows.  No other count can have
// changed.
void write_back(CrState& st, std::vector<Compound>& species) {
    for (int r : st.fired) {
        const CrFiring f = cr_firing(st, r);
        for (int k = 0; k < f.num_changes; k++) {
            const int s = f.changes[2 * k];
            species[static_cast<std::size_t>(s)].count = st.counts[static_cast<std::size_t>(s)];
        }
        st.rxns[static_cast<std::size_t>(r)].fired = 0;
    }
    st.fired.clear();
}

#ifndef NDEBUG
bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Every propensity a firing can change is refreshed through the dependency
// graph; no other can change.  Checked now and then by recomputing all of
// them (a cost of one propensity per 16 firings at most).  "undef" reactions
// are left out: their built-in formulas read species by fixed position, which
// the graph sees only when the model lists them as substrates, and the
// direct method keeps such a stale propensity just the same.
void check_propensities(CrState& st, const std::vector<Reaction>& reactions,
                        const std::vector<Compound>& species, const SimParams& params,
                        const ModelSizes& model) {
    const long long every = std::max(65536LL, 16LL * model.num_rxns);
    if (++st.firings_checked < every) return;
    st.firings_checked = 0;
    for (int j = 0; j < model.num_rxns; j++) {
        const Reaction& rxn = reactions[static_cast<std::size_t>(j)];
        const CrReaction& cr = st.rxns[static_cast<std::size_t>(j)];
        if (st.own_counts) {
            const double a = cr_mass_action_propensity(cr, st.counts.data(), params.volume);
            assert(same_value(a, cr.a) && "a propensity changed outside the dependency graph");
            (void)a;
            continue;
        }
        if (rxn.rxn_index == kUndef) continue;
        const double a = calc_rxn_prob_inline(rxn, species, params, model, j);
        assert(same_value(a, rxn.ai) && "a propensity changed outside the dependency graph");
        assert(same_value(a, cr.a));
        (void)a;
    }
}
#endif

void keep_state(SimParams& params, double a0, double next_time, int next_rxn) {
    params.total_prob = a0;
    params.next_time = next_time;
    params.next_rxn = next_rxn;
}

}  // namespace

void vesk_cr(CrState& st, std::vector<Reaction>& reactions, const ModelSizes& model,
             std::vector<Compound>& species, SimParams& params, EventLog evlog,
             int& event_count, std::vector<int>& fire_count, double& t) {
    int c = event_count;
    const double boundary = interval_end(t, params);
    const bool checking = params.event_check != nullptr;
    const bool logging = params.eventlog_flag == 1;
    const int capacity = params.eventlog_arraysize;
    double a0 = params.total_prob;
    double tau = params.next_time;
    int mu = params.next_rxn;
    // A run that met a fault does not go on (see vesk).
    if (params.fault.raised()) return;
    RanfAhead draws;  // nothing else draws during the call

    // A firing exactly on the boundary belongs to this interval; an infinite
    // next time ends the loop at once.
    while (boundary >= tau) {
        // The next event's memory is fetched while this one fires.
        if (st.prefetch) cr_prefetch_next(st, draws, a0, fire_count.data());
        const CrFiring f = cr_firing(st, mu);
        if (st.own_counts) {
            fire_on_own_counts(st, f, mu, params.volume);
        } else {
            apply_row_to_records(f, species);
            refresh_records(st, f, reactions, species, params, model);
        }
        fire_count[static_cast<std::size_t>(mu)] += 1;
        st.firings_since_resum += 1;
#ifndef NDEBUG
        check_propensities(st, reactions, species, params, model);
#endif
        // Never written past its capacity (see vesk).
        if (logging && c < capacity) {
            evlog.times[c] = tau;
            evlog.rxns[c] = static_cast<double>(mu + 1);
            c = c + 1;
        }
        const double fired_at = tau;
        // Only a propensity evaluated through the records can raise one.
        if (!st.own_counts && run_fault_raised(params, fired_at)) {
            write_back(st, species);
            keep_state(params, a0, tau, mu);
            event_count = c;
            t = fired_at;
            return;
        }
        find_next_reaction_cr(tau, mu, a0, st, fired_at, draws);
        if (logging && c >= capacity) {
            write_back(st, species);
            keep_state(params, a0, tau, mu);
            event_count = c;
            t = fired_at;
            return;
        }
        // Events' conditions read the species records: current after each firing.
        if (checking) {
            write_back(st, species);
            if (params.event_check(params.event_check_context, fired_at)) {
                keep_state(params, a0, tau, mu);
                event_count = c;
                t = fired_at;
                return;
            }
        }
    }
    write_back(st, species);
    t = boundary;
    event_count = c;
    keep_state(params, a0, tau, mu);
}

}  // namespace plenta

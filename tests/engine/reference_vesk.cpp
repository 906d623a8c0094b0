// Reference copy, kept by the differential test: the engine's vesk as it was
// before the hot paths were rewritten (same draws, same arithmetic, written
// the plain way).  Not part of the product; see reference_engine.h.
// Interval run of the exact methods: fire reactions one at a time, in time
// order, up to and including the next snapshot boundary, or until a firing
// fills the event log.
#include "reference_engine.h"

namespace plenta {
namespace reference {

namespace {

// One firing changes every species by the fired reaction's matrix row.
// Adding the zero entries too gives the same counts and spares a branch per
// species whose outcome changes with every fired reaction.
void apply_row(const StoichMatrix& matrix, int rxn, std::vector<Compound>& species) {
    const std::int32_t* row = matrix.row(rxn);
    Compound* s = species.data();
    const int n = matrix.num_cmpds;
    for (int i = 0; i < n; i++) s[i].count += row[i];
}

void keep_state(SimParams& params, double a0, double next_time, int next_rxn) {
    params.total_prob = a0;
    params.next_time = next_time;
    params.next_rxn = next_rxn;
}

}  // namespace

void vesk(std::vector<Reaction>& reactions, const ModelSizes& model,
          std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
          EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t) {
    int c = event_count;
    const double boundary = next_snapshot_time(t, params.snapshot_interval);
    const bool logging = params.eventlog_flag == 1;
    const int capacity = params.eventlog_arraysize;
    double a0 = params.total_prob;
    double tau = params.next_time;
    int mu = params.next_rxn;

    // No boundary later than t (the time is too large for the snapshot grid
    // to go on): nothing is fired, so that the front end sees a call that did
    // not advance and stops, instead of every pending firing up to t being
    // replayed in an endless run of calls.
    if (!(boundary > t)) return;

    // A firing exactly on the boundary belongs to this interval.  An
    // infinite (or never) next time ends the loop at once.
    while (boundary >= tau) {
        apply_row(matrix, mu, species);
        fire_count[mu] += 1;
        reference::update_rxn_prob_vesk(a0, reactions, mu, species, tau, params, model);
        // The buffer is never written past its capacity: a caller that hands
        // in a full (or zero-capacity) log gets this firing unlogged and the
        // call ends right after it, with the count still at the capacity.
        if (logging && c < capacity) {
            evlog.times[c] = tau;
            evlog.rxns[c] = static_cast<double>(mu + 1);
            c = c + 1;
        }
        const double fired_at = tau;
        reference::find_next_reaction_vesk(tau, mu, a0, reactions, params.algorithm, 0, model, fired_at);
        if (logging && c >= capacity) {
            // The log is full: stop at this firing so the caller can empty it;
            // the next call resumes toward the same boundary.
            keep_state(params, a0, tau, mu);
            event_count = c;
            t = fired_at;
            return;
        }
    }
    t = boundary;
    event_count = c;
    keep_state(params, a0, tau, mu);
}

}  // namespace reference
}  // namespace plenta

// Reference copy, kept by the differential test: the engine's find_next_reaction_vesk as it was
// before the hot paths were rewritten (same draws, same arithmetic, written
// the plain way).  Not part of the product; see reference_engine.h.
// The next reaction event: by the direct method (Gillespie 1977; one
// exponential waiting time with rate a0, then the reaction picked with
// probability ai / a0), or by first-reaction selection (the earliest of the
// reactions' own tentative times).
#include <cmath>

#include "reference_engine.h"
#include "random/ranlib.h"

namespace plenta {
namespace reference {

namespace {

// The first reaction whose running propensity sum exceeds r.  ranf() can
// return exactly 1.0, making r equal to the whole sum; then no sum exceeds it
// and the reaction picked is the last one that can fire at all, never one
// with propensity 0 (reaction 0 only when none can fire).
int select_reaction(const std::vector<Reaction>& reactions, int num_rxns, double r) {
    double sum = 0.0;
    for (int i = 0; i < num_rxns; i++) {
        sum = sum + reactions[i].ai;
        if (sum > r) return i;
    }
    for (int i = num_rxns - 1; i >= 0; i--)
        if (reactions[i].ai > 0.0) return i;
    return 0;
}

void next_by_direct_method(double& next_time, int& next_rxn, double& a0,
                           const std::vector<Reaction>& reactions, int recompute,
                           const ModelSizes& model, double t) {
    if (recompute == 1) {
        a0 = 0.0;
        for (int i = 0; i < model.num_rxns; i++) a0 += reactions[i].ai;
    }
    // The waiting time's deviate is drawn first, the selection's second.
    const double u1 = static_cast<double>(ranf());
    next_time = t + (1.0 / a0) * std::log(1.0 / u1);
    const double u2 = static_cast<double>(ranf());
    next_rxn = select_reaction(reactions, model.num_rxns, u2 * a0);
}

// Earliest tentative time; ties go to the lower index.
void next_by_first_reaction(double& next_time, int& next_rxn,
                            const std::vector<Reaction>& reactions, const ModelSizes& model) {
    double best = kNeverTime;
    int index = 0;
    for (int i = 0; i < model.num_rxns; i++) {
        if (reactions[i].time < best) {
            best = reactions[i].time;
            index = i;
        }
    }
    next_time = best;
    next_rxn = index;
}

}  // namespace

void find_next_reaction_vesk(double& next_time, int& next_rxn, double& a0,
                             const std::vector<Reaction>& reactions, int algorithm,
                             int recompute, const ModelSizes& model, double t) {
    if (algorithm == kDirectMethod)
        next_by_direct_method(next_time, next_rxn, a0, reactions, recompute, model, t);
    else
        next_by_first_reaction(next_time, next_rxn, reactions, model);
}

}  // namespace reference
}  // namespace plenta

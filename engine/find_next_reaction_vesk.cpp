// The next reaction event: by the direct method (Gillespie 1977; one
// exponential waiting time with rate a0, then the reaction picked with
// probability ai / a0), or by first-reaction selection (the earliest of the
// reactions' own tentative times).
#include <cmath>

#include "engine.h"
#include "hot_path.h"
#include "random/ranlib.h"

namespace plenta {

namespace {

void next_by_direct_method(double& next_time, int& next_rxn, double& a0,
                           const std::vector<Reaction>& reactions, int recompute,
                           const ModelSizes& model, double t) {
    if (recompute == 1) {
        a0 = 0.0;
        for (int i = 0; i < model.num_rxns; i++) a0 += reactions[i].ai;
    }
    // The waiting time's deviate is drawn first, the selection's second.
    const double u1 = static_cast<double>(ranf());
    next_time = direct_next_time(t, a0, u1);
    const double u2 = static_cast<double>(ranf());
    next_rxn = select_reaction([&reactions](int i) { return reactions[i].ai; }, model.num_rxns,
                               u2 * a0);
}

}  // namespace

void find_next_reaction_vesk(double& next_time, int& next_rxn, double& a0,
                             const std::vector<Reaction>& reactions, int algorithm,
                             int recompute, const ModelSizes& model, double t) {
    if (algorithm == kDirectMethod)
        next_by_direct_method(next_time, next_rxn, a0, reactions, recompute, model, t);
    else
        next_rxn = earliest_reaction([&reactions](int i) { return reactions[i].time; },
                                     model.num_rxns, next_time);
}

}  // namespace plenta

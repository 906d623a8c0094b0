// After a firing: new propensities for the reactions that read a species the
// fired reaction changed, new tentative times for them under first-reaction
// selection, and under the direct method a freshly summed total.
#include <algorithm>
#include <cmath>

#include "engine.h"
#include "hot_path.h"
#include "random/ranlib.h"

namespace plenta {

namespace {

// The total is summed afresh in index order rather than updated by the
// differences of the changed terms, so no rounding error accumulates and the
// value does not depend on the history of the run.
double total_propensity(const std::vector<Reaction>& reactions, int num_rxns) {
    double a0 = 0.0;
    for (int i = 0; i < num_rxns; i++) a0 += reactions[i].ai;
    return a0;
}

}  // namespace

void update_rxn_prob_vesk(double& a0, std::vector<Reaction>& reactions, int fired,
                          const std::vector<Compound>& species, double t,
                          const SimParams& params, const ModelSizes& model) {
    const std::vector<int>& deps = reactions[fired].dependents;
    if (params.algorithm == kDirectMethod) {
        for (int j : deps) reactions[j].ai = calc_rxn_prob_inline(reactions[j], species, params, model, j);
        a0 = total_propensity(reactions, model.num_rxns);
        return;
    }
    auto draw = []() { return ranf(); };
    for (int j : deps) {
        Reaction& rxn = reactions[j];
        rxn.ai = calc_rxn_prob_inline(rxn, species, params, model, j);
        rxn.time = tentative_time(rxn.ai, t, draw);
    }
    // A reaction without substrates reads nothing its firing changes, so it
    // is not among its own dependents; its spent tentative time would stay
    // the earliest and it would fire again and again at the same instant.
    // It gets a fresh time from its (unchanged) propensity, drawn after those
    // of its dependents.
    if (!std::binary_search(deps.begin(), deps.end(), fired))
        reactions[fired].time = tentative_time(reactions[fired].ai, t, draw);
}

}  // namespace plenta

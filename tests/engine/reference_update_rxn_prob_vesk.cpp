// Reference copy, kept by the differential test: the engine's update_rxn_prob_vesk as it was
// before the hot paths were rewritten (same draws, same arithmetic, written
// the plain way).  Not part of the product; see reference_engine.h.
// After a firing: new propensities for the reactions that read a species the
// fired reaction changed, new tentative times for them under first-reaction
// selection, and under the direct method a freshly summed total.
#include <algorithm>
#include <cmath>

#include "reference_engine.h"
#include "random/ranlib.h"

namespace plenta {
namespace reference {

namespace {

double tentative_time(double ai, double t) {
    if (ai < kMinPropensity) return kNeverTime;
    const double u = static_cast<double>(ranf());
    return t + (1.0 / ai) * std::log(1.0 / u);
}

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
        // The mass-action types are evaluated inline: an out-of-line call per
        // dependent, dispatched through a jump table, costs more than the
        // formula itself.
        for (int j : deps) reactions[j].ai = calc_rxn_prob_inline(reactions[j], species, params, model, j);
        a0 = total_propensity(reactions, model.num_rxns);
        return;
    }
    for (int j : deps) {
        Reaction& rxn = reactions[j];
        rxn.ai = calc_rxn_prob_inline(rxn, species, params, model, j);
        rxn.time = tentative_time(rxn.ai, t);
    }
    // A reaction without substrates reads nothing its firing changes, so it
    // is not among its own dependents; its spent tentative time would stay
    // the earliest and it would fire again and again at the same instant.
    // It gets a fresh time from its (unchanged) propensity, drawn after those
    // of its dependents.
    if (!std::binary_search(deps.begin(), deps.end(), fired))
        reactions[fired].time = tentative_time(reactions[fired].ai, t);
}

}  // namespace reference
}  // namespace plenta

// Reference copy, kept by the differential test: the engine's update_rxn_prob_all as it was
// before the hot paths were rewritten (same draws, same arithmetic, written
// the plain way).  Not part of the product; see reference_engine.h.
// Start of a run: every reaction's propensity and, under first-reaction
// selection (Gillespie 1976), every reaction's tentative firing time.
#include <cmath>

#include "reference_engine.h"
#include "random/ranlib.h"

namespace plenta {
namespace reference {

namespace {

// Exponential waiting time with rate ai from one uniform deviate, as an
// absolute time; a propensity below the threshold is taken as "never".
double tentative_time(double ai, double t) {
    if (ai < kMinPropensity) return kNeverTime;
    const double u = static_cast<double>(ranf());
    return t + (1.0 / ai) * std::log(1.0 / u);
}

}  // namespace

void update_rxn_prob_all(std::vector<Reaction>& reactions, const std::vector<Compound>& species,
                         const SimParams& params, const ModelSizes& model, double t) {
    const bool first_reaction = params.algorithm != kDirectMethod;
    for (int i = 0; i < model.num_rxns; i++) {
        Reaction& rxn = reactions[i];
        rxn.ai = calc_rxn_prob_vesk(rxn, species, params, model, i);
        if (first_reaction) rxn.time = tentative_time(rxn.ai, t);
    }
}

}  // namespace reference
}  // namespace plenta

// Start of a run: every reaction's propensity and, under first-reaction
// selection (Gillespie 1976), every reaction's tentative firing time.
#include <cmath>

#include "engine.h"
#include "hot_path.h"
#include "random/ranlib.h"

namespace plenta {

void update_rxn_prob_all(std::vector<Reaction>& reactions, const std::vector<Compound>& species,
                         const SimParams& params, const ModelSizes& model, double t) {
    const bool first_reaction = params.algorithm != kDirectMethod;
    auto draw = []() { return ranf(); };
    for (int i = 0; i < model.num_rxns; i++) {
        Reaction& rxn = reactions[i];
        rxn.ai = calc_rxn_prob_vesk(rxn, species, params, model, i);
        if (first_reaction) rxn.time = tentative_time(rxn.ai, t, draw);
    }
    (void)run_fault_raised(params, t);
}

}  // namespace plenta

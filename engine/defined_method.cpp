// The defined methods - the direct method, first-reaction selection and
// tau-leaping - behind the RunMethod interface, so that the events layer
// and the front ends reach every method the same way.
#include "engine/engine.h"
#include "engine/events.h"

namespace plenta {

namespace {

class DefinedMethod : public RunMethod {
public:
    DefinedMethod(int algorithm, const StoichMatrix& matrix)
        : algorithm_(algorithm), matrix_(matrix) {}
    const char* name() const override {
        if (algorithm_ == kDirectMethod) return "direct";
        if (algorithm_ == kTauLeaping) return "tau";
        return "first-reaction";
    }
    bool needs_dependents() const override { return true; }
    // The first firing from the current ai, as every front end has always
    // drawn it: two uniforms under the direct method, the earliest tentative
    // time (drawn by update_rxn_prob_all) otherwise.  Tau-leaping keeps its
    // state in the reactions' tentative times; the kept firing is not read.
    void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                   std::vector<Compound>&, SimParams& params, double t) override {
        double next_time = 0.0;
        int next_rxn = 0;
        double a0 = 0.0;
        find_next_reaction_vesk(next_time, next_rxn, a0, reactions, params.algorithm, 1, model, t);
        params.next_time = next_time;
        params.next_rxn = next_rxn;
        params.total_prob = a0;
    }
    void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                 std::vector<Compound>& species, SimParams& params, EventLog evlog,
                 int& event_count, std::vector<int>& fire_count, double& t) override {
        if (params.algorithm == kTauLeaping)
            vesk_tau(reactions, model, species, matrix_, params, evlog, event_count, fire_count, t);
        else
            vesk(reactions, model, species, matrix_, params, evlog, event_count, fire_count, t);
    }
    void sync_propensities(std::vector<Reaction>&, const std::vector<Compound>&,
                           const SimParams&, const ModelSizes&) override {}

private:
    int algorithm_;
    const StoichMatrix& matrix_;
};

}  // namespace

std::unique_ptr<RunMethod> make_defined_method(int algorithm, const StoichMatrix& matrix) {
    return std::make_unique<DefinedMethod>(algorithm, matrix);
}

}  // namespace plenta

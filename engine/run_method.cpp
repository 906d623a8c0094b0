// The registry of the opt-in exact methods: composition-rejection and the
// rejection-based method, each behind the RunMethod interface.
#include "engine/engine.h"
#include "engine/rssa.h"

namespace plenta {

namespace {

class CompositionRejection : public RunMethod {
public:
    const char* name() const override { return "cr"; }
    bool needs_dependents() const override { return true; }
    void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                   std::vector<Compound>& species, SimParams& params, double t) override {
        cr_build(state_, reactions, model, species);
        double a0 = 0.0;
        find_next_reaction_cr(params.next_time, params.next_rxn, a0, state_, t);
        params.total_prob = a0;
    }
    void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                 std::vector<Compound>& species, SimParams& params, EventLog evlog,
                 int& event_count, std::vector<int>& fire_count, double& t) override {
        vesk_cr(state_, reactions, model, species, params, evlog, event_count, fire_count, t);
    }
    void sync_propensities(std::vector<Reaction>& reactions, const std::vector<Compound>&,
                           const SimParams&, const ModelSizes&) override {
        cr_sync_propensities(state_, reactions);
    }

private:
    CrState state_;
};

class RejectionBased : public RunMethod {
public:
    const char* name() const override { return "rssa"; }
    bool needs_dependents() const override { return false; }
    void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                   std::vector<Compound>& species, SimParams& params, double t) override {
        rssa_build(state_, reactions, model, species, params);
        params.next_time = rssa_next_time(state_, t);
        params.next_rxn = 0;
        params.total_prob = state_.total;
    }
    void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                 std::vector<Compound>& species, SimParams& params, EventLog evlog,
                 int& event_count, std::vector<int>& fire_count, double& t) override {
        vesk_rssa(state_, reactions, model, species, params, evlog, event_count, fire_count, t);
        params.total_prob = state_.total;
    }
    void sync_propensities(std::vector<Reaction>& reactions, const std::vector<Compound>& species,
                           const SimParams& params, const ModelSizes& model) override {
        rssa_sync_propensities(state_, reactions, species, params, model);
    }

private:
    RssaState state_;
};

}  // namespace

std::unique_ptr<RunMethod> make_run_method(const std::string& name) {
    if (name == "cr") return std::make_unique<CompositionRejection>();
    if (name == "rssa") return std::make_unique<RejectionBased>();
    return nullptr;
}

const std::vector<std::string>& run_method_names() {
    static const std::vector<std::string> names = {"cr", "rssa"};
    return names;
}

}  // namespace plenta

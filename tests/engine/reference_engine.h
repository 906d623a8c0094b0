// reference_engine.h - the exact and tau-leaping runs of the engine as they
// were written before their hot paths were rewritten for speed: the
// differential test runs random models through both and requires every
// count, firing total, propensity, tentative time, event-log entry and
// generator state to agree.  These copies belong to that test only; they
// are never changed except to follow a deliberate change of the defined
// results.
#ifndef PLENTA_TESTS_ENGINE_REFERENCE_ENGINE_H
#define PLENTA_TESTS_ENGINE_REFERENCE_ENGINE_H

#include "engine/engine.h"

namespace plenta {
namespace reference {

void update_rxn_prob_all(std::vector<Reaction>& reactions, const std::vector<Compound>& species,
                         const SimParams& params, const ModelSizes& model, double t);

void update_rxn_prob_vesk(double& a0, std::vector<Reaction>& reactions, int fired,
                          const std::vector<Compound>& species, double t,
                          const SimParams& params, const ModelSizes& model);

void find_next_reaction_vesk(double& next_time, int& next_rxn, double& a0,
                             const std::vector<Reaction>& reactions, int algorithm,
                             int recompute, const ModelSizes& model, double t);

void vesk(std::vector<Reaction>& reactions, const ModelSizes& model,
          std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
          EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t);

void vesk_tau(std::vector<Reaction>& reactions, const ModelSizes& model,
              std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
              EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t);

double find_tau(const ModelSizes& model, const std::vector<Reaction>& reactions,
                const std::vector<Compound>& species, const StoichMatrix& matrix,
                double tau_error);

}  // namespace reference
}  // namespace plenta

#endif  // PLENTA_TESTS_ENGINE_REFERENCE_ENGINE_H

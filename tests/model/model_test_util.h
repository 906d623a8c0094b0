// model_test_util.h - reaction records built in code for the model tests.
#ifndef PLENTA_TESTS_MODEL_MODEL_TEST_UTIL_H
#define PLENTA_TESTS_MODEL_MODEL_TEST_UTIL_H

#include <vector>

#include "model/model.h"

namespace plenta {
namespace modeltest {

struct Model {
    std::vector<Reaction> reactions;
    ModelSizes sizes;
    std::vector<Compound> species;
    SimParams params;

    explicit Model(int num_species, double volume = 1.0) {
        species.resize(static_cast<std::size_t>(num_species));
        sizes.num_cmpds = num_species;
        params.volume = volume;
    }

    int add(int type, std::vector<int> subs, std::vector<int> prods, std::vector<double> rates = {1.0},
            std::vector<int> subs_coef = {}, std::vector<int> prods_coef = {},
            std::vector<double> subs_order = {}) {
        Reaction r;
        r.rxn_index = type;
        r.id = static_cast<int>(reactions.size());
        sizes.num_subs.push_back(static_cast<int>(subs.size()));
        sizes.num_prods.push_back(static_cast<int>(prods.size()));
        subs_coef.resize(subs.size(), 0);
        prods_coef.resize(prods.size(), 0);
        subs_order.resize(subs.size(), 0.0);
        r.subs_index = std::move(subs);
        r.prods_index = std::move(prods);
        r.subs_coef = std::move(subs_coef);
        r.prods_coef = std::move(prods_coef);
        r.subs_order = std::move(subs_order);
        r.num_rates = static_cast<int>(rates.size());
        for (double v : rates) {
            RateConstant k;
            k.value = v;
            r.rates.push_back(k);
        }
        reactions.push_back(std::move(r));
        sizes.num_rxns = static_cast<int>(reactions.size());
        return sizes.num_rxns - 1;
    }

    double propensity(int rxn) const {
        return calc_rxn_prob_vesk(reactions[rxn], species, params, sizes, rxn);
    }

    StoichMatrix stoich() const {
        StoichMatrix m(sizes.num_rxns, sizes.num_cmpds);
        create_stoich_matrix(sizes, reactions, m);
        return m;
    }
};

}  // namespace modeltest
}  // namespace plenta

#endif  // PLENTA_TESTS_MODEL_MODEL_TEST_UTIL_H

// The reaction dependency graph: after reaction i fires, only the reactions
// that read a species i consumed or produced need a new propensity.
#include <algorithm>
#include <limits>
#include <utility>

#include "model.h"
#include "model/rate_law.h"

namespace plenta {

int is_unique(int count, const int* values, int key) {
    for (int i = 0; i < count; i++)
        if (values[i] == key) return 0;
    return 1;
}

int compare(int a, int b) { return a - b; }

namespace {

// Appends to `found` every reaction j one of whose substrates is among the
// first `num_species` entries of `species`; `found` is the scratch list,
// whose unused tail holds -1 and so never matches a reaction index.
// A formula reaction reads the species its law names, not its substrates.
void collect_readers(const std::vector<int>& species, int num_species, const ModelSizes& model,
                     const std::vector<Reaction>& reactions, std::vector<int>& found, int& n) {
    const int num_rxns = model.num_rxns;
    for (int j = 0; j < num_rxns; j++) {
        const bool formula = static_cast<bool>(reactions[j].law);
        const std::vector<int>& subs_j =
            formula ? reactions[j].law->species_read() : reactions[j].subs_index;
        const int read = formula ? static_cast<int>(subs_j.size()) : model.num_subs[j];
        for (int k = 0; k < num_species; k++)
            for (int l = 0; l < read; l++)
                if (species[k] == subs_j[l] && is_unique(num_rxns, found.data(), j)) found[n++] = j;
    }
}

}  // namespace

void calc_dependency(ModelSizes& model, std::vector<Reaction>& reactions) {
    const int num_rxns = model.num_rxns;
    model.num_deps.resize(static_cast<std::size_t>(num_rxns));
    std::vector<int> found(static_cast<std::size_t>(num_rxns));
    for (int i = 0; i < num_rxns; i++) {
        std::fill(found.begin(), found.end(), -1);
        int n = 0;
        collect_readers(reactions[i].subs_index, model.num_subs[i], model, reactions, found, n);
        collect_readers(reactions[i].prods_index, model.num_prods[i], model, reactions, found, n);
        model.num_deps[i] = n;
        std::vector<int>& deps = reactions[i].dependents;
        deps.assign(found.begin(), found.begin() + n);
        std::sort(deps.begin(), deps.end(), [](int a, int b) { return compare(a, b) < 0; });
    }
}

// The readers index holds every (species, reaction) pair of a substrate
// entry, sorted, without repeats; the readers of one species are then one
// contiguous run of it.  Species positions are taken as they stand, as in
// calc_dependency's comparisons: no position is used to address an array.
void calc_dependency_by_species(ModelSizes& model, std::vector<Reaction>& reactions) {
    const int num_rxns = model.num_rxns;
    std::vector<std::pair<int, int>> readers;
    for (int j = 0; j < num_rxns; j++) {
        if (reactions[j].law) {
            for (int s : reactions[j].law->species_read()) readers.emplace_back(s, j);
            continue;
        }
        for (int l = 0; l < model.num_subs[j]; l++)
            readers.emplace_back(reactions[j].subs_index[l], j);
    }
    std::sort(readers.begin(), readers.end());
    readers.erase(std::unique(readers.begin(), readers.end()), readers.end());

    std::vector<int> deps;
    auto add_readers_of = [&](int species) {
        auto first = std::lower_bound(readers.begin(), readers.end(),
                                      std::make_pair(species, std::numeric_limits<int>::min()));
        for (; first != readers.end() && first->first == species; ++first)
            deps.push_back(first->second);
    };
    model.num_deps.resize(static_cast<std::size_t>(num_rxns));
    for (int i = 0; i < num_rxns; i++) {
        deps.clear();
        for (int k = 0; k < model.num_subs[i]; k++) add_readers_of(reactions[i].subs_index[k]);
        for (int k = 0; k < model.num_prods[i]; k++) add_readers_of(reactions[i].prods_index[k]);
        std::sort(deps.begin(), deps.end());
        deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
        model.num_deps[i] = static_cast<int>(deps.size());
        reactions[i].dependents = deps;
    }
}

}  // namespace plenta

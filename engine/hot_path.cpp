// The compact records of the interval runs and the fault checks.
#include "hot_path.h"

#include <cmath>

namespace plenta {

void raise_fault(SimParams& params, RunFault::Kind kind, int rxn, int species, double t,
                 double value) {
    if (params.fault.raised()) {
        // A formula's value is checked where it is computed, which does not
        // know the time: the engine that meets it gives the time here.
        if (std::isnan(params.fault.time)) params.fault.time = t;
        return;
    }
    params.fault.kind = kind;
    params.fault.rxn = rxn;
    params.fault.species = species;
    params.fault.time = t;
    params.fault.value = value;
}

bool check_propensities(SimParams& params, const double* a, int n, double t) {
    for (int i = 0; i < n; ++i) {
        if (is_bad_propensity(a[i])) {
            raise_fault(params, RunFault::kBadPropensity, i, -1, t, a[i]);
            return false;
        }
    }
    return true;
}

void SparseRows::build(const StoichMatrix& matrix, int num_rxns, int num_cmpds) {
    start.assign(static_cast<std::size_t>(num_rxns) + 1, 0);
    species.clear();
    change.clear();
    for (int j = 0; j < num_rxns; ++j) {
        const std::int32_t* row = matrix.row(j);
        for (int s = 0; s < num_cmpds; ++s) {
            if (row[s] == 0) continue;
            species.push_back(s);
            change.push_back(row[s]);
        }
        start[static_cast<std::size_t>(j) + 1] = static_cast<int>(species.size());
    }
}

void SparseColumns::build(const SparseRows& rows, int num_cmpds) {
    start.assign(static_cast<std::size_t>(num_cmpds) + 1, 0);
    for (int s : rows.species) start[static_cast<std::size_t>(s) + 1] += 1;
    for (int i = 0; i < num_cmpds; ++i) start[static_cast<std::size_t>(i) + 1] += start[static_cast<std::size_t>(i)];
    rxn.assign(rows.species.size(), 0);
    change.assign(rows.species.size(), 0);
    std::vector<int> next(start.begin(), start.end() - 1);
    const int num_rxns = static_cast<int>(rows.start.size()) - 1;
    for (int j = 0; j < num_rxns; ++j) {  // reactions ascending: each column in reaction order
        for (int k = rows.start[static_cast<std::size_t>(j)]; k < rows.start[static_cast<std::size_t>(j) + 1]; ++k) {
            const int slot = next[static_cast<std::size_t>(rows.species[static_cast<std::size_t>(k)])]++;
            rxn[static_cast<std::size_t>(slot)] = j;
            change[static_cast<std::size_t>(slot)] = rows.change[static_cast<std::size_t>(k)];
        }
    }
}

HotReaction hot_reaction(const Reaction& reaction, double volume) {
    HotReaction r;
    const int type = reaction.rxn_index;
    const std::size_t subs = reaction.subs_index.size();
    if (reaction.rates.empty()) return r;
    const double k0 = reaction.rates[0].value;
    if ((type == kUniUni || type == kUniMulti || type == kUnbinding) && subs >= 1) {
        r.kind = HotKind::kFirstOrder;
        r.c = k0;
        r.s0 = reaction.subs_index[0];
    } else if (type == kHomoLtor && subs >= 1) {
        r.kind = HotKind::kDimerisation;
        r.c = k0 / volume;
        r.s0 = reaction.subs_index[0];
    } else if ((type == kBinding || type == kUniqueBiBi) && subs >= 2) {
        r.kind = HotKind::kBimolecular;
        r.c = k0 / volume;
        r.s0 = reaction.subs_index[0];
        r.s1 = reaction.subs_index[1];
    }
    return r;
}

}  // namespace plenta

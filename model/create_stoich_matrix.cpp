// The stoichiometry matrix: the net change of every species per firing of
// every reaction, and the order row that tau selection reads.
#include <cstdio>

#include "model.h"
#include "model/rate_law.h"
#include "model/row_rule.h"

namespace plenta {

const char kMsgStoichTypeUndefined[] = "a specified reaction type is not defined - calc_stoich_mat\n";

namespace {

// The types with a row rule (model/row_rule.h).  "unique-bi-bi" has none of its own: its
// firings change no count, and the model author is told so.
bool has_row_rule(int rxn_index) {
    switch (rxn_index) {
        case kBinding:
        case kHomoLtor:
        case kUnbinding:
        case kUniUni:
        case kUniMulti:
        case kTransv1:
        case kGenmm:
        case kNOrder:
        case kUndef:
        case kMassAction:
        case kFormula:
            return true;
        default:
            return false;
    }
}

// A reaction's row of the dense matrix, written through the row rule.
struct DenseRow {
    std::int32_t* row;
    void add(int species, int change) { row[species] += change; }
    void set(int species, int change) { row[species] = change; }
};

void fill_reaction_row(const Reaction& rxn, int num_subs, int num_prods, std::int32_t* row) {
    DenseRow dense{row};
    apply_row_rule(rxn, num_subs, num_prods, dense);
}

// Number of distinct species that one firing of a reaction consumes (net).
int consumed_species(const std::int32_t* row, int num_cmpds) {
    int n = 0;
    for (int s = 0; s < num_cmpds; s++)
        if (row[s] < 0) n++;
    return n;
}

}  // namespace

void report_types_without_row_rule(const ModelSizes& model,
                                   const std::vector<Reaction>& reactions) {
    for (int r = 0; r < model.num_rxns; r++)
        if (!has_row_rule(reactions[r].rxn_index)) std::fputs(kMsgStoichTypeUndefined, stdout);
}

void create_stoich_matrix(const ModelSizes& model, const std::vector<Reaction>& reactions,
                          StoichMatrix& matrix) {
    report_types_without_row_rule(model, reactions);
    for (int r = 0; r < model.num_rxns; r++)
        fill_reaction_row(reactions[r], model.num_subs[r], model.num_prods[r], matrix.row(r));

    // Order row: for each species the highest order of any reaction that
    // consumes it, counted as distinct consumed species.
    // A formula reaction counts with the order estimated for its law when
    // that is higher (its propensity may grow faster than its consumed
    // species say, as a Hill law does).
    std::int32_t* order_row = matrix.row(model.num_rxns);
    for (int s = 0; s < model.num_cmpds; s++) {
        int order = 0;
        for (int r = 0; r < model.num_rxns; r++) {
            const std::int32_t* row = matrix.row(r);
            if (row[s] >= 0) continue;
            int n = consumed_species(row, model.num_cmpds);
            if (reactions[r].law && reactions[r].law->order() > n) n = reactions[r].law->order();
            if (n > order) order = n;
        }
        order_row[s] = order;
    }
}

}  // namespace plenta

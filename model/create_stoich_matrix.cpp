// The stoichiometry matrix: the net change of every species per firing of
// every reaction, and the order row that tau selection reads.
#include <cstdio>

#include "model.h"
#include "model/rate_law.h"

namespace plenta {

const char kMsgStoichTypeUndefined[] = "a specified reaction type is not defined - calc_stoich_mat\n";

namespace {

// Types 6-9 and "mass-action" carry explicit coefficients on both sides: consumed molecules are
// subtracted, produced ones added, so a species on both sides nets out.
void add_coefficient_rows(const Reaction& rxn, int num_subs, int num_prods, std::int32_t* row) {
    for (int k = 0; k < num_subs; k++) row[rxn.subs_index[k]] -= rxn.subs_coef[k];
    for (int k = 0; k < num_prods; k++) row[rxn.prods_index[k]] += rxn.prods_coef[k];
}

// The types with a row rule below.  "unique-bi-bi" has none of its own: its
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

void fill_reaction_row(const Reaction& rxn, int num_subs, int num_prods, std::int32_t* row) {
    switch (rxn.rxn_index) {
        case kBinding:
        case kHomoLtor:
            // A homodimerisation names its species twice and so nets -2 there.
            // The product is set after the substrates, so a product that is
            // also a substrate ends at +1, not 0.
            row[rxn.subs_index[0]] += -1;
            row[rxn.subs_index[1]] += -1;
            row[rxn.prods_index[0]] = 1;
            break;
        case kUnbinding:
            row[rxn.subs_index[0]] = -1;
            row[rxn.prods_index[0]] += 1;
            row[rxn.prods_index[1]] += 1;
            break;
        case kUniUni:
            row[rxn.subs_index[0]] = -1;
            row[rxn.prods_index[0]] = 1;
            break;
        case kUniMulti:
            row[rxn.subs_index[0]] = -1;
            for (int k = 0; k < num_prods; k++) row[rxn.prods_index[k]] += rxn.prods_coef[k];
            break;
        case kTransv1:
        case kGenmm:
        case kNOrder:
        case kUndef:
        case kMassAction:
        case kFormula:
            add_coefficient_rows(rxn, num_subs, num_prods, row);
            break;
        default:
            break;  // no row rule (has_row_rule): the row stays zero
    }
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

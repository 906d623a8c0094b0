// row_rule.h - what one firing of a reaction does to the counts: the row
// rule of each reaction type, shared by the dense stoichiometry matrix and
// the sparse rows of the large-network methods.
#ifndef PLENTA_MODEL_ROW_RULE_H
#define PLENTA_MODEL_ROW_RULE_H

#include "model/model.h"

namespace plenta {

// Applies the reaction's row rule through `row.add(species, change)` and
// `row.set(species, change)`, in the order the rule states them; the row
// must start at zero.  The fixed-shape types set some entries instead of
// adding to them: a homodimerisation names its species twice and so nets -2
// there, and its product is set after the substrates, so a product that is
// also a substrate ends at +1, not 0.  The types with coefficients subtract
// what they consume and add what they produce, so a species on both sides
// nets out.  "unique-bi-bi" (and any type without a rule) changes nothing.
template <class Row>
void apply_row_rule(const Reaction& rxn, int num_subs, int num_prods, Row& row) {
    switch (rxn.rxn_index) {
        case kBinding:
        case kHomoLtor:
            row.add(rxn.subs_index[0], -1);
            row.add(rxn.subs_index[1], -1);
            row.set(rxn.prods_index[0], 1);
            break;
        case kUnbinding:
            row.set(rxn.subs_index[0], -1);
            row.add(rxn.prods_index[0], 1);
            row.add(rxn.prods_index[1], 1);
            break;
        case kUniUni:
            row.set(rxn.subs_index[0], -1);
            row.set(rxn.prods_index[0], 1);
            break;
        case kUniMulti:
            row.set(rxn.subs_index[0], -1);
            for (int k = 0; k < num_prods; k++) row.add(rxn.prods_index[k], rxn.prods_coef[k]);
            break;
        case kTransv1:
        case kGenmm:
        case kNOrder:
        case kUndef:
        case kMassAction:
        case kFormula:
            for (int k = 0; k < num_subs; k++) row.add(rxn.subs_index[k], -rxn.subs_coef[k]);
            for (int k = 0; k < num_prods; k++) row.add(rxn.prods_index[k], rxn.prods_coef[k]);
            break;
        default:
            break;
    }
}

}  // namespace plenta

#endif  // PLENTA_MODEL_ROW_RULE_H

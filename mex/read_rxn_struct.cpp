// The MATLAB reaction reader: one 1-by-1 reaction structure (cell i of the
// gateway's first input) becomes one Reaction record, by the column rules of
// its type.
//
// Field values are real double arrays read in MATLAB's storage order (column
// by column); every value bound for an integer field is truncated toward
// zero (2.7 gives 2, -0.5 gives 0).  Reactions are reported to the user
// counted from 1, as MATLAB counts.
#include <cstddef>

#include "mex_gateway.h"

namespace plenta {
namespace mex {

namespace {

// The largest double below 2^31: anything at or above it does not fit an int.
constexpr double kIntLimit = 2147483648.0;

const mxArray* lookup(const mxArray* rxn, const char* name) { return mxGetField(rxn, 0, name); }

// Arrays are read through mxGetPr, which is only meaningful for full double
// arrays (a sparse array's data holds its nonzeros only).
bool is_full_double(const mxArray* a) { return mxIsDouble(a) && !mxIsSparse(a); }

// Number of columns of "substrates" / "products" the type's rules read.
int substrate_columns(int type) {
    if (type == kNOrder) return 3;
    if (type == kTransv1 || type == kGenmm || type == kUndef || type == kMassAction ||
        type == kFormula)
        return 2;
    return 1;
}

int product_columns(int type) {
    return (type == kUniMulti || type >= kTransv1) ? 2 : 1;
}

// Single-constant types give their constant as the first row of "StoP"; the
// others as a row vector, one column per constant.
bool rates_by_rows(int type) { return type <= kUniUni || type == kHomoLtor; }

// A species list: rows x at least `columns` columns of doubles (an empty list
// may have any number of columns).
const double* species_list(int i, const mxArray* value, const char* name, int type, int columns,
                           int& rows) {
    if (!is_full_double(value))
        gateway_error("tamrin:badField", "reaction %d: field \"%s\" must be a real double matrix",
                      i + 1, name);
    const std::size_t m = mxGetM(value);
    if (m > static_cast<std::size_t>(kIntLimit - 1.0))
        gateway_error("tamrin:badField", "reaction %d: field \"%s\" has too many rows", i + 1, name);
    rows = static_cast<int>(m);
    if (rows > 0 && mxGetN(value) < static_cast<std::size_t>(columns))
        gateway_error("tamrin:badField",
                      "reaction %d: field \"%s\" needs %d column(s) for type \"%s\", has %d",
                      i + 1, name, columns, kRxnTypeNames[type], static_cast<int>(mxGetN(value)));
    return mxGetPr(value);
}

int species_position(int i, const char* name, int row, double v, int num_cmpds) {
    // Truncation toward zero lands in 0 .. num_cmpds - 1 exactly when
    // -1 < v < num_cmpds; the comparison also rejects NaN.
    if (!(v > -1.0 && v < static_cast<double>(num_cmpds)))
        gateway_error("tamrin:badSpecies",
                      "reaction %d: field \"%s\", row %d: species position %g is outside 0..%d",
                      i + 1, name, row + 1, v, num_cmpds - 1);
    return static_cast<int>(v);
}

int whole_value(int i, const char* name, int row, double v) {
    if (!(v > -kIntLimit && v < kIntLimit))
        gateway_error("tamrin:badField", "reaction %d: field \"%s\", row %d: value %g is not a "
                      "32-bit integer", i + 1, name, row + 1, v);
    return static_cast<int>(v);
}

double scalar_field(int i, const mxArray* value, const char* name) {
    if (!mxIsNumeric(value) || mxIsEmpty(value))
        gateway_error("tamrin:badField", "reaction %d: field \"%s\" must be a numeric scalar",
                      i + 1, name);
    return mxGetScalar(value);
}

void read_substrates(int i, const mxArray* rxn, Reaction& r, ModelSizes& model) {
    const mxArray* value = lookup(rxn, "substrates");
    if (value == nullptr)
        gateway_error("tamrin:missingField", "reaction %d has no field \"substrates\"", i + 1);
    int m = 0;
    const double* data = species_list(i, value, "substrates", r.rxn_index,
                                      substrate_columns(r.rxn_index), m);
    model.num_subs[i] = m;
    r.subs_index.assign(m, 0);
    r.subs_coef.assign(m, 0);
    if (r.rxn_index == kNOrder) r.subs_order.assign(m, 0.0);
    for (int j = 0; j < m; ++j) {
        r.subs_index[j] = species_position(i, "substrates", j, data[j], model.num_cmpds);
        if (r.rxn_index < kTransv1) continue;
        r.subs_coef[j] = whole_value(i, "substrates", j, data[m + j]);
        if (r.rxn_index == kNOrder)  // exponents are whole numbers here: 1.5 gives 1.0
            r.subs_order[j] = static_cast<double>(whole_value(i, "substrates", j, data[2 * m + j]));
    }
}

void read_products(int i, const mxArray* value, Reaction& r, ModelSizes& model) {
    int m = 0;
    const double* data = species_list(i, value, "products", r.rxn_index,
                                      product_columns(r.rxn_index), m);
    model.num_prods[i] = m;
    r.prods_index.assign(m, 0);
    r.prods_coef.assign(m, 0);
    const bool coefficients = product_columns(r.rxn_index) == 2;
    for (int j = 0; j < m; ++j) {
        r.prods_index[j] = species_position(i, "products", j, data[j], model.num_cmpds);
        if (coefficients) r.prods_coef[j] = whole_value(i, "products", j, data[m + j]);
    }
}

void read_rate_constants(int i, const mxArray* value, Reaction& r) {
    if (!is_full_double(value))
        gateway_error("tamrin:badField", "reaction %d: field \"StoP\" must be a real double array",
                      i + 1);
    std::size_t k = rates_by_rows(r.rxn_index) ? mxGetM(value) : mxGetN(value);
    // A 0-by-3 or 3-by-0 array has a dimension but no elements: no constants.
    if (mxGetNumberOfElements(value) == 0) k = 0;
    if (k > static_cast<std::size_t>(kIntLimit - 1.0))
        gateway_error("tamrin:badField", "reaction %d: field \"StoP\" is too large", i + 1);
    const double* data = mxGetPr(value);
    r.num_rates = static_cast<int>(k);
    r.rates.assign(k, RateConstant{});
    for (std::size_t j = 0; j < k; ++j) r.rates[j].value = data[j];
}

// The list lengths the fixed-shape rules of the stoichiometry matrix and the
// propensities read whatever the lists hold.
void check_shape(int i, const Reaction& r, const ModelSizes& model) {
    int subs = 0;
    int prods = 0;
    switch (r.rxn_index) {
        case kBinding:
        case kHomoLtor: subs = 2; prods = 1; break;
        case kUniqueBiBi: subs = 2; break;  // no matrix row; its propensity is binding's
        case kUnbinding: subs = 1; prods = 2; break;
        case kUniUni: subs = 1; prods = 1; break;
        case kUniMulti:  // products run over the list
        case kTransv1:   // these two read the first substrate's count directly
        case kGenmm: subs = 1; break;
        default: break;
    }
    if (model.num_subs[i] < subs)
        gateway_error("tamrin:badShape",
                      "reaction %d: a \"%s\" reaction needs %d substrate(s) in field "
                      "\"substrates\", has %d",
                      i + 1, kRxnTypeNames[r.rxn_index], subs, model.num_subs[i]);
    if (model.num_prods[i] < prods)
        gateway_error("tamrin:badShape",
                      "reaction %d: a \"%s\" reaction needs %d product(s) in field "
                      "\"products\", has %d",
                      i + 1, kRxnTypeNames[r.rxn_index], prods, model.num_prods[i]);
}

void check_rate_constants(int i, const Reaction& r, const ModelSizes& model, bool has_products) {
    const int needed = rates_needed(r, model.num_subs[i]);
    if (r.num_rates >= needed) return;
    if (!has_products)
        gateway_error("tamrin:noProducts",
                      "reaction %d has no field \"products\", so its \"StoP\" is not read and it "
                      "has no rate constants; give it a sink product (or products = []) ",
                      i + 1);
    gateway_error("tamrin:tooFewRates",
                  "reaction %d: a \"%s\" reaction with %d substrate(s) needs %d rate "
                  "constant(s) in field \"StoP\", has %d",
                  i + 1, kRxnTypeNames[r.rxn_index], model.num_subs[i], needed, r.num_rates);
}

// An "undef" reaction's built-in formula reads species by fixed position.
void check_undef_species(int i, const Reaction& r, const ModelSizes& model) {
    if (r.rxn_index != kUndef) return;
    const int highest = rxn_prob_undef_max_species(r.id);
    if (highest >= model.num_cmpds)
        gateway_error("tamrin:badSpecies",
                      "reaction %d: the built-in \"undef\" formula of id %d reads species "
                      "position %d, but there are only %d species",
                      i + 1, r.id, highest, model.num_cmpds);
}

}  // namespace

int rates_needed(const Reaction& reaction, int num_subs) {
    switch (reaction.rxn_index) {
        case kGenmm: return num_subs > 1 ? num_subs : 1;
        case kNOrder: return 2;
        case kUndef:
            if (rxn_prob_undef_max_species(reaction.id) < 0) return 0;  // no formula, no constant
            return reaction.id == 0 ? 2 : 1;
        case kFormula: return 0;  // its parameters come with its formula (compile_formulas)
        default: return 1;
    }
}

void read_rxn_struct(int i, const mxArray* rxn, std::vector<Reaction>& reactions,
                     ModelSizes& model) {
    Reaction& r = reactions[i];

    const mxArray* type = lookup(rxn, "type");
    if (type == nullptr)
        gateway_error("tamrin:missingField", "reaction %d has no field \"type\"", i + 1);
    // A number or any other class has no text to compare with the type
    // names; read as text it would be empty and silently become "binding".
    if (!mxIsChar(type))
        gateway_error("tamrin:badField",
                      "reaction %d: field \"type\" must be a type name (text), not of class %s",
                      i + 1, mxGetClassName(type));
    const int truncated = mxGetString(type, r.rxntype, kNameLen);
    // The type index comes from whatever text was stored, then the warning.
    r.rxn_index = assign_rxn_index(r.rxntype);
    if (truncated != 0) mexWarnMsgIdAndTxt("tamrin:typeTruncated", "%s", kMsgTypeTruncated);

    read_substrates(i, rxn, r, model);

    // Without "products" neither "formula" nor "StoP" is read.
    const mxArray* products = lookup(rxn, "products");
    if (products != nullptr) {
        read_products(i, products, r, model);
        if (r.rxn_index == kUndef) {
            const mxArray* formula = lookup(rxn, "formula");
            if (formula == nullptr)
                gateway_error("tamrin:missingField",
                              "reaction %d: an \"undef\" reaction needs the field \"formula\"",
                              i + 1);
            // The formula is stored, never evaluated: a truncated text is harmless.
            mxGetString(formula, r.formula, kFormulaLen);
        }
        const mxArray* stop = lookup(rxn, "StoP");
        if (stop != nullptr) read_rate_constants(i, stop, r);
    } else {
        model.num_prods[i] = 0;
        // A "mass-action" degradation has no products but its rate constant.
        const mxArray* stop = r.rxn_index == kMassAction ? lookup(rxn, "StoP") : nullptr;
        if (stop != nullptr) read_rate_constants(i, stop, r);
    }
    if (r.rxn_index == kFormula && lookup(rxn, "formula") == nullptr)
        gateway_error("tamrin:missingField",
                      "reaction %d: a \"formula\" reaction needs the field \"formula\"", i + 1);

    r.id = i;
    const mxArray* ai = lookup(rxn, "ai");
    if (ai != nullptr) r.ai = scalar_field(i, ai, "ai");
    const mxArray* time = lookup(rxn, "time");
    if (time != nullptr) r.time = scalar_field(i, time, "time");

    check_shape(i, r, model);
    check_rate_constants(i, r, model, products != nullptr);
    check_undef_species(i, r, model);
}

}  // namespace mex
}  // namespace plenta

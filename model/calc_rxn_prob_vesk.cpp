// Propensities: the firing rate of one reaction in the current state, by the
// formula of its type (mass action, Michaelis-Menten style saturation, or a
// general n-th order law), in double precision and in the order written.
#include <cmath>
#include <cstdio>
#include <limits>

#include "model.h"
#include "model/rate_law.h"

namespace plenta {

const char kMsgPropensityTypeUndefined[] = "a specified reaction type is not defined - calc_rxn_prob\n";

namespace {

constexpr double kLargestDouble = std::numeric_limits<double>::max();

double substrate_count(const Reaction& rxn, const std::vector<Compound>& species, int j) {
    return static_cast<double>(species[rxn.subs_index[j]].count);
}

// A substrate is short when fewer molecules are present than one firing
// needs: floor(x / c) == 0.  A coefficient of 0 gives inf or NaN, never short.
bool is_short(const Reaction& rxn, const std::vector<Compound>& species, int j) {
    const double x = substrate_count(rxn, species, j);
    return std::floor(x / static_cast<double>(rxn.subs_coef[j])) == 0.0;
}

// The general types below are kept out of line so that the mass-action
// cases, evaluated after nearly every firing, stay a short leaf function.

// "transv1": the first substrate enters linearly, the others through the
// reciprocal of the sum of their reciprocal counts.
[[gnu::noinline]] double transv1_propensity(const Reaction& rxn, const std::vector<Compound>& species, double volume,
                          int m) {
    double n = (rxn.rates[0].value / volume) * substrate_count(rxn, species, 0);
    if (is_short(rxn, species, 0)) n = 0.0;
    double d = 0.0;
    for (int j = 1; j < m; j++) {
        if (is_short(rxn, species, j)) {
            n = 0.0;
            d = kLargestDouble;
            break;
        }
        d = d + 1.0 / substrate_count(rxn, species, j);
    }
    return n / d;
}

// "genmm": every substrate after the first saturates as x / (x + k_j V).
[[gnu::noinline]] double genmm_propensity(const Reaction& rxn, const std::vector<Compound>& species, double volume,
                        int m) {
    double n = (rxn.rates[0].value * substrate_count(rxn, species, 0)) / volume;
    if (is_short(rxn, species, 0)) n = 0.0;
    double p = 1.0;
    for (int j = 1; j < m; j++) {
        if (is_short(rxn, species, j)) {
            p = 0.0;
            break;
        }
        const double x = substrate_count(rxn, species, j);
        p = (p * x) / (x + rxn.rates[j].value * volume);
    }
    return n * p;
}

// "n-order": k_0 / V^(E-1) times the product of x_j^e_j; order E = 0 is a
// constant source k_0 V that reads no substrate.
[[gnu::noinline]] double n_order_propensity(const Reaction& rxn, const std::vector<Compound>& species, double volume,
                          int m) {
    const double order = rxn.rates[1].value;
    double a = rxn.rates[0].value / std::pow(volume, order - 1.0);
    if (order == 0.0) return a;
    for (int j = 0; j < m; j++) {
        if (is_short(rxn, species, j))
            a = 0.0;
        else
            a = a * std::pow(substrate_count(rxn, species, j), rxn.subs_order[j]);
    }
    return a;
}

[[gnu::noinline]] double undef_propensity(const Reaction& rxn, const std::vector<Compound>& species, int m) {
    for (int j = 0; j < m; j++)
        if (is_short(rxn, species, j)) return 0.0;
    return rxn_prob_undef(rxn, species);
}

// "formula": the compiled law.  Its value is checked here, where it is
// computed: a negative, NaN or infinite propensity is a fault of the model
// (no waiting time exists for it), recorded as the run's first fault; the
// engine stamps the time and ends the run.
// As for the other general types, a reaction cannot fire while a substrate
// is short of what one firing takes, whatever its law says.
[[gnu::noinline]] double formula_propensity(const Reaction& rxn, const std::vector<Compound>& species,
                                            const SimParams& params, int r, int m) {
    for (int j = 0; j < m; j++)
        if (species[rxn.subs_index[j]].count < rxn.subs_coef[j]) return 0.0;
    // A front end that made the record without compiling its law gets NaN,
    // and with it the fault below, never a read through a null law.
    const double a = rxn.law ? rxn.law->evaluate(species, rxn.rates.data(), params.volume)
                             : std::numeric_limits<double>::quiet_NaN();
    if (!(a >= 0.0 && a <= kLargestDouble) && !params.fault.raised()) {
        RunFault& fault = params.fault;
        fault.kind = RunFault::kBadPropensity;
        fault.rxn = r;
        fault.species = -1;
        fault.time = std::numeric_limits<double>::quiet_NaN();  // the engine knows it
        fault.value = a;
    }
    return a;
}

}  // namespace

// Counted as doubles: a falling factorial of counts near 2^31 would overflow
// any integer type, and the direct method sums the result as a double anyway.
double mass_action_propensity(const Reaction& reaction, const std::vector<Compound>& species,
                              double volume, int num_subs) {
    int order = 0;
    for (int j = 0; j < num_subs; j++) order += reaction.subs_coef[j];
    double a = reaction.rates[0].value;
    if (order != 1) a = a / std::pow(volume, static_cast<double>(order - 1));
    for (int j = 0; j < num_subs; j++) {
        const double x = substrate_count(reaction, species, j);
        const int n = reaction.subs_coef[j];
        if (x < static_cast<double>(n)) return 0.0;
        for (int k = 0; k < n; k++) a = a * (x - static_cast<double>(k));
    }
    return a;
}

double calc_rxn_prob_vesk(const Reaction& reaction, const std::vector<Compound>& species,
                          const SimParams& params, const ModelSizes& model, int rxn) {
    const double v = params.volume;
    switch (reaction.rxn_index) {
        case kBinding:
        case kUniqueBiBi:
            return bimolecular_propensity(reaction.rates[0].value, v,
                                          substrate_count(reaction, species, 0),
                                          substrate_count(reaction, species, 1));
        case kUnbinding:
        case kUniUni:
        case kUniMulti:
            return first_order_propensity(reaction.rates[0].value,
                                          substrate_count(reaction, species, 0));
        case kHomoLtor:
            return dimerisation_propensity(reaction.rates[0].value, v,
                                           substrate_count(reaction, species, 0));
        case kTransv1:
            return transv1_propensity(reaction, species, v, model.num_subs[rxn]);
        case kGenmm:
            return genmm_propensity(reaction, species, v, model.num_subs[rxn]);
        case kNOrder:
            return n_order_propensity(reaction, species, v, model.num_subs[rxn]);
        case kUndef:
            return undef_propensity(reaction, species, model.num_subs[rxn]);
        case kMassAction:
            return mass_action_propensity(reaction, species, v, model.num_subs[rxn]);
        case kFormula:
            return formula_propensity(reaction, species, params, rxn, model.num_subs[rxn]);
        default:
            std::fputs(kMsgPropensityTypeUndefined, stdout);
            return 0.0;
    }
}

}  // namespace plenta

// Checks of the values a run starts from, shared by every front end.
//
// The engine trusts its input: a negative count makes a propensity negative
// and the direct method's waiting time -log(r)/a0 negative, so time runs
// backwards and an interval never ends; a NaN or infinite rate constant or
// volume does the same through the propensities.  Each front end therefore
// checks the values here before it creates or truncates any output, and
// reports the first fault with its own prefix (the file, the call).
#include <cmath>
#include <cstdio>
#include <string>

#include "model/model.h"

namespace plenta {

namespace {

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

bool finite_at_least_zero(double v) { return std::isfinite(v) && v >= 0.0; }

// "undef" reactions take named constants of built-in formulas, which the
// formulas may read as offsets or exponents of either sign; what a run cannot
// take from them is a value that is not a number.  The rate constant of every
// other type multiplies a count into a propensity and must be >= 0.
std::string rate_fault(const Reaction& reaction, int rxn) {
    for (std::size_t j = 0; j < reaction.rates.size(); ++j) {
        const double k = reaction.rates[j].value;
        // A formula's named parameters are read as the formula says, of either sign.
        const bool any_sign = reaction.rxn_index == kUndef || reaction.rxn_index == kFormula;
        const bool ok = any_sign ? std::isfinite(k) : finite_at_least_zero(k);
        if (!ok)
            return "reaction " + std::to_string(rxn + 1) + ": rate constant " +
                   std::to_string(j) + (reaction.rates[j].name[0] != '\0' && reaction.rxn_index == kFormula
                                            ? std::string(" (") + reaction.rates[j].name + ")"
                                            : std::string()) +
                   " is " + number(k) +
                   (any_sign ? ", not a finite number." : ", not a finite number >= 0.");
    }
    return "";
}

}  // namespace

std::string check_run_values(const ModelSizes& model, const std::vector<Compound>& species,
                             const std::vector<Reaction>& reactions, const SimParams& params) {
    for (int c = 0; c < model.num_cmpds && c < static_cast<int>(species.size()); ++c)
        if (species[c].count < 0)
            return "species " + std::to_string(c) + " (" + species[c].name + "): count " +
                   std::to_string(species[c].count) + " is below 0.";
    for (int r = 0; r < model.num_rxns && r < static_cast<int>(reactions.size()); ++r) {
        const std::string fault = rate_fault(reactions[r], r);
        if (!fault.empty()) return fault;
    }
    if (!(std::isfinite(params.volume) && params.volume > 0.0))
        return "volume = " + number(params.volume) + " is not a finite number > 0.";
    if (params.algorithm == kTauLeaping &&
        !(std::isfinite(params.tau_error) && params.tau_error > 0.0))
        return "tau_error = " + number(params.tau_error) + " is not a finite number > 0.";
    return "";
}

std::string check_finite_time(const char* field, double value) {
    if (std::isfinite(value)) return "";
    return std::string(field) + " = " + number(value) + " is not a finite time.";
}

std::string check_randseed(long long randseed) {
    if (randseed >= kMinRandseed && randseed <= kMaxRandseed) return "";
    return "randseed = " + std::to_string(randseed) + " is outside " +
           std::to_string(kMinRandseed) + ".." + std::to_string(kMaxRandseed) + ".";
}

std::string describe_run_fault(const RunFault& fault) {
    if (fault.event >= 0) {
        const std::string at =
            "event " + std::to_string(fault.event + 1) + " at time " + number(fault.time) + ": ";
        switch (fault.kind) {
            case RunFault::kEventSpecies:
                return at + "species " + std::to_string(fault.species) + " would be set to " +
                       number(fault.value) + ", not a count 0..2147483647.";
            case RunFault::kEventParameter:
                return at + "named parameter " + std::to_string(fault.rxn + 1) +
                       " would be set to " + number(fault.value) + ", not a finite number.";
            case RunFault::kEventDelay:
                return at + "the delay " + number(fault.value) + " is not a finite number >= 0.";
            case RunFault::kEventCascade:
                return at + "more than " + number(fault.value) +
                       " executions at one instant (events triggering one another without end).";
            default:
                break;
        }
    }
    const std::string who = fault.rxn >= 0 ? "reaction " + std::to_string(fault.rxn + 1) : "the run";
    const std::string at = who + " at time " + number(fault.time) + ": ";
    const std::string sp = "species " + std::to_string(fault.species);
    switch (fault.kind) {
        case RunFault::kBadPropensity:
            return at + "propensity " + number(fault.value) + " is not a finite number >= 0.";
        case RunFault::kNegativeCount:
            return at + sp + " would go to " + number(fault.value) + ", below 0.";
        case RunFault::kCountOverflow:
            return at + sp + " would reach " + number(fault.value) +
                   ", beyond the largest count 2147483647.";
        case RunFault::kFiringOverflow:
            return at + "its firing total would reach " + number(fault.value) +
                   ", beyond 2147483647.";
        case RunFault::kNone:
        default:
            break;
    }
    return "";
}

}  // namespace plenta

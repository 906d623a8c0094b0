// plenta --check: the start-up read and every check a run makes before it
// creates a file, then a listing of what was read, so that a model file can
// be looked over (and a misspelt key found) without running anything.
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/ensemble_internal.h"

namespace plenta {

namespace {

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

std::string species_text(const ConsoleModel& m, int position) {
    const bool known = position >= 0 && position < static_cast<int>(m.species.size());
    return std::string(known ? m.species[static_cast<std::size_t>(position)].name : "?") + "[" +
           std::to_string(position) + "]";
}

bool products_have_coefficients(int type) {
    return !(type == kBinding || type == kUniqueBiBi || type == kUnbinding || type == kUniUni ||
             type == kHomoLtor);
}

bool substrates_have_coefficients(int type) {
    return type == kTransv1 || type == kGenmm || type == kUndef || type == kNOrder;
}

std::string reaction_text(const ConsoleModel& m, std::size_t i) {
    const Reaction& r = m.reactions[i];
    std::string line = "  " + std::to_string(i) + " (id " + std::to_string(r.id) + ") " +
                       r.rxntype + ": ";
    for (std::size_t j = 0; j < r.subs_index.size(); j++) {
        if (j > 0) line += " + ";
        if (substrates_have_coefficients(r.rxn_index)) line += std::to_string(r.subs_coef[j]) + " ";
        line += species_text(m, r.subs_index[j]);
        if (r.rxn_index == kNOrder) line += "^" + number(r.subs_order[j]);
    }
    line += " ->";
    if (r.prods_index.empty()) line += " (nothing)";
    for (std::size_t j = 0; j < r.prods_index.size(); j++) {
        line += j > 0 ? " + " : " ";
        if (products_have_coefficients(r.rxn_index)) line += std::to_string(r.prods_coef[j]) + " ";
        line += species_text(m, r.prods_index[j]);
    }
    if (r.rxn_index == kUndef) line += std::string("; formula ") + r.formula;
    line += ";";
    if (r.rates.empty()) line += " no rate constants";
    for (std::size_t k = 0; k < r.rates.size(); k++) {
        line += k > 0 ? ", " : " ";
        line += r.rxn_index == kUndef && r.rates[k].name[0] != '\0' ? std::string(r.rates[k].name)
                                                                    : "k" + std::to_string(k);
        line += " = " + number(r.rates[k].value);
    }
    return line + "\n";
}

std::string algorithm_text(int algorithm) {
    if (algorithm == kDirectMethod) return "2 (direct method)";
    if (algorithm == kTauLeaping) return "3 (tau-leaping)";
    return std::to_string(algorithm) + " (first-reaction selection)";
}

std::string set_text(const ConsoleModel& m, std::size_t s) {
    std::string line = "  " + std::to_string(s + 1) + ": " +
                       std::to_string(m.params.num_repeats[s]) + " runs";
    if (s == 0) return line + " (the model as read)\n";
    const ParamSet& set = m.sets[s];
    for (const Compound& c : set.species)
        line += "; " + species_text(m, c.index) + " = " + std::to_string(c.count);
    for (std::size_t k = 0; k < set.rates.size(); k++)
        line += "; reaction " + std::to_string(set.rate_rxn[k]) + " k" +
                std::to_string(set.rates[k].index) + " = " + number(set.rates[k].value);
    return line + "\n";
}

}  // namespace

std::string describe_model(const ConsoleModel& m) {
    const SimParams& p = m.params;
    std::string text = "Model file " + m.model_path + "\n";
    text += "Outputs: trajectories " + m.traj_base + "_<run>, summary " + m.summary_path +
            (p.eventlog_flag == 1 ? ", event logs " + m.evlog_base + "_<run>_<file>"
                                  : std::string(", no event logs (eventlog_flag = ") +
                                        std::to_string(p.eventlog_flag) + ")") +
            "\n";
    text += "Species: " + std::to_string(m.species.size()) + "\n";
    for (std::size_t c = 0; c < m.species.size(); c++)
        text += "  " + species_text(m, static_cast<int>(c)) + " " +
                std::to_string(m.species[c].count) + "\n";
    text += "Reactions: " + std::to_string(m.reactions.size()) + "\n";
    for (std::size_t i = 0; i < m.reactions.size(); i++) text += reaction_text(m, i);
    text += "Parameters: time_start = " + number(p.time_start) + ", time_end = " +
            number(p.time_end) + ", volume = " + number(p.volume) + ", algorithm = " +
            algorithm_text(p.algorithm);
    if (p.algorithm == kTauLeaping) text += ", tau_error = " + number(p.tau_error);
    text += ", randseed = " + std::to_string(p.randseed) + ", snapshot_interval = " +
            number(p.snapshot_interval) + ", eventlog_flag = " + std::to_string(p.eventlog_flag) +
            "\n";
    text += "Monitored species:";
    for (int s : p.monit) text += " " + species_text(m, s);
    text += p.monit.empty() ? " none\n" : "\n";
    text += "Parameter sets: " + std::to_string(m.sets.size()) + "\n";
    for (std::size_t s = 0; s < m.sets.size(); s++) text += set_text(m, s);
    // Events, only in a model that has them (every other listing is as before).
    if (!m.event_specs.empty()) {
        text += "Events: " + std::to_string(m.event_specs.size()) + "\n";
        for (std::size_t k = 0; k < m.event_specs.size(); k++) {
            const EventSpec& e = m.event_specs[k];
            text += "  " + std::to_string(k + 1) + " (" + e.name + "): " + e.trigger;
            if (!e.priority.empty()) text += "; priority " + e.priority;
            if (!e.delay.empty()) text += "; delay " + e.delay;
            if (e.values_at_trigger) text += "; values at trigger time";
            if (!e.initial) text += "; initial false";
            if (!e.persistent) text += "; not persistent";
            for (const EventAssignment& a : e.assignments) text += "; " + a.target + " = " + a.expression;
            text += "\n";
        }
    }
    return text;
}

int check_console_model(const std::string& working_dir, const ConsoleOptions& options) {
    ConsoleModel model;
    std::string failure = load_console_model(working_dir, model);
    if (failure.empty()) failure = check_console_run(model, options);
    if (failure.empty() && uses_per_run_streams(options))
        failure = ensemble::check_run_total(model);
    std::string text = failure.empty() ? describe_model(model) : "";
    text += "Warnings: " + (model.warnings.empty() ? std::string("none") : std::to_string(model.warnings.size())) + "\n";
    for (const std::string& warning : model.warnings) text += warning;
    if (failure.empty()) {
        long long runs = 0;
        for (int n : model.params.num_repeats) runs += n;
        text += "The model can run: " + std::to_string(runs) + " runs; nothing was run.\n";
    } else {
        text += failure;
    }
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return failure.empty() ? 0 : 1;
}

}  // namespace plenta

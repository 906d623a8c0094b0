// The formula parts of a console model, compiled once when it is loaded:
// every formula reaction's rate, the assignment rules a trajectory can
// monitor, and the parameter sets' changes of named parameters.
#include "console/console.h"

namespace plenta {

namespace {

// A model built by a front end has no lines (0): only the file is named.
std::string at_line(const ConsoleModel& m, int line) {
    return "Model file " + m.model_path + (line > 0 ? ", line " + std::to_string(line) : "");
}

}  // namespace

std::string compile_model_formulas(ConsoleModel& m) {
    FormulaSection& f = m.formulas;
    bool any_formula = false;
    for (const Reaction& r : m.reactions) any_formula = any_formula || r.rxn_index == kFormula;
    // A model with events reads named parameters and rules without formula
    // reactions too.
    if (!any_formula && m.event_definitions.empty()) return "";

    FormulaNames names(m.species, f.scope);
    if (!names.conflict().empty()) {
        // Point at the second of two equal names where the sections give it.
        int line = f.parameter_lines.empty() ? 0 : f.parameter_lines.front();
        if (!f.rule_lines.empty() && names.conflict().rfind("rule", 0) == 0) line = f.rule_lines.front();
        return at_line(m, line) + ": " + names.conflict() + " Exit.\n";
    }
    for (std::size_t i = 0; i < m.reactions.size(); i++) {
        Reaction& r = m.reactions[i];
        if (r.rxn_index != kFormula) continue;
        const std::string text = i < f.rates.size() ? f.rates[i] : std::string();
        const int line = i < f.rate_lines.size() ? f.rate_lines[i] : 0;
        if (text.empty())
            return at_line(m, line) + ", reaction " + std::to_string(i) + " (id " +
                   std::to_string(r.id) + "): a formula reaction needs a line \"rate = <formula>\". Exit.\n";
        const std::string error = compile_formula_reaction(r, text, m.species, names, m.params.volume);
        if (!error.empty())
            return at_line(m, line) + ", reaction " + std::to_string(i) + " (id " +
                   std::to_string(r.id) + "): in \"" + text + "\": " + error + " Exit.\n";
    }
    const std::string rules = f.rule_values.compile(names);
    if (!rules.empty()) {
        std::size_t k = 0;
        while (k < f.scope.rules.size() && rules.find("\"" + f.scope.rules[k].name + "\"") == std::string::npos) k++;
        const int line = k < f.rule_lines.size() ? f.rule_lines[k] : 0;
        return at_line(m, line) + ": " + rules + " Exit.\n";
    }
    const int monitorable = m.sizes.num_cmpds + f.rule_values.size();
    for (std::size_t k = 0; k < m.params.monit.size(); k++)
        if (m.params.monit[k] >= monitorable)
            return "Model file " + m.model_path + ": monitored species " + std::to_string(k) +
                   " is " + std::to_string(m.params.monit[k]) + ", outside 0.." +
                   std::to_string(monitorable - 1) + " (species, then rules). Exit.\n";
    for (std::size_t s = 1; s < m.sets.size() && s < f.set_changes.size(); s++) {
        for (std::size_t k = 0; k < f.set_changes[s].size(); k++) {
            const NamedValue& change = f.set_changes[s][k];
            if (names.parameter(change.name) < 0)
                return at_line(m, f.set_change_lines[s][k]) + ", parameter set " +
                       std::to_string(s + 1) + ": \"" + change.name +
                       "\" is not a named parameter. Exit.\n";
            add_named_change(m.sets[s], m.reactions, change.name, change.value);
        }
    }
    return "";
}

std::string event_fault_message(const ConsoleModel& m, const EventError& fault) {
    return at_line(m, fault.line) + ": " + describe_event_error(m.event_definitions, fault) + " Exit.\n";
}

std::string compile_model_events(ConsoleModel& m) {
    m.run_parameters.clear();
    const EventError fault =
        m.events.compile(m.event_definitions, m.species, m.formulas.scope, m.reactions);
    if (fault.raised()) return event_fault_message(m, fault);
    return "";
}

}  // namespace plenta

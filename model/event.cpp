// Events as written, compiled once per model: triggers, priorities, delays
// and assignments turned into compiled expressions bound to the model's
// species and named parameters.
#include "model/event.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace plenta {

namespace {

std::string trim(const std::string& v) {
    const std::size_t a = v.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    return v.substr(a, v.find_last_not_of(" \t\r\n") - a + 1);
}

// The word at the start of text (up to white space) and the rest, trimmed.
std::string first_word(const std::string& text, std::string& rest) {
    const std::size_t end = text.find_first_of(" \t");
    if (end == std::string::npos) {
        rest.clear();
        return text;
    }
    rest = trim(text.substr(end));
    return text.substr(0, end);
}

// A whole decimal number (strtod's syntax, nothing after it).
bool parse_number(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return false;
    value = v;
    return true;
}

ModelEvents::Expression clone_expression(const ModelEvents::Expression& e) {
    ModelEvents::Expression copy;
    if (e.law) copy.law = e.law->clone();
    copy.parameters = e.parameters;
    return copy;
}

}  // namespace

bool parse_event_values(const std::string& text, bool& at_trigger) {
    const std::string t = trim(text);
    if (t == "trigger") {
        at_trigger = true;
        return true;
    }
    if (t == "fire") {
        at_trigger = false;
        return true;
    }
    return false;
}

bool parse_event_flag(const std::string& text, bool& value) {
    const std::string t = trim(text);
    if (t == "true") {
        value = true;
        return true;
    }
    if (t == "false") {
        value = false;
        return true;
    }
    return false;
}

std::string describe_event_error(const std::vector<EventDefinition>& definitions, const EventError& error) {
    std::string text;
    if (error.event >= 0) {
        text = "event " + std::to_string(error.event + 1);
        if (static_cast<std::size_t>(error.event) < definitions.size() &&
            !trim(definitions[static_cast<std::size_t>(error.event)].name).empty())
            text += " (" + trim(definitions[static_cast<std::size_t>(error.event)].name) + ")";
        if (!error.field.empty()) text += ", " + error.field;
        text += ": ";
    }
    return text + error.message;
}

ModelEvents::ModelEvents(const ModelEvents& other)
    : parameters_(other.parameters_),
      slots_(other.slots_),
      assigned_(other.assigned_),
      firing_check_(other.firing_check_),
      scratch_(other.scratch_) {
    events_.reserve(other.events_.size());
    for (const Event& e : other.events_) {
        Event c;
        c.name = e.name;
        c.kind = e.kind;
        c.time = e.time;
        c.period = e.period;
        c.condition = clone_expression(e.condition);
        c.priority = clone_expression(e.priority);
        c.delay = clone_expression(e.delay);
        c.values_at_trigger = e.values_at_trigger;
        c.initial = e.initial;
        c.persistent = e.persistent;
        for (const Assignment& a : e.assignments) {
            Assignment ca;
            ca.to_species = a.to_species;
            ca.target = a.target;
            ca.value = clone_expression(a.value);
            c.assignments.push_back(std::move(ca));
        }
        events_.push_back(std::move(c));
    }
}

ModelEvents& ModelEvents::operator=(const ModelEvents& other) {
    if (this != &other) {
        ModelEvents copy(other);
        *this = std::move(copy);
    }
    return *this;
}

EventError ModelEvents::compile(const std::vector<EventDefinition>& definitions,
                                const std::vector<Compound>& species, const FormulaScope& scope,
                                const std::vector<Reaction>& reactions) {
    *this = ModelEvents();
    if (definitions.empty()) return EventError{};
    FormulaNames names(species, scope);
    if (!names.conflict().empty()) return EventError{-1, "", 0, names.conflict()};

    std::vector<Event> events;
    std::size_t most_slots = 0;
    bool firing_check = false;
    std::vector<char> assigned(scope.parameters.size(), 0);
    for (std::size_t k = 0; k < definitions.size(); ++k) {
        const EventDefinition& def = definitions[k];
        const int ev = static_cast<int>(k);
        auto fail = [ev](const std::string& field, int line, const std::string& message) {
            return EventError{ev, field, line, message};
        };
        // Compiles one expression of the event; false with `error` set.
        auto expression = [&](const std::string& text, const std::string& field, int line,
                              Expression& out, EventError& error) {
            std::string message;
            out.law = RateLaw::compile(text, names, message);
            if (!out.law) {
                error = fail(field, line, "in \"" + text + "\": " + message);
                return false;
            }
            out.parameters.clear();
            for (const std::string& p : out.law->parameter_names())
                out.parameters.push_back(names.parameter(p));
            most_slots = std::max(most_slots, out.parameters.size());
            return true;
        };

        Event e;
        e.name = trim(def.name);
        e.values_at_trigger = def.values_at_trigger;
        e.initial = def.initial;
        e.persistent = def.persistent;
        EventError error;

        std::string rest;
        const std::string trigger = trim(def.trigger);
        const std::string word = first_word(trigger, rest);
        const std::string form =
            "a trigger is \"at T\", \"at T every P\" or \"when <condition>\"";
        if (trigger.empty())
            return fail("trigger", def.trigger_line, "the trigger is missing; " + form + ".");
        if (word == "at") {
            std::string period_text;
            const std::string time_text = first_word(rest, period_text);
            if (!parse_number(time_text, e.time) || !std::isfinite(e.time))
                return fail("trigger", def.trigger_line,
                            "\"" + time_text + "\" is not a finite time; " + form + ".");
            if (period_text.empty()) {
                e.kind = TriggerKind::kAt;
            } else {
                std::string p;
                const std::string every = first_word(period_text, p);
                if (every != "every")
                    return fail("trigger", def.trigger_line,
                                "\"" + period_text + "\" after the time; " + form + ".");
                if (!parse_number(p, e.period) || !(e.period > 0.0) || !std::isfinite(e.period))
                    return fail("trigger", def.trigger_line,
                                "the period \"" + p + "\" is not a finite number > 0.");
                e.kind = TriggerKind::kEvery;
            }
        } else if (word == "when") {
            if (rest.empty())
                return fail("trigger", def.trigger_line, "\"when\" needs a condition.");
            e.kind = TriggerKind::kWhen;
            if (!expression(rest, "trigger", def.trigger_line, e.condition, error)) return error;
            firing_check = firing_check || !e.condition.law->species_read().empty();
        } else {
            return fail("trigger", def.trigger_line, "\"" + trigger + "\": " + form + ".");
        }
        if (!trim(def.priority).empty() &&
            !expression(trim(def.priority), "priority", def.priority_line, e.priority, error))
            return error;
        if (!trim(def.delay).empty() &&
            !expression(trim(def.delay), "delay", def.delay_line, e.delay, error))
            return error;
        for (std::size_t a = 0; a < def.assignments.size(); ++a) {
            const EventAssignment& as = def.assignments[a];
            const std::string field = "assignment " + std::to_string(a + 1);
            const std::string target = trim(as.target);
            Assignment out;
            if (target.empty()) return fail(field, as.line, "the target is missing.");
            if (names.species(target) >= 0) {
                out.to_species = true;
                out.target = names.species(target);
            } else if (names.parameter(target) >= 0) {
                out.to_species = false;
                out.target = names.parameter(target);
                assigned[static_cast<std::size_t>(out.target)] = 1;
            } else if (names.rule(target) >= 0) {
                return fail(field, as.line,
                            "\"" + target + "\" is a rule; an event assigns species and named "
                            "parameters only.");
            } else if (target == kVolumeName) {
                return fail(field, as.line,
                            "the volume cannot be assigned; an event assigns species and named "
                            "parameters only.");
            } else {
                return fail(field, as.line,
                            "\"" + target + "\" is neither a species nor a named parameter.");
            }
            const std::string text = trim(as.expression);
            if (text.empty()) return fail(field, as.line, "the value of \"" + target + "\" is missing.");
            if (!expression(text, field, as.line, out.value, error)) return error;
            e.assignments.push_back(std::move(out));
        }
        events.push_back(std::move(e));
    }

    events_ = std::move(events);
    parameters_ = scope.parameters;
    assigned_ = std::move(assigned);
    firing_check_ = firing_check;
    slots_.assign(scope.parameters.size(), {});
    for (std::size_t r = 0; r < reactions.size(); ++r) {
        if (reactions[r].rxn_index != kFormula) continue;
        for (std::size_t s = 0; s < reactions[r].rates.size(); ++s) {
            const int p = names.parameter(reactions[r].rates[s].name);
            if (p >= 0)
                slots_[static_cast<std::size_t>(p)].emplace_back(static_cast<int>(r),
                                                                 static_cast<int>(s));
        }
    }
    scratch_.assign(most_slots, RateConstant{});
    return EventError{};
}

double ModelEvents::evaluate(const Expression& expression, const std::vector<Compound>& species,
                             const std::vector<double>& parameters, double volume) const {
    const std::size_t n = expression.parameters.size();
    for (std::size_t k = 0; k < n; ++k)
        scratch_[k].value = parameters[static_cast<std::size_t>(expression.parameters[k])];
    return expression.law->evaluate(species, scratch_.data(), volume);
}

double EventRunState::next_due() const {
    double due = std::numeric_limits<double>::infinity();
    for (double t : next_time) due = std::min(due, t);
    for (const PendingExecution& p : pending) due = std::min(due, p.time);
    return due;
}

}  // namespace plenta

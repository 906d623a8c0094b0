// event.h - events: changes of a run's state at a moment.
//
// An event sets species counts and named parameters to the values of
// expressions.  Its trigger is a time ("at T", once; "at T every P", at the
// grid times T + k P) or a condition ("when <expression>", firing when the
// value goes from false (0) to true (non-zero), never while it stays true).
// Optional attributes: a priority (the order of events due at one instant,
// higher first), a delay between trigger and execution (evaluated at
// trigger time), whether the assignments' values are computed at trigger
// time or at execution, the value a condition is taken to have just before
// the run starts, and whether a pending delayed execution survives its
// condition turning false.
//
// Three layers:
//   EventDefinition  the event as written (model file, Python dicts, MATLAB
//                    structs), every expression as text;
//   ModelEvents      the compiled events of one model: the expressions turned
//                    into RateLaw objects (model/rate_law.h) once, at load;
//   EventRunState    what a run keeps between instants: the last value of
//                    every condition, the next time of every timed trigger,
//                    the pending delayed executions and the current values of
//                    the named parameters.  Plain vectors, so that a front end
//                    that continues a run across calls can hand it out and
//                    read it back (see EventedRun::resume in engine/events.h).
//
// API note for front ends written against the first version of this
// header: the records as written are now EventDefinition (and the console
// model's list ConsoleModel::event_definitions); nothing else changed.
//
// Expressions read species counts, named parameters, rules and `volume`,
// exactly as formula reactions do.  Evaluation allocates nothing.
#ifndef PLENTA_MODEL_EVENT_H
#define PLENTA_MODEL_EVENT_H

#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/rate_law.h"

namespace plenta {

// ---- Events as written ----

// One assignment "target = expression": a species name or a named parameter
// (not a rule, not `volume`).
struct EventAssignment {
    std::string target;
    std::string expression;
    int line = 0;  // model-file line; 0 where there is none
};

struct EventDefinition {
    std::string name;      // title line, free text (may be empty)
    std::string trigger;   // "at T", "at T every P" or "when <condition>"
    std::string priority;  // expression; "" for none (counts as priority 0)
    std::string delay;     // expression; "" for none (execution at trigger time)
    bool values_at_trigger = false;  // `values = trigger` (true) or `fire` (false)
    bool initial = true;             // `when` only: the condition's value just before the start
    bool persistent = true;          // false: a pending execution is cancelled when the
                                     // condition turns false before it
    std::vector<EventAssignment> assignments;
    // Model-file lines (0 where none): the title, and each optional line.
    int line = 0;
    int trigger_line = 0;
    int priority_line = 0;
    int delay_line = 0;
    int values_line = 0;
    int initial_line = 0;
    int persistent_line = 0;
};

// The keyword values of the text forms: `values = trigger | fire`,
// `initial = true | false`, `persistent = true | false`.  False for any
// other text (value unchanged).
bool parse_event_values(const std::string& text, bool& at_trigger);
bool parse_event_flag(const std::string& text, bool& value);

// A fault of an event as written: which event, which field, where.
struct EventError {
    int event = -1;         // position in the list
    std::string field;      // "trigger", "priority", "delay", "assignment 2", ...
    int line = 0;           // model-file line of the field, 0 where none
    std::string message;    // one sentence, e.g. "unknown name \"Y\"."
    bool raised() const { return !message.empty(); }
};

// "event 2 (Inducer pulse), trigger: <message>" (the name only when there is
// one; the number counts from 1).  Front ends add the file and the line.
std::string describe_event_error(const std::vector<EventDefinition>& definitions, const EventError& error);

// ---- Compiled events ----

enum class TriggerKind : int { kAt = 0, kEvery = 1, kWhen = 2 };

// More executions than this at one instant is a run fault (events that
// trigger one another without end).
constexpr int kMaxExecutionsPerInstant = 10000;

class ModelEvents {
public:
    // A compiled expression and the scope position of each of its
    // parameter slots (RateLaw::parameter_names order).
    struct Expression {
        std::unique_ptr<RateLaw> law;
        std::vector<int> parameters;
        explicit operator bool() const { return law != nullptr; }
    };
    struct Assignment {
        bool to_species = true;  // else a named parameter
        int target = 0;          // species position, or parameter position in the scope
        Expression value;
    };
    struct Event {
        std::string name;
        TriggerKind kind = TriggerKind::kAt;
        double time = 0.0;    // kAt, kEvery: T
        double period = 0.0;  // kEvery: P > 0
        Expression condition;  // kWhen
        Expression priority;   // empty: 0
        Expression delay;      // empty: none
        bool values_at_trigger = false;
        bool initial = true;
        bool persistent = true;
        std::vector<Assignment> assignments;
    };

    ModelEvents() = default;
    ModelEvents(const ModelEvents& other);  // compiles its own copies
    ModelEvents& operator=(const ModelEvents& other);
    ModelEvents(ModelEvents&&) = default;
    ModelEvents& operator=(ModelEvents&&) = default;

    // Compiles the events against the species and the named parameters and
    // rules; remembers which formula reactions read each assigned parameter.
    // Nothing is kept on failure (the error names event, field and line).
    EventError compile(const std::vector<EventDefinition>& definitions, const std::vector<Compound>& species,
                       const FormulaScope& scope, const std::vector<Reaction>& reactions);

    bool empty() const { return events_.empty(); }
    int size() const { return static_cast<int>(events_.size()); }
    const Event& event(int k) const { return events_[static_cast<std::size_t>(k)]; }
    // Whether some `when` condition reads a species: only then must the
    // engine test the conditions after every firing.
    bool needs_firing_check() const { return firing_check_; }
    // The named parameters (scope order) with their values as read.
    const std::vector<NamedValue>& parameters() const { return parameters_; }
    // Formula reactions' rate slots that hold parameter p: (reaction, slot).
    const std::vector<std::pair<int, int>>& parameter_slots(int p) const {
        return slots_[static_cast<std::size_t>(p)];
    }
    // Whether some event assigns parameter p.
    bool assigns_parameter(int p) const { return assigned_[static_cast<std::size_t>(p)] != 0; }

    // The value of a compiled expression for the current counts, parameter
    // values (by scope position) and volume.
    double evaluate(const Expression& expression, const std::vector<Compound>& species,
                    const std::vector<double>& parameters, double volume) const;

private:
    std::vector<Event> events_;
    std::vector<NamedValue> parameters_;
    std::vector<std::vector<std::pair<int, int>>> slots_;
    std::vector<char> assigned_;
    bool firing_check_ = false;
    // Evaluation fills the parameter slots here (sized for the largest law).
    mutable std::vector<RateConstant> scratch_;
};

// ---- Run state ----

// One execution waiting for its time (a delayed event).
struct PendingExecution {
    int event = 0;
    double time = 0.0;           // execution time
    long long order = 0;         // scheduling order, for equal times and priorities
    std::vector<double> values;  // values = trigger: the assignments' values; else empty
};

// What a run of a model with events keeps between instants.  A front end
// that continues a run across calls hands it out after a call and back
// before the next (EventedRun::state / resume); every field is plain data.
struct EventRunState {
    std::vector<double> parameters;   // current value of every named parameter, scope order
    std::vector<int> trigger_value;   // per event: last value of a `when` condition (0 / 1)
    std::vector<double> next_time;    // per event: next time of a timed trigger; +inf when
                                      // there is none (done, or a `when` event)
    std::vector<double> repeat;       // per event: k of the next grid time T + k P
    std::vector<PendingExecution> pending;  // delayed executions, in no particular order
    long long next_order = 0;         // the next PendingExecution::order
    // The earliest time at which something is due (a timed trigger or a
    // pending execution); +inf when none.
    double next_due() const;
};

}  // namespace plenta

#endif  // PLENTA_MODEL_EVENT_H

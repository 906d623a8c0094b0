// tamrin - the MATLAB/Octave entry point of the simulator.
//
//   [dx, ai, time, fired, ev_t, ev_r, monit_cols, fire_cols] = ...
//       tamrin(rxns, unused, counts, params, monit)
//
// Every call builds the network afresh from its inputs and then, by the
// parameter "update", simulates a span of time (0), seeds the generator and
// draws the first event (2), recomputes the propensities only (1), or
// recomputes them and draws the next event (any other value).  Between calls
// only the random generator, the Poisson deviate's saved state and the kept
// state (the next event of the exact methods) survive; a caller continuing a
// simulation passes the counts, propensities and tentative times back in.
// With the optional parameter "method" = "cr" a simulating call runs the
// exact methods by composition-rejection instead (another random stream).
//
// Everything a call allocates is owned by std::vector inside the call's
// records (the rate constants too, rather than mxCalloc memory), so it is
// released when the call returns and also when a MEX error unwinds it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/events.h"
#include "mex_gateway.h"
#include "model/event.h"
#include "model/rate_law.h"
#include "random/ranlib.h"

namespace plenta {
namespace mex {

KeptState& kept_state() {
    static KeptState state;
    return state;
}

namespace {

constexpr int kNumInputs = 5;
constexpr int kNumOutputs = 8;
constexpr double kIntLimit = 2147483648.0;  // 2^31: the first double outside int
constexpr double kUint32Limit = 4294967296.0;  // 2^32

// Positions of the inputs and outputs.
enum Input { kInRxns = 0, kInUnused = 1, kInCounts = 2, kInParams = 3, kInMonit = 4 };
enum Output {
    kOutDeltaCounts = 0,
    kOutPropensities = 1,
    kOutTimes = 2,
    kOutFireCounts = 3,
    kOutLogTimes = 4,
    kOutLogRxns = 5,
    kOutMonitored = 6,
    kOutFirings = 7,
};

enum class Mode { kSimulate, kInitialise, kRecompute, kRecomputeAndDraw };

// "update" is compared with exact equality, 0 first: 0.5, 1.0000001 and NaN
// all recompute and draw.
Mode mode_of(double update) {
    if (update == 0.0) return Mode::kSimulate;
    if (update == 2.0) return Mode::kInitialise;
    if (update == 1.0) return Mode::kRecompute;
    return Mode::kRecomputeAndDraw;
}

// Everything one call builds.
struct Call {
    std::vector<Reaction> reactions;
    ModelSizes model;
    std::vector<Compound> species;
    std::vector<int> initial_counts;
    SimParams params;
    std::vector<int> fire_count;
    std::vector<int> prev_fire_count;
    Mode mode = Mode::kSimulate;
    double randseed = 0.0;  // as given, checked before seeding
    mxArray* out[kNumOutputs] = {};
    // "method" "cr": the simulate mode runs the exact methods by
    // composition-rejection, with the state built from the ai inputs.
    bool use_cr = false;
    CrState cr;
    // Whether the kept state holds an event drawn in this session, and
    // whether this call leaves one there.
    bool kept_drawn = false;
    bool drew = false;
    // "method" "rssa": the rejection-based method of the engine's registry,
    // its state built anew from the inputs and its first candidate drawn
    // from the call's start (a kept next event was drawn for other bounds).
    std::unique_ptr<RunMethod> method;
    // Assignment rules of PAR.rules; MONIT positions from num_cmpds on.
    plenta::RuleValues rules;
    // Events of PAR.events, as given and compiled (empty without the field),
    // and the run state this call leaves for the next (when it has one).
    std::vector<EventDefinition> event_definitions;
    ModelEvents events;
    bool leaves_event_state = false;
    EventRunState event_state;
};

// Number of fields of the optional PAR.rules structure (0 without it).
int rule_count(const mxArray* par) {
    const mxArray* rules = mxIsStruct(par) ? mxGetField(par, 0, "rules") : nullptr;
    return rules != nullptr && mxIsStruct(rules) ? mxGetNumberOfFields(rules) : 0;
}

bool is_full_double(const mxArray* a) { return mxIsDouble(a) && !mxIsSparse(a); }

int checked_size(std::size_t n, const char* what) {
    if (n >= static_cast<std::size_t>(kIntLimit))
        gateway_error("tamrin:badInput", "%s: too many entries", what);
    return static_cast<int>(n);
}

// ---- Inputs ----

// The number of entries of an input that must be a vector: a row when `row`,
// else a column; a vector of the other orientation is the same list.  A
// matrix, or an input with entries along but none across, has no one reading
// and is refused.
std::size_t vector_length(const mxArray* a, bool row, const char* input, const char* what) {
    const std::size_t along = row ? mxGetN(a) : mxGetM(a);
    const std::size_t across = row ? mxGetM(a) : mxGetN(a);
    if (along == 1 && across > 1) return across;
    if (across > 1)
        gateway_error("tamrin:badInput", "%s must be %s, not a %zu-by-%zu matrix", input, what,
                      mxGetM(a), mxGetN(a));
    if (along > 0 && across == 0)
        gateway_error("tamrin:badInput", "%s has %s but no %s", input, row ? "columns" : "rows",
                      row ? "row" : "column");
    return along;
}

void read_sizes(const mxArray* prhs[], Call& c) {
    if (!mxIsCell(prhs[kInRxns]))
        gateway_error("tamrin:badInput",
                      "input 1 (the reactions) must be a cell array of reaction structures");
    if (!is_full_double(prhs[kInCounts]))
        gateway_error("tamrin:badInput",
                      "input 3 (the initial counts) must be a real double column vector");
    if (!mxIsStruct(prhs[kInParams]) || mxGetNumberOfElements(prhs[kInParams]) == 0)
        gateway_error("tamrin:badInput", "input 4 (the parameters) must be a structure");
    // Only element 1 of a structure array would be read: refused rather
    // than the others silently ignored.
    if (mxGetNumberOfElements(prhs[kInParams]) > 1)
        gateway_error("tamrin:badInput",
                      "input 4 (the parameters) must be one structure, not a structure array of "
                      "%zu elements",
                      static_cast<std::size_t>(mxGetNumberOfElements(prhs[kInParams])));
    if (!is_full_double(prhs[kInMonit]))
        gateway_error("tamrin:badInput",
                      "input 5 (the monitored species) must be a real double row vector");
    c.model.num_rxns = checked_size(mxGetNumberOfElements(prhs[kInRxns]), "input 1");

    // The counts are a column (one row per species) and the monitored species
    // a row; the other orientation is taken as the same list.  A matrix has
    // no one reading and is refused.
    c.model.num_cmpds = checked_size(
        vector_length(prhs[kInCounts], false, "input 3 (the initial counts)",
                      "a vector of one count per species"),
        "input 3");
    c.model.num_monit = checked_size(
        vector_length(prhs[kInMonit], true, "input 5 (the monitored species)",
                      "a vector of species positions"),
        "input 5");
}

void read_reactions(const mxArray* cells, Call& c) {
    const int n = c.model.num_rxns;
    c.reactions.assign(n, Reaction{});
    c.model.num_subs.assign(n, 0);
    c.model.num_prods.assign(n, 0);
    c.fire_count.assign(n, 0);
    c.prev_fire_count.assign(n, 0);
    for (int i = 0; i < n; ++i) {
        const mxArray* rxn = mxGetCell(cells, static_cast<std::size_t>(i));
        if (rxn == nullptr || !mxIsStruct(rxn) || mxGetNumberOfElements(rxn) == 0)
            gateway_error("tamrin:badInput", "input 1, cell %d: must be a reaction structure",
                          i + 1);
        if (mxGetNumberOfElements(rxn) > 1)
            gateway_error("tamrin:badInput",
                          "input 1, cell %d: must be one reaction structure, not a structure "
                          "array of %zu elements",
                          i + 1, static_cast<std::size_t>(mxGetNumberOfElements(rxn)));
        read_rxn_struct(i, rxn, c.reactions, c.model);
        c.fire_count[i] = 0;
    }
}

// Counts and positions are truncated toward zero; a value whose truncation is
// not a valid count (negative, NaN, beyond 32 bits) is refused.
void read_species(const mxArray* counts, Call& c) {
    const int n = c.model.num_cmpds;
    const double* data = mxGetPr(counts);
    c.species.assign(n, Compound{});
    c.initial_counts.assign(n, 0);
    for (int j = 0; j < n; ++j) {
        const double v = data[j];
        if (!(v > -1.0 && v < kIntLimit))
            gateway_error("tamrin:badCount",
                          "input 3, row %d: initial count %g is not a number of molecules", j + 1,
                          v);
        c.species[j].count = static_cast<int>(v);
        c.initial_counts[j] = c.species[j].count;
    }
}

void read_monitored(const mxArray* monit, Call& c, int num_rules) {
    const int n = c.model.num_monit;
    const double* data = mxGetPr(monit);
    c.params.monit.assign(n, 0);
    const int positions = c.model.num_cmpds + num_rules;  // species, then rules
    for (int k = 0; k < n; ++k) {
        const double v = data[k];
        if (!(v > -1.0 && v < static_cast<double>(positions)))
            gateway_error("tamrin:badSpecies",
                          "input 5, column %d: species position %g is outside 0..%d", k + 1, v,
                          positions - 1);
        c.params.monit[k] = static_cast<int>(v);
    }
}

double parameter(const mxArray* s, const char* name) {
    const mxArray* value = mxGetField(s, 0, name);
    if (value == nullptr)
        gateway_error("tamrin:missingParameter", "the parameter structure has no field \"%s\"",
                      name);
    if (!mxIsNumeric(value) || mxIsEmpty(value))
        gateway_error("tamrin:badParameter", "parameter \"%s\" must be a numeric scalar", name);
    return mxGetScalar(value);
}

int integer_parameter(const mxArray* s, const char* name) {
    const double v = parameter(s, name);
    if (!(v > -kIntLimit && v < kIntLimit))
        gateway_error("tamrin:badParameter", "parameter \"%s\" = %g is not a 32-bit integer", name,
                      v);
    return static_cast<int>(v);
}

// The optional field "method": absent or "direct" runs the method that
// "stoch_algor" selects; "cr" runs the exact methods by composition-rejection.
// Tau-leaping has no exact step for it to replace and is refused with it.
void read_method(const mxArray* s, Call& c) {
    const mxArray* value = mxGetField(s, 0, "method");
    if (value == nullptr) return;
    char text[16] = {};
    if (!mxIsChar(value) || mxGetNumberOfElements(value) >= sizeof text ||
        mxGetString(value, text, sizeof text) != 0)
        gateway_error("tamrin:badParameter",
                      "parameter \"method\" must be the text \"direct\", \"cr\" or \"rssa\"");
    const std::string method = text;
    if (method == "cr")
        c.use_cr = true;
    else if (method == "rssa")
        c.method = make_run_method(method);
    else if (method != "direct")
        gateway_error("tamrin:badParameter",
                      "parameter \"method\" = \"%s\" is neither \"direct\", \"cr\" nor \"rssa\"",
                      text);
    if ((c.use_cr || c.method) && c.params.algorithm == kTauLeaping)
        gateway_error("tamrin:badParameter",
                      "parameter \"method\" = \"%s\" is an exact method; it does not apply to "
                      "tau-leaping (\"stoch_algor\" 3)", text);
}

// The fields in the order of the parameter table; "tau_error" last and only
// for tau-leaping; then the optional "method".
void read_parameters(const mxArray* s, Call& c) {
    SimParams& p = c.params;
    p.start_time = parameter(s, "start_time");
    p.timestep = parameter(s, "timestep");
    if (!(p.timestep >= 0.0))
        gateway_error("tamrin:badParameter", "parameter \"timestep\" = %g must be 0 or more",
                      p.timestep);
    p.volume = parameter(s, "volume");
    p.algorithm = integer_parameter(s, "stoch_algor");
    c.randseed = parameter(s, "randseed");
    p.randseed = (c.randseed >= 0.0 && c.randseed < kUint32Limit)
                     ? static_cast<std::uint32_t>(c.randseed)
                     : 0u;
    p.snapshot_interval = parameter(s, "snapshot_interval");
    if (!(p.snapshot_interval > 0.0 && std::isfinite(p.snapshot_interval)))
        gateway_error("tamrin:badParameter",
                      "parameter \"snapshot_interval\" = %g must be a finite value above 0",
                      p.snapshot_interval);
    p.eventlog_flag = integer_parameter(s, "evlog_flag");
    const double log_size = parameter(s, "eventlog_arraysize");
    if (!(log_size > -1.0 && log_size < kIntLimit))
        gateway_error("tamrin:badParameter",
                      "parameter \"eventlog_arraysize\" = %g must be a number of events",
                      log_size);
    p.eventlog_arraysize = static_cast<int>(log_size);
    c.mode = mode_of(parameter(s, "update"));
    if (p.algorithm == kTauLeaping) p.tau_error = parameter(s, "tau_error");
    read_method(s, c);

    // setall would stop the host process inside mltmod for such a seed.  The
    // seed is truncated toward zero like every whole-number parameter.
    if (c.mode == Mode::kInitialise) {
        const bool whole = std::fabs(c.randseed) < 9.0e18;  // false for NaN and infinities
        if (!whole || !check_randseed(static_cast<long long>(c.randseed)).empty())
            gateway_error("tamrin:badSeed",
                          "parameter \"randseed\" = %g: the generator needs a seed in %lld..%lld",
                          c.randseed, kMinRandseed, kMaxRandseed);
    }

    // One result column per snapshot interval of the span, at least one.  A
    // quotient short of a whole number by rounding only (0.3 / 0.1) counts as
    // that number, as the span then ends on that grid time.
    const double columns = whole_snapshot_intervals(p.timestep, p.snapshot_interval);
    if (!(columns < kIntLimit))
        gateway_error("tamrin:badParameter",
                      "\"timestep\" / \"snapshot_interval\" = %g result columns is too many",
                      columns);
    c.model.num_points = static_cast<int>(columns);
    if (c.model.num_points == 0) c.model.num_points = 1;
}

// The values a run starts from, checked before anything is computed or
// drawn: a negative or non-finite rate constant or volume makes propensities
// negative or NaN, and the exact methods' waiting times with them, so that
// time runs backwards and a call never ends.
void check_start_values(const Call& c) {
    const std::string fault = check_run_values(c.model, c.species, c.reactions, c.params);
    if (!fault.empty()) gateway_error("tamrin:badValue", "%s", fault.c_str());
    const std::string time = check_finite_time("\"start_time\"", c.params.start_time);
    if (!time.empty()) gateway_error("tamrin:badParameter", "parameter %s", time.c_str());
}

// ---- Events ----

// "PAR.events(k)" and the event's name when it has one, for messages.
std::string event_label(const std::vector<EventDefinition>& definitions, std::size_t k) {
    std::string label = "PAR.events(" + std::to_string(k + 1) + ")";
    if (k < definitions.size() && !definitions[k].name.empty()) label += " (" + definitions[k].name + ")";
    return label;
}

// The text of a char field; false when the value is no text.
bool field_text(const mxArray* v, std::string& text) {
    char* chars = v != nullptr && mxIsChar(v) ? mxArrayToString(v) : nullptr;
    if (chars == nullptr) return false;
    text = chars;
    mxFree(chars);
    return true;
}

// An expression field: text, or a real scalar written as a number.
bool field_expression(const mxArray* v, std::string& text) {
    if (field_text(v, text)) return true;
    if (v == nullptr || !mxIsDouble(v) || mxIsComplex(v) || mxGetNumberOfElements(v) != 1)
        return false;
    char number[40];
    std::snprintf(number, sizeof number, "%.17g", mxGetScalar(v));
    text = number;
    return true;
}

// A flag field: true/false, 1/0, or the text 'true'/'false'.
bool field_flag(const mxArray* v, bool& value) {
    std::string text;
    if (field_text(v, text)) return parse_event_flag(text, value);
    if (v == nullptr || !(mxIsDouble(v) || mxIsLogical(v)) || mxGetNumberOfElements(v) != 1)
        return false;
    const double x = mxGetScalar(v);
    if (x != 0.0 && x != 1.0) return false;
    value = x == 1.0;
    return true;
}

// The optional PAR.events: a structure array, one element per event, with
// the texts of a model file's events section.  Species are x0, x1, ... by
// position, as in formulas.  A field that is missing, of the wrong class or
// unknown is refused naming the event and the field (tamrin:badEvent).
void read_events(const mxArray* par, Call& c) {
    const mxArray* events = mxGetField(par, 0, "events");
    if (events == nullptr || mxIsEmpty(events)) return;
    if (!mxIsStruct(events))
        gateway_error("tamrin:badEvent",
                      "parameter \"events\" must be a structure array, one element per event, "
                      "with fields \"trigger\" and \"assign\"");
    static const char* const known[] = {"name",  "trigger", "assign",  "priority",
                                        "delay", "values",  "initial", "persistent"};
    for (int f = 0; f < mxGetNumberOfFields(events); ++f) {
        const std::string name = mxGetFieldNameByNumber(events, f);
        bool found = false;
        for (const char* k : known) found = found || name == k;
        if (!found)
            gateway_error("tamrin:badEvent",
                          "PAR.events has an unknown field \"%s\" (an event has trigger, assign, "
                          "and optional priority, delay, values, initial, persistent, name)",
                          name.c_str());
    }
    const std::size_t n = mxGetNumberOfElements(events);
    c.event_definitions.assign(n, EventDefinition{});
    for (std::size_t k = 0; k < n; ++k) {
        EventDefinition& e = c.event_definitions[k];
        const mxArray* name = mxGetField(events, k, "name");
        if (name != nullptr && !mxIsEmpty(name) && !field_text(name, e.name))
            gateway_error("tamrin:badEvent", "%s, field \"name\" must be text",
                          event_label(c.event_definitions, k).c_str());
        const std::string label = event_label(c.event_definitions, k);
        if (!field_text(mxGetField(events, k, "trigger"), e.trigger))
            gateway_error("tamrin:badEvent",
                          "%s, field \"trigger\" must be the text 'at T', 'at T every P' or "
                          "'when <condition>'",
                          label.c_str());
        const mxArray* v = mxGetField(events, k, "priority");
        if (v != nullptr && !mxIsEmpty(v) && !field_expression(v, e.priority))
            gateway_error("tamrin:badEvent", "%s, field \"priority\" must be an expression (text) "
                          "or a number", label.c_str());
        v = mxGetField(events, k, "delay");
        if (v != nullptr && !mxIsEmpty(v) && !field_expression(v, e.delay))
            gateway_error("tamrin:badEvent", "%s, field \"delay\" must be an expression (text) "
                          "or a number", label.c_str());
        v = mxGetField(events, k, "values");
        std::string text;
        if (v != nullptr && !mxIsEmpty(v) &&
            !(field_text(v, text) && parse_event_values(text, e.values_at_trigger)))
            gateway_error("tamrin:badEvent", "%s, field \"values\" must be 'trigger' or 'fire'",
                          label.c_str());
        v = mxGetField(events, k, "initial");
        if (v != nullptr && !mxIsEmpty(v) && !field_flag(v, e.initial))
            gateway_error("tamrin:badEvent", "%s, field \"initial\" must be true or false",
                          label.c_str());
        v = mxGetField(events, k, "persistent");
        if (v != nullptr && !mxIsEmpty(v) && !field_flag(v, e.persistent))
            gateway_error("tamrin:badEvent", "%s, field \"persistent\" must be true or false",
                          label.c_str());
        // 'target = expression' texts: a cell array, or one text.
        const mxArray* assign = mxGetField(events, k, "assign");
        std::vector<std::string> lines;
        if (assign != nullptr && mxIsCell(assign)) {
            for (std::size_t a = 0; a < mxGetNumberOfElements(assign); ++a) {
                if (!field_text(mxGetCell(assign, a), text))
                    gateway_error("tamrin:badEvent",
                                  "%s, field \"assign\", cell %zu must be the text "
                                  "'target = expression'",
                                  label.c_str(), a + 1);
                lines.push_back(text);
            }
        } else if (field_text(assign, text)) {
            lines.push_back(text);
        }
        if (lines.empty())
            gateway_error("tamrin:badEvent",
                          "%s, field \"assign\" must be a cell array of 'target = expression' "
                          "texts, e.g. {'x0 = x0 + 1000'}",
                          label.c_str());
        for (std::size_t a = 0; a < lines.size(); ++a) {
            const std::size_t eq = lines[a].find('=');
            if (eq == std::string::npos)
                gateway_error("tamrin:badEvent",
                              "%s, assignment %zu: \"%s\" is not 'target = expression'",
                              label.c_str(), a + 1, lines[a].c_str());
            e.assignments.push_back({lines[a].substr(0, eq), lines[a].substr(eq + 1), 0});
        }
    }
}

// "formula" reactions: the text of each one's "formula" field compiled
// against the species, named x0, x1, ... by position, the volume and the
// named parameters of the optional parameter field "parameters" (a
// structure whose fields are the names).
void compile_formulas(const mxArray* cells, const mxArray* par, Call& c) {
    bool any = rule_count(par) > 0 || !c.event_definitions.empty();
    for (const Reaction& r : c.reactions) any = any || r.rxn_index == plenta::kFormula;
    if (!any) return;
    for (int k = 0; k < c.model.num_cmpds; ++k)
        std::snprintf(c.species[static_cast<std::size_t>(k)].name, plenta::kNameLen, "x%d", k);
    plenta::FormulaScope scope;
    const mxArray* named = mxGetField(par, 0, "parameters");
    if (named != nullptr) {
        if (!mxIsStruct(named) || mxGetNumberOfElements(named) != 1)
            gateway_error("tamrin:badParameter",
                          "parameter \"parameters\" must be a 1-by-1 structure of named values");
        for (int f = 0; f < mxGetNumberOfFields(named); ++f) {
            const mxArray* v = mxGetFieldByNumber(named, 0, f);
            if (v == nullptr || !mxIsDouble(v) || mxIsComplex(v) || mxGetNumberOfElements(v) != 1)
                gateway_error("tamrin:badParameter",
                              "parameter \"parameters.%s\" must be a real scalar",
                              mxGetFieldNameByNumber(named, f));
            scope.parameters.push_back({mxGetFieldNameByNumber(named, f), mxGetScalar(v)});
        }
    }
    const mxArray* rules = mxGetField(par, 0, "rules");
    if (rules != nullptr) {
        if (!mxIsStruct(rules) || mxGetNumberOfElements(rules) != 1)
            gateway_error("tamrin:badParameter",
                          "parameter \"rules\" must be a 1-by-1 structure of expressions");
        for (int f = 0; f < mxGetNumberOfFields(rules); ++f) {
            const mxArray* v = mxGetFieldByNumber(rules, 0, f);
            char* text = v != nullptr && mxIsChar(v) ? mxArrayToString(v) : nullptr;
            if (text == nullptr)
                gateway_error("tamrin:badParameter", "parameter \"rules.%s\" must be text",
                              mxGetFieldNameByNumber(rules, f));
            scope.rules.push_back({mxGetFieldNameByNumber(rules, f), text});
            mxFree(text);
        }
    }
    plenta::FormulaNames names(c.species, scope);
    const std::string rule_error = c.rules.compile(names);
    if (!rule_error.empty()) gateway_error("tamrin:badFormula", "%s", rule_error.c_str());
    for (int i = 0; i < c.model.num_rxns; ++i) {
        plenta::Reaction& r = c.reactions[static_cast<std::size_t>(i)];
        if (r.rxn_index != plenta::kFormula) continue;
        const mxArray* field = mxGetField(mxGetCell(cells, static_cast<mwIndex>(i)), 0, "formula");
        char* text = mxIsChar(field) ? mxArrayToString(field) : nullptr;
        if (text == nullptr)
            gateway_error("tamrin:badField", "reaction %d: field \"formula\" must be text", i + 1);
        const std::string formula(text);
        mxFree(text);
        const std::string error =
            plenta::compile_formula_reaction(r, formula, c.species, names, c.params.volume);
        if (!error.empty())
            gateway_error("tamrin:badFormula", "reaction %d: in \"%s\": %s", i + 1,
                          formula.c_str(), error.c_str());
    }
    // The events read the formulas' names and change their parameters.
    if (!c.event_definitions.empty()) {
        const EventError fault = c.events.compile(c.event_definitions, c.species, scope, c.reactions);
        if (fault.raised()) {
            EventError named = fault;
            named.event = -1;  // named here by the structure's element instead
            const std::string where =
                fault.event >= 0
                    ? event_label(c.event_definitions, static_cast<std::size_t>(fault.event)) +
                          (fault.field.empty() ? "" : ", " + fault.field) + ": "
                    : std::string("PAR.events: ");
            gateway_error("tamrin:badEvent", "%s%s", where.c_str(),
                          describe_event_error(c.event_definitions, named).c_str());
        }
    }
}

// Every input read and checked, in the order the errors are reported.
void read_inputs(const mxArray* prhs[], Call& c) {
    read_sizes(prhs, c);
    read_reactions(prhs[kInRxns], c);
    read_species(prhs[kInCounts], c);
    read_monitored(prhs[kInMonit], c, rule_count(prhs[kInParams]));
    read_parameters(prhs[kInParams], c);
    read_events(prhs[kInParams], c);
    compile_formulas(prhs[kInRxns], prhs[kInParams], c);
    check_start_values(c);
}

// ---- Outputs ----

void create_outputs(Call& c, mxArray* plhs[]) {
    const std::size_t rxns = static_cast<std::size_t>(c.model.num_rxns);
    const std::size_t cmpds = static_cast<std::size_t>(c.model.num_cmpds);
    const std::size_t log = static_cast<std::size_t>(c.params.eventlog_arraysize);
    const std::size_t points = static_cast<std::size_t>(c.model.num_points);
    const std::size_t monit = static_cast<std::size_t>(c.model.num_monit);
    const std::size_t rows[kNumOutputs] = {cmpds, rxns, rxns, rxns, log, log, monit + 1, rxns + 1};
    const std::size_t cols[kNumOutputs] = {1, 1, 1, 1, 1, 1, points, points};
    for (int k = 0; k < kNumOutputs; ++k) {
        c.out[k] = mxCreateDoubleMatrix(rows[k], cols[k], mxREAL);
        plhs[k] = c.out[k];
    }
}

double* data_of(Call& c, Output k) { return mxGetPr(c.out[k]); }

// Column s of outputs 7 and 8: the time, then the monitored species' change
// since the start of the call, and every reaction's firings since the last
// column.
void write_column(Call& c, int s, double t) {
    const std::size_t rows7 = static_cast<std::size_t>(c.model.num_monit) + 1;
    double* col7 = data_of(c, kOutMonitored) + static_cast<std::size_t>(s) * rows7;
    col7[0] = t;
    for (int k = 0; k < c.model.num_monit; ++k) {
        const int sp = c.params.monit[k];
        if (sp >= c.model.num_cmpds)  // a rule: its value
            col7[k + 1] = c.rules.value(sp - c.model.num_cmpds, c.species, c.params.volume);
        else
            col7[k + 1] = static_cast<double>(c.species[sp].count - c.initial_counts[sp]);
    }
    const std::size_t rows8 = static_cast<std::size_t>(c.model.num_rxns) + 1;
    double* col8 = data_of(c, kOutFirings) + static_cast<std::size_t>(s) * rows8;
    col8[0] = t;
    for (int r = 0; r < c.model.num_rxns; ++r) {
        col8[r + 1] = static_cast<double>(c.fire_count[r] - c.prev_fire_count[r]);
        c.prev_fire_count[r] = c.fire_count[r];
    }
}

void write_records(Call& c) {
    double* dx = data_of(c, kOutDeltaCounts);
    for (int j = 0; j < c.model.num_cmpds; ++j)
        dx[j] = static_cast<double>(c.species[j].count - c.initial_counts[j]);
    double* ai = data_of(c, kOutPropensities);
    double* time = data_of(c, kOutTimes);
    double* fired = data_of(c, kOutFireCounts);
    for (int r = 0; r < c.model.num_rxns; ++r) {
        ai[r] = c.reactions[r].ai;
        time[r] = c.reactions[r].time;
        fired[r] = static_cast<double>(c.fire_count[r]);
    }
}

// ---- Faults of a run ----

// Ends the call with the engine's fault: a propensity that is not a finite
// number >= 0, a count that would go below 0 or leave 32 bits.  The call's
// outputs are not handed out and the kept state stays as the last call that
// succeeded left it.
void raise_run_fault(const RunFault& fault) {
    gateway_error("tamrin:runFault", "the simulation stopped: %s",
                  describe_run_fault(fault).c_str());
}

void raise_bad_propensity(int rxn, double t, double a) {
    RunFault fault;
    fault.kind = RunFault::kBadPropensity;
    fault.rxn = rxn;
    fault.time = t;
    fault.value = a;
    raise_run_fault(fault);
}

// Every propensity must be a finite number >= 0 before an event is drawn from
// them: a negative sum gives a waiting time that runs backwards.
void check_propensities(const Call& c, double t) {
    for (int r = 0; r < c.model.num_rxns; ++r) {
        const double a = c.reactions[r].ai;
        if (!(a >= 0.0 && a <= kNeverTime)) raise_bad_propensity(r, t, a);
    }
}

// The propensities of the counts handed in, each checked as above ("undef"
// constants may be negative, and so may their built-in formulas be).
std::vector<double> propensities_of_counts(const Call& c, double t) {
    std::vector<double> a(static_cast<std::size_t>(c.model.num_rxns));
    for (int r = 0; r < c.model.num_rxns; ++r) {
        a[r] = calc_rxn_prob_vesk(c.reactions[r], c.species, c.params, c.model, r);
        if (!(a[r] >= 0.0 && a[r] <= kNeverTime)) raise_bad_propensity(r, t, a[r]);
    }
    return a;
}

// ---- Modes ----

// The exact methods fire the kept next reaction first; kept state from a
// different network may name a reaction this one does not have.
void check_kept_event(const Call& c) {
    const SimParams& p = c.params;
    const bool pending = p.next_time < kNeverTime;  // false for +inf and NaN too
    if (pending && (p.next_rxn < 0 || p.next_rxn >= c.model.num_rxns))
        gateway_error("tamrin:staleState",
                      "the kept next event (reaction %d) is not a reaction of this network of %d; "
                      "initialise it first (\"update\" 2)",
                      p.next_rxn + 1, c.model.num_rxns);
}

// Whether one firing of reaction r from the current counts leaves every
// count within 0 .. 2^31 - 1: by the dense row, or by composition-rejection's
// own sparse row.
bool firing_possible(const Call& c, const StoichMatrix& matrix, int r) {
    const auto within = [](long long count) { return count >= 0 && count < 2147483648LL; };
    if (c.use_cr) {
        const CrFiring f = cr_firing(c.cr, r);
        for (int k = 0; k < f.num_changes; ++k) {
            const long long count = c.species[f.changes[2 * k]].count;
            if (!within(count + f.changes[2 * k + 1])) return false;
        }
        return true;
    }
    const std::int32_t* row = matrix.row(r);
    for (int s = 0; s < c.model.num_cmpds; ++s)
        if (!within(static_cast<long long>(c.species[s].count) + row[s])) return false;
    return true;
}

// Whether the exact methods may go on from the kept next event and the
// propensities handed in.  Not when no event was drawn in this session (the
// state at load names reaction 1 at time 0), when the event lies before the
// call's start, when a propensity handed in is negative or not a number, when
// the kept reaction cannot fire from the counts given (a count set to 0
// between calls), or when a reaction whose propensity handed in is not the
// one of the counts given could fire although its firing is impossible.  A
// call that hands back the previous call's outputs and counts unchanged
// always goes on as before.
bool kept_event_usable(const Call& c, const StoichMatrix& matrix,
                       const std::vector<double>& from_counts) {
    const SimParams& p = c.params;
    if (!c.kept_drawn) return false;
    if (std::isnan(p.next_time) || p.next_time < p.start_time) return false;
    const bool pending = p.next_time < kNeverTime;
    if (pending && !firing_possible(c, matrix, p.next_rxn)) return false;
    for (int r = 0; r < c.model.num_rxns; ++r) {
        const double a = c.reactions[r].ai;
        if (!(a >= 0.0 && a <= kNeverTime)) return false;
        if (a > 0.0 && a != from_counts[r] && !firing_possible(c, matrix, r)) return false;
    }
    return true;
}

// The kept event is drawn afresh from the call's start, from propensities of
// the counts given, as an initialising call would draw it.
void redraw_kept_event(Call& c, double start) {
    SimParams& p = c.params;
    update_rxn_prob_all(c.reactions, c.species, p, c.model, start);
    check_propensities(c, start);
    if (c.use_cr) {
        cr_build(c.cr, c.reactions, c.model, c.species);
        find_next_reaction_cr(p.next_time, p.next_rxn, p.total_prob, c.cr, start);
    } else {
        find_next_reaction_vesk(p.next_time, p.next_rxn, p.total_prob, c.reactions, p.algorithm,
                                1, c.model, start);
    }
}

// The call's composition-rejection state behind the engine's interface, so
// that the events layer restarts it as it restarts every method: rebuilt
// from the reactions' ai and the next event drawn from the given time.
class CallCr : public RunMethod {
public:
    explicit CallCr(CrState& cr) : cr_(cr) {}
    const char* name() const override { return "cr"; }
    bool needs_dependents() const override { return true; }
    void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                   std::vector<Compound>& species, SimParams& params, double t) override {
        cr_build(cr_, reactions, model, species);
        find_next_reaction_cr(params.next_time, params.next_rxn, params.total_prob, cr_, t);
    }
    void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                 std::vector<Compound>& species, SimParams& params, EventLog evlog,
                 int& event_count, std::vector<int>& fire_count, double& t) override {
        vesk_cr(cr_, reactions, model, species, params, evlog, event_count, fire_count, t);
    }
    void sync_propensities(std::vector<Reaction>& reactions, const std::vector<Compound>&,
                           const SimParams&, const ModelSizes&) override {
        cr_sync_propensities(cr_, reactions);
    }

private:
    CrState& cr_;
};

// The method a call runs, reached through the engine's interface: the
// registry's ("rssa"), the call's composition-rejection state ("cr"), or
// the defined method of "stoch_algor" over the call's matrix.
struct CallMethod {
    std::unique_ptr<RunMethod> owned;
    RunMethod* method = nullptr;
    CallMethod(Call& c, const StoichMatrix& matrix) {
        if (c.method) {
            method = c.method.get();
            return;
        }
        if (c.use_cr)
            owned = std::make_unique<CallCr>(c.cr);
        else
            owned = make_defined_method(c.params.algorithm, matrix);
        method = owned.get();
    }
};

// Whether the kept run state of the events belongs to this call's events.
bool kept_events_match(const Call& c) {
    const KeptState& kept = kept_state();
    return kept.events_started && kept.num_events == c.events.size() &&
           kept.num_parameters == static_cast<int>(c.events.parameters().size());
}

void run_engine(Call& c, EventedRun& run, EventLog evlog, int& events, double& t) {
    // A call without events is the method's own interval run.
    run.advance(c.reactions, c.model, c.species, c.params, evlog, events, c.fire_count, t);
    if (c.params.fault.raised()) raise_run_fault(c.params.fault);
}

// Engine calls until t reaches the next snapshot boundary.  An engine call
// returns before the boundary only when the event log filled (or a leap's
// batch came near enough to filling it); the log is the call's fixed-size
// output and is never emptied, so once it is full logging stops for the rest
// of the call, with one warning, and the simulation goes on.
void advance_to_boundary(Call& c, EventedRun& run, EventLog evlog, int& events, double& t) {
    SimParams& p = c.params;
    const double boundary = next_snapshot_time(t, p.snapshot_interval);
    if (!(boundary > t && std::isfinite(boundary)))
        gateway_error("tamrin:noProgress",
                      "at time %.17g a \"snapshot_interval\" of %g no longer advances the time",
                      t, p.snapshot_interval);
    for (;;) {
        const double before = t;
        run_engine(c, run, evlog, events, t);
        if (t >= boundary) return;
        if (p.eventlog_flag == 1 && events >= p.eventlog_arraysize) {
            p.eventlog_flag = 0;
            gateway_warning("tamrin:eventLogFull",
                            "the event log is full: %d events were logged; the later events of "
                            "this call are not logged (raise \"eventlog_arraysize\")",
                            events);
        } else if (!(t > before)) {
            gateway_error("tamrin:noProgress",
                          "the simulation does not advance beyond time %.17g", t);
        }
    }
}

void simulate(Call& c) {
    SimParams& p = c.params;
    // Composition-rejection keeps its own sparse rows: no dense matrix
    // (reactions x species entries), only its message for a type without a
    // row rule.
    StoichMatrix matrix;
    if (c.use_cr || c.method) {
        report_types_without_row_rule(c.model, c.reactions);
    } else {
        matrix = StoichMatrix(c.model.num_rxns, c.model.num_cmpds);
        create_stoich_matrix(c.model, c.reactions, matrix);
    }
    if (p.algorithm != kTauLeaping && !c.method && c.kept_drawn) check_kept_event(c);
    // The network and its propensities come anew with every call, so the
    // composition-rejection state is built from the ai inputs each time; the
    // call goes on from the kept next event as the defined methods do.
    if (c.use_cr) cr_build(c.cr, c.reactions, c.model, c.species);

    EventLog evlog;
    evlog.times = data_of(c, kOutLogTimes);
    evlog.rxns = data_of(c, kOutLogRxns);
    if (p.eventlog_arraysize == 0) p.eventlog_flag = 0;  // a log without room logs nothing

    // A start short of a grid time by rounding only (0.7 for the grid time
    // 0.7000000000000001 of an interval of 0.1, or a start summed up from
    // earlier spans) starts on it, so that it does not take a column of its
    // own after 1e-16 of simulated time.  The span ends at start + timestep,
    // or on a grid time short of that by rounding only.
    const double start = snapshot_start_time(p.start_time, p.snapshot_interval);
    double t = start;
    const double end = p.start_time + p.timestep;
    int events = 0;
    CallMethod method(c, matrix);
    EventedRun run(*method.method, &c.events, &c.rules);
    // Events go on from the kept run state (their parameter values back in
    // the formulas first, as the propensities read them); without a kept
    // state of these events (no initialising call with them) they start at
    // the call's start, as an initialising call starts them: due events
    // executed, then every propensity and the next event drawn.
    bool started_here = false;
    if (run.has_events() && span_continues(t, start, end, p.snapshot_interval)) {
        if (kept_events_match(c)) {
            run.resume(c.reactions, c.model, c.species, p, kept_state().events);
        } else {
            p.fault = RunFault{};
            run.start_run(c.reactions, c.model, c.species, p, start, {}, evlog, events);
            if (p.fault.raised()) raise_run_fault(p.fault);
            check_propensities(c, start);
            started_here = true;
            c.drew = true;
        }
    }
    if (c.method && !started_here) c.method->start_run(c.reactions, c.model, c.species, p, t);
    int snapshots = 0;
    double last_column_time = t;
    // A kept event that cannot be fired is never fired: it is drawn afresh
    // before the first firing (a call of no span fires nothing and hands its
    // inputs back).
    // The rejection-based method draws its own first candidate in start_run.
    if (p.algorithm != kTauLeaping && !c.method && !started_here &&
        span_continues(t, start, end, p.snapshot_interval)) {
        const std::vector<double> from_counts = propensities_of_counts(c, start);
        if (!kept_event_usable(c, matrix, from_counts)) redraw_kept_event(c, start);
        c.drew = true;
    }
    // Tau-leaping goes on from the propensities handed in: a negative one
    // gives a negative leap, and time would run backwards.
    if (p.algorithm == kTauLeaping && span_continues(t, start, end, p.snapshot_interval)) {
        propensities_of_counts(c, start);
        check_propensities(c, start);
    }
    while (span_continues(t, start, end, p.snapshot_interval)) {
        advance_to_boundary(c, run, evlog, events, t);
        if (snapshots < c.model.num_points) {
            write_column(c, snapshots, t);
            last_column_time = t;
        }
        ++snapshots;
    }
    if (c.use_cr) cr_sync_propensities(c.cr, c.reactions);  // handed out as output 2
    if (c.method) c.method->sync_propensities(c.reactions, c.species, c.params, c.model);
    if (run.has_events() && (started_here || kept_events_match(c))) {
        c.event_state = run.state();
        c.leaves_event_state = true;
    }
    if (snapshots > c.model.num_points)
        gateway_warning("tamrin:tooManySnapshots",
                        "the call took %d snapshots but outputs 7 and 8 have %d columns: the "
                        "snapshots after time %g are left out (start on a multiple of "
                        "\"snapshot_interval\" and simulate a whole number of intervals)",
                        snapshots, c.model.num_points, last_column_time);
}

void draw_next_event(Call& c) {
    SimParams& p = c.params;
    find_next_reaction_vesk(p.next_time, p.next_rxn, p.total_prob, c.reactions, p.algorithm, 1,
                            c.model, 0.0);
}

// An initialising call of a network with events starts the events' run at
// "start_time" as the console program starts a run: conditions evaluated,
// the events due executed (their changes in DX, their entries in the log),
// then every propensity and the next event drawn by the defined method.
void start_events(Call& c) {
    SimParams& p = c.params;
    StoichMatrix unused;  // the defined methods' start reads no matrix
    std::unique_ptr<RunMethod> method = make_defined_method(p.algorithm, unused);
    EventedRun run(*method, &c.events, &c.rules);
    EventLog evlog;
    evlog.times = data_of(c, kOutLogTimes);
    evlog.rxns = data_of(c, kOutLogRxns);
    if (p.eventlog_arraysize == 0) p.eventlog_flag = 0;
    int logged = 0;
    p.fault = RunFault{};
    run.start_run(c.reactions, c.model, c.species, p, p.start_time, {}, evlog, logged);
    if (p.fault.raised()) raise_run_fault(p.fault);
    check_propensities(c, p.start_time);
    c.event_state = run.state();
    c.leaves_event_state = true;
}

// The recomputing modes read the parameter values the events left.
void resume_events(Call& c) {
    if (c.events.empty() || !kept_events_match(c)) return;
    StoichMatrix unused;
    std::unique_ptr<RunMethod> method = make_defined_method(c.params.algorithm, unused);
    EventedRun run(*method, &c.events, &c.rules);
    run.resume(c.reactions, c.model, c.species, c.params, kept_state().events);
}

void run_mode(Call& c) {
    switch (c.mode) {
        case Mode::kSimulate:
            simulate(c);
            break;
        case Mode::kInitialise: {
            const std::int32_t seed = static_cast<std::int32_t>(c.randseed);
            setall(seed, seed);
            if (!c.events.empty()) {
                start_events(c);
                c.drew = true;
                break;
            }
            update_rxn_prob_all(c.reactions, c.species, c.params, c.model, 0.0);
            check_propensities(c, 0.0);
            draw_next_event(c);
            c.drew = true;
            break;
        }
        case Mode::kRecompute:
            resume_events(c);
            update_rxn_prob_all(c.reactions, c.species, c.params, c.model, 0.0);
            break;
        case Mode::kRecomputeAndDraw:
            resume_events(c);
            update_rxn_prob_all(c.reactions, c.species, c.params, c.model, 0.0);
            check_propensities(c, 0.0);
            draw_next_event(c);
            c.drew = true;
            break;
    }
}

}  // namespace

void check_tamrin_inputs(const mxArray* prhs[]) {
    Call c;
    read_inputs(prhs, c);
}

}  // namespace mex
}  // namespace plenta

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    using namespace plenta::mex;
    if (nrhs != kNumInputs) mexErrMsgIdAndTxt("tamrin:numInputs", "%s", kMsgFiveInputs);
    if (nlhs != kNumOutputs) mexErrMsgIdAndTxt("tamrin:numOutputs", "%s", kMsgEightOutputs);

    RandomLibraryGuard guard;
    Call c;
    read_inputs(prhs, c);
    // The same lists either way; composition-rejection, the method for large
    // networks, has them built through the species index.
    if (c.use_cr)
        plenta::calc_dependency_by_species(c.model, c.reactions);
    else if (!c.method)  // the rejection-based method reads no dependents lists
        plenta::calc_dependency(c.model, c.reactions);
    create_outputs(c, plhs);

    // Every mode starts from the kept state; the recompute mode hands it back
    // unchanged.  It is stored only once nothing can fail any more.
    KeptState& kept = kept_state();
    c.params.total_prob = kept.total_prob;
    c.params.next_time = kept.next_time;
    c.params.next_rxn = kept.next_rxn;
    c.kept_drawn = kept.drawn;
    run_mode(c);
    write_records(c);
    kept.total_prob = c.params.total_prob;
    kept.next_time = c.params.next_time;
    kept.next_rxn = c.params.next_rxn;
    kept.drawn = kept.drawn || c.drew;
    if (c.mode == Mode::kInitialise) kept.events_started = false;  // a new run
    if (c.leaves_event_state) {
        kept.events = std::move(c.event_state);
        kept.events_started = true;
        kept.num_events = c.events.size();
        kept.num_parameters = static_cast<int>(c.events.parameters().size());
    }
}

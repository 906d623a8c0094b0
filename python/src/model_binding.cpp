// The network as Python sees it: read_model (the console program's start-up
// read of "constants.txt" and the model file) and a model filled from Python
// lists, both checked by the console's validation and then built as the
// console driver builds them (dependency lists, stoichiometry matrix).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "plenta_py.h"

namespace plenta {
namespace py_module {

namespace {

constexpr char kConsoleExit[] = " Exit.";

// A model built in Python has no file; its messages name it "Model".
constexpr char kBuiltModelLabel[] = "Model";

void strip_suffix(std::string& text, const std::string& suffix) {
    if (text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        text.erase(text.size() - suffix.size());
}

// Copies a name into a fixed-width field.  A name longer than the field is
// stored cut, and the first such name is noted for validate_model, exactly
// as the model-file reader notes it.
void copy_name(char* field, std::size_t field_len, const std::string& name, ReadNotes& notes,
               ReadNotes::Fault fault, int position, int entry = -1) {
    const std::size_t n = std::min(name.size(), field_len - 1);
    std::memcpy(field, name.data(), n);
    field[n] = '\0';
    if (name.size() > field_len - 1 && notes.fault == ReadNotes::kNone) {
        notes.fault = fault;
        notes.position = position;
        notes.entry = entry;
        notes.length = name.size();
    }
}

// Substrate entry (species position, coefficient, exponent), product entry
// (position, coefficient), rate constant (name, value).
using SubstrateEntry = std::tuple<int, int, double>;
using ProductEntry = std::tuple<int, int>;
using RateEntry = std::tuple<std::string, double>;
// type name, id, substrates, products, rate constants, formula
using ReactionEntry = std::tuple<std::string, int, std::vector<SubstrateEntry>,
                                 std::vector<ProductEntry>, std::vector<RateEntry>, std::string>;
// name, trigger, priority, delay, values at trigger time, initial, persistent,
// assignments (target, expression): an event with the texts of a model file.
using EventEntry = std::tuple<std::string, std::string, std::string, std::string, bool, bool, bool,
                              std::vector<std::tuple<std::string, std::string>>>;

EventDefinition event_definition(const EventEntry& entry) {
    const auto& [name, trigger, priority, delay, at_trigger, initial, persistent, assign] = entry;
    EventDefinition e;
    e.name = name;
    e.trigger = trigger;
    e.priority = priority;
    e.delay = delay;
    e.values_at_trigger = at_trigger;
    e.initial = initial;
    e.persistent = persistent;
    for (const auto& [target, expression] : assign) e.assignments.push_back({target, expression, 0});
    return e;
}

// Which fields the model-file reader fills for a type (the columns of the
// type table): coefficients of substrates for types 6 to 9, exponents for
// type 8, coefficients of products for types 4 and 6 to 9.  The others stay
// 0, so a model built here is the same record as the one read from a file.
bool substrate_coefficients(int type) { return type >= kTransv1; }
bool product_coefficients(int type) { return type == kUniMulti || type >= kTransv1; }

void fill_reaction(ConsoleModel& m, std::size_t i, const ReactionEntry& entry, ReadNotes& notes) {
    const auto& [type_name, id, subs, prods, rates, formula] = entry;
    Reaction& r = m.reactions[i];
    const int position = static_cast<int>(i);
    copy_name(r.rxntype, kNameLen, type_name, notes, ReadNotes::kTypeName, position);
    r.rxn_index = assign_rxn_index(r.rxntype);
    r.id = id;
    const int type = r.rxn_index;

    m.sizes.num_subs[i] = static_cast<int>(subs.size());
    r.subs_index.assign(subs.size(), 0);
    r.subs_coef.assign(subs.size(), 0);
    r.subs_order.assign(subs.size(), 0.0);  // the reader allocates it for every reaction
    for (std::size_t k = 0; k < subs.size(); k++) {
        r.subs_index[k] = std::get<0>(subs[k]);
        if (substrate_coefficients(type)) r.subs_coef[k] = std::get<1>(subs[k]);
        if (type == kNOrder) r.subs_order[k] = std::get<2>(subs[k]);
    }

    m.sizes.num_prods[i] = static_cast<int>(prods.size());
    r.prods_index.assign(prods.size(), 0);
    r.prods_coef.assign(prods.size(), 0);
    for (std::size_t k = 0; k < prods.size(); k++) {
        r.prods_index[k] = std::get<0>(prods[k]);
        if (product_coefficients(type)) r.prods_coef[k] = std::get<1>(prods[k]);
    }

    r.num_rates = static_cast<int>(rates.size());
    r.rates.assign(rates.size(), RateConstant{});
    for (std::size_t k = 0; k < rates.size(); k++) {
        // Only "undef" constants carry names in a model file.
        if (type == kUndef)
            copy_name(r.rates[k].name, kNameLen, std::get<0>(rates[k]), notes,
                      ReadNotes::kConstantName, position, static_cast<int>(k));
        r.rates[k].value = std::get<1>(rates[k]);
    }
    if (type == kUndef)
        copy_name(r.formula, kFormulaLen, formula, notes, ReadNotes::kFormula, position);
    if (type == kFormula) m.formulas.rates[i] = formula;  // compiled after validation
}

// Builds what the console driver builds at start-up from a validated model.
std::unique_ptr<PyModel> finish_model(ConsoleModel&& m, bool from_file) {
    auto model = std::make_unique<PyModel>();
    model->m = std::move(m);
    model->from_file = from_file;
    calc_dependency(model->m.sizes, model->m.reactions);
    model->matrix = StoichMatrix(model->m.sizes.num_rxns, model->m.sizes.num_cmpds);
    create_stoich_matrix(model->m.sizes, model->m.reactions, model->matrix);
    return model;
}

std::unique_ptr<PyModel> read_model(const std::string& folder) {
    ConsoleModel m;
    const std::string fault = load_console_model(folder.empty() ? "." : folder, m);
    if (!fault.empty()) throw py::value_error(python_message(fault, false));
    return finish_model(std::move(m), true);
}

std::unique_ptr<PyModel> build_model(const std::vector<std::tuple<std::string, int>>& species,
                                     const std::vector<ReactionEntry>& reactions, double volume,
                                     int algorithm, double tau_error,
                                     const std::vector<int>& monit,
                                     const std::vector<std::tuple<std::string, double>>& parameters,
                                     const std::vector<std::tuple<std::string, std::string>>& rules,
                                     const std::vector<EventEntry>& events) {
    if (species.empty()) throw py::value_error("a model needs at least one species");
    if (reactions.empty()) throw py::value_error("a model needs at least one reaction");
    if (species.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        reactions.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
        monit.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw py::value_error("a model holds at most 2147483647 species, reactions and "
                              "monitored species");
    ConsoleModel m;
    ReadNotes notes;
    m.sizes.num_cmpds = static_cast<int>(species.size());
    m.sizes.num_rxns = static_cast<int>(reactions.size());
    m.params.num_sets = 1;
    allocate_model(m);
    for (std::size_t s = 0; s < species.size(); s++) {
        copy_name(m.species[s].name, kNameLen, std::get<0>(species[s]), notes,
                  ReadNotes::kSpeciesName, static_cast<int>(s));
        m.species[s].count = std::get<1>(species[s]);
    }
    m.formulas.rates.assign(reactions.size(), std::string());
    m.formulas.rate_lines.assign(reactions.size(), 0);
    for (const auto& [name, value] : parameters) m.formulas.scope.parameters.push_back({name, value});
    for (const auto& [name, text] : rules) m.formulas.scope.rules.push_back({name, text});
    for (std::size_t i = 0; i < reactions.size(); i++) fill_reaction(m, i, reactions[i], notes);
    for (const EventEntry& e : events) m.event_definitions.push_back(event_definition(e));
    m.params.volume = volume;
    m.params.algorithm = algorithm;
    // As in a model file, tau_error exists only for tau-leaping.
    m.params.tau_error = algorithm == kTauLeaping ? tau_error : 0.0;
    m.sizes.num_monit = static_cast<int>(monit.size());
    m.params.monit = monit;
    m.params.eventlog_arraysize = kConsoleEventlogArraysize;
    // Checked again, with its own message, when a simulation gives one.
    m.params.snapshot_interval = 1.0;
    std::string fault = validate_model(m, notes);
    if (fault.empty()) fault = compile_model_formulas(m);
    if (fault.empty()) fault = compile_model_events(m);
    if (!fault.empty()) throw py::value_error(python_message(fault, true));
    return finish_model(std::move(m), false);
}

template <typename T>
py::array_t<T> vector_array(const std::vector<T>& v) {
    return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

py::list species_names(const PyModel& model) {
    py::list names;
    for (const Compound& c : model.m.species) names.append(py::str(c.name));
    return names;
}

py::array_t<std::int32_t> stoichiometry(const PyModel& model) {
    const StoichMatrix& s = model.matrix;
    py::array_t<std::int32_t> a({static_cast<py::ssize_t>(s.num_rxns),
                                 static_cast<py::ssize_t>(s.num_cmpds)});
    std::memcpy(a.mutable_data(), s.entries.data(),
                sizeof(std::int32_t) * static_cast<std::size_t>(s.num_rxns) *
                    static_cast<std::size_t>(s.num_cmpds));
    return a;
}

}  // namespace

std::string python_message(const std::string& console_message, bool built_in_python) {
    std::string text = console_message;
    strip_suffix(text, "\n");
    if (!built_in_python) return text;
    // A message about a model built in Python: no file, nothing to exit.
    const std::string file_prefix = "Model file ";
    if (text.compare(0, file_prefix.size(), file_prefix) == 0)
        text = kBuiltModelLabel + text.substr(file_prefix.size());
    strip_suffix(text, kConsoleExit);
    return text;
}

void bind_model(py::module_& mod) {
    py::class_<PyModel>(mod, "_Model",
                        "A validated reaction network (use plenta.Model or plenta.read_model).")
        .def_property_readonly("species", &species_names, "Species names, in position order.")
        .def_property_readonly(
            "initial_counts",
            [](const PyModel& p) {
                std::vector<int> c;
                for (const Compound& s : p.m.species) c.push_back(s.count);
                return vector_array(c);
            },
            "Initial molecule count of every species (parameter set 1).")
        .def_property_readonly(
            "monit", [](const PyModel& p) { return p.m.params.monit; },
            "Positions of the monitored species, in output order.")
        .def_property_readonly(
            "rule_names",
            [](const PyModel& p) {
                py::list names;
                for (const AssignmentRule& r : p.m.formulas.scope.rules) names.append(r.name);
                return names;
            },
            "Names of the assignment rules; monitored position num_species + r is rule r.")
        .def_property_readonly(
            "reaction_types",
            [](const PyModel& p) {
                py::list types;
                for (const Reaction& r : p.m.reactions) types.append(py::str(r.rxntype));
                return types;
            },
            "Type name of every reaction, as given.")
        .def_property_readonly(
            "reaction_ids",
            [](const PyModel& p) {
                std::vector<int> ids;
                for (const Reaction& r : p.m.reactions) ids.push_back(r.id);
                return ids;
            },
            "The id of every reaction.")
        .def_property_readonly("stoichiometry", &stoichiometry,
                               "Net change of every species per firing, reactions x species.")
        .def_property_readonly("volume", [](const PyModel& p) { return p.m.params.volume; })
        .def_property_readonly("algorithm", [](const PyModel& p) { return p.m.params.algorithm; })
        .def_property_readonly("tau_error", [](const PyModel& p) { return p.m.params.tau_error; })
        .def_property_readonly("time_start", [](const PyModel& p) { return p.m.params.time_start; })
        .def_property_readonly("time_end", [](const PyModel& p) { return p.m.params.time_end; })
        .def_property_readonly("snapshot_interval",
                               [](const PyModel& p) { return p.m.params.snapshot_interval; })
        .def_property_readonly("randseed", [](const PyModel& p) { return p.m.params.randseed; })
        .def_property_readonly("eventlog_flag",
                               [](const PyModel& p) { return p.m.params.eventlog_flag; })
        .def_property_readonly(
            "num_repeats", [](const PyModel& p) { return p.m.params.num_repeats; },
            "Runs of every parameter set, as the model file gives them.")
        .def_property_readonly("from_file", [](const PyModel& p) { return p.from_file; })
        .def_property_readonly(
            "event_names",
            [](const PyModel& p) {
                py::list names;
                for (const EventDefinition& e : p.m.event_definitions) names.append(e.name);
                return names;
            },
            "Names (title lines) of the events; event k logs as reaction number -k.");

    mod.def("_read_model", &read_model, py::arg("folder"),
            "Reads folder/constants.txt and the model file it names, as the console program "
            "does; raises ValueError with the console's message.");
    mod.def("_build_model", &build_model, py::arg("species"), py::arg("reactions"),
            py::arg("volume"), py::arg("algorithm"), py::arg("tau_error"), py::arg("monit"),
            py::arg("parameters") = std::vector<std::tuple<std::string, double>>{},
            py::arg("rules") = std::vector<std::tuple<std::string, std::string>>{},
            py::arg("events") = std::vector<EventEntry>{},
            "Builds a model from normalised lists (see plenta.Model); raises ValueError.");
}

}  // namespace py_module
}  // namespace plenta

// libFuzzer target for the console program's start-up read: "constants.txt",
// the model file's header, the allocation of the model arrays, the reading of
// the species, reactions, parameters and parameter sets, and the validation
// that keeps unsafe input from running.
//
// The input is one or two file texts.  Up to its first NUL byte it is the
// text of "constants.txt" (directory line and model file name) and after it
// the model file; an input without a NUL is the model file alone, read with
// the directory line "./".  Both texts stay in memory: the steps below are
// those of load_console_model, which reads the same texts from disk.
//
// A model that passes validation is then handed to what the driver builds
// from it before any run: the dependency graph, the stoichiometry matrix and
// every reaction's propensity in the initial state of every parameter set.
// Those builders trust their input, so any out-of-bounds access or overflow
// they show on a validated model is a gap in the validation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/console.h"
#include "model/model.h"

namespace {

using namespace plenta;

// The constants.txt part, as read_constants_txt reads it; false when the
// driver would stop with a message.
bool read_constants_part(const std::string& text, ConsoleModel& model) {
    TextScanner in(text);
    std::optional<std::string> line = get_line(in);
    if (!line) return false;
    model.data_dir = data_dir_from_line(*line);
    std::string model_name = scan_line(in);
    if (model_name.empty()) return false;
    model.model_path = model.data_dir + model_name;
    return true;
}

// The model file part, as load_console_model reads it: the header, the
// counts, the arrays, then sections 2 to 5 from the start of the same text.
bool read_model_part(const std::string& text, ConsoleModel& model) {
    {
        TextScanner header(text);
        read_header(header, model);
    }
    if (!validate_header_counts(model, text.size()).empty()) return false;
    allocate_model(model);
    ReadNotes notes;
    TextScanner in(text);
    read_model_sections(in, model.reactions, model.sizes, model.species, model.params,
                        model.sets, &notes);
    return validate_model(model, notes).empty();
}

// The sum of every reaction's propensity in the current state.
double total_propensity(const ConsoleModel& model) {
    double a0 = 0.0;
    for (int r = 0; r < model.sizes.num_rxns; r++)
        a0 += calc_rxn_prob_vesk(model.reactions[static_cast<std::size_t>(r)], model.species,
                                 model.params, model.sizes, r);
    return a0;
}

// What start-up builds from a validated model, then the first propensities
// of every parameter set: set s > 0 replaces initial counts and rate
// constants of the model as read, at the positions the file gives.
void build_network(ConsoleModel& model) {
    calc_dependency(model.sizes, model.reactions);
    StoichMatrix matrix(model.sizes.num_rxns, model.sizes.num_cmpds);
    create_stoich_matrix(model.sizes, model.reactions, matrix);
    const ConsoleModel as_read = model;
    double a0 = total_propensity(model);
    for (std::size_t s = 1; s < model.sets.size(); s++) {
        model.species = as_read.species;
        model.reactions = as_read.reactions;
        const ParamSet& set = model.sets[s];
        for (const Compound& change : set.species)
            model.species.at(static_cast<std::size_t>(change.index)).count = change.count;
        for (std::size_t k = 0; k < set.rates.size(); k++)
            model.reactions.at(static_cast<std::size_t>(set.rate_rxn[k]))
                .rates.at(static_cast<std::size_t>(set.rates[k].index))
                .value = set.rates[k].value;
        a0 += total_propensity(model);
    }
    // Keep the sum observable so that the propensity calls are not dropped.
    volatile double sink = a0;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string constants_text = "./\nmodel.txt\n";
    std::string model_text = input;
    std::size_t nul = input.find('\0');
    if (nul != std::string::npos) {
        constants_text = input.substr(0, nul);
        model_text = input.substr(nul + 1);
    }

    ConsoleModel model;
    model.params.eventlog_arraysize = kConsoleEventlogArraysize;
    if (!read_constants_part(constants_text, model)) return 0;
    if (!read_model_part(model_text, model)) return 0;
    build_network(model);
    return 0;
}

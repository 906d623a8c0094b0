// The model file's text and the model folder (constants.txt and the model
// file), written so that a failure leaves nothing half-written behind.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/sbml2plenta/sbml2plenta.h"

namespace sbml2plenta {

namespace {

// The simulator's limit on every path it builds.
constexpr std::size_t kMaxPathChars = 263;
constexpr char kTempSuffix[] = ".sbml2plenta-part";

void line(std::string& text, const std::string& s) { text += s + "\n"; }

void key(std::string& text, const char* name, const std::string& value) {
    line(text, std::string(name) + " = " + value);
}

std::string entry_text(const OutEntry& e, bool with_coef, bool with_exponent) {
    std::string s = std::to_string(e.species);
    if (with_coef) s += " " + std::to_string(e.coef);
    if (with_exponent) s += " " + exact_number(e.exponent);
    return s;
}

// Substrate and product lines as the reader's format for each type wants
// them: positions only for the fixed shapes, coefficients for "uni-multi"
// products, coefficients and exponents for "n-order".
void reaction_block(std::string& text, const OutReaction& r, int position) {
    if (r.type == "formula") {
        line(text, r.title);
        key(text, "rxntype", r.type);
        key(text, "num_subs", std::to_string(r.substrates.size()));
        for (const OutEntry& e : r.substrates) line(text, entry_text(e, true, false));
        key(text, "num_prods", std::to_string(r.products.size()));
        for (const OutEntry& e : r.products) line(text, entry_text(e, true, false));
        key(text, "rate", r.rate);
        key(text, "id", std::to_string(position));
        line(text, "");
        return;
    }
    const bool n_order = r.type == "n-order";
    const bool product_coefs = n_order || r.type == "uni-multi";
    line(text, r.title);
    key(text, "rxntype", r.type);
    key(text, "num_subs", std::to_string(r.substrates.size()));
    for (const OutEntry& e : r.substrates) line(text, entry_text(e, n_order, n_order));
    key(text, "num_prods", std::to_string(r.products.size()));
    for (const OutEntry& e : r.products) line(text, entry_text(e, product_coefs, false));
    std::string rates;
    for (double k : r.rates) rates += (rates.empty() ? "" : " ") + exact_number(k);
    key(text, "StoP", rates);
    key(text, "id", std::to_string(position));
    line(text, "");
}

void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw ConversionError{"cannot write " + path.string() + ": " + std::strerror(errno)};
}

}  // namespace

std::string exact_number(double v) {
    char buf[64];
    // Whole numbers as integers ("100", not "1e+02"); they read back exactly.
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    for (int precision = 1; precision <= 17; precision++) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

std::string model_file_text(const OutModel& model, const ConvertOptions& options) {
    std::string text;
    // The header: exactly eight lines.
    line(text, kTrajectoryBase);
    line(text, kSummaryName);
    line(text, kEventlogBase);
    line(text, "");
    key(text, "num_sets", "1");
    key(text, "num_rxns", std::to_string(model.reactions.size()));
    key(text, "num_cmpds", std::to_string(model.species.size()));
    line(text, "");

    for (const OutSpecies& s : model.species) line(text, s.name + " " + std::to_string(s.count));
    line(text, "");
    for (std::size_t i = 0; i < model.reactions.size(); i++)
        reaction_block(text, model.reactions[i], static_cast<int>(i));

    key(text, "time_start", "0");
    key(text, "time_end", exact_number(options.time_end));
    key(text, "volume", exact_number(model.volume));
    key(text, "algorithm", std::to_string(options.algorithm));
    if (options.algorithm == 3) key(text, "tau_error", exact_number(options.tau_error));
    key(text, "randseed", std::to_string(options.seed));
    line(text, "");
    key(text, "num_monit", std::to_string(model.monitored.size()));
    for (int s : model.monitored) line(text, std::to_string(s));
    key(text, "snapshot_interval", exact_number(options.snapshot_interval));
    key(text, "eventlog_flag", "0");
    key(text, "num_repeats", std::to_string(options.runs));
    // Named parameters and rules: read only in a model with formula reactions
    // or events.
    bool any_formula = !model.events.empty();
    for (const OutReaction& r : model.reactions) any_formula = any_formula || r.type == "formula";
    if (any_formula && !model.parameters.empty()) {
        key(text, "parameters", std::to_string(model.parameters.size()));
        for (const auto& [name, value] : model.parameters) line(text, name + " " + exact_number(value));
    }
    if (any_formula && !model.rules.empty()) {
        key(text, "rules", std::to_string(model.rules.size()));
        for (const auto& [name, expression] : model.rules) line(text, name + " = " + expression);
    }
    if (!model.events.empty()) {
        key(text, "events", std::to_string(model.events.size()));
        for (std::size_t i = 0; i < model.events.size(); i++) {
            const OutEvent& e = model.events[i];
            if (i > 0) line(text, "");
            line(text, e.title);
            key(text, "trigger", e.trigger);
            if (!e.priority.empty()) key(text, "priority", e.priority);
            if (!e.delay.empty()) key(text, "delay", e.delay);
            if (e.values_at_trigger) key(text, "values", "trigger");
            if (!e.initial) key(text, "initial", "false");
            if (!e.persistent) key(text, "persistent", "false");
            key(text, "assignments", std::to_string(e.assignments.size()));
            for (const auto& [target, value] : e.assignments) line(text, target + " = " + value);
        }
    }
    // The reader stops after the last section and takes lines starting with
    // '#' there as comments; this one is for the person who opens the file.
    if (model.system_size != 1.0)
        line(text, "\n# system size: every compartment's size multiplied by " +
                       exact_number(model.system_size) + " (sbml2plenta --system-size)");
    return text;
}

// The data directory is the folder itself, "./": plenta runs in the folder,
// and a copy of the folder (cp -r run1 run2) reads and writes its own files.
std::string constants_text() { return std::string("./\n") + kModelFileName + "\n"; }

std::string absolute_folder(const std::string& dir) {
    std::filesystem::path p = std::filesystem::absolute(dir).lexically_normal();
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string folder_fault(const std::string& folder, const ConvertOptions& options) {
    if (folder.find_first_of("\r\n") != std::string::npos)
        return "the output folder's path holds a line end, which constants.txt cannot carry";
    // The longest paths the simulator forms: the model file, the summary and
    // the trajectory file of the last run, each joined to folder + "/".
    const std::string last_traj = std::string(kTrajectoryBase) + "_" + std::to_string(options.runs);
    for (const std::string& name : {std::string(kModelFileName), std::string(kSummaryName), last_traj})
        if (folder.size() + 1 + name.size() > kMaxPathChars)
            return "the path of " + name + " in the output folder would be longer than the " +
                   "263 characters plenta accepts";
    return "";
}

void write_model_folder(const std::string& folder, const OutModel& model,
                        const ConvertOptions& options) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw ConversionError{"cannot create the folder " + folder + ": " + ec.message()};
    const fs::path dir(folder);
    const fs::path model_path = dir / kModelFileName, constants_path = dir / kConstantsFileName;
    const fs::path model_temp = dir / (std::string(kModelFileName) + kTempSuffix);
    const fs::path constants_temp = dir / (std::string(kConstantsFileName) + kTempSuffix);
    try {
        write_file(model_temp, model_file_text(model, options));
        write_file(constants_temp, constants_text());
        // The model file first: constants.txt names it, so a folder whose
        // constants.txt is new always has the new model file beside it.
        fs::rename(model_temp, model_path);
        fs::rename(constants_temp, constants_path);
    } catch (const fs::filesystem_error& e) {
        fs::remove(model_temp, ec);
        fs::remove(constants_temp, ec);
        throw ConversionError{std::string("cannot write the model folder: ") + e.what()};
    } catch (const ConversionError&) {
        fs::remove(model_temp, ec);
        fs::remove(constants_temp, ec);
        throw;
    }
}

}  // namespace sbml2plenta

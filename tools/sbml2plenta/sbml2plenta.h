// sbml2plenta.h - conversion of an SBML model into plenta's model-file format.
//
// The conversion reads an SBML document with libSBML, checks that everything
// in it can be expressed exactly by plenta's reaction types, and builds the
// model file's text in memory.  Nothing is written until the whole model has
// converted; the folder is then filled through temporary files and renames,
// so a refused model leaves the output folder as it was.
//
// Reading of a kinetic law: the law is the reaction's rate in molecules per
// time unit.  A species symbol stands for its amount (molecules) when the
// species has only substance units, otherwise for its concentration,
// amount / V, as SBML defines it; the compartment's symbol stands for its
// size V.  After the model's and the reaction's parameters are replaced by
// their values, the law must be a mass-action expression of the reactants
// (see law.h); the rate constants are then chosen so that plenta's propensity
// of the chosen type equals the law.
#ifndef PLENTA_TOOLS_SBML2PLENTA_H
#define PLENTA_TOOLS_SBML2PLENTA_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sbml2plenta {

// ---- Options of the conversion (the simulation parameters of the model file) ----

struct ConvertOptions {
    double time_end = 100.0;
    double snapshot_interval = 1.0;
    int runs = 1;
    std::uint32_t seed = 12345;
    int algorithm = 2;          // 2 direct method, 3 tau-leaping
    double tau_error = 0.03;    // written only with algorithm 3
    std::vector<std::string> monitor;  // species or rule ids; empty: every SBML species
    // Factor on every compartment's size (and so on every initial amount);
    // 0: 1, or chosen so that the largest initial count is about 10^6 when
    // the model's own sizes give counts beyond 32 bits.
    double system_size = 0.0;
};

// Molecules per mole.
constexpr double kAvogadro = 6.02214076e23;

// The largest initial count the automatic system size aims at.
constexpr double kAutomaticLargestCount = 1e6;

// Valid seeds of the generator: 1 .. 2147483398.
constexpr std::uint32_t kMaxSeed = 2147483398u;

// ---- The converted model ----

struct OutSpecies {
    std::string name;  // the SBML id, or the added sink / source species
    int count = 0;
};

struct OutEntry {
    int species = 0;
    int coef = 0;
    double exponent = 0.0;  // substrates of "n-order" only
};

struct OutReaction {
    std::string title;   // title line: id, direction and equation, at most 78 characters
    std::string type;    // plenta reaction type name
    std::vector<OutEntry> substrates;
    std::vector<OutEntry> products;
    std::vector<double> rates;  // StoP values
    std::string rate;    // "formula": the propensity's text
    std::string report;  // the line printed for this reaction
};

// An event of the model file's `events =` section.  Empty texts are lines
// not written (the model file's defaults apply).
struct OutEvent {
    std::string title;     // title line: id and what it assigns, at most 78 characters
    std::string trigger;   // "at T" or "when <condition>"
    std::string priority;  // expression, or ""
    std::string delay;     // expression, or ""
    bool values_at_trigger = false;  // values = trigger (SBML useValuesFromTriggerTime)
    bool initial = true;             // `when` only: the trigger's value just before the start
    bool persistent = true;
    std::vector<std::pair<std::string, std::string>> assignments;  // target = expression
    std::string report;    // the line printed for this event
};

struct OutModel {
    std::vector<OutSpecies> species;
    std::vector<OutReaction> reactions;
    double volume = 1.0;
    std::vector<int> monitored;        // species positions, then rules (species count + rule)
    std::vector<std::pair<std::string, double>> parameters;        // named parameters
    std::vector<std::pair<std::string, std::string>> rules;        // name = expression
    std::vector<OutEvent> events;
    double system_size = 1.0;  // the factor applied to every compartment's size
    bool system_size_chosen = false;  // chosen by the conversion, not given
    std::vector<std::string> warnings;  // e.g. initial amounts that rounding changed
};

// Thrown for anything the model file cannot express exactly; the message
// names the SBML element (by id) and the reason.
struct ConversionError {
    std::string message;
};

// ---- Conversion ----

// Converts the SBML file at `path`; throws ConversionError.
OutModel convert_sbml_file(const std::string& path, const ConvertOptions& options);

// The same from SBML text in memory.
OutModel convert_sbml_string(const std::string& xml, const ConvertOptions& options);

// ---- Output ----

// Output names written into the model file's header and constants.txt.
constexpr char kModelFileName[] = "model.txt";
constexpr char kConstantsFileName[] = "constants.txt";
constexpr char kTrajectoryBase[] = "traj";
constexpr char kSummaryName[] = "summary.txt";
constexpr char kEventlogBase[] = "evlog";

// The model file's text.
std::string model_file_text(const OutModel& model, const ConvertOptions& options);

// The text of constants.txt: the data directory "./" (the folder plenta runs
// in) and the model file's name.
std::string constants_text();

// The absolute, normalised path of `dir` without a trailing separator.
std::string absolute_folder(const std::string& dir);

// Why plenta could not use `folder` (an absolute path) for this model: a path
// longer than the simulator's 263 characters or a line end in it; "" if none.
std::string folder_fault(const std::string& folder, const ConvertOptions& options);

// Creates `folder` if needed and writes constants.txt and the model file
// through temporary files renamed at the end.  Throws ConversionError (and
// leaves no temporary file) when a file cannot be written.
void write_model_folder(const std::string& folder, const OutModel& model,
                        const ConvertOptions& options);

// The shortest decimal text that reads back as exactly `v`.
std::string exact_number(double v);

}  // namespace sbml2plenta

#endif  // PLENTA_TOOLS_SBML2PLENTA_H

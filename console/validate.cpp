// Checks of a model file's content before anything runs.
//
// The file format carries every count and position as plain numbers, and the
// model code downstream indexes arrays with them unchecked (the stoichiometry
// builder, the dependency graph, the propensity functions and the run driver
// all trust their input).  Input that would make them read or write out of
// bounds, or overrun a fixed-width name or path, is therefore rejected here,
// with one line naming the model file and the species, reaction (position as
// in the file, and id) or parameter set at fault.  Mere non-matching text is
// not diagnosed: the format defines what such a file means.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>

#include "console/console.h"

namespace plenta {

namespace {

// Least number of bytes of the model file that one entry takes, for bounding
// the allocations made from the header's counts.  A species entry is a name
// token and the white space that ends it.  A reaction that can run needs at
// least one substrate and one product, so its own "num_subs" and "num_prods"
// keys (17 characters) must have matched.  A parameter set may be absent
// altogether (its fields stay 0), so only one byte per set is assumed.
constexpr std::size_t kMinSpeciesBytes = 2;
constexpr std::size_t kMinReactionBytes = 17;
constexpr std::size_t kMinSetBytes = 1;

constexpr char kExit[] = " Exit.\n";

std::string str(long long v) { return std::to_string(v); }

std::string str_double(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string file_prefix(const ConsoleModel& m) { return "Model file " + m.model_path; }

std::string in_file(const ConsoleModel& m, const std::string& what) {
    return file_prefix(m) + ": " + what + kExit;
}

std::string in_reaction(const ConsoleModel& m, int rxn, const std::string& what) {
    return file_prefix(m) + ", reaction " + str(rxn) + " (id " +
           str(m.reactions[static_cast<std::size_t>(rxn)].id) + "): " + what + kExit;
}

std::string in_species(const ConsoleModel& m, int c, const std::string& what) {
    return file_prefix(m) + ", species " + str(c) + ": " + what + kExit;
}

// Sets are numbered from 1 as in the summary file; position s is set s + 1.
std::string in_set(const ConsoleModel& m, std::size_t s, const std::string& what) {
    return file_prefix(m) + ", parameter set " + str(static_cast<long long>(s) + 1) + ": " + what +
           kExit;
}

std::string outside(long long v, long long n) {
    return str(v) + ", outside 0.." + str(n - 1) + ".";
}

bool in_range(long long v, long long n) { return v >= 0 && v < n; }

// What is wrong with a count that sizes a list, or "" when nothing is.
std::string count_fault(const char* key, int count, std::size_t allocated) {
    if (count < 0) return std::string(key) + " = " + str(count) + " is below 0.";
    if (static_cast<std::size_t>(count) != allocated)
        return std::string(key) + " = " + str(count) + " is more than the model file can hold.";
    return "";
}

// The type as the file names it, and the type it is read as when the table
// does not know the name.
std::string type_text(const Reaction& r) {
    const char* table_name = kRxnTypeNames[r.rxn_index];
    std::string text = std::string("\"") + r.rxntype + "\"";
    if (std::strcmp(r.rxntype, table_name) != 0)
        text += std::string(" (read as \"") + table_name + "\")";
    return text;
}

// Substrate entries that the stoichiometry rows and propensities of a type
// read: two for the bimolecular fixed-shape types, at least one for all others
// (types 6 to 9 read x_0, and the format needs one substrate line).
// A "mass-action" reaction may have none: a source of constant rate.
int substrates_read(int type) {
    if (type == kMassAction) return 0;
    if (type == kFormula) return 0;  // a formula reads what it names
    return (type == kBinding || type == kUniqueBiBi || type == kHomoLtor) ? 2 : 1;
}

// Product entries: "unbinding" sets both of its products; every other type
// needs one, since a reaction without products reads no rate constants.
// A "mass-action" reaction reads its rate constant with or without products.
int products_read(int type) {
    if (type == kMassAction || type == kFormula) return 0;
    return type == kUnbinding ? 2 : 1;
}

// Rate constants the propensity reads: k_0 for every type but "undef";
// k_1 .. k_(m-1) as well for "genmm", k_1 for "n-order"; for "undef" what the
// built-in formula of its id reads (k_1 for id 0, k_0 for the others).
int rates_read(const Reaction& r, int num_subs) {
    switch (r.rxn_index) {
        case kGenmm:
            return num_subs;
        case kNOrder:
            return 2;
        case kFormula:
            return 0;  // its named parameters are bound when it is compiled
        case kUndef:
            if (rxn_prob_undef_max_species(r.id) < 0) return 0;
            return r.id == 0 ? 2 : 1;
        default:
            return 1;
    }
}

// The species whose net change per firing, summed coefficient by coefficient
// as the stoichiometry matrix sums it (substrates subtracted, then products
// added; "uni-multi" starts its substrate at -1), leaves the range of a 32-bit
// count at some step; -1 when none does.  Only the types that take
// coefficients from the file can get there.
int overflowing_species(const Reaction& r) {
    const bool uni_multi = r.rxn_index == kUniMulti;
    if (!uni_multi && r.rxn_index < kTransv1) return -1;
    std::map<int, long long> net;
    auto add = [&net](int species, long long delta) {
        long long& v = net[species];
        v += delta;
        return v < std::numeric_limits<std::int32_t>::min() ||
               v > std::numeric_limits<std::int32_t>::max();
    };
    if (uni_multi) {
        net[r.subs_index[0]] = -1;
    } else {
        for (std::size_t j = 0; j < r.subs_index.size(); j++)
            if (add(r.subs_index[j], -static_cast<long long>(r.subs_coef[j]))) return r.subs_index[j];
    }
    for (std::size_t j = 0; j < r.prods_index.size(); j++)
        if (add(r.prods_index[j], r.prods_coef[j])) return r.prods_index[j];
    return -1;
}

// "mass-action" counts each reactant's molecules once, by its multiplicity: a
// species listed twice would be counted as independent molecules, and a
// multiplicity below 1 has no meaning.  Product coefficients are >= 0.
std::string check_mass_action(const Reaction& r, int num_cmpds) {
    if (r.rxn_index != kMassAction) return "";
    std::vector<char> seen(static_cast<std::size_t>(num_cmpds), 0);
    for (std::size_t j = 0; j < r.subs_index.size(); j++) {
        if (r.subs_coef[j] < 1)
            return "substrate " + str(static_cast<long long>(j)) + " has multiplicity " +
                   str(r.subs_coef[j]) + "; a \"mass-action\" substrate needs at least 1.";
        char& s = seen[static_cast<std::size_t>(r.subs_index[j])];
        if (s != 0)
            return "species " + str(r.subs_index[j]) +
                   " is listed twice among the substrates; give it once with its multiplicity.";
        s = 1;
    }
    for (std::size_t j = 0; j < r.prods_index.size(); j++)
        if (r.prods_coef[j] < 0)
            return "product " + str(static_cast<long long>(j)) + " has coefficient " +
                   str(r.prods_coef[j]) + "; a \"mass-action\" product needs at least 0.";
    return "";
}

std::string check_notes(const ConsoleModel& m, const ReadNotes& notes) {
    std::string len = str(static_cast<long long>(notes.length));
    switch (notes.fault) {
        case ReadNotes::kNone:
            return "";
        case ReadNotes::kHeaderLine:
            return in_file(m, "header line " + str(notes.position) + " is " + len +
                                  " characters long; header lines may hold at most 78.");
        case ReadNotes::kTitleLine:
            return in_reaction(m, notes.position, "title line is " + len +
                                                      " characters long; title lines may hold at most 78.");
        case ReadNotes::kSpeciesName:
            return in_species(m, notes.position,
                              "name is " + len + " characters long; names may hold at most 83.");
        case ReadNotes::kTypeName:
            return in_reaction(m, notes.position, "type name is " + len +
                                                      " characters long; names may hold at most 83.");
        case ReadNotes::kFormula:
            return in_reaction(m, notes.position, "formula is " + len +
                                                      " characters long; formulas may hold at most 131.");
        case ReadNotes::kConstantName:
            return in_reaction(m, notes.position,
                               "name of rate constant " + str(notes.entry) + " is " + len +
                                   " characters long; names may hold at most 83.");
    }
    return "";
}

std::string check_path(const ConsoleModel& m, const char* what, const std::string& path) {
    if (path.size() <= kMaxPathChars) return "";
    return in_file(m, std::string(what) + " is " + str(static_cast<long long>(path.size())) +
                          " characters long; paths may hold at most 263.");
}

std::string check_paths(const ConsoleModel& m) {
    std::string fault;
    if (!(fault = check_path(m, "the model file's path", m.model_path)).empty()) return fault;
    if (!(fault = check_path(m, "the trajectory base path", m.traj_base)).empty()) return fault;
    if (!(fault = check_path(m, "the summary file's path", m.summary_path)).empty()) return fault;
    if (!(fault = check_path(m, "the event-log base path", m.evlog_base)).empty()) return fault;
    return "";
}

// The output file names grow with the run counter, which counts over all sets.
// They are checked at the last run; event-log names with the first file of a
// run (later files of a long run are the driver's to check as it names them).
std::string check_output_names(const ConsoleModel& m) {
    long long runs = 0;
    for (int n : m.params.num_repeats)
        if (n > 0) runs += n;
    if (runs == 0) return "";
    std::string last = "_" + str(runs);
    std::string fault = check_path(m, ("the trajectory file name of run " + str(runs)).c_str(),
                                   m.traj_base + last);
    if (!fault.empty() || m.params.eventlog_flag != 1) return fault;
    return check_path(m, ("the event-log file name of run " + str(runs)).c_str(),
                      m.evlog_base + last + "_1");
}

std::string check_reaction(const ConsoleModel& m, int i) {
    const Reaction& r = m.reactions[static_cast<std::size_t>(i)];
    const int n = m.sizes.num_cmpds;
    const int subs = m.sizes.num_subs[static_cast<std::size_t>(i)];
    const int prods = m.sizes.num_prods[static_cast<std::size_t>(i)];

    std::string fault = count_fault("num_subs", subs, r.subs_index.size());
    if (fault.empty()) fault = count_fault("num_prods", prods, r.prods_index.size());
    if (!fault.empty()) return in_reaction(m, i, fault);

    if (subs < substrates_read(r.rxn_index))
        return in_reaction(m, i, "a reaction of type " + type_text(r) + " reads " +
                                     str(substrates_read(r.rxn_index)) +
                                     " substrate(s), but num_subs = " + str(subs) + ".");
    if (prods == 0 && r.rxn_index != kMassAction && r.rxn_index != kFormula)
        return in_reaction(m, i,
                           "the reaction has no products, so it has no rate constants; give it a "
                           "sink species as product.");
    if (prods < products_read(r.rxn_index))
        return in_reaction(m, i, "a reaction of type " + type_text(r) + " reads " +
                                     str(products_read(r.rxn_index)) +
                                     " products, but num_prods = " + str(prods) + ".");
    for (std::size_t j = 0; j < r.subs_index.size(); j++)
        if (!in_range(r.subs_index[j], n))
            return in_reaction(m, i, "substrate " + str(static_cast<long long>(j)) +
                                         " is species " + outside(r.subs_index[j], n));
    for (std::size_t j = 0; j < r.prods_index.size(); j++)
        if (!in_range(r.prods_index[j], n))
            return in_reaction(m, i, "product " + str(static_cast<long long>(j)) +
                                         " is species " + outside(r.prods_index[j], n));
    fault = check_mass_action(r, n);
    if (!fault.empty()) return in_reaction(m, i, fault);
    int overflow = overflowing_species(r);
    if (overflow >= 0)
        return in_reaction(m, i, "the stoichiometric coefficients of species " + str(overflow) +
                                     " add up to more than a 32-bit count can hold.");

    fault = count_fault("num_rates", r.num_rates, r.rates.size());
    if (!fault.empty()) return in_reaction(m, i, fault);
    if (r.rxn_index == kUndef) {
        int highest = rxn_prob_undef_max_species(r.id);
        if (highest >= n)
            return in_reaction(m, i, "the built-in formula of id " + str(r.id) +
                                         " reads species " + str(highest) +
                                         ", but the model has " + str(n) + " species.");
        if (highest >= 0 && static_cast<int>(r.rates.size()) < rates_read(r, subs))
            return in_reaction(m, i, "the built-in formula of id " + str(r.id) + " reads k_" +
                                         str(rates_read(r, subs) - 1) + ", but num_rates = " +
                                         str(r.num_rates) + ".");
    } else if (static_cast<int>(r.rates.size()) < rates_read(r, subs)) {
        return in_reaction(m, i, "a reaction of type " + type_text(r) + " reads " +
                                     str(rates_read(r, subs)) + " rate constants, but has " +
                                     str(static_cast<long long>(r.rates.size())) + ".");
    }
    return "";
}

std::string check_parameters(const ConsoleModel& m) {
    std::string fault = count_fault("num_monit", m.sizes.num_monit, m.params.monit.size());
    if (!fault.empty()) return in_file(m, fault);
    for (std::size_t k = 0; k < m.params.monit.size(); k++)
        if (!in_range(m.params.monit[k],
                      m.sizes.num_cmpds + static_cast<long long>(m.formulas.scope.rules.size())))
            return in_file(m, "monitored species " + str(static_cast<long long>(k)) +
                                  " is species " + outside(m.params.monit[k], m.sizes.num_cmpds));
    // The snapshot count and the snapshot test divide by the interval.
    if (!(m.params.snapshot_interval > 0.0))
        return in_file(m, "snapshot_interval = " + str_double(m.params.snapshot_interval) +
                              " is not a positive number.");
    return "";
}

std::string check_set(const ConsoleModel& m, std::size_t s) {
    const ParamSet& set = m.sets[s];
    std::string fault = count_fault("num_species", set.num_species, set.species.size());
    if (!fault.empty()) return in_set(m, s, fault);
    for (std::size_t k = 0; k < set.species.size(); k++)
        if (!in_range(set.species[k].index, m.sizes.num_cmpds))
            return in_set(m, s, "species change " + str(static_cast<long long>(k)) +
                                    " names species " +
                                    outside(set.species[k].index, m.sizes.num_cmpds));
    fault = count_fault("num_rates", set.num_rates, set.rates.size());
    if (!fault.empty()) return in_set(m, s, fault);
    for (std::size_t k = 0; k < set.rates.size(); k++) {
        int rxn = set.rate_rxn[k];
        std::string change = "rate change " + str(static_cast<long long>(k));
        if (!in_range(rxn, m.sizes.num_rxns))
            return in_set(m, s, change + " names reaction " + outside(rxn, m.sizes.num_rxns));
        const Reaction& r = m.reactions[static_cast<std::size_t>(rxn)];
        long long have = static_cast<long long>(r.rates.size());
        if (!in_range(set.rates[k].index, have))
            return in_set(m, s, change + " names rate constant " + str(set.rates[k].index) +
                                    " of reaction " + str(rxn) + " (id " + str(r.id) +
                                    "), which has " + str(have) + " rate constant(s).");
    }
    return "";
}

// ---- What a run starts from ----

std::string check_seed(const ConsoleModel& m, const ReadNotes& notes) {
    // The field holds the number modulo 2^32; the check sees it as written,
    // so that 99999999999 is refused rather than run as 1215752191.
    const long long seed =
        notes.randseed_read ? notes.randseed_as_written : static_cast<long long>(m.params.randseed);
    const std::string fault = check_randseed(seed);
    return fault.empty() ? "" : in_file(m, fault);
}

std::string check_times(const ConsoleModel& m) {
    const SimParams& p = m.params;
    std::string fault = check_finite_time("time_start", p.time_start);
    if (fault.empty()) fault = check_finite_time("time_end", p.time_end);
    if (fault.empty()) fault = check_finite_time("snapshot_interval", p.snapshot_interval);
    return fault.empty() ? "" : in_file(m, fault);
}

// A set replaces counts and rate constants of the model as read; the values
// it brings must be ones a run can start from, as the model's own are.
std::string check_set_values(const ConsoleModel& m, std::size_t s) {
    const ParamSet& set = m.sets[s];
    for (std::size_t k = 0; k < set.species.size(); k++) {
        const Compound& change = set.species[k];
        if (change.count < 0)
            return in_set(m, s, "species change " + str(static_cast<long long>(k)) +
                                    " sets species " + str(change.index) + " (" +
                                    m.species[static_cast<std::size_t>(change.index)].name +
                                    ") to " + str(change.count) + ", below 0.");
    }
    for (std::size_t k = 0; k < set.rates.size(); k++) {
        const Reaction& r = m.reactions[static_cast<std::size_t>(set.rate_rxn[k])];
        const double v = set.rates[k].value;
        const bool ok = r.rxn_index == kUndef ? std::isfinite(v) : std::isfinite(v) && v >= 0.0;
        if (!ok)
            return in_set(m, s, "rate change " + str(static_cast<long long>(k)) +
                                    " sets rate constant " + str(set.rates[k].index) +
                                    " of reaction " + str(set.rate_rxn[k]) + " (id " + str(r.id) +
                                    ") to " + str_double(v) +
                                    (r.rxn_index == kUndef ? ", not a finite number."
                                                           : ", not a finite number >= 0."));
    }
    return "";
}

// The shared check of counts, rate constants, volume and tau_error.  It
// numbers reactions from 1, as the summary does; this file's messages give
// the position from 0 and the id, so a reaction's fault is put that way.
std::string run_values_fault(const ConsoleModel& m) {
    const std::string fault = check_run_values(m.sizes, m.species, m.reactions, m.params);
    if (fault.empty()) return "";
    const std::string prefix = "reaction ";
    const std::size_t colon = fault.find(": ");
    if (fault.compare(0, prefix.size(), prefix) == 0 && colon != std::string::npos) {
        const std::string number = fault.substr(prefix.size(), colon - prefix.size());
        const int rxn = std::atoi(number.c_str()) - 1;
        if (number == std::to_string(rxn + 1) && rxn >= 0 && rxn < m.sizes.num_rxns)
            return in_reaction(m, rxn, fault.substr(colon + 2));
    }
    return in_file(m, fault);
}

// ---- Output names against the input files ----

namespace fs = std::filesystem;

// The path with symbolic links and "." and ".." resolved as far as it exists.
fs::path resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(path), ec);
    if (ec) p = fs::absolute(fs::path(path), ec).lexically_normal();
    return p;
}

// A whole number in decimal without a leading zero, as the driver writes the
// run and file numbers; its value (at most 10^15) or -1.
long long decimal(const std::string& text) {
    if (text.empty() || text.size() > 15 || text[0] == '0') return -1;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Whether `name` is one of base_1 .. base_runs (files_too: base_<run>_<file>).
bool numbered_output(const std::string& name, const std::string& base, long long runs,
                     bool files_too) {
    if (name.compare(0, base.size() + 1, base + "_") != 0) return false;
    std::string rest = name.substr(base.size() + 1);
    if (files_too) {
        const std::size_t sep = rest.find('_');
        if (sep == std::string::npos || decimal(rest.substr(sep + 1)) < 1) return false;
        rest = rest.substr(0, sep);
    }
    const long long run = decimal(rest);
    return run >= 1 && run <= runs;
}

// Whether `name` is a part or temporary file of the ensemble modes next to
// the summary: <summary>.tmp, <summary>.part-K-of-M[.tmp], <summary>.worker-W-of-N.
bool summary_companion(const std::string& name, const std::string& summary) {
    if (name == summary + ".tmp") return true;
    for (const char* kind : {".part-", ".worker-"}) {
        const std::string prefix = summary + kind;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = name.substr(prefix.size());
        if (rest.size() > 4 && rest.compare(rest.size() - 4, 4, ".tmp") == 0)
            rest.erase(rest.size() - 4);
        const std::size_t of = rest.find("-of-");
        if (of != std::string::npos && decimal(rest.substr(0, of)) >= 1 &&
            decimal(rest.substr(of + 4)) >= 1)
            return true;
    }
    return false;
}

// What output of the model would be written over the input file `input`
// (the model file or constants.txt), or "".
std::string output_over(const ConsoleModel& m, const std::string& input, const char* what) {
    if (input.empty()) return "";
    const fs::path in = resolved(input);
    const std::string in_name = in.filename().string();
    long long runs = 0;
    for (int n : m.params.num_repeats)
        if (n > 0) runs += n;
    const std::string tail = " is " + std::string(what) + " " + input + "; the run would overwrite it.";
    const fs::path summary = resolved(m.summary_path);
    if (summary == in) return in_file(m, "the summary file " + m.summary_path + tail);
    if (summary.parent_path() == in.parent_path() &&
        summary_companion(in_name, summary.filename().string()))
        return in_file(m, "a temporary file of the summary " + m.summary_path + tail);
    const fs::path traj = resolved(m.traj_base);
    if (traj.parent_path() == in.parent_path() &&
        numbered_output(in_name, traj.filename().string(), runs, false))
        return in_file(m, "a trajectory file of the base " + m.traj_base + tail);
    const fs::path evlog = resolved(m.evlog_base);
    if (m.params.eventlog_flag == 1 && evlog.parent_path() == in.parent_path() &&
        numbered_output(in_name, evlog.filename().string(), runs, true))
        return in_file(m, "an event-log file of the base " + m.evlog_base + tail);
    return "";
}

}  // namespace

std::string validate_run_setup(ConsoleModel& m, const ReadNotes& notes) {
    std::string fault = check_seed(m, notes);
    if (fault.empty()) fault = check_times(m);
    if (fault.empty()) fault = run_values_fault(m);
    for (std::size_t s = 1; fault.empty() && s < m.sets.size(); s++) fault = check_set_values(m, s);
    if (fault.empty()) fault = output_over(m, m.model_path, "the model file");
    if (fault.empty()) fault = output_over(m, m.constants_path, "the constants file");
    if (fault.empty() && m.params.time_start > 0.0)
        m.warnings.push_back("Warning: model file " + m.model_path + ": time_start = " +
                             str_double(m.params.time_start) +
                             " is above 0; a run still draws its first event from time 0, so "
                             "the first interval after time_start holds every firing since "
                             "time 0.\n");
    return fault;
}

std::string validate_header_counts(const ConsoleModel& m, std::size_t file_size) {
    struct Count {
        const char* key;
        int value;
        std::size_t min_bytes;
    };
    const Count counts[] = {
        {"num_sets", m.params.num_sets, kMinSetBytes},
        {"num_rxns", m.sizes.num_rxns, kMinReactionBytes},
        {"num_cmpds", m.sizes.num_cmpds, kMinSpeciesBytes},
    };
    for (const Count& c : counts) {
        if (c.value < 1) return in_file(m, std::string(c.key) + " = " + str(c.value) + " is below 1.");
        if (static_cast<std::size_t>(c.value) > file_size / c.min_bytes)
            return in_file(m, std::string(c.key) + " = " + str(c.value) + " is more than a file of " +
                                  str(static_cast<long long>(file_size)) + " bytes can hold.");
    }
    return "";
}

std::string validate_model(const ConsoleModel& m, const ReadNotes& notes) {
    std::string fault = check_notes(m, notes);
    if (fault.empty()) fault = check_paths(m);
    for (int i = 0; fault.empty() && i < m.sizes.num_rxns; i++) fault = check_reaction(m, i);
    if (fault.empty()) fault = check_parameters(m);
    for (std::size_t s = 1; fault.empty() && s < m.sets.size(); s++) fault = check_set(m, s);
    if (fault.empty()) fault = check_output_names(m);
    return fault;
}

}  // namespace plenta

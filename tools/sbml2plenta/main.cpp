// sbml2plenta: converts an SBML model into a plenta model folder.
//
// Exit status: 0 converted, 1 the model cannot be converted exactly (or the
// folder cannot be written), 2 a wrong command line.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "plenta_version.h"
#include "tools/sbml2plenta/sbml2plenta.h"

namespace {

constexpr char kUsage[] =
    "Usage: sbml2plenta model.xml outdir [options]\n"
    "\n"
    "Converts an SBML model into outdir/constants.txt and outdir/model.txt, so that\n"
    "plenta run in outdir simulates it.  Prints one line per reaction with the\n"
    "reaction type it became; refuses (exit status 1, nothing written) anything\n"
    "plenta cannot simulate.\n"
    "\n"
    "Options (defaults in brackets):\n"
    "  --time-end T       end time of every run [100]\n"
    "  --interval D       time between trajectory snapshots [1]\n"
    "  --runs N           number of runs [1]\n"
    "  --seed S           random seed, 1 .. 2147483398 [12345]\n"
    "  --algorithm 2|3    2 direct method, 3 tau-leaping [2]\n"
    "  --tau-error E      error bound of tau-leaping, with --algorithm 3 [0.03]\n"
    "  --monitor A,B,...  species (or assignment-rule) ids written to the trajectories\n"
    "                     [all SBML species]\n"
    "  --system-size F    multiply every compartment's size by F (amounts follow;\n"
    "                     concentrations and the deterministic dynamics do not change)\n"
    "                     [1, or chosen when the counts would pass 32 bits]\n"
    "  --help             this text\n"
    "  --version          the release number of this build\n";

struct UsageError {
    std::string message;
};

double parse_double(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        throw UsageError{option + " needs a number, not '" + text + "'"};
    return v;
}

long long parse_integer(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError{option + " needs a whole number, not '" + text + "'"};
    return v;
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma - start);
        if (item.empty()) throw UsageError{"--monitor needs a comma-separated list of species ids"};
        items.push_back(item);
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

struct CommandLine {
    std::string input;
    std::string outdir;
    sbml2plenta::ConvertOptions options;
    bool help = false;
    bool version = false;
};

CommandLine parse(int argc, char** argv) {
    CommandLine cl;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
            return cl;
        }
        if (arg == "--version") {
            cl.version = true;
            return cl;
        }
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
        std::string value = argv[++i];
        sbml2plenta::ConvertOptions& o = cl.options;
        if (arg == "--time-end") {
            o.time_end = parse_double(arg, value);
            if (!(o.time_end > 0.0)) throw UsageError{"--time-end must be positive"};
        } else if (arg == "--interval") {
            o.snapshot_interval = parse_double(arg, value);
            if (!(o.snapshot_interval > 0.0)) throw UsageError{"--interval must be positive"};
        } else if (arg == "--runs") {
            long long n = parse_integer(arg, value);
            if (n < 0 || n > std::numeric_limits<int>::max())
                throw UsageError{"--runs must be between 0 and 2147483647"};
            o.runs = static_cast<int>(n);
        } else if (arg == "--seed") {
            long long s = parse_integer(arg, value);
            if (s < 1 || s > sbml2plenta::kMaxSeed)
                throw UsageError{"--seed must be between 1 and 2147483398"};
            o.seed = static_cast<std::uint32_t>(s);
        } else if (arg == "--algorithm") {
            long long a = parse_integer(arg, value);
            if (a != 2 && a != 3) throw UsageError{"--algorithm must be 2 or 3"};
            o.algorithm = static_cast<int>(a);
        } else if (arg == "--tau-error") {
            o.tau_error = parse_double(arg, value);
            if (!(o.tau_error > 0.0)) throw UsageError{"--tau-error must be positive"};
        } else if (arg == "--system-size") {
            o.system_size = parse_double(arg, value);
            if (!(o.system_size > 0.0)) throw UsageError{"--system-size must be positive"};
        } else if (arg == "--monitor") {
            o.monitor = split_list(value);
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (positional.size() != 2) throw UsageError{"give the SBML file and the output folder"};
    cl.input = positional[0];
    cl.outdir = positional[1];
    if (cl.input.empty()) throw UsageError{"the SBML file's name is empty"};
    if (cl.outdir.empty()) throw UsageError{"the output folder's name is empty"};
    return cl;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine cl;
    try {
        cl = parse(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "sbml2plenta: " << e.message << "\n\n" << kUsage;
        return 2;
    }
    if (cl.help) {
        std::cout << kUsage;
        return 0;
    }
    if (cl.version) {
        std::cout << "sbml2plenta " PLENTA_VERSION "\n";
        return 0;
    }
    try {
        sbml2plenta::OutModel model = sbml2plenta::convert_sbml_file(cl.input, cl.options);
        const std::string folder = sbml2plenta::absolute_folder(cl.outdir);
        std::string fault = sbml2plenta::folder_fault(folder, cl.options);
        if (!fault.empty()) throw sbml2plenta::ConversionError{fault};
        sbml2plenta::write_model_folder(folder, model, cl.options);
        for (const std::string& w : model.warnings) std::cerr << "sbml2plenta: warning: " << w << "\n";
        for (const sbml2plenta::OutReaction& r : model.reactions) std::cout << r.report << "\n";
        for (const sbml2plenta::OutEvent& e : model.events) std::cout << e.report << "\n";
        std::cout << "wrote " << folder << "/" << sbml2plenta::kConstantsFileName << " and "
                  << folder << "/" << sbml2plenta::kModelFileName << "\n";
    } catch (const sbml2plenta::ConversionError& e) {
        std::cerr << "sbml2plenta: " << cl.input << ": " << e.message << "; nothing written.\n";
        return 1;
    } catch (const std::exception& e) {
        // A path the system refuses, or memory the machine does not have.
        std::cerr << "sbml2plenta: " << cl.input << ": " << e.what() << "; nothing written.\n";
        return 1;
    }
    return 0;
}

// The command line of plenta.  Without arguments the program runs exactly as
// it always has; options only select among alternatives that leave the model
// file's meaning unchanged.
//
// Options are listed in one table (name, whether a value follows, how it is
// stored), so a new option is one more row and one more field of
// ConsoleOptions.  A value may follow as the next argument or after "=".
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "console/console.h"

namespace plenta {

const char kUsageText[] =
    "Usage: plenta [--method direct|cr|rssa] [--streams continuing|per-run]\n"
    "              [--jobs [N]] [--slice K/M] [--merge-summary] [--check] [--help]\n"
    "              [--version]\n"
    "\n"
    "Simulates every run of every parameter set of the model named in\n"
    "\"constants.txt\" in the working directory.\n"
    "\n"
    "  --method direct  the exact runs use the method the model file selects\n"
    "                   (algorithm 2 direct method, other values first-reaction\n"
    "                   selection); the default\n"
    "  --method cr      the exact runs use composition-rejection, whose cost per\n"
    "                   event does not grow with the number of reactions; the\n"
    "                   same process, another random stream (not for\n"
    "                   tau-leaping, algorithm 3)\n"
    "  --method rssa    the exact runs use the rejection-based method, whose set-up\n"
    "                   and cost per event follow the species and reactions, not\n"
    "                   the dependency graph (networks generated from rules); the\n"
    "                   same process, another random stream (not for tau-leaping)\n"
    "  --streams per-run  every run draws from its own substream of the\n"
    "                   generator, chosen by its run number, so its output\n"
    "                   depends only on randseed, its set and its number\n"
    "                   (--streams continuing, the default: one stream for all)\n"
    "  --jobs [N]       per-run streams, the runs done by N worker processes\n"
    "                   (without N: one per core); the same files as --jobs 1\n"
    "  --slice K/M      per-run streams, only runs r with (r - 1) mod M = K - 1;\n"
    "                   their files and the summary part <summary>.part-K-of-M\n"
    "  --merge-summary  joins the M summary parts of a sliced ensemble into the\n"
    "                   summary file, in run order, and deletes the parts\n"
    "  --check          reads and checks the model, prints what was read (species,\n"
    "                   reactions, parameters, sets) and the reader's warnings;\n"
    "                   runs nothing and writes no file (status 1 if it cannot run)\n"
    "  --help           this text\n"
    "  --version        the release number of this build\n"
    "\n"
    "Exit status: 0 after the last run, 1 when a file fails, 2 for a wrong\n"
    "command line.\n";

namespace {

using OptionSetter = std::string (*)(const std::string& value, ConsoleOptions& options);

struct OptionSpec {
    const char* name;  // with its leading "--"
    bool takes_value;
    OptionSetter set;
    bool value_optional = false;  // the next argument is its value only if it is a number
};

std::string set_method(const std::string& value, ConsoleOptions& options) {
    if (value == "direct") {
        options.method.clear();
        return "";
    }
    if (make_run_method(value) != nullptr) {
        options.method = value;
        return "";
    }
    std::string names = "direct";
    for (const std::string& name : run_method_names()) names += ", " + name;
    return "unknown method '" + value + "' for --method (" + names + ")";
}

std::string set_help(const std::string&, ConsoleOptions& options) {
    options.help = true;
    return "";
}

std::string set_version(const std::string&, ConsoleOptions& options) {
    options.version = true;
    return "";
}

std::string set_streams(const std::string& value, ConsoleOptions& options) {
    options.streams_given = true;
    if (value == "per-run") {
        options.streams = StreamMode::kPerRun;
        return "";
    }
    if (value == "continuing") {
        options.streams = StreamMode::kContinuing;
        return "";
    }
    return "unknown stream mode '" + value + "' for --streams (continuing or per-run)";
}

constexpr int kMaxJobs = 4096;

// A whole number in 1..max written in decimal digits only; 0 otherwise.
int positive_number(const std::string& text, int max) {
    if (text.empty() || text.size() > 9) return 0;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value >= 1 && value <= max ? static_cast<int>(value) : 0;
}

std::string set_jobs(const std::string& value, ConsoleOptions& options) {
    if (value.empty()) {
        const unsigned cores = std::thread::hardware_concurrency();
        options.jobs = cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxJobs));
        return "";
    }
    options.jobs = positive_number(value, kMaxJobs);
    if (options.jobs == 0)
        return "--jobs needs a number of processes from 1 to " + std::to_string(kMaxJobs) +
               ", not '" + value + "'";
    return "";
}

std::string set_slice(const std::string& value, ConsoleOptions& options) {
    const std::size_t slash = value.find('/');
    const int max = 1 << 30;
    if (slash != std::string::npos) {
        options.slice = positive_number(value.substr(0, slash), max);
        options.slices = positive_number(value.substr(slash + 1), max);
    }
    if (slash == std::string::npos || options.slice == 0 || options.slices == 0 ||
        options.slice > options.slices)
        return "--slice needs K/M with 1 <= K <= M, not '" + value + "'";
    return "";
}

std::string set_merge_summary(const std::string&, ConsoleOptions& options) {
    options.merge_summary = true;
    return "";
}

std::string set_check(const std::string&, ConsoleOptions& options) {
    options.check = true;
    return "";
}

// Options that only make sense together, or not at all together.
std::string check_combination(const ConsoleOptions& options) {
    const bool ensemble = options.jobs > 0 || options.slices > 0;
    if (options.merge_summary && (ensemble || options.streams_given))
        return "--merge-summary only joins the summary parts; it runs nothing";
    if (options.merge_summary && options.check)
        return "--check reads the model; it merges nothing";
    if (ensemble && options.streams_given && options.streams == StreamMode::kContinuing)
        return "--jobs and --slice need per-run streams; one continuing stream cannot be split";
    return "";
}

const OptionSpec kOptions[] = {
    {"--method", true, set_method},
    {"--streams", true, set_streams},
    {"--jobs", true, set_jobs, true},
    {"--slice", true, set_slice},
    {"--merge-summary", false, set_merge_summary},
    {"--check", false, set_check},
    {"--help", false, set_help},
    {"-h", false, set_help},
    {"--version", false, set_version},
};

const OptionSpec* find_option(const std::string& name) {
    for (const OptionSpec& option : kOptions)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

std::string parse_options(int argc, const char* const argv[], ConsoleOptions& options) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const bool inline_value = arg.compare(0, 2, "--") == 0 && eq != std::string::npos;
        const std::string name = inline_value ? arg.substr(0, eq) : arg;
        const OptionSpec* option = find_option(name);
        if (option == nullptr) {
            if (arg.empty() || arg[0] != '-') return "unexpected argument '" + arg + "'";
            return "unknown option '" + name + "'";
        }
        std::string value;
        if (option->takes_value) {
            if (inline_value) {
                value = arg.substr(eq + 1);
            } else if (option->value_optional) {
                if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
                    value = argv[++i];
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return "option '" + name + "' needs a value";
            }
        } else if (inline_value) {
            return "option '" + name + "' takes no value";
        }
        const std::string fault = option->set(value, options);
        if (!fault.empty()) return fault;
    }
    return check_combination(options);
}

std::string usage_error_text(const std::string& fault) {
    return "plenta: " + fault + "\nTry 'plenta --help'.\n";
}

}  // namespace plenta

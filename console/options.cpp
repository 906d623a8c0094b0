// The command line of plenta.  Without arguments the program runs exactly as
// it always has; options only select among alternatives that leave the model
// file's meaning unchanged.
//
// Options are listed in one table (name, whether a value follows, how it is
// stored), so a new option is one more row and one more field of
// ConsoleOptions.  A value may follow as the next argument or after "=".
#include <cstring>
#include <string>

#include "console/console.h"

namespace plenta {

const char kUsageText[] =
    "Usage: plenta [--method direct|cr] [--help]\n"
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
    "  --help           this text\n"
    "\n"
    "Exit status: 0 after the last run, 1 when a file fails, 2 for a wrong\n"
    "command line.\n";

namespace {

using OptionSetter = std::string (*)(const std::string& value, ConsoleOptions& options);

struct OptionSpec {
    const char* name;  // with its leading "--"
    bool takes_value;
    OptionSetter set;
};

std::string set_method(const std::string& value, ConsoleOptions& options) {
    if (value == "direct") {
        options.method = ExactMethod::kDefined;
        return "";
    }
    if (value == "cr") {
        options.method = ExactMethod::kCompositionRejection;
        return "";
    }
    return "unknown method '" + value + "' for --method (direct or cr)";
}

std::string set_help(const std::string&, ConsoleOptions& options) {
    options.help = true;
    return "";
}

const OptionSpec kOptions[] = {
    {"--method", true, set_method},
    {"--help", false, set_help},
    {"-h", false, set_help},
};

const OptionSpec* find_option(const std::string& name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.name) return &spec;
    return nullptr;
}

}  // namespace

std::string parse_options(int argc, const char* const argv[], ConsoleOptions& options) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const bool inline_value = arg.compare(0, 2, "--") == 0 && eq != std::string::npos;
        const std::string name = inline_value ? arg.substr(0, eq) : arg;
        const OptionSpec* spec = find_option(name);
        if (spec == nullptr) {
            if (arg.empty() || arg[0] != '-') return "unexpected argument '" + arg + "'";
            return "unknown option '" + name + "'";
        }
        std::string value;
        if (spec->takes_value) {
            if (inline_value) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return "option '" + name + "' needs a value";
            }
        } else if (inline_value) {
            return "option '" + name + "' takes no value";
        }
        const std::string fault = spec->set(value, options);
        if (!fault.empty()) return fault;
    }
    return "";
}

std::string usage_error_text(const std::string& fault) {
    return "plenta: " + fault + "\nTry 'plenta --help'.\n";
}

}  // namespace plenta

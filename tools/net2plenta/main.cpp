// net2plenta: converts a reaction network generated from rules (a BioNetGen
// .net file) into a plenta model folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plenta_version.h"
#include "tools/net2plenta/net2plenta.h"

namespace {

const char kUsage[] =
    "Usage: net2plenta model.net outdir [--time-end T] [--interval D] [--runs N]\n"
    "                  [--seed S] [--algorithm 2|3] [--tau-error E] [--monitor groups|species]\n"
    "       net2plenta --help | --version\n";

bool number(const char* text, double& v) {
    char* end = nullptr;
    v = std::strtod(text, &end);
    return end != text && *end == '\0';
}

int usage(const std::string& fault) {
    std::fprintf(stderr, "net2plenta: %s\n%s", fault.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, outdir;
    net2plenta::Options options;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("net2plenta " PLENTA_VERSION "\n", stdout);
            return 0;
        }
        if (arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc) return usage(arg + " needs a value");
            const char* value = argv[++i];
            double v = 0.0;
            if (arg == "--monitor") {
                if (std::strcmp(value, "groups") == 0) options.monitor_groups = true;
                else if (std::strcmp(value, "species") == 0) options.monitor_groups = false;
                else return usage("--monitor takes groups or species");
                continue;
            }
            if (!number(value, v)) return usage(arg + " needs a number, not '" + value + "'");
            if (arg == "--time-end" && v >= 0.0) options.time_end = v;
            else if (arg == "--interval" && v > 0.0) options.interval = v;
            else if (arg == "--runs" && v >= 1 && v <= 1e9 && v == static_cast<int>(v)) options.runs = static_cast<int>(v);
            else if (arg == "--seed" && v >= 1 && v <= 2147483398.0 && v == static_cast<long long>(v)) options.seed = static_cast<long long>(v);
            else if (arg == "--algorithm" && (v == 2 || v == 3)) options.algorithm = static_cast<int>(v);
            else if (arg == "--tau-error" && v > 0.0) options.tau_error = v;
            else return usage("bad option or value: " + arg + " " + value);
            continue;
        }
        if (input.empty()) input = arg;
        else if (outdir.empty()) outdir = arg;
        else return usage("unexpected argument '" + arg + "'");
    }
    if (outdir.empty()) return usage("needs a .net file and an output folder");
    try {
        const net2plenta::NetModel net = net2plenta::read_net(input);
        net2plenta::write_model_folder(net, options, outdir);
        std::printf("%zu species, %zu reactions, %zu groups -> %s\n", net.species.size(),
                    net.reactions.size(), net.groups.size(), outdir.c_str());
    } catch (const net2plenta::NetError& e) {
        std::fprintf(stderr, "net2plenta: %s\n", e.what());
        return 1;
    }
    return 0;
}

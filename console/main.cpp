// plenta: simulates every run of every parameter set of the model named in
// "constants.txt" in the working directory.  Without arguments it runs the
// methods the model file selects; --method cr runs the exact ones by
// composition-rejection (plenta --help).  The exit status is 0 after the last
// run, 1 when an input or output file fails, 2 for a wrong command line.
#include <cstdio>
#include <string>

#include "console/console.h"
#include "plenta_version.h"

int main(int argc, char* argv[]) {
    plenta::ConsoleOptions options;
    const std::string fault = plenta::parse_options(argc, argv, options);
    if (!fault.empty()) {
        std::fputs(plenta::usage_error_text(fault).c_str(), stderr);
        return plenta::kExitUsage;
    }
    if (options.help) {
        std::fputs(plenta::kUsageText, stdout);
        return 0;
    }
    if (options.version) {
        std::fputs("plenta " PLENTA_VERSION "\n", stdout);
        return 0;
    }
    return plenta::run_plenta("", plenta::kConsoleEventlogArraysize, options);
}

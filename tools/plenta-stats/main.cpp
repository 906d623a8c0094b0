// plenta-stats: ensemble statistics of a model folder's runs, one CSV table
// per parameter set (see plenta-stats --help).
#include <unistd.h>

#include <iostream>

#include "tools/plenta-stats/stats.h"

int main(int argc, char** argv) {
    plenta_stats::Options options;
    options.progress = isatty(STDERR_FILENO) != 0;
    const int status = plenta_stats::parse_arguments(argc, argv, options, std::cout, std::cerr);
    if (status >= 0) return status;
    return plenta_stats::run_stats(options, std::cout, std::cerr);
}

// Reading the summary file of the console program as a stream of runs.  Per
// run it holds "grp 1 rxns %d" and "set %d run %d", written when the run
// starts, and one "%d %d" line per reaction (reaction number, firings),
// written when it ends.  A run without its totals did not finish: the
// program was stopped, or the summary file was cut short.
#include <cstdio>
#include <limits>

#include "tools/plenta-stats/stats.h"

namespace plenta_stats {

SummaryReader::SummaryReader(const std::string& path, int num_rxns)
    : in_(path, std::ios::binary), num_rxns_(num_rxns) {}

bool SummaryReader::read_line(std::string& line) {
    if (has_pending_) {
        line = std::move(pending_);
        has_pending_ = false;
        return true;
    }
    if (!std::getline(in_, line)) return false;
    line_number_++;
    // Every line the program writes ends with a line end; a last line
    // without one was cut while being written and is not taken.
    if (in_.eof()) return false;
    return true;
}

namespace {

bool whole_match(const std::string& line, const char* format, int* a, int* b) {
    int used = 0;
    const int wanted = b == nullptr ? 1 : 2;
    int got = b == nullptr ? std::sscanf(line.c_str(), format, a, &used)
                           : std::sscanf(line.c_str(), format, a, b, &used);
    return got == wanted && static_cast<std::size_t>(used) == line.size();
}

}  // namespace

bool SummaryReader::next(SummaryRun& run) {
    run = SummaryRun{};
    std::string line;
    if (!error_.empty() || !read_line(line)) return false;
    int rxns = 0;
    if (!whole_match(line, "grp 1 rxns %d%n", &rxns, nullptr) || rxns != num_rxns_) {
        error_ = "line " + std::to_string(line_number_) + ": expected 'grp 1 rxns " +
                 std::to_string(num_rxns_) + "', found '" + line.substr(0, 60) + "'";
        return false;
    }
    if (!read_line(line)) return false;  // cut before the run was named
    if (!whole_match(line, "set %d run %d%n", &run.set_number, &run.run_counter)) {
        error_ = "line " + std::to_string(line_number_) + ": expected 'set S run R', found '" +
                 line.substr(0, 60) + "'";
        return false;
    }
    for (int r = 1; r <= num_rxns_; r++) {
        if (!read_line(line)) return true;  // the run did not finish
        int number = 0, firings = 0;
        if (!whole_match(line, "%d %d%n", &number, &firings) || number != r) {
            // The next run's start after an unfinished run, or stray text
            // (which the next call reports).
            pending_ = std::move(line);
            has_pending_ = true;
            return true;
        }
        run.totals.push_back(firings);
    }
    run.has_totals = true;
    return true;
}

long long count_summary_runs(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    long long runs = 0;
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 4, "set ") == 0) runs++;
    return runs;
}

}  // namespace plenta_stats

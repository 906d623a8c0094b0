// Reading one trajectory file of the console program: the header
// "run %d points %d n_mon %d n_rxn %d", tab-separated data lines (the time as
// "%g", the monitored counts, the firings since the previous line) and a
// final line without a line end.  A file that lacks its final line, or whose
// lines do not have the model's columns, was cut short or belongs to another
// model, and is refused as a whole so that no run enters the statistics with
// only part of its snapshots.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tools/plenta-stats/stats.h"

namespace plenta_stats {

std::string grid_time_text(long long j, double snapshot_interval) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(j) * snapshot_interval);
    return text;
}

namespace {

std::string line_problem(std::size_t line_number, const std::string& what) {
    return "line " + std::to_string(line_number) + ": " + what;
}

bool parse_header(const std::string& header, const TrajectoryLayout& layout, Trajectory& out,
                  std::string& problem) {
    int run = 0, points = 0, n_mon = 0, n_rxn = 0, used = 0;
    if (std::sscanf(header.c_str(), "run %d points %d n_mon %d n_rxn %d%n", &run, &points,
                    &n_mon, &n_rxn, &used) != 4 ||
        static_cast<std::size_t>(used) != header.size()) {
        problem = "no trajectory header on line 1";
        return false;
    }
    if (n_mon != layout.num_monit || n_rxn != layout.num_rxns) {
        problem = "header gives n_mon " + std::to_string(n_mon) + " n_rxn " +
                  std::to_string(n_rxn) + ", the model " + std::to_string(layout.num_monit) +
                  " and " + std::to_string(layout.num_rxns);
        return false;
    }
    out.run_in_set = run;
    out.points = points;
    return true;
}

// One tab-preceded decimal integer of a count column at text[pos].
bool parse_count(const char* end, const char*& pos, long long& value) {
    if (pos >= end || *pos != '\t') return false;
    ++pos;
    if (pos >= end || (*pos != '-' && (*pos < '0' || *pos > '9'))) return false;
    errno = 0;
    char* stop = nullptr;
    value = std::strtoll(pos, &stop, 10);
    if (stop == pos || stop > end || errno == ERANGE) return false;
    pos = stop;
    return true;
}

// Finds the snapshot whose printed time is `text`.  The snapshot expected
// next is tried first (after the previous line's, or for the first line the
// first one at or after time_start): once times reach a million intervals,
// "%g" prints several snapshots alike, and only the order tells them apart.
bool find_grid_index(const std::string& text, double value, const TrajectoryLayout& layout,
                     bool has_previous, long long previous, long long& j) {
    const double interval = layout.snapshot_interval;
    const double first = std::ceil(layout.time_start / interval);
    if (has_previous || (std::isfinite(first) && std::fabs(first) < 9.0e15)) {
        const long long expected = has_previous ? previous + 1 : static_cast<long long>(first);
        if (grid_time_text(expected, interval) == text) {
            j = expected;
            return true;
        }
    }
    const double ratio = value / interval;
    if (!std::isfinite(ratio) || std::fabs(ratio) > 9.0e15) return false;
    const long long nearest = std::llround(ratio);
    for (long long candidate : {nearest, nearest - 1, nearest + 1}) {
        if (has_previous && candidate <= previous) continue;
        if (grid_time_text(candidate, interval) == text) {
            j = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string parse_trajectory(const std::string& text, const TrajectoryLayout& layout,
                             Trajectory& out) {
    out = Trajectory{};
    const std::size_t header_end = text.find('\n');
    if (header_end == std::string::npos) return text.empty() ? "empty file" : "no line after the header";
    std::string problem;
    if (!parse_header(text.substr(0, header_end), layout, out, problem)) return problem;

    const std::size_t columns =
        static_cast<std::size_t>(layout.num_monit) + static_cast<std::size_t>(layout.num_rxns);
    out.firing_totals.assign(static_cast<std::size_t>(layout.num_rxns), 0);
    const char* const all = text.c_str();
    std::size_t start = header_end + 1;
    std::size_t line_number = 1;
    bool has_previous = false;
    long long previous_j = 0;
    double previous_time = -std::numeric_limits<double>::infinity();
    // The final line is the one without a line end; a file that ends right
    // after a line end has lost it.
    if (start >= text.size()) return "ends after the header: no snapshot lines (truncated)";
    while (start < text.size()) {
        line_number++;
        std::size_t stop = text.find('\n', start);
        const bool final_line = (stop == std::string::npos);
        if (final_line) stop = text.size();
        const char* pos = all + start;
        const char* end = all + stop;

        const char* tab = static_cast<const char*>(std::memchr(pos, '\t', static_cast<std::size_t>(end - pos)));
        if (tab == nullptr) tab = end;
        const std::string time_text(pos, tab);
        char* time_end = nullptr;
        const double time = std::strtod(time_text.c_str(), &time_end);
        if (time_text.empty() || *time_end != '\0' || !std::isfinite(time))
            return line_problem(line_number, "no snapshot time at its start");
        pos = tab;

        for (std::size_t c = 0; c < columns; c++) {
            long long value = 0;
            if (!parse_count(end, pos, value))
                return line_problem(line_number, "expected " + std::to_string(layout.num_monit) +
                                                     " counts and " +
                                                     std::to_string(layout.num_rxns) +
                                                     " firing numbers after the time");
            out.values.push_back(value);
            if (c >= static_cast<std::size_t>(layout.num_monit)) {
                long long& total = out.firing_totals[c - static_cast<std::size_t>(layout.num_monit)];
                if (__builtin_add_overflow(total, value, &total))
                    return line_problem(line_number, "firing numbers of reaction " +
                                                         std::to_string(c - static_cast<std::size_t>(layout.num_monit) + 1) +
                                                         " add up beyond the range of 64 bits");
            }
        }
        if (pos != end)
            return line_problem(line_number, "text after the model's " +
                                                 std::to_string(columns) + " columns");

        TrajectoryLine line;
        line.time = time;
        long long j = 0;
        line.on_grid = find_grid_index(time_text, time, layout, has_previous,
                                       previous_j, j);
        if (line.on_grid) line.grid_index = j;
        if (!line.on_grid && !final_line)
            return line_problem(line_number, "time " + time_text +
                                                 " is not a snapshot time of the model");
        if (time < previous_time || (line.on_grid && has_previous && j <= previous_j))
            return line_problem(line_number, "time " + time_text + " does not follow the line before");
        if (line.on_grid) {
            has_previous = true;
            previous_j = j;
        }
        previous_time = time;
        out.lines.push_back(line);
        start = stop + 1;
        if (!final_line && start >= text.size())
            return "ends with a line end after line " + std::to_string(line_number) +
                   ": the final line is missing (truncated)";
    }
    return "";
}

}  // namespace plenta_stats

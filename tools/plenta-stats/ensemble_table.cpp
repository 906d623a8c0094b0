// The per-set table: one row per snapshot time, one running accumulator per
// monitored species and per reaction, and its CSV form.
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/plenta-stats/stats.h"

namespace plenta_stats {

void add_sample(RunningMoments& m, long long value) {
    const double x = static_cast<double>(value);
    if (m.n == 0) {
        m.min = value;
        m.max = value;
    } else {
        if (value < m.min) m.min = value;
        if (value > m.max) m.max = value;
    }
    m.n++;
    m.sum += value;
    const double delta = x - m.mean;
    m.mean += delta / static_cast<double>(m.n);
    m.m2 += delta * (x - m.mean);
}

double exact_mean(const RunningMoments& m) {
    return m.n == 0 ? 0.0 : static_cast<double>(m.sum) / static_cast<double>(m.n);
}

double sample_sd(const RunningMoments& m) {
    if (m.n < 2) return 0.0;
    return std::sqrt(m.m2 / static_cast<double>(m.n - 1));
}

void add_run(SetTable& table, const Trajectory& run) {
    const std::size_t num_monit = static_cast<std::size_t>(table.layout.num_monit);
    const std::size_t num_rxns = static_cast<std::size_t>(table.layout.num_rxns);
    const std::size_t columns = num_monit + num_rxns;
    auto hint = table.rows.begin();
    for (std::size_t i = 0; i < run.lines.size(); i++) {
        const TrajectoryLine& line = run.lines[i];
        RowKey key;
        key.off_grid = line.on_grid ? 0 : 1;
        key.time = line.on_grid
                       ? static_cast<double>(line.grid_index) * table.layout.snapshot_interval
                       : line.time;
        // Runs share their snapshot times, so the row after the previous
        // line's row is nearly always the one wanted.
        auto it = (hint != table.rows.end() && !(hint->first < key) && !(key < hint->first))
                      ? hint
                      : table.rows.find(key);
        if (it == table.rows.end()) {
            SnapshotRow row;
            row.species.resize(num_monit);
            row.firings.resize(num_rxns);
            it = table.rows.emplace(key, std::move(row)).first;
        }
        SnapshotRow& row = it->second;
        const long long* values = &run.values[i * columns];
        for (std::size_t s = 0; s < num_monit; s++) add_sample(row.species[s], values[s]);
        for (std::size_t r = 0; r < num_rxns; r++) add_sample(row.firings[r], values[num_monit + r]);
        row.runs++;
        hint = std::next(it);
    }
    table.runs_summarised++;
}

namespace {

// A CSV field: quoted, with quotes doubled, when it holds a comma, a quote
// or a line end (species names are single tokens, but may hold any of the
// first two).
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

}  // namespace

std::string csv_header(const std::vector<std::string>& monitored_names, int num_rxns) {
    std::string header = "time";
    for (const std::string& name : monitored_names)
        for (const char* suffix : {"_mean", "_sd", "_min", "_max"})
            header += "," + csv_field(name + suffix);
    for (int r = 1; r <= num_rxns; r++) header += ",R" + std::to_string(r) + "_firings_mean";
    return header + ",runs";
}

bool write_csv(const std::string& path, const SetTable& table,
               const std::vector<std::string>& monitored_names) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w"));
    if (!file) return false;
    std::FILE* f = file.get();
    std::fprintf(f, "%s\n", csv_header(monitored_names, table.layout.num_rxns).c_str());
    // Fifteen significant digits keep every mean and deviation to within a
    // unit in the last place of a double's usual decimal form.
    for (const auto& [key, row] : table.rows) {
        std::fprintf(f, "%.15g", key.time);
        for (const RunningMoments& m : row.species)
            std::fprintf(f, ",%.15g,%.15g,%lld,%lld", exact_mean(m), sample_sd(m), m.min, m.max);
        for (const RunningMoments& m : row.firings) std::fprintf(f, ",%.15g", exact_mean(m));
        std::fprintf(f, ",%lld\n", row.runs);
    }
    const bool written = std::ferror(f) == 0;
    return std::fclose(file.release()) == 0 && written;
}

std::string csv_path(const std::string& summary_path, const std::string& out_dir, int set_number) {
    std::size_t slash = summary_path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "" : summary_path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? summary_path : summary_path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    if (!out_dir.empty()) dir = out_dir.back() == '/' ? out_dir : out_dir + "/";
    return dir + name + "_set" + std::to_string(set_number) + "_stats.csv";
}

}  // namespace plenta_stats

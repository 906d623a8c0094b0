// Helpers of the end-to-end tests: a fresh temporary directory per case, the
// built plenta run in it, and readers of the three output files.
#ifndef PLENTA_TESTS_CONSOLE_E2E_SUPPORT_H
#define PLENTA_TESTS_CONSOLE_E2E_SUPPORT_H

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace plenta_e2e {

namespace fs = std::filesystem;

inline std::string plenta_binary() { return std::string(PLENTA_BINARY_DIR) + "/console/plenta"; }

// A directory under the system's temporary directory, removed with its
// contents when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "plenta_e2e_XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = name.data();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path) { return fs::exists(path); }

// The file names in a directory, sorted.
inline std::set<std::string> file_names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Writes the model file and a constants.txt whose directory line is the
// directory's absolute path.
inline void write_model(const TempDir& dir, const std::string& model_text,
                        const std::string& model_name = "model.txt") {
    write_file(dir.file(model_name), model_text);
    write_file(dir.file("constants.txt"), dir.path() + "\n" + model_name + "\n");
}

struct RunResult {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs plenta with `dir` as its working directory and the command-line
// arguments `args` (already quoted as the shell needs); its standard output
// and error are caught in files outside that directory.
inline RunResult run_plenta_with(const std::string& dir, const std::string& args) {
    TempDir capture;
    std::string command = "cd '" + dir + "' && '" + plenta_binary() + "' " + args + " >'" +
                          capture.file("out") + "' 2>'" + capture.file("err") + "'";
    int raw = std::system(command.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(capture.file("out"));
    r.err = read_file(capture.file("err"));
    return r;
}

inline RunResult run_plenta_in(const std::string& dir) { return run_plenta_with(dir, ""); }

// ---- Output readers ----

inline std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

// One run's block of the summary file.
struct SummaryRun {
    int set = 0;
    int run = 0;
    std::vector<long long> fire_totals;  // by reaction position
};

// Parses "grp 1 rxns N" / "set S run R" / N lines "k count"; records a test
// failure when a line is not of that shape.
inline std::vector<SummaryRun> read_summary(const std::string& path) {
    std::vector<SummaryRun> runs;
    std::vector<std::string> lines = split(read_file(path), '\n');
    std::size_t i = 0;
    while (i < lines.size()) {
        int n = 0;
        SummaryRun run;
        if (std::sscanf(lines[i].c_str(), "grp 1 rxns %d", &n) != 1 || i + 1 >= lines.size() ||
            std::sscanf(lines[i + 1].c_str(), "set %d run %d", &run.set, &run.run) != 2) {
            ADD_FAILURE() << "summary line " << i << ": " << lines[i];
            return runs;
        }
        i += 2;
        for (int k = 0; k < n && i < lines.size(); k++, i++) {
            int number = 0;
            long long count = 0;
            if (std::sscanf(lines[i].c_str(), "%d %lld", &number, &count) != 2 || number != k + 1)
                ADD_FAILURE() << "summary firing line " << i << ": " << lines[i];
            run.fire_totals.push_back(count);
        }
        runs.push_back(run);
    }
    return runs;
}

// A trajectory file: its header fields and data lines (the last is the
// final line); ends_with_newline tells whether the file ends with "\n".
struct Trajectory {
    int run = 0, points = 0, n_mon = 0, n_rxn = 0;
    std::vector<std::vector<std::string>> lines;  // tab-separated fields as written
    bool ends_with_newline = false;
    std::string header;
};

inline Trajectory read_trajectory(const std::string& path) {
    Trajectory t;
    std::string text = read_file(path);
    t.ends_with_newline = !text.empty() && text.back() == '\n';
    std::vector<std::string> lines = split(text, '\n');
    if (lines.empty()) {
        ADD_FAILURE() << path << " is empty";
        return t;
    }
    t.header = lines[0];
    if (std::sscanf(lines[0].c_str(), "run %d points %d n_mon %d n_rxn %d", &t.run, &t.points,
                    &t.n_mon, &t.n_rxn) != 4)
        ADD_FAILURE() << "trajectory header: " << lines[0];
    for (std::size_t i = 1; i < lines.size(); i++) t.lines.push_back(split(lines[i], '\t'));
    return t;
}

// Column sums of the firing columns of a trajectory.
inline std::vector<long long> firing_column_sums(const Trajectory& t) {
    std::vector<long long> sums(static_cast<std::size_t>(t.n_rxn), 0);
    for (const auto& fields : t.lines)
        for (int r = 0; r < t.n_rxn; r++)
            sums[static_cast<std::size_t>(r)] +=
                std::atoll(fields[static_cast<std::size_t>(1 + t.n_mon + r)].c_str());
    return sums;
}

// An event-log file: n little-endian doubles of times, then n of reaction
// numbers.
struct EventLogFile {
    std::vector<double> times;
    std::vector<double> rxns;
    std::size_t bytes = 0;
};

inline double le_double(const unsigned char* p) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; b--) bits = (bits << 8) | p[b];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline EventLogFile read_eventlog(const std::string& path) {
    EventLogFile f;
    std::string bytes = read_file(path);
    f.bytes = bytes.size();
    if (bytes.size() % 16 != 0) ADD_FAILURE() << path << ": " << bytes.size() << " bytes";
    std::size_t n = bytes.size() / 16;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t k = 0; k < n; k++) f.times.push_back(le_double(p + 8 * k));
    for (std::size_t k = 0; k < n; k++) f.rxns.push_back(le_double(p + 8 * (n + k)));
    return f;
}

// ---- Model text ----

// An eight-line header with the three output names and the three counts.
inline std::string model_header(int num_sets, int num_rxns, int num_cmpds,
                                const std::string& traj = "traj",
                                const std::string& summary = "summary.txt",
                                const std::string& evlog = "evlog") {
    return traj + "\n" + summary + "\n" + evlog + "\n\nnum_sets = " + std::to_string(num_sets) +
           "\nnum_rxns = " + std::to_string(num_rxns) + "\nnum_cmpds = " +
           std::to_string(num_cmpds) + "\n\n";
}

// A + B <-> AB: the species section and the two reaction blocks.
inline std::string binding_pair_network(int a, int b, double k_on, double k_off) {
    std::ostringstream s;
    s << "A " << a << "\nB " << b << "\nAB 0\n\n"
      << "Binding A + B -> AB\nrxntype = binding\nnum_subs = 2\n0\n1\nnum_prods = 1\n2\n"
      << "StoP = " << k_on << "\nid = 0\n\n"
      << "Unbinding AB -> A + B\nrxntype = unbinding\nnum_subs = 1\n2\nnum_prods = 2\n0\n1\n"
      << "StoP = " << k_off << "\nid = 1\n\n";
    return s.str();
}

// The parameter section for a non-tau algorithm, monitoring the given species.
inline std::string parameters(double time_start, double time_end, int algorithm,
                              unsigned long seed, const std::vector<int>& monit, double interval,
                              int eventlog_flag, int num_repeats, double tau_error = 0.03) {
    std::ostringstream s;
    s << "time_start = " << time_start << "\ntime_end = " << time_end
      << "\nvolume = 1.0\nalgorithm = " << algorithm << "\n";
    if (algorithm == 3) s << "tau_error = " << tau_error << "\n";
    s << "randseed = " << seed << "\n\nnum_monit = " << monit.size() << "\n";
    for (int m : monit) s << m << "\n";
    s << "snapshot_interval = " << interval << "\neventlog_flag = " << eventlog_flag
      << "\nnum_repeats = " << num_repeats << "\n\n";
    return s.str();
}

}  // namespace plenta_e2e

#endif  // PLENTA_TESTS_CONSOLE_E2E_SUPPORT_H

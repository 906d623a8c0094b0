// Helpers of the plenta-stats tests: temporary folders, the birth-death
// model, running the built executables, and reading the CSV tables back.
#ifndef PLENTA_TESTS_TOOLS_STATS_SUPPORT_H
#define PLENTA_TESTS_TOOLS_STATS_SUPPORT_H

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace stats_test {

namespace fs = std::filesystem;

// A directory under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "plenta_stats_XXXXXX").string();
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
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Birth-death process: a source species of constant count 1 makes X at rate
// k (a reaction that consumes and produces the source), X decays at rate g.
// From X = 0 the count at time t is Poisson with mean (k/g)(1 - exp(-g t)),
// and births and deaths in an interval are Poisson counts too (the output of
// an infinite-server queue started empty is a Poisson process).  Set 1: k =
// 10 with runs1 runs; set 2: k = 20 with runs2 runs.
constexpr double kBirth = 10.0;
constexpr double kBirthSet2 = 20.0;
constexpr double kDeath = 1.0;
constexpr double kInterval = 0.5;
constexpr double kTimeEnd = 5.0;

inline std::string birth_death_model(int runs1, int runs2, int seed = 4242) {
    std::ostringstream m;
    m << "traj\nsummary.txt\nevlog\n\nnum_sets = 2\nnum_rxns = 2\nnum_cmpds = 3\n\n"
         "Source 1\nX 0\nSink 0\n\n"
         "Birth Source -> Source + X\nrxntype = uni-multi\nnum_subs = 1\n0\nnum_prods = 2\n"
         "0 1\n1 1\nStoP = 10.0\nid = 0\n\n"
         "Death X -> Sink\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n2\n"
         "StoP = 1.0\nid = 1\n\n"
         "time_start = 0.0\ntime_end = 5.0\nvolume = 1.0\nalgorithm = 2\nrandseed = "
      << seed << "\n\nnum_monit = 1\n1\nsnapshot_interval = 0.5\neventlog_flag = 0\n"
      << "num_repeats = " << runs1 << "\n"
      << "num_repeats = " << runs2 << "\nnum_species = 0\nnum_rates = 1\n0 0 20.0\n";
    return m.str();
}

// Writes the model and a constants.txt naming the folder by its absolute path.
inline void write_model_folder(const std::string& dir, const std::string& model) {
    write_file(dir + "/model.txt", model);
    write_file(dir + "/constants.txt", dir + "\nmodel.txt\n");
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command with standard output and error caught in files.
inline Result run(const std::string& command) {
    TempDir capture;
    const std::string full = command + " >'" + capture.file("out") + "' 2>'" + capture.file("err") + "'";
    const int raw = std::system(full.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(capture.file("out"));
    r.err = read_file(capture.file("err"));
    return r;
}

inline Result run_plenta(const std::string& dir) {
    return run("cd '" + dir + "' && '" PLENTA_EXE "'");
}

inline Result run_stats(const std::string& args) { return run("'" PLENTA_STATS_EXE "' " + args); }

// A CSV table: its header names and its rows of numbers.
struct Csv {
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;
    std::size_t column(const std::string& name) const {
        for (std::size_t i = 0; i < names.size(); i++)
            if (names[i] == name) return i;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
};

inline std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

inline Csv read_csv(const std::string& path) {
    Csv csv;
    std::vector<std::string> lines = split(read_file(path), '\n');
    if (lines.empty()) {
        ADD_FAILURE() << path << " is empty";
        return csv;
    }
    csv.names = split(lines[0], ',');
    for (std::size_t i = 1; i < lines.size(); i++) {
        std::vector<double> row;
        for (const std::string& field : split(lines[i], ',')) row.push_back(std::stod(field));
        EXPECT_EQ(row.size(), csv.names.size()) << path << " line " << i + 1;
        csv.rows.push_back(row);
    }
    return csv;
}

inline int count_lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace stats_test

#endif  // PLENTA_TESTS_TOOLS_STATS_SUPPORT_H

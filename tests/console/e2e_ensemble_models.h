// Helpers of the ensemble tests: models with several parameter sets and the
// event log on, plenta run with arguments, and whole-folder comparison.
#ifndef PLENTA_TESTS_CONSOLE_E2E_ENSEMBLE_MODELS_H
#define PLENTA_TESTS_CONSOLE_E2E_ENSEMBLE_MODELS_H

#include <string>

#include "e2e_support.h"

namespace plenta_e2e {

// S1 -> Sink, 2 S1 -> S2, S2 -> 2 S1, S2 -> S3.
inline std::string dimerisation_network(int s1) {
    std::ostringstream s;
    s << "S1 " << s1 << "\nS2 0\nS3 0\nSink 0\n\n"
      << "Decay S1 -> Sink\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n3\nStoP = 1.0\nid = 0\n\n"
      << "Dimerisation 2 S1 -> S2\nrxntype = homo-ltor\nnum_subs = 2\n0\n0\nnum_prods = 1\n1\n"
      << "StoP = 0.002\nid = 1\n\n"
      << "Dissociation S2 -> 2 S1\nrxntype = uni-multi\nnum_subs = 1\n1\nnum_prods = 1\n0 2\n"
      << "StoP = 0.5\nid = 2\n\n"
      << "Conversion S2 -> S3\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n2\n"
      << "StoP = 0.04\nid = 3\n\n";
    return s.str();
}

// Four parameter sets (4, 3, 0 and 2 runs; the second and fourth change a
// count and a rate) of the dimerisation network with the event log on, by
// the given algorithm (3: tau-leaping).
inline std::string ensemble_model(int algorithm, unsigned long seed = 4711) {
    std::string text = model_header(4, 4, 4) + dimerisation_network(3000) +
                       parameters(0.0, 0.5, algorithm, seed, {0, 1, 2}, 0.125, 1, 4);
    text += "num_repeats = 3\nnum_species = 1\n0 1500\nnum_rates = 1\n1 0 0.004\n\n";
    text += "num_repeats = 0\nnum_species = 0\nnum_rates = 0\n\n";
    text += "num_repeats = 2\nnum_species = 1\n1 300\nnum_rates = 1\n3 0 0.4\n\n";
    return text;
}

constexpr int kEnsembleRuns = 9;  // 4 + 3 + 0 + 2

// Runs `command` (a program with its arguments, already quoted) in dir.
inline RunResult run_in(const std::string& dir, const std::string& command) {
    TempDir capture;
    std::string line = "cd '" + dir + "' && " + command + " >'" + capture.file("out") + "' 2>'" +
                       capture.file("err") + "'";
    int raw = std::system(line.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(capture.file("out"));
    r.err = read_file(capture.file("err"));
    return r;
}

inline RunResult run_plenta_args(const std::string& dir, const std::string& args) {
    return run_in(dir, "'" + plenta_binary() + "' " + args);
}

// Every file of the two folders but constants.txt (which names its folder):
// the same names and the same bytes.
inline void expect_same_folder(const std::string& a, const std::string& b) {
    std::set<std::string> names_a = file_names(a), names_b = file_names(b);
    names_a.erase("constants.txt");
    names_b.erase("constants.txt");
    ASSERT_EQ(names_a, names_b) << a << " vs " << b;
    for (const std::string& name : names_a)
        EXPECT_TRUE(read_file(a + "/" + name) == read_file(b + "/" + name)) << name << " differs";
}

}  // namespace plenta_e2e

#endif  // PLENTA_TESTS_CONSOLE_E2E_ENSEMBLE_MODELS_H

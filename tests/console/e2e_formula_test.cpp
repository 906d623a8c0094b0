// Formula reactions through the built plenta: the model-file syntax
// (rate lines, named parameters, rules, named changes in parameter sets),
// monitored rules, and load errors that name the file, line and reaction.
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

double num(const std::string& field) { return std::stod(field); }

// S -> P at Vmax*S/(Km + S); P decays.  Monitors S, P and the rule total.
std::string mm_model(const std::string& rate, int algorithm, const std::string& extra_set = "",
                     const std::string& rules = "rules = 1\ntotal = S + P\n") {
    const int sets = extra_set.empty() ? 1 : 2;
    std::string text = model_header(sets, 2, 2, "traj", "summary.txt", "evlog") +
                       "S 300\nP 0\n\n"
                       "Conversion\nrxntype = formula\nnum_subs = 1\n0 1\nnum_prods = 1\n1 1\n"
                       "rate = " + rate + "\nid = 0\n\n"
                       "Decay\nrxntype = formula\nnum_subs = 1\n1 1\nnum_prods = 0\n"
                       "rate = kd*P\nid = 1\n\n"
                       "time_start = 0.0\ntime_end = 4.0\nvolume = 1.0\nalgorithm = " +
                       std::to_string(algorithm) + "\n" +
                       (algorithm == 3 ? "tau_error = 0.03\n" : "") +
                       "randseed = 77\n\nnum_monit = 3\n0\n1\n2\nsnapshot_interval = 1.0\n"
                       "eventlog_flag = 0\nnum_repeats = 1\n\n"
                       "parameters = 3\nVmax 50.0\nKm 100\nkd 0.5\n" + rules + "\n";
    if (!extra_set.empty()) text += "num_repeats = 1\nnum_species = 0\nnum_rates = 0\n" + extra_set;
    return text;
}

TEST(E2eFormula, EveryMethodRunsAndConservesWhatTheLawsSay) {
    for (int algorithm : {1, 2, 3}) {
        TempDir dir;
        write_model(dir, mm_model("Vmax*S/(Km + S)", algorithm));
        RunResult r = run_plenta_in(dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        Trajectory t = read_trajectory(dir.file("traj_1"));
        ASSERT_EQ(t.lines.size(), 5u);
        long long fired_conversion = 0;
        for (const auto& line : t.lines) {
            // time, S, P, total, then the two firing columns
            ASSERT_EQ(line.size(), 6u);
            EXPECT_EQ(num(line[3]), num(line[1]) + num(line[2]));  // the rule's value
            fired_conversion += static_cast<long long>(num(line[4]));
        }
        EXPECT_EQ(num(t.lines.back()[1]), 300 - fired_conversion);
        // About Vmax * 300/400 = 37.5 conversions per unit time at the start.
        EXPECT_GT(fired_conversion, 60);
        EXPECT_LT(fired_conversion, 200);
    }
}

TEST(E2eFormula, ParameterSetChangesANamedParameter) {
    TempDir dir;
    write_model(dir, mm_model("Vmax*S/(Km + S)", 2, "parameter Vmax 0\nparameter kd 0.5\n"));
    RunResult r = run_plenta_in(dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    Trajectory fast = read_trajectory(dir.file("traj_1"));
    Trajectory off = read_trajectory(dir.file("traj_2"));
    EXPECT_LT(num(fast.lines.back()[1]), 300);
    EXPECT_EQ(num(off.lines.back()[1]), 300);  // Vmax 0: nothing converts
    EXPECT_EQ(num(off.lines.back()[2]), 0);
}

TEST(E2eFormula, LoadErrorsNameFileLineAndReaction) {
    struct Case {
        std::string model;
        std::string expect;
    };
    const std::vector<Case> cases = {
        {mm_model("Vmax*S/(Km + Q)", 2), ", line 18, reaction 0 (id 0): in \"Vmax*S/(Km + Q)\": \"Q\" is not a species"},
        {mm_model("Vmax*S/(Km + S", 2), ", line 18, reaction 0 (id 0): in \"Vmax*S/(Km + S\": "},
        {mm_model("", 2), ", line 18, reaction 0 (id 0): a formula reaction needs a line \"rate = <formula>\"."},
        {mm_model("Vmax*S", 2, "parameter Vmx 1\n"), ", parameter set 2: \"Vmx\" is not a named parameter."},
        {mm_model("Vmax*S", 2, "", "rules = 1\nloop = loop + 1\n"), ": rule \"loop\": rule \"loop\" is defined through itself."},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_model(dir, c.model);
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind("Model file " + dir.path() + "/model.txt", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << r.out;
        EXPECT_FALSE(exists(dir.file("summary.txt")));
    }
}

// A file that says "formula" but nothing else new reads its reaction blocks
// as before, and a model without formula reactions ignores the sections.
TEST(E2eFormula, SectionsAreReadOnlyWithFormulaReactions) {
    TempDir dir;
    write_model(dir, model_header(1, 2, 3, "traj", "summary.txt", "evlog") +
                         binding_pair_network(50, 40, 0.01, 0.5) +
                         parameters(0.0, 3.0, 2, 11, {0, 2}, 1.0, 0, 1) +
                         "parameters = 1\nk 1\nrules = 1\nt = A\n");
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_trajectory(dir.file("traj_1")).lines.front().size(), 5u);
}

}  // namespace
}  // namespace plenta_e2e

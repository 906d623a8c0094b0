// End-to-end: input that cannot run is refused before any output file is
// created or truncated, text the reader skips is reported as a warning with
// its line number (the model still read as the format prescribes), and
// plenta --check lists what was read without running anything.
#include "e2e_support.h"

namespace plenta_e2e {
namespace {

std::string pair_model(int a = 50) {
    return model_header(1, 2, 3) + binding_pair_network(a, 40, 0.01, 0.5) +
           parameters(0.0, 3.0, 2, 11, {0, 2}, 1.0, 0, 2);
}

// The text with the first `from` replaced by `to`.
std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}


// Runs the model in a folder holding a previous summary; expects status 1,
// the message, and the folder exactly as it was.
void expect_refused(const std::string& model, const std::string& message_tail) {
    TempDir dir;
    write_model(dir, model);
    write_file(dir.file("summary.txt"), "previous\n");
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Model file " + dir.path() + "/model.txt" + message_tail) << r.out;
    EXPECT_EQ(read_file(dir.file("summary.txt")), "previous\n");
    EXPECT_EQ(file_names(dir.path()),
              (std::set<std::string>{"constants.txt", "model.txt", "summary.txt"}));
}

TEST(E2eRefusal, NegativeCountsOfTheModelAndOfASetAreRefused) {
    expect_refused(pair_model(-1), ": species 0 (A): count -1 is below 0. Exit.\n");
    std::string two_sets = with(pair_model(), "num_sets = 1", "num_sets = 2") +
                           "num_repeats = 1\nnum_species = 1\n1 -5\nnum_rates = 0\n\n";
    expect_refused(two_sets, ", parameter set 2: species change 0 sets species 1 (B) to -5, "
                             "below 0. Exit.\n");
}

TEST(E2eRefusal, NonsenseParametersAreRefused) {
    const std::string m = pair_model();
    expect_refused(with(m, "StoP = 0.5", "StoP = -1"),
                   ", reaction 1 (id 1): rate constant 0 is -1, not a finite number >= 0. Exit.\n");
    expect_refused(with(m, "StoP = 0.01", "StoP = nan"),
                   ", reaction 0 (id 0): rate constant 0 is nan, not a finite number >= 0. Exit.\n");
    expect_refused(with(m, "volume = 1.0", "volume = 0"),
                   ": volume = 0 is not a finite number > 0. Exit.\n");
    expect_refused(with(m, "volume = 1.0", "volume = -inf"),
                   ": volume = -inf is not a finite number > 0. Exit.\n");
    expect_refused(with(m, "time_start = 0", "time_start = nan"),
                   ": time_start = nan is not a finite time. Exit.\n");
    expect_refused(with(m, "time_end = 3", "time_end = inf"),
                   ": time_end = inf is not a finite time. Exit.\n");
    std::string tau = model_header(1, 2, 3) + binding_pair_network(50, 40, 0.01, 0.5) +
                      parameters(0.0, 3.0, 3, 11, {0}, 1.0, 0, 1, 0.03);
    expect_refused(with(tau, "tau_error = 0.03", "tau_error = nan"),
                   ": tau_error = nan is not a finite number > 0. Exit.\n");
    std::string sets = with(m, "num_sets = 1", "num_sets = 2") +
                       "num_repeats = 1\nnum_species = 0\nnum_rates = 1\n1 0 -2\n\n";
    expect_refused(sets, ", parameter set 2: rate change 0 sets rate constant 0 of reaction 1 "
                         "(id 1) to -2, not a finite number >= 0. Exit.\n");

    // A huge finite rate constant is a rate constant: it runs.
    TempDir dir;
    write_model(dir, with(m, "StoP = 0.5", "StoP = 1e308"));
    EXPECT_EQ(run_plenta_in(dir.path()).out.find("Model file"), std::string::npos);
}

TEST(E2eRefusal, OutputNamesOverTheInputFilesAreRefused) {
    struct Case {
        std::string model_name, traj, summary, evlog;
        int eventlog_flag;
        std::string phrase;
    };
    const Case cases[] = {
        {"model.txt", "traj", "model.txt", "evlog", 0, "the summary file "},
        {"model.txt", "traj", "./model.txt", "evlog", 0, "the summary file "},
        {"model.txt", "traj", "constants.txt", "evlog", 0, "the summary file "},
        {"traj_2", "traj", "summary.txt", "evlog", 0, "a trajectory file of the base "},
        {"log_2_7", "traj", "summary.txt", "log", 1, "an event-log file of the base "},
        {"summary.txt.tmp", "traj", "summary.txt", "evlog", 0,
         "a temporary file of the summary "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model_name + " " + c.summary);
        TempDir dir;
        std::string model = model_header(1, 2, 3, c.traj, c.summary, c.evlog) +
                            binding_pair_network(50, 40, 0.01, 0.5) +
                            parameters(0.0, 3.0, 2, 11, {0}, 1.0, c.eventlog_flag, 2);
        write_model(dir, model, c.model_name);
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.rfind("Model file " + dir.path() + "/" + c.model_name + ": " + c.phrase, 0),
                  0u)
            << r.out;
        EXPECT_NE(r.out.find("; the run would overwrite it. Exit.\n"), std::string::npos) << r.out;
        EXPECT_EQ(read_file(dir.file(c.model_name)), model);
        EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", c.model_name}));
    }
    // Names that only look alike are not refused: run 3 does not exist.
    TempDir dir;
    write_model(dir, pair_model(), "traj_3");
    EXPECT_EQ(run_plenta_in(dir.path()).status, 0);
}

// ---- Warnings of the reader ----

TEST(E2eReaderWarnings, ValidModelsGiveNone) {
    for (const std::string& tail : {std::string(), std::string("\n# system size: 1e-14\n#\n")}) {
        TempDir dir;
        write_model(dir, pair_model() + tail);
        RunResult r = run_plenta_in(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "") << tail;
    }
}

TEST(E2eReaderWarnings, SkippedTextIsReportedWithItsLineAndTheModelReadAsBefore) {
    const std::string m = pair_model();
    struct Case {
        std::string model;
        int status;
        std::vector<std::string> warnings;  // expected parts of the standard error, in order
    };
    const std::string file = "/model.txt, line ";
    const Case cases[] = {
        // A header of seven lines: its skip takes the first species line.
        {with(m, "evlog\n\n", "evlog\n"), 0,
         {file + "4 (header): expected a blank line", "found \"num_sets = 1\"",
          file + "8 (header): expected a blank line", "found \"A 50\""}},
        // A misspelt key: the field keeps its value (no runs).
        {with(m, "num_repeats", "num_repeat"), 0,
         {file + "44 (parameters): expected \"num_repeats = <number>\", found \"num_repeat = 2\""}},
        // The first reaction's constant misspelt: reaction 0 is named, not 1.
        {with(m, "StoP = 0.01", "Stop = 0.01"), 1,
         {file + "20 (reaction 0): expected \"StoP = <number>\", found \"Stop = 0.01\""}},
        {with(m, "time_end", "time_End"), 1,
         {file + "34 (parameters): expected \"time_end = <number>\", found \"time_End = 3\""}},
        {m + "stray words\n", 0,
         {file + "46: expected the end of the file after the last block, found \"stray words\""}},
        // Comment lines there are passed over; the text after them is not.
        {m + "# a note\n\n  # another\nstray words\n", 0,
         {file + "49: expected the end of the file after the last block, found \"stray words\""}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_model(dir, c.model);
        RunResult r = run_plenta_in(dir.path());
        SCOPED_TRACE(r.err);
        EXPECT_EQ(r.status, c.status) << r.out;
        std::size_t at = 0;
        for (const std::string& part : c.warnings) {
            at = r.err.find(part, at);
            ASSERT_NE(at, std::string::npos) << part;
        }
        EXPECT_EQ(r.err.rfind("Warning: model file " + dir.path() + "/model.txt, line ", 0), 0u);
    }
    // The misspelt num_repeats leaves the runs at 0: the summary is empty,
    // as the reader has always read such a file.
    TempDir dir;
    write_model(dir, with(m, "num_repeats", "num_repeat"));
    EXPECT_EQ(run_plenta_in(dir.path()).status, 0);
    EXPECT_EQ(read_file(dir.file("summary.txt")), "");
}

TEST(E2eReaderWarnings, TimeStartAboveZeroIsKeptAndWarnedAbout) {
    TempDir dir;
    write_model(dir, with(pair_model(), "time_start = 0", "time_start = 2"));
    RunResult r = run_plenta_in(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Warning: model file " + dir.path() +
                         "/model.txt: time_start = 2 is above 0; a run still draws its first "
                         "event from time 0, so the first interval after time_start holds every "
                         "firing since time 0.\n");
    // The defined driver: lines at 2 and 3, the second with every firing.
    std::vector<SummaryRun> runs = read_summary(dir.file("summary.txt"));
    ASSERT_EQ(runs.size(), 2u);
    Trajectory t = read_trajectory(dir.file("traj_1"));
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(firing_column_sums(t), runs[0].fire_totals);
}

// ---- plenta --check ----

TEST(E2eCheck, ListsWhatWasReadAndRunsNothing) {
    TempDir dir;
    std::string m = with(pair_model(), "num_sets = 1", "num_sets = 2") +
                    "num_repeats = 3\nnum_species = 1\n1 7\nnum_rates = 1\n1 0 0.25\n\n";
    write_model(dir, m);
    RunResult r = run_plenta_with(dir.path(), "--check");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string expected =
        "Model file " + dir.path() + "/model.txt\n"
        "Outputs: trajectories " + dir.path() + "/traj_<run>, summary " + dir.path() +
        "/summary.txt, no event logs (eventlog_flag = 0)\n"
        "Species: 3\n  A[0] 50\n  B[1] 40\n  AB[2] 0\n"
        "Reactions: 2\n"
        "  0 (id 0) binding: A[0] + B[1] -> AB[2]; k0 = 0.01\n"
        "  1 (id 1) unbinding: AB[2] -> A[0] + B[1]; k0 = 0.5\n"
        "Parameters: time_start = 0, time_end = 3, volume = 1, algorithm = 2 (direct method), "
        "randseed = 11, snapshot_interval = 1, eventlog_flag = 0\n"
        "Monitored species: A[0] AB[2]\n"
        "Parameter sets: 2\n  1: 2 runs (the model as read)\n  2: 3 runs; B[1] = 7; reaction 1 "
        "k0 = 0.25\n"
        "Warnings: none\n"
        "The model can run: 5 runs; nothing was run.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));

    write_model(dir, with(with(m, "StoP = 0.01", "Stop = 0.01"), "randseed = 11", "randseed = 0"));
    r = run_plenta_with(dir.path(), "--check");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Warnings: 3\nWarning: model file " + dir.path() +
                         "/model.txt, line 20 (reaction 0)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Species:"), std::string::npos);  // nothing listed of a faulty model
    EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
}

}  // namespace
}  // namespace plenta_e2e

// Events in the console program: the model file's events section, the order
// and timing of executions, the event log's negative codes, every method, the
// ensembles, and the distribution after a timed reset.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "console/console.h"
#include "e2e_ensemble_models.h"

namespace plenta_e2e {
namespace {

// Immigration (0 -> X at rate k) and death (X -> 0 at rate g X) as formula
// reactions reading the named parameters k and g (or, with `formula`
// false, as mass-action reactions of the same constants: the named
// parameters are then read by the events only), then the events section.
// `extra` goes into the parameters section (more named parameters).
std::string immigration_death(int algorithm, double time_end, double interval, int runs,
                              const std::string& events, double k = 10.0, double g = 0.5,
                              int eventlog = 1, const std::string& extra = "",
                              bool formula = true) {
    const unsigned seed = 2024;
    char reactions[512];
    if (formula)
        std::snprintf(reactions, sizeof reactions, "%s",
                      "Immigration\nrxntype = formula\nnum_subs = 0\nnum_prods = 1\n0 1\nrate = k\nid = 0\n\n"
                      "Death\nrxntype = formula\nnum_subs = 1\n0 1\nnum_prods = 0\nrate = g*X\nid = 1\n\n");
    else
        std::snprintf(reactions, sizeof reactions,
                      "Immigration\nrxntype = mass-action\nnum_subs = 0\nnum_prods = 1\n0 1\nStoP = %.17g\nid = 0\n\n"
                      "Death\nrxntype = mass-action\nnum_subs = 1\n0 1\nnum_prods = 0\nStoP = %.17g\nid = 1\n\n",
                      k, g);
    char text[4096];
    std::snprintf(text, sizeof text,
                  "traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = 2\nnum_cmpds = 1\n\n"
                  "X 0\n\n%s"
                  "time_start = 0.0\ntime_end = %g\nvolume = 1.0\nalgorithm = %d\n%s"
                  "randseed = %u\n\nnum_monit = 1\n0\nsnapshot_interval = %g\n"
                  "eventlog_flag = %d\nnum_repeats = %d\n\n"
                  "parameters = %d\nk %.17g\ng %.17g\n%s",
                  reactions, time_end, algorithm, algorithm == 3 ? "tau_error = 0.03\n" : "", seed, interval,
                  eventlog, runs, extra.empty() ? 2 : 3, k, g, extra.c_str());
    return std::string(text) + "\n" + events;
}

// X column (the only monitored species) of a trajectory, by line.
std::vector<int> x_column(const Trajectory& t) {
    std::vector<int> x;
    for (const auto& line : t.lines) x.push_back(std::stoi(line.at(1)));
    return x;
}

// The event entries (code < 0) of a whole run's log, files concatenated.
struct LogEntry {
    double time;
    int code;
};
std::vector<LogEntry> run_log(const TempDir& dir, int run) {
    std::vector<LogEntry> all;
    for (int file = 1; exists(dir.file("evlog_" + std::to_string(run) + "_" + std::to_string(file))); ++file) {
        EventLogFile f = read_eventlog(dir.file("evlog_" + std::to_string(run) + "_" + std::to_string(file)));
        for (std::size_t k = 0; k < f.times.size(); ++k)
            all.push_back(LogEntry{f.times[k], static_cast<int>(f.rxns[k])});
    }
    return all;
}
std::vector<LogEntry> event_entries(const std::vector<LogEntry>& log) {
    std::vector<LogEntry> e;
    for (const LogEntry& x : log)
        if (x.code < 0) e.push_back(x);
    return e;
}

RunResult run_model(const TempDir& dir, const std::string& model, const std::string& args = "") {
    write_model(dir, model);
    return run_plenta_with(dir.path(), args);
}

// ---- Timing and order ----

TEST(E2eEvents, EventAtASnapshotTimeShowsInThatLineForEveryMethod) {
    const std::string events =
        "events = 2\nReset at 10\ntrigger = at 10\nassignments = 1\nX = 0\n\n"
        "Add 1000 at 12.5\ntrigger = at 12.5\nassignments = 1\nX = X + 1000\n";
    for (const std::string method : {"2", "1", "3", "cr", "rssa"}) {
        SCOPED_TRACE("method " + method);
        const bool named = method == "cr" || method == "rssa";
        TempDir dir;
        // (--method rssa runs mass-action reactions here: its runs of
        // formula reactions leave the counts unchanged, with or without events.)
        RunResult r = run_model(dir, immigration_death(named ? 2 : std::stoi(method), 15.0, 1.0, 2, events,
                                                       10.0, 0.5, 1, "", method != "rssa"),
                                named ? "--method " + method : "");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (int run = 1; run <= 2; ++run) {
            const std::vector<int> x = x_column(read_trajectory(dir.file("traj_" + std::to_string(run))));
            ASSERT_EQ(x.size(), 16u);
            EXPECT_EQ(x[10], 0) << "the line at t = 10 shows the reset";
            EXPECT_GT(x[9], 0);
            EXPECT_GT(x[13], 600) << "1000 added at 12.5, half a time unit of decay at 0.5";
            const std::vector<LogEntry> log = run_log(dir, run);
            const std::vector<LogEntry> ev = event_entries(log);
            ASSERT_EQ(ev.size(), 2u);
            EXPECT_EQ(ev[0].time, 10.0);
            EXPECT_EQ(ev[0].code, -1);
            EXPECT_EQ(ev[1].time, 12.5);
            EXPECT_EQ(ev[1].code, -2);
            // No reaction fires later than an event due before it: the log
            // stays in time order across the executions.
            for (std::size_t k = 1; k < log.size(); ++k) ASSERT_LE(log[k - 1].time, log[k].time) << k;
            // Fire counts count reactions only.
            const std::vector<SummaryRun> summary = read_summary(dir.file("summary.txt"));
            if (method != "3") {
                EXPECT_EQ(static_cast<long long>(log.size()) - 2,
                          summary[static_cast<std::size_t>(run - 1)].fire_totals[0] +
                              summary[static_cast<std::size_t>(run - 1)].fire_totals[1]);
            }
        }
    }
}

TEST(E2eEvents, EventsAtOneInstantRunByPriorityThenModelOrder) {
    // No reactions fire (k = g = 0), so the lines show the events alone.
    const std::string events =
        "events = 5\n"
        "A: set to 100\ntrigger = at 5\nassignments = 1\nX = 100\n"
        "B: double, priority 10\ntrigger = at 5\npriority = 10\nassignments = 1\nX = 2*X + 1\n"
        "C: set to 7\ntrigger = at 7\nassignments = 1\nX = 7\n"
        "D: add 1, same priority as C\ntrigger = at 7\nassignments = 1\nX = X + 1\n"
        "E: priority read from the state, negative here\ntrigger = at 7\npriority = X - 100\n"
        "assignments = 1\nX = 3*X\n";
    for (const std::string method : {"2", "1", "3"}) {
        SCOPED_TRACE("algorithm " + method);
        TempDir dir;
        RunResult r = run_model(dir, immigration_death(std::stoi(method), 8.0, 1.0, 1, events, 0.0, 0.0));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::vector<int> x = x_column(read_trajectory(dir.file("traj_1")));
        EXPECT_EQ(x[5], 100);     // B (2*0 + 1 = 1), then A
        EXPECT_EQ(x[7], 3 * 8);   // C, D (model order), then E (priority 7 - 100 < 0)
        const std::vector<LogEntry> ev = event_entries(run_log(dir, 1));
        ASSERT_EQ(ev.size(), 5u);
        const int order[] = {-2, -1, -3, -4, -5};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(ev[static_cast<std::size_t>(i)].code, order[i]) << i;
    }
}

TEST(E2eEvents, AssignmentThatStopsEveryReaction) {
    // At 5 the immigration rate goes to 0 and X is emptied: every propensity
    // is 0 from then on, for every method.
    const std::string events = "events = 1\nShut down\ntrigger = at 5\nassignments = 2\nk = 0\nX = 0\n";
    for (const std::string method : {"2", "1", "3", "cr"}) {
        SCOPED_TRACE("method " + method);
        const bool named = method == "cr" || method == "rssa";
        TempDir dir;
        RunResult r = run_model(dir, immigration_death(named ? 2 : std::stoi(method), 10.0, 1.0, 3, events),
                                named ? "--method " + method : "");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (int run = 1; run <= 3; ++run) {
            const Trajectory t = read_trajectory(dir.file("traj_" + std::to_string(run)));
            const std::vector<int> x = x_column(t);
            EXPECT_GT(x[4], 0);
            for (std::size_t line = 5; line < x.size(); ++line) {
                EXPECT_EQ(x[line], 0) << line;
                if (line > 5) {
                    EXPECT_EQ(t.lines[line].at(2), "0");
                    EXPECT_EQ(t.lines[line].at(3), "0");
                }
            }
        }
    }
    // The next run starts from k as read again: immigration goes on before 5.
}

TEST(E2eEvents, ConditionFiresOnEachRiseNotWhileItHolds) {
    // Whenever X reaches 5 it is reset to 0, which re-arms the condition:
    // no line shows 5 or more, and every execution follows the firing that
    // made X 5.  A second event whose condition stays true after its own
    // assignment (Y >= 1 after Y = Y + 1) fires once.
    const std::string events =
        "events = 3\nReset at 5\ntrigger = when X >= 5\nassignments = 1\nX = 0\n"
        "Start Y\ntrigger = at 2\nassignments = 1\nY = 1\n"
        "Grow Y once\ntrigger = when Y >= 1\nassignments = 1\nY = Y + 1\n";
    for (const std::string method : {"2", "1", "cr", "rssa"}) {
        SCOPED_TRACE("method " + method);
        const bool named = method == "cr" || method == "rssa";
        TempDir dir;
        RunResult r = run_model(
            dir, immigration_death(named ? 2 : std::stoi(method), 20.0, 0.5, 1, events, 10.0, 0.1, 1, "Y 0\n",
                                   method != "rssa"),
            named ? "--method " + method : "");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (int v : x_column(read_trajectory(dir.file("traj_1")))) EXPECT_LT(v, 5);
        const std::vector<LogEntry> log = run_log(dir, 1);
        int resets = 0, grows = 0, x = 0;
        for (std::size_t k = 0; k < log.size(); ++k) {
            if (log[k].code == 1) ++x;
            if (log[k].code == 2) --x;
            if (log[k].code == -1) {
                ++resets;
                EXPECT_EQ(x, 5) << "entry " << k;
                ASSERT_GT(k, 0u);
                EXPECT_EQ(log[k - 1].code, 1);
                EXPECT_EQ(log[k - 1].time, log[k].time);
                x = 0;
            }
            if (log[k].code == -3) ++grows;
        }
        EXPECT_GT(resets, 10);
        EXPECT_EQ(grows, 1);
    }
}

TEST(E2eEvents, ConditionTrueAtTheStartFiresOnlyWithInitialFalse) {
    for (const bool initial : {true, false}) {
        SCOPED_TRACE(initial ? "initial = true" : "initial = false");
        const std::string events = std::string("events = 1\nAlways true\ntrigger = when X >= 0\n") +
                                   "initial = " + (initial ? "true" : "false") +
                                   "\nassignments = 1\nX = X + 50\n";
        TempDir dir;
        RunResult r = run_model(dir, immigration_death(2, 3.0, 1.0, 1, events, 0.0, 0.0));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::vector<int> x = x_column(read_trajectory(dir.file("traj_1")));
        EXPECT_EQ(x[0], initial ? 0 : 50);
        EXPECT_EQ(x.back(), initial ? 0 : 50);
        const std::vector<LogEntry> ev = event_entries(run_log(dir, 1));
        ASSERT_EQ(ev.size(), initial ? 0u : 1u);
        if (!initial) {
            EXPECT_EQ(ev[0].time, 0.0);
        }
    }
}

TEST(E2eEvents, DelaysPersistenceAndValuesFromTriggerTime) {
    // P rises at 2 and falls at 4; the delayed event triggered at 2 is due
    // at 5.  X = 10 from t = 1 and 50 from t = 3.
    auto model = [](const std::string& delayed) {
        return immigration_death(
            2, 8.0, 1.0, 1,
            "events = 4\nSet 10\ntrigger = at 1\nassignments = 1\nX = 10\n"
            "P up\ntrigger = at 2\nassignments = 1\nP = 1\n"
            "Set 50\ntrigger = at 3\nassignments = 1\nX = 50\n"
            "P down\ntrigger = at 4\nassignments = 1\nP = 0\n\n" + delayed,
            0.0, 0.0, 1, "P 0\n");
    };
    struct Case {
        std::string attributes;
        int x5;  // X at t = 5
    } cases[] = {
        {"", 51},                                     // persistent, values at execution
        {"persistent = false\n", 50},                 // cancelled at 4
        {"values = trigger\n", 11},                   // X + 1 with X at t = 2
        {"values = fire\npersistent = true\n", 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const std::string delayed =
            "Delayed\ntrigger = when P > 0\ndelay = 3\n" + c.attributes + "assignments = 1\nX = X + 1\n";
        const std::string text = model(delayed);
        const std::size_t at = text.find("events = 4");
        TempDir dir;
        RunResult r = run_model(dir, text.substr(0, at) + "events = 5" + text.substr(at + 10));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::vector<int> x = x_column(read_trajectory(dir.file("traj_1")));
        EXPECT_EQ(x[4], 50);
        EXPECT_EQ(x[5], c.x5);
        EXPECT_EQ(x[8], c.x5);
    }
}

// ---- Faults ----

TEST(E2eEvents, RunFaultsNameTheEvent) {
    struct Case {
        std::string events;
        std::string expected;
    } cases[] = {
        {"events = 1\nNegative\ntrigger = at 2\nassignments = 1\nX = -1\n",
         "event 1 at time 2: species 0 would be set to -1"},
        {"events = 3\nKick\ntrigger = at 1.5\nassignments = 1\nP = 0\n"
         "On\ntrigger = when P == 0\nassignments = 1\nP = 1\n"
         "Off\ntrigger = when P == 1\nassignments = 1\nP = 0\n",
         "at time 1.5: more than 10000 executions at one instant"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        RunResult r = run_model(dir, immigration_death(2, 5.0, 1.0, 1, c.events, 1.0, 0.1, 1, "P 1\n"));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("Model file "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
    }
}

TEST(E2eEvents, BadEventsSectionNamesTheLineAndTheEvent) {
    // The events section starts on the line after the parameters; lines are
    // counted in the whole model text.
    const std::string base = immigration_death(2, 5.0, 1.0, 1, "");
    const int first = static_cast<int>(std::count(base.begin(), base.end(), '\n')) + 1;
    struct Case {
        std::string events;
        int line;  // offset from the section's first line
        std::string expected;
    } cases[] = {
        {"events = 1\nE\ntrigger = at x\nassignments = 0\n", 2, "event 1 (E), trigger: \"x\" is not a finite time"},
        {"events = 1\nE\ntrigger = at 1 every -2\nassignments = 0\n", 2, "the period \"-2\" is not a finite number > 0"},
        {"events = 1\nE\ntrigger = soon\nassignments = 0\n", 2, "\"soon\": a trigger is"},
        {"events = 2\nE\ntrigger = at 1\nassignments = 0\nF\ntrigger = when X >\nassignments = 0\n", 5,
         "event 2 (F), trigger: in \"X >\""},
        {"events = 1\nE\ntrigger = at 1\nassignments = 1\nY = 2\n", 4, "\"Y\" is neither a species nor a named parameter"},
        {"events = 1\nE\ntrigger = at 1\nassignments = 1\nvolume = 2\n", 4, "the volume cannot be assigned"},
        {"events = 1\nE\ntrigger = at 1\ndelay = X +\nassignments = 0\n", 3, "event 1 (E), delay"},
        {"events = 1\nE\ntrigger = at 1\npersistent = maybe\nassignments = 0\n", 3, "\"maybe\" is neither"},
        {"events = 1\nE\ntrigger = at 1\ncolour = red\nassignments = 0\n", 3, "unknown line \"colour = ...\""},
        {"events = 1\nE\npriority = 2\ntrigger = at 1\nassignments = 0\n", 2, "expected the line \"trigger = ...\""},
        {"events = 1\nE\ntrigger = at 1\nassignments = 2\nX = 1\n", 5, "assignment 2: the file ends"},
        {"events = 2\nE\ntrigger = at 1\nassignments = 0\n", 4, "event 2: the file ends"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        TempDir dir;
        RunResult r = run_model(dir, base + c.events, "--check");
        EXPECT_EQ(r.status, 1);
        const std::string where = "line " + std::to_string(first + c.line) + ": ";
        EXPECT_NE(r.out.find(where), std::string::npos) << r.out << " (wanted " << where << ")";
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
        EXPECT_FALSE(exists(dir.file("summary.txt")));
    }
}

// ---- Logs, continuation, ensembles ----

TEST(E2eEvents, FullEventLogsSplitTheRunWithoutChangingIt) {
    // The same runs with a log of 7 entries per file and with the default:
    // the files, concatenated, are the one log; the trajectories are equal.
    const std::string model = immigration_death(
        2, 30.0, 1.0, 2,
        "events = 3\nReset\ntrigger = at 3 every 4\nassignments = 1\nX = 0\n"
        "High\ntrigger = when X >= 22\nassignments = 1\nX = X - 10\n"
        "Delayed at 10.5\ntrigger = at 9.5\ndelay = 1\nassignments = 1\nk = 12\n");
    // (Tau-leaping ends a leap early at a full log, so its runs depend on
    // the log's size with or without events.)
    for (const int algorithm : {2, 1}) {
        SCOPED_TRACE("algorithm " + std::to_string(algorithm));
        std::string text = model;
        if (algorithm == 1) text.replace(text.find("algorithm = 2\n"), 14, "algorithm = 1\n");
        TempDir small, large;
        write_model(small, text);
        write_model(large, text);
        ASSERT_EQ(plenta::run_plenta(small.path(), 7), 0);
        ASSERT_EQ(plenta::run_plenta(large.path(), 1000000), 0);
        for (int run = 1; run <= 2; ++run) {
            const std::string traj = "traj_" + std::to_string(run);
            EXPECT_EQ(read_file(small.file(traj)), read_file(large.file(traj)));
            const std::vector<LogEntry> a = run_log(small, run), b = run_log(large, run);
            ASSERT_EQ(a.size(), b.size());
            EXPECT_GT(event_entries(a).size(), 8u);
            for (std::size_t k = 0; k < a.size(); ++k) {
                EXPECT_EQ(a[k].time, b[k].time) << k;
                EXPECT_EQ(a[k].code, b[k].code) << k;
            }
            EXPECT_TRUE(exists(small.file("evlog_" + std::to_string(run) + "_3")));
        }
    }
}

TEST(E2eEvents, EveryWayOfSharingTheRunsWritesTheSameFolder) {
    const std::string model = immigration_death(
        2, 12.0, 1.0, 7,
        "events = 2\nReset\ntrigger = at 2 every 3\nassignments = 1\nX = 0\n"
        "High\ntrigger = when X >= 18\ndelay = 0.25\nassignments = 1\nk = k / 2\n");
    TempDir one;
    ASSERT_EQ(run_model(one, model, "--jobs 1").status, 0);
    for (const std::string args : {"--jobs 2", "--jobs 3", "--streams per-run"}) {
        SCOPED_TRACE(args);
        TempDir other;
        RunResult r = run_model(other, model, args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        expect_same_folder(one.path(), other.path());
    }
    TempDir sliced;
    write_model(sliced, model);
    for (const std::string args : {"--slice 2/2", "--slice 1/2", "--merge-summary"})
        ASSERT_EQ(run_plenta_with(sliced.path(), args).status, 0) << args;
    expect_same_folder(one.path(), sliced.path());
}

// ---- The distribution after a timed reset ----

// Immigration-death from X = 0 is Poisson at every time; after a reset to 0
// at T, X(T + s) is Poisson with mean (k/g)(1 - exp(-g s)).  Mean and
// variance over the runs, within 4.5 standard errors (the variance of a
// Poisson sample variance is about (mu + 2 mu^2) / n).
void expect_poisson_after_reset(const std::string& args, int algorithm, int runs, double slack) {
    const double k = 10.0, g = 0.5;
    TempDir dir;
    RunResult r = run_model(dir,
                            immigration_death(algorithm, 13.0, 1.0, runs,
                                              "events = 1\nReset\ntrigger = at 10\nassignments = 1\nX = 0\n",
                                              k, g, 0),
                            args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const int s : {1, 3}) {
        double sum = 0.0, sum2 = 0.0;
        for (int run = 1; run <= runs; ++run) {
            const std::vector<int> x = x_column(read_trajectory(dir.file("traj_" + std::to_string(run))));
            ASSERT_EQ(x[10], 0);
            sum += x[static_cast<std::size_t>(10 + s)];
            sum2 += static_cast<double>(x[static_cast<std::size_t>(10 + s)]) * x[static_cast<std::size_t>(10 + s)];
        }
        const double mu = k / g * (1.0 - std::exp(-g * s));
        const double mean = sum / runs;
        const double var = (sum2 - runs * mean * mean) / (runs - 1);
        EXPECT_NEAR(mean, mu, slack * 4.5 * std::sqrt(mu / runs)) << "s = " << s;
        EXPECT_NEAR(var, mu, slack * 4.5 * std::sqrt((mu + 2.0 * mu * mu) / runs)) << "s = " << s;
    }
}

TEST(E2eEventsStatistics, ImmigrationDeathAfterAResetIsPoissonDirect) {
    expect_poisson_after_reset("", 2, 4000, 1.0);
}

TEST(E2eEventsStatistics, ImmigrationDeathAfterAResetIsPoissonFirstReaction) {
    expect_poisson_after_reset("", 1, 4000, 1.0);
}

TEST(E2eEventsStatistics, ImmigrationDeathAfterAResetIsPoissonCompositionRejection) {
    expect_poisson_after_reset("--method cr", 2, 3000, 1.0);
}

TEST(E2eEventsStatistics, ImmigrationDeathAfterAResetUnderTauLeaping) {
    expect_poisson_after_reset("", 3, 3000, 2.0);
}

}  // namespace
}  // namespace plenta_e2e

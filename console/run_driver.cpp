// The console program's run driver: start-up, the loop over parameter sets,
// the runs of each set and the snapshot intervals of each run.
//
// One generator stream, seeded once, serves every run of every set, so the
// runs differ from one another and one seed reproduces the whole output.
// Each run starts from the model as read plus its set's changes, with fresh
// counts, propensities and first event; it is advanced one snapshot interval
// per engine call, and a trajectory line is written on every boundary.
//
// Failures to create or write an output file travel as an OutputFailure
// exception to run_console_model, so that every open file is flushed and
// closed (by its owner's destructor) before the message is printed and
// status 1 returned; the engine holds nothing that needs more than its own
// destructors.  The summary is handed to the system at the end of every run,
// so that a process ended by a signal leaves the totals of every finished run.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "console/console.h"
#include "engine/engine.h"
#include "engine/events.h"
#include "random/ranlib.h"

namespace plenta {

namespace {

// The message of a file that cannot be created (or cannot even be named).
struct OutputFailure {
    std::string message;
};

std::string format_message(const char* format, const std::string& arg) {
    std::vector<char> text(std::strlen(format) + arg.size() + 1);
    std::snprintf(text.data(), text.size(), format, arg.c_str());
    return text.data();
}

void print_message(const std::string& message) {
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
}

void print_warnings(const ConsoleModel& model) {
    for (const std::string& warning : model.warnings) std::fputs(warning.c_str(), stderr);
    std::fflush(stderr);
}

// Opens an output file whose name must fit the 263-character path limit;
// throws the message naming it otherwise.
void open_or_fail(OutputFile& file, const std::string& name, const char* mode) {
    if (name.size() > kMaxPathChars || !file.open(name, mode))
        throw OutputFailure{format_message(kMsgCantOpenOutput, name)};
}

// Throws the message naming the file when a write to it has failed.
void check_written(const OutputFile& file) {
    if (file.failed()) throw OutputFailure{file.write_failure_message()};
}

template <class File>
void close_or_fail(File& file) {
    if (!file.close()) throw OutputFailure{file.write_failure_message()};
}

// The event-log buffer of the whole process and the files of the current run.
// Every file but a run's last holds exactly `capacity` events.
struct EventLogFiles {
    std::string base;  // evlog_base
    int capacity = 0;
    EventLogBuffer buffer;
    int run = 0;    // run counter of the current run
    int chunk = 0;  // event-log files of the run already completed
    BlockFile file;

    void open_current() {
        const std::string name = eventlog_file_name(base, run, chunk + 1);
        if (name.size() > kMaxPathChars || !file.open(name))
            throw OutputFailure{format_message(kMsgCantOpenOutput, name)};
    }

    void start_run(int run_counter) {
        run = run_counter;
        chunk = 0;
        open_current();
    }

    // The full buffer goes to the current file, which is closed, and the next
    // file of the run is created; the buffer is then empty.
    void write_full(int& event_count) {
        write_eventlog_block(file, buffer.times(), buffer.rxns(), event_count);
        close_or_fail(file);
        chunk += 1;
        event_count = 0;
        open_current();
    }

    void finish_run(int event_count) {
        write_eventlog_block(file, buffer.times(), buffer.rxns(), event_count);
        close_or_fail(file);
    }
};

// Everything the driver owns besides the model records.
struct RunDriver {
    ConsoleModel& m;
    std::vector<int> initial_counts;
    std::vector<int> set_counts;
    std::vector<std::vector<double>> saved_rates;  // per reaction, every rate value as read
    StoichMatrix matrix;
    std::vector<int> fire_count;
    std::vector<int> prev_fire_count;
    OutputFile summary;
    OutputFile traj;  // the current run's trajectory file; one buffer for all runs
    EventLogFiles evlog;
    bool logging = false;
    int points = 0;
    int run_counter = 0;
    // --method cr, rssa: the exact runs by a method of the engine's
    // registry, whose state is rebuilt at the start of every run and reused
    // by its interval calls.
    std::unique_ptr<RunMethod> method;
    // An ensemble process: only the runs of `share`, each from its own
    // substream, with the summary lines written to summary_out.
    const RunShare* share = nullptr;
    std::string summary_out;
    volatile int* current_run = nullptr;  // where a watching parent sees the run in progress

    explicit RunDriver(ConsoleModel& model) : m(model) {}
};

std::string model_fault(const ConsoleModel& m, const std::string& what) {
    return "Model file " + m.model_path + ": " + what + " Exit.\n";
}

std::string str_g(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The trajectory header's point count, floor(time_end / snapshot_interval) + 1,
// must be a number an int holds (an out-of-range conversion is undefined).
// A quotient short of a whole number by rounding only (0.3 / 0.1) counts as
// that number, as the run then ends on that grid time: the count matches the
// lines of a run from 0.
std::string check_points(const ConsoleModel& m, int& points) {
    const SimParams& p = m.params;
    const double q = whole_snapshot_intervals(p.time_end, p.snapshot_interval) + 1.0;
    if (!(q >= static_cast<double>(std::numeric_limits<int>::min()) &&
          q <= static_cast<double>(std::numeric_limits<int>::max())))
        return model_fault(m, "time_end = " + str_g(p.time_end) + " and snapshot_interval = " +
                                  str_g(p.snapshot_interval) +
                                  " give a snapshot point count outside the range of an int.");
    points = static_cast<int>(q);
    return "";
}

void save_model_as_read(RunDriver& d) {
    d.initial_counts.resize(d.m.species.size());
    for (std::size_t s = 0; s < d.m.species.size(); s++) d.initial_counts[s] = d.m.species[s].count;
    d.saved_rates.resize(d.m.reactions.size());
    for (std::size_t r = 0; r < d.m.reactions.size(); r++)
        for (const RateConstant& k : d.m.reactions[r].rates) d.saved_rates[r].push_back(k.value);
}

// Set s > 0 changes the model as read, never the previous set's model.
void apply_param_set(RunDriver& d, std::size_t s) {
    d.set_counts = d.initial_counts;
    for (std::size_t r = 0; r < d.m.reactions.size(); r++)
        for (std::size_t k = 0; k < d.saved_rates[r].size(); k++)
            d.m.reactions[r].rates[k].value = d.saved_rates[r][k];
    apply_param_set_changes(d.m.sets[s], d.set_counts, d.m.reactions);
    apply_param_set_parameters(d.m, s);
}

// The driver's side of a run: trajectory lines at the snapshots and the
// event-log files whenever the buffer is full.
struct FileRecorder : RunRecorder {
    RunDriver& d;
    explicit FileRecorder(RunDriver& driver) : d(driver) {}

    void snapshot(double t, const std::vector<Compound>& species,
                  const std::vector<int>& fire_count, bool final_snapshot) override {
        write_trajectory_line(d.traj, t, species, d.m.params.monit, fire_count, d.prev_fire_count,
                              final_snapshot, &d.m.formulas.rule_values, d.m.params.volume);
        check_written(d.traj);  // a full disk ends the run now, not at its end
    }
    void empty_event_log(int& event_count) override { d.evlog.write_full(event_count); }
};

void run_one(RunDriver& d, int set_number, int run_in_set) {
    ConsoleModel& m = d.m;
    SimParams& p = m.params;
    d.run_counter += 1;
    d.prev_fire_count.assign(m.reactions.size(), 0);

    // The files of the run are created before its first event is drawn; the
    // draws do not depend on them, and a failure ends the program either way.
    write_summary_run_start(d.summary, m.sizes.num_rxns, set_number, d.run_counter);
    OutputFile& traj = d.traj;
    open_or_fail(traj, trajectory_file_name(m.traj_base, d.run_counter), "wt");
    write_trajectory_header(traj, run_in_set, d.points, m.sizes.num_monit, m.sizes.num_rxns);
    if (d.logging) d.evlog.start_run(d.run_counter);

    EventLog buffer;
    if (d.logging) {
        buffer.times = d.evlog.buffer.times();
        buffer.rxns = d.evlog.buffer.rxns();
    }
    FileRecorder recorder(d);
    double t = p.time_start;
    int event_count = 0;
    if (d.share != nullptr) start_run_substream(p.randseed, d.run_counter);
    if (!simulate_run(m, d.matrix, d.set_counts, d.fire_count, buffer, recorder, t, event_count,
                      d.method.get())) {
        // A fault of the model stops the run; the files written so far stay.
        if (p.fault.raised()) throw OutputFailure{model_fault(m, describe_run_fault(p.fault))};
        throw OutputFailure{stalled_run_message(t, p.snapshot_interval)};
    }
    close_or_fail(traj);
    if (d.logging) d.evlog.finish_run(event_count);
    // The run's totals reach the summary file once its other files are
    // complete: an interrupted program keeps every finished run's totals.
    write_summary_fire_counts(d.summary, d.fire_count);
    if (!d.summary.flush()) throw OutputFailure{d.summary.write_failure_message()};
    if (d.share != nullptr) {
        const std::string warning = substream_overrun_warning(d.run_counter, ranlib_draw_count());
        if (!warning.empty()) std::fputs(warning.c_str(), stderr);
    }
}

// The failure of a run of an ensemble process names the run.
void run_one_of_share(RunDriver& d, int set_number, int run_in_set) {
    if (d.current_run != nullptr) *d.current_run = d.run_counter + 1;
    try {
        run_one(d, set_number, run_in_set);
    } catch (const OutputFailure& f) {
        throw OutputFailure{f.message + run_failed_message(d.run_counter, set_number)};
    }
}

void run_all_sets(RunDriver& d) {
    const std::size_t num_sets = d.m.sets.size();
    for (std::size_t s = 0; s < num_sets; s++) {
        if (s > 0) apply_param_set(d, s);
        const int runs = d.m.params.num_repeats[s];
        for (int r = 0; r < runs; r++) {
            if (d.share == nullptr) {
                run_one(d, static_cast<int>(s) + 1, r + 1);
            } else if (d.share->contains(d.run_counter + 1)) {
                run_one_of_share(d, static_cast<int>(s) + 1, r + 1);
            } else {
                d.run_counter += 1;  // another process's run: only its number is taken
            }
        }
    }
}

void start_up(RunDriver& d, int eventlog_capacity) {
    ConsoleModel& m = d.m;
    m.params.eventlog_arraysize = eventlog_capacity;
    save_model_as_read(d);
    // The registry's methods are for large networks: a graph, when the
    // method reads one, is built through the species index (the same
    // lists), and they keep their own sparse rows instead of the dense
    // matrix.
    if (!d.method)
        calc_dependency(m.sizes, m.reactions);
    else if (d.method->needs_dependents())
        calc_dependency_by_species(m.sizes, m.reactions);
    const std::string& summary = d.share != nullptr ? d.summary_out : m.summary_path;
    open_or_fail(d.summary, summary, "wt");
    d.logging = m.params.eventlog_flag == 1;
    if (d.logging) {
        d.evlog.base = m.evlog_base;
        d.evlog.capacity = eventlog_capacity;
        d.evlog.buffer.allocate(eventlog_capacity);
    }
    if (d.method) {
        report_types_without_row_rule(m.sizes, m.reactions);
    } else {
        d.matrix = StoichMatrix(m.sizes.num_rxns, m.sizes.num_cmpds);
        create_stoich_matrix(m.sizes, m.reactions, d.matrix);
    }
    // randseed is read as an unsigned 32-bit number and handed to the
    // generator as a signed one.  A seed the generator cannot take (0, or
    // one at or above its moduli) ends the process inside mltmod with the
    // random library's own message, as that library defines.
    const std::int32_t seed = static_cast<std::int32_t>(m.params.randseed);
    setall(seed, seed);
    d.set_counts = d.initial_counts;
    d.run_counter = 0;
}

}  // namespace

void apply_param_set_changes(const ParamSet& set, std::vector<int>& counts,
                             std::vector<Reaction>& reactions) {
    for (const Compound& change : set.species)
        counts[static_cast<std::size_t>(change.index)] = change.count;
    for (std::size_t k = 0; k < set.rates.size(); k++) {
        Reaction& r = reactions[static_cast<std::size_t>(set.rate_rxn[k])];
        r.rates[static_cast<std::size_t>(set.rates[k].index)].value = set.rates[k].value;
    }
}

void apply_param_set_parameters(ConsoleModel& m, std::size_t s) {
    // Monitored rules read the set's named parameters too.
    FormulaSection& f = m.formulas;
    for (const NamedValue& p : f.scope.parameters) f.rule_values.set_parameter(p.name, p.value);
    if (s < f.set_changes.size())
        for (const NamedValue& change : f.set_changes[s])
            f.rule_values.set_parameter(change.name, change.value);
    // Events start every run of the set from the set's parameter values (a
    // run's events may change them; simulate_run's start puts them back).
    m.run_parameters.clear();
    if (m.events.empty()) return;
    for (const NamedValue& p : f.scope.parameters) m.run_parameters.push_back(p.value);
    if (s < f.set_changes.size())
        for (const NamedValue& change : f.set_changes[s])
            for (std::size_t k = 0; k < f.scope.parameters.size(); ++k)
                if (f.scope.parameters[k].name == change.name) m.run_parameters[k] = change.value;
}

std::string stalled_run_message(double t, double snapshot_interval) {
    return "The simulation time cannot advance past " + str_g(t) +
           " with snapshot_interval = " + str_g(snapshot_interval) + ". Exit.\n";
}

namespace {

// The engine's drain hook: a tau leap whose batch does not fit in the rest of
// the buffer has it emptied exactly as a full buffer after a call is.
void drain_to_recorder(void* context, int& event_count) {
    static_cast<RunRecorder*>(context)->empty_event_log(event_count);
}

long long total_firings(const std::vector<int>& fire_count) {
    long long sum = 0;
    for (int n : fire_count) sum += n;
    return sum;
}

}  // namespace

bool simulate_run(ConsoleModel& m, const StoichMatrix& matrix, const std::vector<int>& run_counts,
                  std::vector<int>& fire_count, EventLog buffer, RunRecorder& recorder, double& t,
                  int& event_count, RunMethod* method) {
    SimParams& p = m.params;
    const bool logging = p.eventlog_flag == 1;

    // Every method, the defined ones included, through the engine's
    // interface, and every call through the events layer (which, for a
    // model without events, calls nothing but the method).
    std::unique_ptr<RunMethod> defined;
    if (method == nullptr) {
        defined = make_defined_method(p.algorithm, matrix);
        method = defined.get();
    }
    EventedRun run(*method, &m.events, &m.formulas.rule_values);

    EventLog log;
    if (logging) {
        log.times = buffer.times;
        log.rxns = buffer.rxns;
        log.drain = drain_to_recorder;
        log.drain_context = &recorder;
    }
    event_count = 0;

    // Fresh counts, firing totals, propensities and first event.  The first
    // event is drawn from time 0 whatever time_start is; events due at the
    // start (at time 0) are executed before it.
    for (std::size_t s = 0; s < m.species.size(); s++) m.species[s].count = run_counts[s];
    fire_count.assign(m.reactions.size(), 0);
    p.fault = RunFault{};
    run.start_run(m.reactions, m.sizes, m.species, p, 0.0, m.run_parameters, log, event_count);
    if (run.has_events() && p.fault.raised()) return false;

    // The run ends at time_end, or on a grid time short of it by rounding
    // only (three intervals of 0.3 end at 0.8999999999999999 for a time_end
    // of 0.9), where the final line is written.
    const double time_start = t;
    while (span_continues(t, time_start, p.time_end, p.snapshot_interval)) {
        if (is_snapshot_time(t, p.snapshot_interval)) recorder.snapshot(t, m.species, fire_count, false);
        const double t_before = t;
        const int count_before = event_count;
        const long long fired_before = total_firings(fire_count);
        run.advance(m.reactions, m.sizes, m.species, p, log, event_count, fire_count, t);
        if (p.fault.raised()) return false;
        if (logging && event_count == p.eventlog_arraysize) recorder.empty_event_log(event_count);
        // A call that neither moved the time nor fired anything leaves the
        // state exactly as it was, and so would every later call: the next
        // boundary is not representable as a larger double.  Stop instead of
        // looping forever.
        if (!(t > t_before) && event_count == count_before &&
            total_firings(fire_count) == fired_before)
            return false;
    }
    recorder.snapshot(t, m.species, fire_count, true);
    return true;
}

namespace {

// The registry's methods replace the exact methods only; tau-leaping has no
// exact step for them to replace, and running the defined leap instead
// would pass off another method's output as the one asked for.
std::string check_method(const ConsoleModel& m, const ConsoleOptions& options) {
    if (options.method.empty() || m.params.algorithm != kTauLeaping) return "";
    if (options.method == "cr")
        return model_fault(m, "the composition-rejection method (--method cr) is an exact method; "
                              "it does not apply to tau-leaping (algorithm = 3).");
    return model_fault(m, "the method --method " + options.method +
                              " is an exact method; it does not apply to tau-leaping "
                              "(algorithm = 3).");
}

}  // namespace

std::string check_console_run(const ConsoleModel& model, const ConsoleOptions& options) {
    std::string failure = check_method(model, options);
    int points = 0;
    if (failure.empty()) failure = check_points(model, points);
    return failure;
}

std::string run_console_share(ConsoleModel& model, int eventlog_capacity,
                              const ConsoleOptions& options, const RunShare& share,
                              const std::string& summary_out, volatile int* current_run) {
    std::string failure;
    try {
        RunDriver driver(model);
        if (!options.method.empty()) driver.method = make_run_method(options.method);
        driver.share = &share;
        driver.summary_out = summary_out;
        driver.current_run = current_run;
        failure = check_method(model, options);
        if (failure.empty()) failure = check_points(model, driver.points);
        if (failure.empty()) {
            start_up(driver, eventlog_capacity);
            run_all_sets(driver);
            close_or_fail(driver.summary);
        }
    } catch (const OutputFailure& f) {
        failure = f.message;
    } catch (const std::bad_alloc&) {
        failure = "Not enough memory to run model file " + model.model_path + ". Exit.\n";
    }
    return failure;
}

int run_console_model(ConsoleModel& model, int eventlog_capacity,
                      const ConsoleOptions& options) {
    std::string failure;
    if (eventlog_capacity < 1) {
        print_message("The event log needs room for at least one event. Exit.\n");
        return 1;
    }
    if (options.merge_summary) return merge_summary_parts(model);
    if (uses_per_run_streams(options)) return run_ensemble(model, eventlog_capacity, options);
    try {
        RunDriver driver(model);
        if (!options.method.empty()) driver.method = make_run_method(options.method);
        failure = check_method(model, options);
        if (failure.empty()) failure = check_points(model, driver.points);
        if (failure.empty()) {
            start_up(driver, eventlog_capacity);
            run_all_sets(driver);
            close_or_fail(driver.summary);
        }
    } catch (const OutputFailure& f) {
        failure = f.message;  // every file of the driver is closed by now
    } catch (const std::bad_alloc&) {
        failure = "Not enough memory to run model file " + model.model_path + ". Exit.\n";
    }
    if (failure.empty()) return 0;
    print_message(failure);
    return 1;
}

int run_plenta(const std::string& working_dir, int eventlog_capacity,
               const ConsoleOptions& options) {
    if (options.check) return check_console_model(working_dir, options);
    ConsoleModel model;
    std::string failure = load_console_model(working_dir, model);
    print_warnings(model);
    if (!failure.empty()) {
        print_message(failure);
        return 1;
    }
    return run_console_model(model, eventlog_capacity, options);
}

}  // namespace plenta

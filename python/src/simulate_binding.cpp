// Simulation of whole runs into arrays.  Every run is drawn by the console
// program's own simulate_run from one stream seeded once with
// setall(seed, seed), so a call reproduces the console program's counts,
// firings and event logs for the same model and randseed.  The GIL is
// released while the runs are drawn; it is taken back for the progress
// callback (after every run) and, every tenth of a second or so, to look for
// a pending signal such as Ctrl-C.
//
// The exact methods always run with an event log of kChunkFirings entries,
// kept only when the caller asked for it: the engine returns whenever the
// log fills and goes on from the same kept event toward the same boundary,
// so a snapshot interval of 10^9 firings is drawn in chunks, with a look for
// signals between them, and with the very same draws and results.  (A
// tau-leaping run is not chunked: a full log ends its leap early, which
// changes the run; it looks for signals at its snapshots.)
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "plenta_py.h"
#include "random/ranlib.h"

namespace plenta {
namespace py_module {

namespace {

// How often a long run looks for pending signals.
constexpr auto kSignalCheckPeriod = std::chrono::milliseconds(100);
// Snapshots between two looks at the clock.
constexpr int kSnapshotsPerClockCheck = 64;
// Firings of the exact methods between two returns of the engine: some
// tenth of a millisecond of work, and a log that stays in cache.
constexpr int kChunkFirings = 1 << 12;

// The random library's generator and Poisson state, restored when this goes
// out of scope: Python code run in the middle of a simulation (the progress
// callback, a signal handler) may draw from plenta.random, and the
// simulation's stream must go on as if it had not.
class StreamKeeper {
public:
    StreamKeeper()
        : generator_(*ranlib_generator_state()), poisson_(*ranlib_poisson_state()) {}
    ~StreamKeeper() {
        *ranlib_generator_state() = generator_;
        *ranlib_poisson_state() = poisson_;
    }
    StreamKeeper(const StreamKeeper&) = delete;
    StreamKeeper& operator=(const StreamKeeper&) = delete;

private:
    RanlibGeneratorState generator_;
    RanlibPoissonState poisson_;
};

// A Python error (a raised KeyboardInterrupt, an exception of the progress
// callback) is pending in this thread's error indicator; the simulation
// unwinds and the caller raises it once it holds the GIL again.
struct PythonErrorPending {};

// Takes the GIL and runs the interpreter's signal handlers; a handler that
// raises (SIGINT raises KeyboardInterrupt) ends the simulation.
void check_signals() {
    py::gil_scoped_acquire gil;
    StreamKeeper keep;
    if (PyErr_CheckSignals() != 0) throw PythonErrorPending{};
}

// What the runs of one call produce, in run order.
struct Ensemble {
    std::vector<double> time;          // snapshot times of the first run
    std::vector<std::int64_t> counts;  // run x point x monitored species
    std::vector<double> rules;         // run x point x monitored rule (value)
    std::vector<std::int64_t> firings; // run x point x reaction
    std::vector<std::int64_t> totals;  // run x reaction
    std::vector<std::int32_t> sets;    // parameter set of each run, from 1
    std::vector<std::vector<double>> event_times;       // per run
    std::vector<std::vector<std::int64_t>> event_rxns;  // per run: position + 1, or -k for
                                                        // an execution of event k
    std::size_t runs = 0;
    std::string fault;  // the fault that ended the call, "" when every run finished
};

// The recorder of one run: a row of counts and of firings since the previous
// snapshot at every snapshot, as the trajectory file has them, and the event
// log taken out of the buffer whenever it is emptied.
class ArrayRecorder : public RunRecorder {
public:
    // Monitored positions from the species count on are assignment rules,
    // whose values go to Ensemble::rules.
    ArrayRecorder(Ensemble& out, const std::vector<int>& monit, std::size_t num_rxns,
                  const double* log_times, const double* log_rxns, bool keep_events,
                  const RuleValues* rules = nullptr, double volume = 0.0)
        : out_(out), monit_(monit), prev_(num_rxns, 0), log_times_(log_times),
          log_rxns_(log_rxns), keep_events_(keep_events),
          last_check_(std::chrono::steady_clock::now()), rules_(rules), volume_(volume) {}

    void snapshot(double t, const std::vector<Compound>& species,
                  const std::vector<int>& fire_count, bool) override {
        times_.push_back(t);
        const int num_species = static_cast<int>(species.size());
        for (int s : monit_) {
            if (s < num_species)
                out_.counts.push_back(species[static_cast<std::size_t>(s)].count);
            else
                out_.rules.push_back(rules_->value(s - num_species, species, volume_));
        }
        for (std::size_t r = 0; r < prev_.size(); r++) {
            out_.firings.push_back(static_cast<std::int64_t>(fire_count[r]) - prev_[r]);
            prev_[r] = fire_count[r];
        }
        if (++since_clock_ >= kSnapshotsPerClockCheck) {
            since_clock_ = 0;
            maybe_check_signals();
        }
    }

    void empty_event_log(int& event_count) override {
        take_events(event_count);
        event_count = 0;
        maybe_check_signals();
    }

    void take_events(int event_count) {
        if (!keep_events_) return;  // a log for chunking only
        for (int e = 0; e < event_count; e++) {
            events_t_.push_back(log_times_[e]);
            events_r_.push_back(static_cast<std::int64_t>(log_rxns_[e]));
        }
    }

    std::vector<double>& times() { return times_; }
    std::vector<double>& event_times() { return events_t_; }
    std::vector<std::int64_t>& event_rxns() { return events_r_; }

private:
    void maybe_check_signals() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_check_ < kSignalCheckPeriod) return;
        last_check_ = now;
        check_signals();
    }

    Ensemble& out_;
    const std::vector<int>& monit_;
    std::vector<int> prev_;
    const double* log_times_;
    const double* log_rxns_;
    bool keep_events_;
    std::vector<double> times_;
    std::vector<double> events_t_;
    std::vector<std::int64_t> events_r_;
    int since_clock_ = 0;
    std::chrono::steady_clock::time_point last_check_;
    const RuleValues* rules_;
    double volume_;
};

struct RunPlan {
    std::size_t set;  // position in the model's parameter sets
    int runs;
};

struct SimulationRequest {
    std::vector<RunPlan> plan;
    double time_start = 0.0;
    double time_end = 0.0;
    double interval = 0.0;
    std::int32_t seed = 0;
    bool event_log = false;
    std::string exact_method;  // the exact runs by the console's --method cr or rssa ("" none)
};

// Counts, rates and set changes as the console driver applies them: every
// set starts from the model as read.
void prepare_set(const PyModel& model, ConsoleModel& work, std::size_t s,
                 std::vector<int>& set_counts) {
    set_counts.resize(model.m.species.size());
    for (std::size_t c = 0; c < model.m.species.size(); c++)
        set_counts[c] = model.m.species[c].count;
    for (std::size_t r = 0; r < work.reactions.size(); r++)
        for (std::size_t k = 0; k < work.reactions[r].rates.size(); k++)
            work.reactions[r].rates[k].value = model.m.reactions[r].rates[k].value;
    if (s > 0) apply_param_set_changes(work.sets[s], set_counts, work.reactions);
    apply_param_set_parameters(work, s);
}

void run_all(const PyModel& model, const SimulationRequest& req, const py::object& progress,
             Ensemble& out) {
    ConsoleModel work = model.m;
    SimParams& p = work.params;
    p.time_start = req.time_start;
    p.time_end = req.time_end;
    p.snapshot_interval = req.interval;
    // Tau-leaping keeps the console's log size, which decides where its
    // leaps end; the exact methods log in chunks (see the top of the file).
    const bool chunked = p.algorithm != kTauLeaping;
    p.eventlog_flag = req.event_log || chunked ? 1 : 0;
    p.eventlog_arraysize = chunked ? kChunkFirings : kConsoleEventlogArraysize;

    std::vector<double> log_times;
    std::vector<double> log_rxns;
    EventLog buffer;
    if (p.eventlog_flag == 1) {
        log_times.assign(static_cast<std::size_t>(p.eventlog_arraysize), 0.0);
        log_rxns.assign(static_cast<std::size_t>(p.eventlog_arraysize), 0.0);
        buffer.times = log_times.data();
        buffer.rxns = log_rxns.data();
    }

    std::size_t total_runs = 0;
    for (const RunPlan& r : req.plan) total_runs += static_cast<std::size_t>(r.runs);

    setall(req.seed, req.seed);
    std::vector<int> set_counts;
    std::vector<int> fire_count;
    // Rebuilt at the start of every run, as the console program does.
    std::unique_ptr<RunMethod> exact =
        req.exact_method.empty() ? nullptr : make_run_method(req.exact_method);
    RunMethod* method = exact.get();
    std::size_t done = 0;
    for (const RunPlan& plan : req.plan) {
        prepare_set(model, work, plan.set, set_counts);
        for (int r = 0; r < plan.runs; r++) {
            ArrayRecorder recorder(out, p.monit, work.reactions.size(), log_times.data(),
                                   log_rxns.data(), req.event_log, &work.formulas.rule_values,
                                   p.volume);
            double t = p.time_start;
            int event_count = 0;
            const std::size_t counts_before = out.counts.size();
            const std::size_t firings_before = out.firings.size();
            p.fault = RunFault{};
            const bool finished = simulate_run(work, model.matrix, set_counts, fire_count, buffer,
                                               recorder, t, event_count, method);
            if (p.fault.raised()) {
                // The finished runs are handed back with the fault; the
                // rows this run had recorded are dropped.
                out.counts.resize(counts_before);
                out.firings.resize(firings_before);
                out.fault = "run " + std::to_string(done + 1) + ": " + describe_run_fault(p.fault);
                return;
            }
            if (!finished)
                throw std::runtime_error(python_message(stalled_run_message(t, p.snapshot_interval), false));
            recorder.take_events(event_count);
            if (out.runs == 0) {
                out.time = std::move(recorder.times());
            } else if (recorder.times() != out.time) {
                // Snapshot times depend only on time_start, time_end and the
                // interval, never on the draws.
                throw std::logic_error("a run took snapshots at other times than the first run");
            }
            for (int n : fire_count) out.totals.push_back(n);
            out.sets.push_back(static_cast<std::int32_t>(plan.set + 1));
            if (req.event_log) {
                out.event_times.push_back(std::move(recorder.event_times()));
                out.event_rxns.push_back(std::move(recorder.event_rxns()));
            }
            out.runs += 1;
            done += 1;
            py::gil_scoped_acquire gil;
            StreamKeeper keep;
            if (PyErr_CheckSignals() != 0) throw PythonErrorPending{};
            if (!progress.is_none()) {
                try {
                    progress(done, total_runs);
                } catch (py::error_already_set& e) {
                    e.restore();
                    throw PythonErrorPending{};
                }
            }
        }
    }
}

// A vector handed to NumPy without a copy: the array owns it.
template <typename T>
py::array_t<T> take_array(std::vector<T>&& v, std::vector<py::ssize_t> shape) {
    auto holder = std::make_unique<std::vector<T>>(std::move(v));
    T* data = holder->data();
    py::capsule owner(holder.get(), [](void* q) {
        std::unique_ptr<std::vector<T>>(static_cast<std::vector<T>*>(q));
    });
    holder.release();
    return py::array_t<T>(shape, data, owner);
}

[[noreturn]] void raise_memory_error(const std::string& message) {
    PyErr_SetString(PyExc_MemoryError, message.c_str());
    throw py::error_already_set();
}

std::string str_g(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The checks that keep a request from running forever, dividing by zero or
// asking for more memory than the machine has.
void check_request(const PyModel& model, const SimulationRequest& req) {
    if (!std::isfinite(req.interval) || !(req.interval > 0.0))
        throw py::value_error("interval = " + str_g(req.interval) +
                              " is not a positive finite number");
    for (const std::string& fault : {check_finite_time("time_start", req.time_start),
                                     check_finite_time("time_end", req.time_end)})
        if (!fault.empty()) throw py::value_error(fault);
    // The console program's trajectory header counts floor(time_end /
    // interval) + 1 points in an int; the same bound holds here.
    const double points = std::floor(req.time_end / req.interval) + 1.0;
    if (!(points <= static_cast<double>(std::numeric_limits<int>::max())))
        throw py::value_error("time_end = " + str_g(req.time_end) + " and interval = " +
                              str_g(req.interval) +
                              " give a snapshot point count outside the range of an int");
    double runs = 0.0;
    for (const RunPlan& r : req.plan) runs += r.runs;
    const double span = req.time_end > req.time_start ? req.time_end - req.time_start : 0.0;
    const double snapshots = std::floor(span / req.interval) + 2.0;
    const double columns = static_cast<double>(model.m.params.monit.size() + model.m.reactions.size());
    const double bytes = runs * snapshots * (columns * 8.0 + 8.0);
    const double physical = static_cast<double>(sysconf(_SC_PHYS_PAGES)) *
                            static_cast<double>(sysconf(_SC_PAGE_SIZE));
    if (physical > 0.0 && bytes > physical)
        raise_memory_error("the result of " + str_g(runs) + " runs of " + str_g(snapshots) +
                           " snapshots needs some " + str_g(bytes) +
                           " bytes, more than the machine's memory");
}

// The values every planned set starts from (counts, rate constants, volume,
// tau_error) and the propensities of its first state, checked before the
// first run: a negative count or rate constant makes a propensity negative,
// and the direct method's waiting time with it, so that time runs backwards
// and the run never ends.
void check_start_values(const PyModel& model, const SimulationRequest& req) {
    ConsoleModel work = model.m;
    std::vector<int> set_counts;
    for (const RunPlan& plan : req.plan) {
        prepare_set(model, work, plan.set, set_counts);
        for (std::size_t c = 0; c < set_counts.size(); c++) work.species[c].count = set_counts[c];
        const std::string where =
            model.m.sets.size() > 1 ? "parameter set " + std::to_string(plan.set + 1) + ": " : "";
        const std::string fault = check_run_values(work.sizes, work.species, work.reactions,
                                                   work.params);
        if (!fault.empty()) throw py::value_error(where + fault);
        for (int r = 0; r < work.sizes.num_rxns; r++) {
            RunFault bad;
            bad.value = calc_rxn_prob_vesk(work.reactions[r], work.species, work.params,
                                           work.sizes, r);
            if (bad.value >= 0.0 && bad.value <= kNeverTime) continue;
            bad.kind = RunFault::kBadPropensity;
            bad.rxn = r;
            throw py::value_error(where + describe_run_fault(bad));
        }
    }
}

py::dict simulate(const PyModel& model, const std::vector<std::pair<int, int>>& plan,
                  double time_start, double time_end, double interval, std::int64_t seed,
                  bool event_log, const std::string& method, py::object progress) {
    SimulationRequest req;
    if (method != "direct" && make_run_method(method) != nullptr) {
        // The registry's methods replace the exact step only.
        if (model.m.params.algorithm == kTauLeaping)
            throw py::value_error("method '" + method + "' is an exact method; it does not "
                                  "apply to tau-leaping (algorithm 3)");
        req.exact_method = method;
    } else if (method != "direct") {
        throw py::value_error("method must be 'direct' (the model's own algorithm), 'cr' or "
                              "'rssa', not '" + method + "'");
    }
    for (const auto& [set, runs] : plan) {
        if (set < 1 || static_cast<std::size_t>(set) > model.m.sets.size())
            throw py::value_error("set = " + std::to_string(set) + " is not a parameter set of "
                                  "the model (1.." + std::to_string(model.m.sets.size()) + ")");
        if (runs < 0) throw py::value_error("runs = " + std::to_string(runs) + " is below 0");
        req.plan.push_back({static_cast<std::size_t>(set - 1), runs});
    }
    const std::string seed_fault = check_randseed(seed);
    if (!seed_fault.empty()) throw py::value_error(seed_fault);
    req.seed = static_cast<std::int32_t>(seed);
    req.time_start = time_start;
    req.time_end = time_end;
    req.interval = interval;
    req.event_log = event_log;
    check_request(model, req);
    check_start_values(model, req);

    Ensemble out;
    bool python_error = false;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::recursive_mutex> lock(random_mutex());
        try {
            run_all(model, req, progress, out);
        } catch (const PythonErrorPending&) {
            python_error = true;
        }
    }
    if (python_error) throw py::error_already_set();

    const auto runs = static_cast<py::ssize_t>(out.runs);
    const auto points = static_cast<py::ssize_t>(out.time.size());
    py::ssize_t monit = 0;  // monitored species; the other positions are rules
    for (int s : model.m.params.monit) monit += s < model.m.sizes.num_cmpds ? 1 : 0;
    const auto monit_rules = static_cast<py::ssize_t>(model.m.params.monit.size()) - monit;
    const auto rxns = static_cast<py::ssize_t>(model.m.reactions.size());
    py::dict result;
    result["fault"] = out.fault.empty() ? py::object(py::none()) : py::object(py::str(out.fault));
    result["time"] = take_array(std::move(out.time), {points});
    result["counts"] = take_array(std::move(out.counts), {runs, points, monit});
    result["rules"] = take_array(std::move(out.rules), {runs, points, monit_rules});
    result["firings"] = take_array(std::move(out.firings), {runs, points, rxns});
    result["totals"] = take_array(std::move(out.totals), {runs, rxns});
    result["sets"] = take_array(std::move(out.sets), {runs});
    if (event_log) {
        py::list events;
        for (std::size_t r = 0; r < out.event_times.size(); r++) {
            const auto n = static_cast<py::ssize_t>(out.event_times[r].size());
            events.append(py::make_tuple(take_array(std::move(out.event_times[r]), {n}),
                                         take_array(std::move(out.event_rxns[r]), {n})));
        }
        result["events"] = events;
    } else {
        result["events"] = py::none();
    }
    return result;
}

}  // namespace

void bind_simulate(py::module_& mod) {
    mod.def("_simulate", &simulate, py::arg("model"), py::arg("plan"), py::arg("time_start"),
            py::arg("time_end"), py::arg("interval"), py::arg("seed"), py::arg("event_log"),
            py::arg("method"), py::arg("progress"),
            "Runs plan = [(set, runs), ...] from one stream seeded with setall(seed, seed); "
            "returns a dict of arrays (see plenta.Model.simulate).");
}

}  // namespace py_module
}  // namespace plenta

// The evented run driven directly, as a front end that continues a run
// across calls drives it: a fresh EventedRun per interval, resumed from the
// state the previous one handed out, must run exactly as one object does.
#include <algorithm>
#include <memory>
#include <vector>

#include "console/console.h"
#include "e2e_support.h"
#include "engine/events.h"
#include "random/ranlib.h"

namespace plenta_e2e {
namespace {

const char kModel[] =
    "traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = 2\nnum_cmpds = 1\n\nX 0\n\n"
    "Immigration\nrxntype = formula\nnum_subs = 0\nnum_prods = 1\n0 1\nrate = k\nid = 0\n\n"
    "Death\nrxntype = formula\nnum_subs = 1\n0 1\nnum_prods = 0\nrate = g*X\nid = 1\n\n"
    "time_start = 0.0\ntime_end = 40.0\nvolume = 1.0\nalgorithm = ALG\nTAUrandseed = 99\n\n"
    "num_monit = 1\n0\nsnapshot_interval = 1.0\neventlog_flag = 1\nnum_repeats = 1\n\n"
    "parameters = 3\nk 10\ng 0.5\nP 0\n"
    "events = 4\n"
    "Reset every 7\ntrigger = at 3 every 7\nassignments = 1\nX = 0\n"
    "High: slow down after 2.5, values from trigger time\ntrigger = when X >= 20\ndelay = 2.5\n"
    "values = trigger\nassignments = 2\nk = k / 2\nP = X\n"
    "Low: speed up again, cancelled when X rises first\ntrigger = when X <= 5\ndelay = 1.5\n"
    "persistent = false\nassignments = 1\nk = 10\n"
    "Mark\ntrigger = when P > 0\npriority = 5\nassignments = 1\nX = X + 1\n";

struct Trace {
    std::vector<double> times;
    std::vector<int> x;
    std::vector<double> log_times, log_codes;
};

// The buffer and where its entries go when it is emptied.
struct LogBuffer {
    std::vector<double> times, codes;
    Trace* trace = nullptr;
    void empty(int& count) {
        trace->log_times.insert(trace->log_times.end(), times.begin(), times.begin() + count);
        trace->log_codes.insert(trace->log_codes.end(), codes.begin(), codes.begin() + count);
        count = 0;
    }
    static void drain(void* context, int& count) { static_cast<LogBuffer*>(context)->empty(count); }
};

// One run of the model to time_end; with `split`, a new EventedRun for
// every interval, resumed from the previous one's state.
Trace run(const std::string& algorithm, bool split, int capacity) {
    TempDir dir;
    std::string text = kModel;
    text.replace(text.find("ALG"), 3, algorithm);
    text.replace(text.find("TAU"), 3, algorithm == "3" ? "tau_error = 0.03\n" : "");
    write_model(dir, text);
    plenta::ConsoleModel m;
    EXPECT_EQ(plenta::load_console_model(dir.path(), m), "");
    plenta::SimParams& p = m.params;
    p.eventlog_arraysize = capacity;
    plenta::calc_dependency(m.sizes, m.reactions);
    plenta::StoichMatrix matrix(m.sizes.num_rxns, m.sizes.num_cmpds);
    plenta::create_stoich_matrix(m.sizes, m.reactions, matrix);
    setall(99, 99);
    std::unique_ptr<plenta::RunMethod> method = plenta::make_defined_method(p.algorithm, matrix);
    Trace trace;
    LogBuffer buffer;
    buffer.times.resize(static_cast<std::size_t>(capacity));
    buffer.codes.resize(static_cast<std::size_t>(capacity));
    buffer.trace = &trace;
    plenta::EventLog log;
    log.times = buffer.times.data();
    log.rxns = buffer.codes.data();
    log.drain = &LogBuffer::drain;
    log.drain_context = &buffer;
    auto drain = [&](int& count) { buffer.empty(count); };
    std::vector<int> fire_count(2, 0);
    int count = 0;
    auto first = std::make_unique<plenta::EventedRun>(*method, &m.events, &m.formulas.rule_values);
    first->start_run(m.reactions, m.sizes, m.species, p, 0.0, {}, log, count);
    plenta::EventRunState state = first->state();
    std::unique_ptr<plenta::EventedRun> current = std::move(first);
    double t = 0.0;
    while (t < p.time_end) {
        trace.times.push_back(t);
        trace.x.push_back(m.species[0].count);
        const double boundary = plenta::next_snapshot_time(t, p.snapshot_interval);
        while (t < boundary) {
            if (split) {
                // What a front end does between calls: a new object, the
                // state handed back in.
                current = std::make_unique<plenta::EventedRun>(*method, &m.events, &m.formulas.rule_values);
                current->resume(m.reactions, m.sizes, m.species, p, state);
            }
            current->advance(m.reactions, m.sizes, m.species, p, log, count, fire_count, t);
            EXPECT_FALSE(p.fault.raised()) << plenta::describe_run_fault(p.fault);
            if (p.fault.raised()) return trace;
            state = current->state();
            if (count >= capacity) drain(count);
        }
    }
    drain(count);
    trace.times.push_back(t);
    trace.x.push_back(m.species[0].count);
    return trace;
}

TEST(EventsContinuation, ARunResumedEveryIntervalRunsAsOne) {
    for (const std::string algorithm : {"2", "1", "3"}) {
        SCOPED_TRACE("algorithm " + algorithm);
        const Trace whole = run(algorithm, false, 100000);
        const Trace split = run(algorithm, true, 100000);
        EXPECT_EQ(whole.times, split.times);
        EXPECT_EQ(whole.x, split.x);
        EXPECT_EQ(whole.log_times, split.log_times);
        EXPECT_EQ(whole.log_codes, split.log_codes);
        // Every kind of event ran (the test exercises what it claims to).
        for (const double code : {-1.0, -2.0, -3.0, -4.0})
            EXPECT_NE(std::count(whole.log_codes.begin(), whole.log_codes.end(), code), 0) << code;
    }
}

TEST(EventsContinuation, AFullLogSplitsTheCallsWithoutChangingTheRun) {
    for (const std::string algorithm : {"2", "1"}) {
        SCOPED_TRACE("algorithm " + algorithm);
        const Trace whole = run(algorithm, false, 100000);
        const Trace small = run(algorithm, true, 3);
        EXPECT_EQ(whole.x, small.x);
        EXPECT_EQ(whole.log_times, small.log_times);
        EXPECT_EQ(whole.log_codes, small.log_codes);
    }
}

}  // namespace
}  // namespace plenta_e2e

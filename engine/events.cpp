// The evented run: a method's interval calls cut at the moments events are
// due, and the events executed there (see events.h for the rules).
//
// The state between instants is EventRunState: every `when` condition's last
// value, the next time of every timed trigger and the executions waiting for
// their time.  A trigger - a condition turning true, a timed trigger's time
// reached - turns into a pending execution at trigger time + delay (+ 0
// without a delay), with the assignments' values computed then when the
// event takes its values at trigger time.  An instant executes every pending
// execution whose time has come, one at a time, choosing each time the one
// of highest priority (priorities evaluated at that moment), then the lower
// event number, then the earlier trigger.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/events.h"

namespace plenta {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A condition is true when its value is non-zero (NaN counts as false).
bool is_true(double v) { return v != 0.0 && !std::isnan(v); }

// Rounds half away from zero.
double round_count(double v) { return std::round(v); }

}  // namespace

struct EventedRun::Impl {
    RunMethod& method;
    const ModelEvents* events;  // null when the model has none
    RuleValues* rules;
    EventRunState state;
    // The records of the current call, for the per-firing check.
    std::vector<Compound>* species = nullptr;
    SimParams* params = nullptr;
    bool triggered = false;  // the check saw a trigger in the current call
    std::vector<double> values;  // scratch: assignment values

    Impl(RunMethod& m, const ModelEvents* e, RuleValues* r)
        : method(m), events(e != nullptr && !e->empty() ? e : nullptr), rules(r) {}

    double eval(const ModelEvents::Expression& x, const std::vector<Compound>& sp,
                double volume) const {
        return events->evaluate(x, sp, state.parameters, volume);
    }

    // The parameter's value in every formula reaction and rule that reads it.
    void put_parameter(std::vector<Reaction>& reactions, int p) {
        const double v = state.parameters[static_cast<std::size_t>(p)];
        for (const auto& slot : events->parameter_slots(p))
            reactions[static_cast<std::size_t>(slot.first)]
                .rates[static_cast<std::size_t>(slot.second)]
                .value = v;
        if (rules != nullptr)
            rules->set_parameter(events->parameters()[static_cast<std::size_t>(p)].name, v);
    }

    void put_all_parameters(std::vector<Reaction>& reactions) {
        for (int p = 0; p < static_cast<int>(state.parameters.size()); ++p)
            put_parameter(reactions, p);
    }

    // Event k triggered at time t: an execution at t + delay.  False at a
    // fault (a delay that is not a finite number >= 0).
    bool trigger(int k, double t, const std::vector<Compound>& sp, SimParams& p) {
        const ModelEvents::Event& e = events->event(k);
        double at = t;
        if (e.delay) {
            const double d = eval(e.delay, sp, p.volume);
            if (!(d >= 0.0 && d <= std::numeric_limits<double>::max())) {
                raise(p, RunFault::kEventDelay, k, -1, -1, t, d);
                return false;
            }
            at = t + d;
        }
        PendingExecution x;
        x.event = k;
        x.time = at;
        x.order = state.next_order++;
        if (e.values_at_trigger) {
            x.values.reserve(e.assignments.size());
            for (const ModelEvents::Assignment& a : e.assignments)
                x.values.push_back(eval(a.value, sp, p.volume));
        }
        state.pending.push_back(std::move(x));
        return true;
    }

    static void raise(SimParams& p, RunFault::Kind kind, int event, int species, int param,
                      double t, double value) {
        if (p.fault.raised()) return;
        p.fault.kind = kind;
        p.fault.event = event;
        p.fault.species = species;
        p.fault.rxn = param;
        p.fault.time = t;
        p.fault.value = value;
    }

    // Every `when` condition evaluated for the current state: a change from
    // false to true triggers; a change to false cancels the pending
    // executions of a non-persistent event.  True when something triggered.
    bool test_conditions(double t, const std::vector<Compound>& sp, SimParams& p) {
        bool any = false;
        for (int k = 0; k < events->size(); ++k) {
            const ModelEvents::Event& e = events->event(k);
            if (e.kind != TriggerKind::kWhen) continue;
            const int v = is_true(eval(e.condition, sp, p.volume)) ? 1 : 0;
            int& last = state.trigger_value[static_cast<std::size_t>(k)];
            if (v == last) continue;
            last = v;
            if (v == 1) {
                any = true;
                if (!trigger(k, t, sp, p)) return true;
            } else if (!e.persistent) {
                auto& q = state.pending;
                q.erase(std::remove_if(q.begin(), q.end(),
                                       [k](const PendingExecution& x) { return x.event == k; }),
                        q.end());
            }
        }
        return any;
    }

    // The timed triggers whose time has come at t; the next time of each.
    bool fire_timed(double t, const std::vector<Compound>& sp, SimParams& p) {
        for (int k = 0; k < events->size(); ++k) {
            double& next = state.next_time[static_cast<std::size_t>(k)];
            if (!(next <= t)) continue;
            const ModelEvents::Event& e = events->event(k);
            if (!trigger(k, t, sp, p)) return false;
            if (e.kind == TriggerKind::kAt) {
                next = kInfinity;
                continue;
            }
            // The next grid time T + k P later than t (a start after T skips
            // the grid times before it).
            double& rep = state.repeat[static_cast<std::size_t>(k)];
            double r = rep + 1.0;
            if (e.time + r * e.period <= t) r = std::max(r, std::floor((t - e.time) / e.period) + 1.0);
            while (e.time + r * e.period <= t) r += 1.0;
            rep = r;
            next = e.time + r * e.period;
        }
        return true;
    }

    // One execution: every value first (or the values of trigger time),
    // then the assignments in order.
    bool execute(const PendingExecution& x, double t, std::vector<Reaction>& reactions,
                 std::vector<Compound>& sp, SimParams& p) {
        const ModelEvents::Event& e = events->event(x.event);
        values.clear();
        if (e.values_at_trigger && x.values.size() == e.assignments.size()) {
            values = x.values;
        } else {
            for (const ModelEvents::Assignment& a : e.assignments)
                values.push_back(eval(a.value, sp, p.volume));
        }
        for (std::size_t i = 0; i < e.assignments.size(); ++i) {
            const ModelEvents::Assignment& a = e.assignments[i];
            const double v = values[i];
            if (a.to_species) {
                const double n = round_count(v);
                if (!(n >= 0.0 && n <= 2147483647.0)) {
                    raise(p, RunFault::kEventSpecies, x.event, a.target, -1, t, v);
                    return false;
                }
                sp[static_cast<std::size_t>(a.target)].count = static_cast<int>(n);
            } else {
                if (!std::isfinite(v)) {
                    raise(p, RunFault::kEventParameter, x.event, -1, a.target, t, v);
                    return false;
                }
                state.parameters[static_cast<std::size_t>(a.target)] = v;
                put_parameter(reactions, a.target);
            }
        }
        return true;
    }

    static void log_execution(EventLog evlog, const SimParams& p, int& c, int event, double t) {
        if (p.eventlog_flag != 1 || p.eventlog_arraysize <= 0 || evlog.times == nullptr) return;
        if (c >= p.eventlog_arraysize) {
            if (evlog.drain == nullptr) return;  // a full log without a drain: not logged
            evlog.drain(evlog.drain_context, c);
            if (c >= p.eventlog_arraysize) return;
        }
        evlog.times[c] = t;
        evlog.rxns[c] = -static_cast<double>(event + 1);
        c = c + 1;
    }

    // Every execution due at t, in order; returns how many ran (-1 at a fault).
    int run_instant(double t, std::vector<Reaction>& reactions, std::vector<Compound>& sp,
                    SimParams& p, EventLog evlog, int& c) {
        int executed = 0;
        for (;;) {
            if (!fire_timed(t, sp, p)) return -1;
            // The due execution of highest priority; then the lower event
            // number; then the earlier trigger.
            int best = -1;
            double best_priority = 0.0;
            for (std::size_t i = 0; i < state.pending.size(); ++i) {
                const PendingExecution& x = state.pending[i];
                if (!(x.time <= t)) continue;
                const ModelEvents::Event& e = events->event(x.event);
                const double pr = e.priority ? eval(e.priority, sp, p.volume) : 0.0;
                if (best < 0) {
                    best = static_cast<int>(i);
                    best_priority = pr;
                    continue;
                }
                const PendingExecution& b = state.pending[static_cast<std::size_t>(best)];
                const bool before =
                    pr > best_priority ||
                    (pr == best_priority &&
                     (x.event < b.event || (x.event == b.event && x.order < b.order)));
                if (before) {
                    best = static_cast<int>(i);
                    best_priority = pr;
                }
            }
            if (best < 0) return executed;
            if (executed >= kMaxExecutionsPerInstant) {
                raise(p, RunFault::kEventCascade, state.pending[static_cast<std::size_t>(best)].event,
                      -1, -1, t, kMaxExecutionsPerInstant);
                return -1;
            }
            const PendingExecution x = std::move(state.pending[static_cast<std::size_t>(best)]);
            state.pending.erase(state.pending.begin() + best);
            if (!execute(x, t, reactions, sp, p)) return -1;
            ++executed;
            log_execution(evlog, p, c, x.event, t);
            test_conditions(t, sp, p);
            if (p.fault.raised()) return -1;
        }
    }

    // After an instant that changed the state: every propensity afresh and
    // the method's next firing drawn from t.
    void restart_method(std::vector<Reaction>& reactions, const ModelSizes& model,
                        std::vector<Compound>& sp, SimParams& p, double t) {
        update_rxn_prob_all(reactions, sp, p, model, t);
        method.start_run(reactions, model, sp, p, t);
    }

    static bool check_after_firing(void* context, double t) {
        Impl& im = *static_cast<Impl*>(context);
        if (im.test_conditions(t, *im.species, *im.params)) im.triggered = true;
        return im.triggered || im.params->fault.raised();
    }
};

EventedRun::EventedRun(RunMethod& method, const ModelEvents* events, RuleValues* rules)
    : impl_(std::make_unique<Impl>(method, events, rules)) {}

EventedRun::~EventedRun() = default;

bool EventedRun::has_events() const { return impl_->events != nullptr; }

const EventRunState& EventedRun::state() const { return impl_->state; }

RunMethod& EventedRun::method() { return impl_->method; }

void EventedRun::start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                           std::vector<Compound>& species, SimParams& params, double t,
                           const std::vector<double>& parameters, EventLog evlog,
                           int& event_count) {
    Impl& im = *impl_;
    if (im.events == nullptr) {
        im.restart_method(reactions, model, species, params, t);
        return;
    }
    const ModelEvents& ev = *im.events;
    EventRunState& st = im.state;
    st = EventRunState{};
    st.parameters.resize(ev.parameters().size());
    for (std::size_t p = 0; p < st.parameters.size(); ++p)
        st.parameters[p] = p < parameters.size() ? parameters[p] : ev.parameters()[p].value;
    im.put_all_parameters(reactions);
    const std::size_t n = static_cast<std::size_t>(ev.size());
    st.trigger_value.assign(n, 0);
    st.next_time.assign(n, kInfinity);
    st.repeat.assign(n, 0.0);
    for (int k = 0; k < ev.size(); ++k) {
        const ModelEvents::Event& e = ev.event(k);
        if (e.kind == TriggerKind::kWhen) {
            st.trigger_value[static_cast<std::size_t>(k)] = e.initial ? 1 : 0;
        } else {
            // A time at or before the start is due at the start.
            st.next_time[static_cast<std::size_t>(k)] = std::max(e.time, t);
            if (e.kind == TriggerKind::kEvery && e.time < t) st.repeat[static_cast<std::size_t>(k)] = -1.0;
        }
    }
    im.test_conditions(t, species, params);
    if (!params.fault.raised()) im.run_instant(t, reactions, species, params, evlog, event_count);
    im.restart_method(reactions, model, species, params, t);
}

void EventedRun::resume(std::vector<Reaction>& reactions, const ModelSizes&,
                        std::vector<Compound>&, SimParams&, const EventRunState& state) {
    Impl& im = *impl_;
    if (im.events == nullptr) return;
    im.state = state;
    im.state.parameters.resize(im.events->parameters().size());
    im.state.trigger_value.resize(static_cast<std::size_t>(im.events->size()), 0);
    im.state.next_time.resize(static_cast<std::size_t>(im.events->size()), kInfinity);
    im.state.repeat.resize(static_cast<std::size_t>(im.events->size()), 0.0);
    im.put_all_parameters(reactions);
}

void EventedRun::advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                         std::vector<Compound>& species, SimParams& params, EventLog evlog,
                         int& event_count, std::vector<int>& fire_count, double& t) {
    Impl& im = *impl_;
    if (im.events == nullptr) {
        im.method.advance(reactions, model, species, params, evlog, event_count, fire_count, t);
        return;
    }
    if (params.fault.raised()) return;
    const double target = next_snapshot_time(t, params.snapshot_interval);
    if (!(target > t)) {
        // No later boundary: the method's own call reports the stall.
        im.method.advance(reactions, model, species, params, evlog, event_count, fire_count, t);
        return;
    }
    const bool logging = params.eventlog_flag == 1 && params.eventlog_arraysize > 0;
    im.species = &species;
    im.params = &params;
    for (;;) {
        // Something due now (left by an instant's delays of 0 is impossible:
        // those ran in it; but a call may start on a due time).
        const double due = im.state.next_due();
        if (due <= t) {
            const int ran = im.run_instant(t, reactions, species, params, evlog, event_count);
            if (ran < 0) return;
            if (ran > 0) im.restart_method(reactions, model, species, params, t);
            if (params.fault.raised()) return;
            if (t >= target) return;
            if (logging && event_count >= params.eventlog_arraysize) return;
            continue;
        }
        const double stop = due < target ? due : kInfinity;
        params.stop_time = stop;
        if (im.events->needs_firing_check()) {
            params.event_check = &Impl::check_after_firing;
            params.event_check_context = &im;
        }
        im.triggered = false;
        im.method.advance(reactions, model, species, params, evlog, event_count, fire_count, t);
        params.stop_time = kInfinity;
        params.event_check = nullptr;
        params.event_check_context = nullptr;
        if (params.fault.raised()) return;
        // A call that ended for its own reason (a full log) has not tested
        // the conditions after its last firing; testing them again where
        // nothing changed finds nothing new.
        if (!im.triggered && im.events->needs_firing_check() &&
            im.test_conditions(t, species, params))
            im.triggered = true;
        if (params.fault.raised()) return;
        const bool reached_stop = stop < kInfinity && t >= stop;
        if (im.triggered || reached_stop || im.state.next_due() <= t) {
            const int ran = im.run_instant(t, reactions, species, params, evlog, event_count);
            if (ran < 0) return;
            if (ran > 0) im.restart_method(reactions, model, species, params, t);
            if (params.fault.raised()) return;
        }
        if (t >= target) return;
        if (logging && event_count >= params.eventlog_arraysize) return;
        // The method ended the call for its own reason (a tau leap's batch
        // near the log's end): the front end goes on as without events.
        if (!im.triggered && !reached_stop) return;
    }
}

}  // namespace plenta

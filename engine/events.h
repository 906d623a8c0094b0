// events.h - runs with events, for every method and every front end.
//
// EventedRun advances a run to its next snapshot boundary as the method's
// own interval run does, and executes the model's events on the way:
//
//  - the method's interval call is told to end at the next time something is
//    due (SimParams::stop_time: a timed trigger or a delayed execution); a
//    firing later than that stays pending and is never executed;
//  - when some `when` condition reads a species, the call tests the
//    conditions after every firing (after every tau leap) and ends right
//    after the firing that made one true (SimParams::event_check);
//  - at such an instant every execution due runs, one after another, higher
//    priority first and model order among equals, each seeing the state the
//    earlier ones left; conditions are evaluated again after each, and what
//    they newly trigger joins the instant.  Each execution is one entry
//    (time, -k) in the event log, k the event's number from 1;
//  - after an instant that executed something every propensity is computed
//    afresh for the new state and the method draws its next firing from the
//    event's time (RunMethod::start_run), the process being memoryless.
//
// Events draw no random numbers of their own.  A run without events (a null
// or empty ModelEvents) calls nothing but the method: its output and its
// speed are those of the method alone.
//
// Run faults of events (a species assigned a value that is not a count, a
// parameter assigned a value that is not finite, more than
// kMaxExecutionsPerInstant executions at one instant) are raised in
// SimParams::fault like the engine's own.
#ifndef PLENTA_ENGINE_EVENTS_H
#define PLENTA_ENGINE_EVENTS_H

#include <memory>
#include <vector>

#include "engine/engine.h"
#include "model/event.h"

namespace plenta {

// The defined methods behind the RunMethod interface: the direct method
// (algorithm 2), tau-leaping (3) and first-reaction selection (any other
// value), with the stoichiometry matrix the caller keeps (it must outlive
// the object).  start_run draws the first firing from the current ai as the
// console program always has (find_next_reaction_vesk from time t; for
// tau-leaping the tentative times drawn by update_rxn_prob_all are the
// state); advance is vesk or vesk_tau; sync_propensities does nothing (the
// reactions' ai are current after every call).
std::unique_ptr<RunMethod> make_defined_method(int algorithm, const StoichMatrix& matrix);

class EventedRun {
public:
    // `events` may be null or empty.  `rules`, when given, gets every
    // parameter change too (the values of monitored rules).  Both must
    // outlive the object.
    EventedRun(RunMethod& method, const ModelEvents* events, RuleValues* rules = nullptr);
    ~EventedRun();
    EventedRun(const EventedRun&) = delete;
    EventedRun& operator=(const EventedRun&) = delete;

    bool has_events() const;

    // A fresh run from time t, with the counts as given: the named
    // parameters take `parameters` (scope order; empty: the values as read)
    // in every formula reaction and rule that reads one; `when` conditions
    // are evaluated (a condition true there fires only when its `initial`
    // is false); timed triggers at or before t and conditions that fired
    // are executed at t (logged); then every propensity is computed
    // (update_rxn_prob_all at t) and the method draws its first firing
    // (RunMethod::start_run).  Without events this is exactly
    // update_rxn_prob_all and start_run.  Clears no fault; a fault raised
    // here shows in params.fault.
    void start_run(std::vector<Reaction>& reactions, const ModelSizes& model,
                   std::vector<Compound>& species, SimParams& params, double t,
                   const std::vector<double>& parameters, EventLog evlog, int& event_count);

    // Goes on with a run whose state a front end kept across calls (after
    // start_run in an earlier call): the state's parameter values are put
    // into the formula reactions and rules; nothing is evaluated, executed or
    // drawn.  The method's own kept state is the front end's business.
    void resume(std::vector<Reaction>& reactions, const ModelSizes& model,
                std::vector<Compound>& species, SimParams& params, const EventRunState& state);

    // The interval run of RunMethod::advance, with events: to the next
    // snapshot boundary after t (events due at the boundary itself are
    // executed before the call returns, so the snapshot there shows their
    // effect), or until the event log fills (then t is the time of the last
    // entry; the next call goes on toward the same boundary).  Event
    // entries that find the log full are handed to evlog.drain when there is
    // one, else left out.  Fire counts count reactions only.
    void advance(std::vector<Reaction>& reactions, const ModelSizes& model,
                 std::vector<Compound>& species, SimParams& params, EventLog evlog,
                 int& event_count, std::vector<int>& fire_count, double& t);

    // The run state of the events (for a front end that continues the run
    // in a later call), and the method.
    const EventRunState& state() const;
    RunMethod& method();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace plenta

#endif  // PLENTA_ENGINE_EVENTS_H

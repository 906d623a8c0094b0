// The tau-leaping interval run: exact-step stretches, critical reactions,
// the boundary, the order of random draws and the event log.  Where a test
// needs to know what was drawn it rewinds the generator (and the Poisson
// deviate's saved state) and repeats the draws the run is meant to make.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "engine_test_util.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

using testutil::Network;

struct RandomSnapshot {
    RanlibGeneratorState generator = *ranlib_generator_state();
    RanlibPoissonState poisson = *ranlib_poisson_state();
    void restore() const {
        *ranlib_generator_state() = generator;
        *ranlib_poisson_state() = poisson;
    }
    bool generator_equals_current() const {
        return std::memcmp(&generator, ranlib_generator_state(), sizeof generator) == 0;
    }
};

void use_tau_leaping(Network& net, int seed, double tau_error = 0.03) {
    net.params.algorithm = kTauLeaping;
    net.params.tau_error = tau_error;
    setall(seed, seed);
}

void set_log(Network& net, int capacity, int allocated, double fill = -7.0) {
    net.params.eventlog_flag = 1;
    net.params.eventlog_arraysize = capacity;
    // Fresh vectors, so that exactly `allocated` entries exist (assign would
    // keep the larger buffer that build() made).
    net.log_times = std::vector<double>(static_cast<std::size_t>(allocated), fill);
    net.log_rxns = std::vector<double>(static_cast<std::size_t>(allocated), fill);
}

void run_tau(Network& net, EventLog log) {
    vesk_tau(net.reactions, net.model, net.species, net.matrix, net.params, log, net.event_count,
             net.fire_count, net.t);
}
void run_tau(Network& net) { run_tau(net, net.event_log()); }

// Whether the run would leap (rather than step exactly) from the given
// counts, judged the way the run judges it: 10 / a0 against find_tau.
bool leap_condition(Network& probe, const std::vector<int>& counts) {
    for (std::size_t s = 0; s < counts.size(); ++s) probe.species[s].count = counts[s];
    double a0 = 0.0;
    for (int j = 0; j < probe.model.num_rxns; ++j) {
        probe.reactions[j].ai =
            calc_rxn_prob_vesk(probe.reactions[j], probe.species, probe.params, probe.model, j);
        a0 += probe.reactions[j].ai;
    }
    const double tau =
        find_tau(probe.model, probe.reactions, probe.species, probe.matrix, probe.params.tau_error);
    return !(10.0 / a0 > tau);
}

// ---- Boundaries and idle networks ----

TEST(VeskTau, IdleNetworkReturnsTheBoundaryUntouched) {
    // a0 = 0 and a0 = 1e-16 (below 1e-15): nothing fires, nothing is drawn.
    for (double k : {0.0, 1e-16}) {
        Network net = testutil::isomerisation(kTauLeaping, 1, 0, k, 0.0);
        use_tau_leaping(net, 11);
        set_log(net, 10, 10);
        net.start_run(2.5);
        net.event_count = 4;
        const RandomSnapshot before;
        run_tau(net);
        EXPECT_EQ(net.t, 3.0);
        EXPECT_EQ(net.counts(), (std::vector<int>{1, 0}));
        EXPECT_EQ(net.fire_count, (std::vector<int>{0, 0}));
        EXPECT_EQ(net.event_count, 4);
        EXPECT_EQ(net.log_times, std::vector<double>(10, -7.0));
        EXPECT_TRUE(before.generator_equals_current()) << "k = " << k;
    }
}

TEST(VeskTau, CallRunsToTheNextBoundary) {
    Network net = testutil::birth_death(kTauLeaping, 1, 50.0, 0.5, 100);
    use_tau_leaping(net, 12);
    net.start_run(1.0);
    run_tau(net);  // starts on a boundary: a whole interval
    EXPECT_EQ(net.t, 2.0);
    net.t = 2.5;
    const int fired = net.fire_count[0] + net.fire_count[1];
    run_tau(net);
    EXPECT_EQ(net.t, 3.0);
    EXPECT_GT(net.fire_count[0] + net.fire_count[1], fired);
    EXPECT_GT(fired, 0);
}

// ---- Exact steps ----

TEST(VeskTau, ExactStepOnTheBoundaryFiresAndOneBeyondStaysPending) {
    // A -> B with one A molecule: b = 1 and tau = 1 / a0 < 10 / a0, so the
    // run steps exactly.  The tentative time is set by hand.
    Network net = testutil::isomerisation(kTauLeaping, 1, 0, 1.0, 0.0);
    use_tau_leaping(net, 13);
    set_log(net, 10, 10);
    net.start_run(0.0);
    net.reactions[0].time = 1.0;
    run_tau(net);
    EXPECT_EQ(net.t, 1.0);
    EXPECT_EQ(net.counts(), (std::vector<int>{0, 1}));
    EXPECT_EQ(net.fire_count[0], 1);
    ASSERT_EQ(net.event_count, 1);
    EXPECT_EQ(net.log_times[0], 1.0);
    EXPECT_EQ(net.log_rxns[0], 1.0);

    Network late = testutil::isomerisation(kTauLeaping, 1, 0, 1.0, 0.0);
    use_tau_leaping(late, 13);
    set_log(late, 10, 10);
    late.start_run(0.0);
    const double pending = std::nextafter(1.0, 2.0);
    late.reactions[0].time = pending;
    run_tau(late);
    EXPECT_EQ(late.t, 1.0);
    EXPECT_EQ(late.counts(), (std::vector<int>{1, 0}));
    EXPECT_EQ(late.fire_count[0], 0);
    EXPECT_EQ(late.event_count, 0);
    EXPECT_EQ(late.reactions[0].time, pending);
    run_tau(late);  // the next call fires it at its own time
    EXPECT_EQ(late.t, 2.0);
    EXPECT_EQ(late.counts(), (std::vector<int>{0, 1}));
    ASSERT_EQ(late.event_count, 1);
    EXPECT_EQ(late.log_times[0], pending);
}

TEST(VeskTau, ExactStepThatFillsTheLogReturnsAtItsTime) {
    Network net = testutil::isomerisation(kTauLeaping, 3, 0, 1.0, 0.0);
    use_tau_leaping(net, 14);
    set_log(net, 2, 2);
    net.start_run(0.0);
    net.reactions[0].time = 0.25;
    net.event_count = 1;
    run_tau(net);
    EXPECT_EQ(net.event_count, 2);
    EXPECT_EQ(net.t, 0.25);
    EXPECT_EQ(net.log_times[1], 0.25);
    EXPECT_EQ(net.fire_count[0], 1);
    EXPECT_EQ(net.counts(), (std::vector<int>{2, 1}));
}

// Birth-death X: production at 1000 per unit time, decay 0.1 per molecule,
// from X = 0.  With tau_error 0.03 the run must step exactly until X is
// about 333 and may leap from there on.
TEST(VeskTau, TooShortLeapGivesStretchesOf101ExactSteps) {
    Network net = testutil::birth_death(kTauLeaping, 1, 1000.0, 0.1, 0);
    use_tau_leaping(net, 15);
    set_log(net, 5000, 5000);
    net.start_run(0.0);
    run_tau(net);

    // Leap entries share the leap's end time; exact steps have distinct times.
    int first_leap = -1;
    for (int e = 0; e + 1 < net.event_count; ++e) {
        if (net.log_times[e] == net.log_times[e + 1]) {
            first_leap = e;
            break;
        }
    }
    ASSERT_GT(first_leap, 0);
    EXPECT_EQ(first_leap % 101, 0) << "exact events before the first leap: " << first_leap;

    // Replay the logged events: at the start of every stretch the leap
    // condition failed, at the first leap it held, and inside the last
    // stretch there was a state that would have leapt had tau been chosen.
    Network probe = testutil::birth_death(kTauLeaping, 1, 1000.0, 0.1, 0);
    probe.params.tau_error = 0.03;
    int x = 0;
    bool leapable_inside_stretch = false;
    for (int e = 0; e <= first_leap; ++e) {
        const bool leap = leap_condition(probe, {1, x, (e - x) / 2});
        if (e % 101 == 0) {
            EXPECT_EQ(leap, e == first_leap) << "at event " << e;
        } else if (leap) {
            leapable_inside_stretch = true;
        }
        if (e < first_leap) x += net.log_rxns[e] == 1.0 ? 1 : -1;
    }
    EXPECT_TRUE(leapable_inside_stretch);
}

TEST(VeskTau, EveryCallChoosesTauAfresh) {
    // Snapshot interval 2^-10 with about one event per interval: an exact
    // stretch spans many calls, but each call judges the leap again.  A
    // leap is always cut at the boundary here, so its events carry time T.
    Network net = testutil::birth_death(kTauLeaping, 1, 1000.0, 0.1, 0);
    use_tau_leaping(net, 16);
    net.params.snapshot_interval = 1.0 / 1024.0;
    set_log(net, 100, 100);
    net.start_run(0.0);
    Network probe = testutil::birth_death(kTauLeaping, 1, 1000.0, 0.1, 0);
    probe.params.tau_error = 0.03;

    int leap_calls = 0;
    bool previous_exact = false;
    bool switched_mid_stretch = false;
    for (int call = 0; call < 1024 && leap_calls < 20; ++call) {
        const bool leap = leap_condition(probe, net.counts());
        const double boundary = next_snapshot_time(net.t, net.params.snapshot_interval);
        net.event_count = 0;
        run_tau(net);
        ASSERT_EQ(net.t, boundary);
        for (int e = 0; e < net.event_count; ++e) {
            if (leap)
                EXPECT_EQ(net.log_times[e], boundary) << "call " << call;
            else
                EXPECT_LT(net.log_times[e], boundary) << "call " << call;
        }
        if (leap) {
            ++leap_calls;
            if (previous_exact) switched_mid_stretch = true;
        }
        previous_exact = !leap;
    }
    EXPECT_EQ(leap_calls, 20);
    EXPECT_TRUE(switched_mid_stretch);
}

// ---- Leaps and critical reactions ----

TEST(VeskTau, LeapOfANonCriticalReactionAndItsDraws) {
    // G -> G + X at 20 per unit time (G's net change is 0, so the count of 1
    // does not make it critical); decay at rate 0 never fires.  X = 100000
    // gives tau = 150 >> 10 / a0, so one leap is cut to the boundary at 1.0.
    Network net = testutil::birth_death(kTauLeaping, 1, 20.0, 0.0, 100000);
    use_tau_leaping(net, 17);
    set_log(net, 1000, 1000);
    net.start_run(0.0);
    const RandomSnapshot before;
    run_tau(net);
    const int n = net.fire_count[0];
    EXPECT_EQ(net.t, 1.0);
    EXPECT_GT(n, 0);
    EXPECT_EQ(net.fire_count[1], 0);
    EXPECT_EQ(net.counts(), (std::vector<int>{1, 100000 + n, 0}));
    ASSERT_EQ(net.event_count, n);
    for (int e = 0; e < n; ++e) {
        EXPECT_EQ(net.log_times[e], 1.0);
        EXPECT_EQ(net.log_rxns[e], 1.0);
    }
    // No uniform for the critical time: the Poisson count comes first, then
    // the propensity update's one tentative time (decay has ai 0).
    const RandomSnapshot after;
    before.restore();
    EXPECT_EQ(my_poisson(20.0 * 1.0), n);
    ranf();
    EXPECT_TRUE(after.generator_equals_current());
}

TEST(VeskTau, NetProductionOfASubstrateMakesItsReactionCritical) {
    // A -> 2A: net change +1 at its own substrate, so critical at any count.
    // A is never consumed on net, so tau = 1000 and every pass leaps to the
    // critical time, firing exactly one event.
    Network net = testutil::empty_network(kTauLeaping);
    const int a = net.add_species(1000);
    net.add_reaction(kUniMulti, {a}, {a}, {1.0}, {}, {2});
    net.build();
    use_tau_leaping(net, 18);
    set_log(net, 100000, 100000);
    net.start_run(0.0);
    const RandomSnapshot before;
    run_tau(net);
    ASSERT_GT(net.event_count, 100);
    EXPECT_EQ(net.fire_count[0], net.event_count);
    EXPECT_EQ(net.species[a].count, 1000 + net.event_count);
    for (int e = 1; e < net.event_count; ++e) ASSERT_LT(net.log_times[e - 1], net.log_times[e]);

    // First pass: tau_c from one uniform, the choice from a second, then the
    // critical firing's propensity update.
    before.restore();
    const double tau_c = -std::log(static_cast<double>(ranf())) / 1000.0;
    EXPECT_EQ(net.log_times[0], 0.0 + tau_c);
}

TEST(VeskTau, CriticalFiringOfALeapCutAtTheBoundaryIsLoggedAtT) {
    // A -> 2A (critical, tau = 1000) at total propensity 5 from t = 0 with
    // boundary T = 0.3.  The first pass leaps to its critical time t1 and
    // fires; the second draws a critical time past T, so its leap is cut to
    // T - t1 and the chosen reaction fires at T.  The seed is picked so that
    // t1 + (T - t1) rounds away from T: the leap must still end on T itself
    // and fire the critical reaction once, not again in a left-over sliver.
    const double interval = 0.3;
    const double boundary = next_snapshot_time(0.0, interval);
    const double k = 0.005;  // a0 = 5 at A = 1000
    int seed = 0;
    double t1 = 0.0;
    for (int s = 1; s < 200000 && seed == 0; ++s) {
        setall(s, s);
        ranf();  // the tentative time drawn at the start of the run
        const double tau_c1 = -std::log(static_cast<double>(ranf())) / (k * 1000.0);
        ranf();  // the choice
        ranf();  // the tentative time after the critical firing
        const double tau_c2 = -std::log(static_cast<double>(ranf())) / (k * 1001.0);
        const double t = 0.0 + tau_c1;
        if (t < boundary && t + tau_c2 >= boundary && t + (boundary - t) != boundary) {
            seed = s;
            t1 = t;
        }
    }
    ASSERT_NE(seed, 0);

    Network net = testutil::empty_network(kTauLeaping);
    const int a = net.add_species(1000);
    net.add_reaction(kUniMulti, {a}, {a}, {k}, {}, {2});
    net.build();
    use_tau_leaping(net, seed);
    net.params.snapshot_interval = interval;
    set_log(net, 10, 10);
    net.start_run(0.0);
    run_tau(net);
    EXPECT_EQ(net.t, boundary);
    ASSERT_EQ(net.event_count, 2);
    EXPECT_EQ(net.log_times[0], t1);
    EXPECT_EQ(net.log_times[1], boundary);
    EXPECT_EQ(net.log_rxns[1], 1.0);
    EXPECT_EQ(net.species[a].count, 1002);
    EXPECT_EQ(net.fire_count[0], 2);
}

// ---- Event log ----

TEST(VeskTau, LoggingOffLeavesTheLogAlone) {
    Network net = testutil::birth_death(kTauLeaping, 1, 1000.0, 0.1, 0);
    use_tau_leaping(net, 20);
    set_log(net, 3, 3);
    net.params.eventlog_flag = 0;
    net.event_count = 3;  // full, yet the run neither writes nor stops early
    net.start_run(0.0);
    run_tau(net);
    EXPECT_EQ(net.t, 1.0);
    EXPECT_GT(net.fire_count[0], 500);
    EXPECT_EQ(net.event_count, 3);
    EXPECT_EQ(net.log_times, std::vector<double>(3, -7.0));
    EXPECT_EQ(net.log_rxns, std::vector<double>(3, -7.0));
}

struct DrainedLog {
    std::vector<double> times;
    std::vector<double> rxns;
    const double* buffer_times = nullptr;
    const double* buffer_rxns = nullptr;
    int drains = 0;
};

void drain_into(void* context, int& event_count) {
    DrainedLog& out = *static_cast<DrainedLog*>(context);
    out.times.insert(out.times.end(), out.buffer_times, out.buffer_times + event_count);
    out.rxns.insert(out.rxns.end(), out.buffer_rxns, out.buffer_rxns + event_count);
    event_count = 0;
    ++out.drains;
}

TEST(VeskTau, LeapBatchLargerThanTheLogIsDrainedWithoutLoss) {
    // Leaps of about 20 firings (one per interval) into a 5-entry log that is
    // allocated with exactly 5 entries, so that a sanitizer build sees any
    // write past the end.
    Network net = testutil::birth_death(kTauLeaping, 1, 20.0, 0.0, 100000);
    use_tau_leaping(net, 21);
    set_log(net, 5, 5);
    net.start_run(0.0);
    DrainedLog drained;
    drained.buffer_times = net.log_times.data();
    drained.buffer_rxns = net.log_rxns.data();
    EventLog log = net.event_log();
    log.drain = drain_into;
    log.drain_context = &drained;

    std::vector<int> per_leap;
    while (net.t < 3.0) {
        const int before = net.fire_count[0];
        run_tau(net, log);
        per_leap.push_back(net.fire_count[0] - before);
        // The front end empties a full log between calls.
        if (net.event_count == 5) drain_into(&drained, net.event_count);
    }
    drain_into(&drained, net.event_count);
    ASSERT_EQ(per_leap.size(), 3u);
    EXPECT_GT(drained.drains, 3 + 3);
    ASSERT_EQ(static_cast<int>(drained.times.size()), net.fire_count[0]);
    std::size_t e = 0;
    for (int leap = 0; leap < 3; ++leap) {
        for (int i = 0; i < per_leap[leap]; ++i, ++e) {
            EXPECT_EQ(drained.times[e], leap + 1.0);
            EXPECT_EQ(drained.rxns[e], 1.0);
        }
    }
}

TEST(VeskTau, LeapBatchWithoutDrainStopsAtCapacity) {
    // Capacity 5 inside an 8-entry buffer: entries 5..7 must stay untouched.
    Network net = testutil::birth_death(kTauLeaping, 1, 20.0, 0.0, 100000);
    use_tau_leaping(net, 22);
    set_log(net, 5, 8);
    net.start_run(0.0);
    run_tau(net);
    EXPECT_EQ(net.t, 1.0);  // early return after the batch, at the leap's end
    EXPECT_GT(net.fire_count[0], 5);
    EXPECT_EQ(net.event_count, 5);
    for (int e = 0; e < 5; ++e) EXPECT_EQ(net.log_times[e], 1.0);
    for (int e = 5; e < 8; ++e) {
        EXPECT_EQ(net.log_times[e], -7.0);
        EXPECT_EQ(net.log_rxns[e], -7.0);
    }
    // A full log and no drain: the next call runs unlogged to its boundary.
    const int fired = net.fire_count[0];
    run_tau(net);
    EXPECT_EQ(net.t, 2.0);
    EXPECT_GT(net.fire_count[0], fired);
    EXPECT_EQ(net.event_count, 5);
    for (int e = 5; e < 8; ++e) EXPECT_EQ(net.log_times[e], -7.0);
}

}  // namespace
}  // namespace plenta

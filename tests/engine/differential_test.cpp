// Differential test of the engine's interval runs: random models of every
// reaction type, run through the engine and through the reference copy of
// the plain code (reference_engine.h), must give the same trajectory bit for
// bit: every snapshot's counts and firing totals, every event-log entry, the
// propensities, tentative times and kept event after every call, and the
// generator's state at the end.  Runs follow the console program's driver:
// one seeded stream for all runs, parameter sets changing counts and rate
// constants, snapshot intervals that are not binary fractions, a small
// event log emptied whenever it fills.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "reference_engine.h"

namespace plenta {
namespace {

using testutil::Network;

// Everything a run can be seen to produce, in one flat list of doubles.
struct Trace {
    std::vector<double> values;
    bool suspect = false;  // a negative count or propensity seen (the old code let it run)
    std::string fault;     // the engine's fault, described
    std::size_t before_fault = 0;  // values recorded before the call that met it
    void add(double v) { values.push_back(v); }
};

struct Engine {
    decltype(&vesk) exact;
    decltype(&vesk_tau) tau;
    decltype(&update_rxn_prob_all) all;
    decltype(&find_next_reaction_vesk) next;
};

const Engine kProduct{&vesk, &vesk_tau, &update_rxn_prob_all, &find_next_reaction_vesk};
const Engine kReference{&reference::vesk, &reference::vesk_tau, &reference::update_rxn_prob_all,
                        &reference::find_next_reaction_vesk};

struct DrainContext {
    Trace* trace;
    const Network* net;
};

void record_log(Trace& trace, const Network& net, int count) {
    for (int e = 0; e < count; ++e) {
        trace.add(net.log_times[static_cast<std::size_t>(e)]);
        trace.add(net.log_rxns[static_cast<std::size_t>(e)]);
    }
}

void drain(void* context, int& count) {
    auto* d = static_cast<DrainContext*>(context);
    record_log(*d->trace, *d->net, count);
    count = 0;
}

void record_state(Trace& trace, const Network& net) {
    trace.add(net.t);
    for (const Compound& c : net.species) {
        trace.add(c.count);
        if (c.count < 0) trace.suspect = true;
    }
    for (int n : net.fire_count) trace.add(n);
    for (const Reaction& r : net.reactions) {
        trace.add(r.ai);
        trace.add(r.time);
        if (!(r.ai >= 0.0)) trace.suspect = true;
    }
    trace.add(net.params.total_prob);
    trace.add(net.params.next_time);
    trace.add(net.params.next_rxn);
}

// One model's parameter sets: counts and first rate constants per set.
struct Sets {
    std::vector<std::vector<int>> counts;
    std::vector<std::vector<double>> rates;
};

// Runs every set (two runs each) as the console driver does, from time
// start to time_end; stops at a fault.
Trace run_all(Network net, const Sets& sets, const Engine& engine, double time_end,
              std::uint32_t seed, double start_time = 0.0) {
    Trace trace;
    setall(static_cast<std::int32_t>(seed), static_cast<std::int32_t>(seed));
    *ranlib_poisson_state() = RanlibPoissonState{};
    DrainContext context{&trace, &net};
    for (std::size_t s = 0; s < sets.counts.size(); ++s) {
        for (int run = 0; run < 2; ++run) {
            for (std::size_t i = 0; i < net.species.size(); ++i) net.species[i].count = sets.counts[s][i];
            for (std::size_t j = 0; j < net.reactions.size(); ++j) net.reactions[j].rates[0].value = sets.rates[s][j];
            std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
            net.params.fault = RunFault{};
            engine.all(net.reactions, net.species, net.params, net.model, start_time);
            engine.next(net.params.next_time, net.params.next_rxn, net.params.total_prob,
                        net.reactions, net.params.algorithm, 1, net.model, start_time);
            net.t = start_time;
            net.event_count = 0;
            EventLog log = net.event_log();
            if (net.params.eventlog_flag == 1) {
                log.drain = drain;
                log.drain_context = &context;
            }
            const double start = net.t;
            int calls = 0;
            while (span_continues(net.t, start, time_end, net.params.snapshot_interval)) {
                if (net.params.algorithm == kTauLeaping)
                    engine.tau(net.reactions, net.model, net.species, net.matrix, net.params, log,
                               net.event_count, net.fire_count, net.t);
                else
                    engine.exact(net.reactions, net.model, net.species, net.matrix, net.params,
                                 log, net.event_count, net.fire_count, net.t);
                const std::size_t before = trace.values.size();
                record_state(trace, net);
                if (net.params.fault.raised()) {
                    trace.before_fault = before;
                    trace.fault = describe_run_fault(net.params.fault);
                    trace.add(-1.0);
                    trace.add(net.params.fault.kind);
                    return trace;
                }
                if (net.params.eventlog_flag == 1 && net.event_count >= net.params.eventlog_arraysize)
                    drain(&context, net.event_count);
                if (++calls > 3000000) {
                    ADD_FAILURE() << "no end of the run at time " << net.t;
                    return trace;
                }
            }
            record_log(trace, net, net.event_count);
        }
    }
    const RanlibGeneratorState& g = *ranlib_generator_state();
    trace.add(g.Xcg1[g.curntg - 1]);
    trace.add(g.Xcg2[g.curntg - 1]);
    trace.add(static_cast<double>(g.Xndraw));
    return trace;
}

// A random network of n species and m reactions, every type possible.
struct RandomModel {
    Network net;
    Sets sets;
};

// What random models look like: any reaction types on up to 34 species, or
// the mass-action types only on 2 to max_species species (the direct
// method's small loop at each of its sizes; first-reaction selection by the
// heap of tentative times from 32 reactions on).
struct Shape {
    bool mass_action = false;
    int min_rxns = 1;
    int max_rxns = 9;
    int max_species = 32;
};

RandomModel random_model(std::mt19937& rng, int algorithm, const Shape& shape = Shape{}) {
    const bool mass_action = shape.mass_action;
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    RandomModel m;
    Network& net = m.net;
    net = testutil::empty_network(algorithm);
    const int undef_species = 34;  // the built-in formulas read species up to 33
    const int n = mass_action ? pick(2, shape.max_species) : pick(0, 3) == 0 ? undef_species : pick(2, 7);
    for (int i = 0; i < n; ++i) net.add_species(pick(0, 3) == 0 ? pick(0, 5) : pick(20, 400));
    const int num_rxns = pick(shape.min_rxns, shape.max_rxns);
    const int mass_action_types[] = {kBinding, kUniqueBiBi, kUnbinding, kUniUni, kUniMulti, kHomoLtor};
    auto sp = [&]() { return pick(0, n - 1); };
    auto other = [&](int s) { return (s + pick(1, n - 1)) % n; };
    for (int j = 0; j < num_rxns; ++j) {
        const int type = mass_action ? mass_action_types[pick(0, 5)] : pick(0, kNumRxnTypes - 1);
        const double k = real(0.001, 2.0);
        switch (type) {
            case kBinding: {
                // Two distinct species: A + A at one molecule would fire into -1.
                const int a = sp();
                net.add_reaction(kBinding, {a, other(a)}, {sp()}, {k / 50});
                break;
            }
            case kUniqueBiBi: net.add_reaction(kUniqueBiBi, {sp(), sp()}, {sp(), sp()}, {k / 50}); break;
            case kUnbinding: net.add_reaction(kUnbinding, {sp()}, {sp(), sp()}, {k}); break;
            case kUniUni: net.add_reaction(kUniUni, {sp()}, {sp()}, {k}); break;
            // Products other than the substrate: 2 A -> A (whose row is +1,
            // the product being set after the substrates) or A -> 2 A would
            // let the counts explode within the span.
            case kUniMulti: {
                const int s = sp();
                net.add_reaction(kUniMulti, {s}, {other(s), other(s)}, {k}, {}, {pick(1, 2), pick(0, 1)});
                break;
            }
            case kHomoLtor: {
                const int s = sp();
                net.add_reaction(kHomoLtor, {s, s}, {other(s)}, {k / 100});
                break;
            }
            case kTransv1: net.add_reaction(kTransv1, {sp(), sp()}, {sp()}, {k}, {1, pick(1, 2)}, {1}); break;
            case kGenmm: net.add_reaction(kGenmm, {sp(), sp(), sp()}, {sp()}, {k, real(1, 50), real(1, 50)}, {1, 1, pick(1, 2)}, {pick(1, 2)}); break;
            case kNOrder: {
                // Order 2 (a source of order 0 consuming substrates would
                // fire into negative counts, where the plain code never ends).
                net.add_reaction(kNOrder, {sp(), sp()}, {sp()}, {k / 20, 2.0}, {1, 1}, {1}, {1.0, 1.0});
                break;
            }
            default: {
                // A built-in formula that reads species within this network;
                // its substrate is the first species it reads, so that it
                // cannot fire without one.
                int id = pick(0, 37);
                while (rxn_prob_undef_max_species(id) >= n) id = pick(0, 37);
                Reaction probe;
                probe.id = id;
                probe.rates.resize(2);
                int reads = 0;
                for (int s = 0; s < n; ++s) {
                    std::vector<Compound> one(static_cast<std::size_t>(n));
                    for (Compound& c : one) c.count = 1;
                    one[static_cast<std::size_t>(s)].count = 0;
                    probe.rates[0].value = probe.rates[1].value = 1.0;
                    if (rxn_prob_undef(probe, one) == 0.0) { reads = s; break; }
                }
                const int j0 = net.add_reaction(kUndef, {reads}, {sp()}, {k / 1e15, k / 1e15}, {1}, {1});
                net.reactions[static_cast<std::size_t>(j0)].id = id;
                break;
            }
        }
    }
    net.params.snapshot_interval = std::vector<double>{0.1, 0.3, 1.0 / 3.0, 0.7, 0.25}[static_cast<std::size_t>(pick(0, 4))];
    net.params.volume = real(0.5, 3.0);
    net.params.tau_error = std::vector<double>{0.03, 0.1, 0.3}[static_cast<std::size_t>(pick(0, 2))];
    net.params.eventlog_flag = pick(0, 1);
    net.params.eventlog_arraysize = pick(1, 3) == 1 ? 1 : pick(2, 60);
    net.build();
    for (int s = 0; s < pick(1, 3); ++s) {
        std::vector<int> counts;
        for (const Compound& c : net.species) counts.push_back(s == 0 ? c.count : pick(0, 300));
        std::vector<double> rates;
        for (const Reaction& r : net.reactions) rates.push_back(s == 0 ? r.rates[0].value : r.rates[0].value * real(0.5, 2.0));
        m.sets.counts.push_back(counts);
        m.sets.rates.push_back(rates);
    }
    return m;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

void compare_random_models(int algorithm, int models, std::uint32_t salt, const Shape& shape = Shape{}) {
    std::mt19937 rng(20261208u + salt);
    int compared = 0;
    int faulted = 0;
    for (int i = 0; i < models; ++i) {
        RandomModel m = random_model(rng, algorithm, shape);
        const double time_end = m.net.params.snapshot_interval * (algorithm == kTauLeaping ? 5 : 3);
        const std::uint32_t seed = 1 + rng() % 2000000000u;
        const Trace want = run_all(m.net, m.sets, kReference, time_end, seed);
        const Trace got = run_all(m.net, m.sets, kProduct, time_end, seed);
        if (!got.fault.empty()) {
            // The engine stopped at a fault (a count below 0: the plain code
            // ran on with it).  Every call before that one agrees.
            ++faulted;
            ASSERT_LE(got.before_fault, want.values.size());
            EXPECT_TRUE(same_bits(std::vector<double>(want.values.begin(), want.values.begin() + static_cast<long>(got.before_fault)),
                                  std::vector<double>(got.values.begin(), got.values.begin() + static_cast<long>(got.before_fault))))
                << "model " << i << ": the calls before the fault differ";
            EXPECT_NE(got.fault.find("below 0"), std::string::npos) << got.fault;
            continue;
        }
        // A negative count the plain code passed through is a fault of the engine.
        EXPECT_FALSE(want.suspect) << "model " << i << ": negative count without a fault";
        ASSERT_TRUE(same_bits(want.values, got.values))
            << "model " << i << " (algorithm " << algorithm << ", seed " << seed << "): "
            << want.values.size() << " vs " << got.values.size() << " values " << got.fault;
        ++compared;
    }
    EXPECT_GT(compared, models / 2) << faulted << " models met a fault";
}

TEST(Differential, DirectMethodMatchesTheReference) { compare_random_models(kDirectMethod, 80, 1); }
TEST(Differential, FirstReactionMatchesTheReference) { compare_random_models(1, 80, 2); }
TEST(Differential, TauLeapingMatchesTheReference) { compare_random_models(kTauLeaping, 80, 3); }
TEST(Differential, MassActionNetworksMatchTheReference) {
    for (int algorithm : {kDirectMethod, 1, kTauLeaping}) {
        SCOPED_TRACE(algorithm);
        compare_random_models(algorithm, 80, 4 + static_cast<std::uint32_t>(algorithm), Shape{true, 1, 16, 32});
    }
}
TEST(Differential, LargerMassActionNetworksMatchTheReference) {
    for (int algorithm : {kDirectMethod, 1}) {
        SCOPED_TRACE(algorithm);
        compare_random_models(algorithm, 12, 8 + static_cast<std::uint32_t>(algorithm), Shape{true, 32, 80, 40});
    }
}

// First-reaction selection keys the tentative times by lower bounds and
// takes the exact times only of those that may be the earliest; equal times
// go to the lower index.  Rings of first-order reactions with equal rate
// constants and counts, far from time 0 (one ulp of the time ~ 1.2e-7) with
// propensities ~ 1e6, give tentative times a few ulps apart: many ties and
// near-ties, under the small loop (4, 8, 16 reactions), the general one
// and the heap (from 32 reactions on).
TEST(Differential, FirstReactionTiesMatchTheReference) {
    for (int n : {3, 7, 12, 20, 40}) {
        SCOPED_TRACE(n);
        Network net = testutil::empty_network(1);
        for (int i = 0; i < n; ++i) net.add_species(1000);
        for (int i = 0; i < n; ++i) net.add_reaction(kUniUni, {i}, {(i + 1) % n}, {1000.0});
        const double start = 1e9;
        net.params.snapshot_interval = 1e-4 / 3.0 * 2.0;
        net.params.eventlog_flag = 1;
        net.params.eventlog_arraysize = 50;
        net.build();
        Sets sets;
        sets.counts.push_back(std::vector<int>(static_cast<std::size_t>(n), 1000));
        sets.rates.push_back(std::vector<double>(static_cast<std::size_t>(n), 1000.0));
        const double end = start + 2e-4;
        const Trace want = run_all(net, sets, kReference, end, 77u + static_cast<std::uint32_t>(n), start);
        const Trace got = run_all(net, sets, kProduct, end, 77u + static_cast<std::uint32_t>(n), start);
        ASSERT_TRUE(got.fault.empty()) << got.fault;
        EXPECT_TRUE(same_bits(want.values, got.values)) << want.values.size() << " vs " << got.values.size();
        // The runs did meet equal times: the log holds (time, reaction)
        // pairs, the state (propensity, time) pairs per reaction.
        int ties = 0;
        for (std::size_t k = 2; k < got.values.size(); ++k)
            if (got.values[k] > start && got.values[k] == got.values[k - 2]) ++ties;
        EXPECT_GT(ties, 10);
    }
}

}  // namespace
}  // namespace plenta

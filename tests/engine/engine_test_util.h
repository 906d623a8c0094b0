// engine_test_util.h - tiny reaction networks built in code for the engine
// tests, and the set-up of a run as the front ends do it.
#ifndef PLENTA_TESTS_ENGINE_ENGINE_TEST_UTIL_H
#define PLENTA_TESTS_ENGINE_ENGINE_TEST_UTIL_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "model/model.h"
#include "random/ranlib.h"

namespace plenta {
namespace testutil {

// A whole model with its run state, zero-filled like a front end's records.
struct Network {
    std::vector<Reaction> reactions;
    ModelSizes model;
    std::vector<Compound> species;
    SimParams params;
    StoichMatrix matrix;
    std::vector<int> fire_count;
    std::vector<double> log_times;
    std::vector<double> log_rxns;
    int event_count = 0;
    double t = 0.0;

    int add_species(int count) {
        Compound c;
        c.count = count;
        species.push_back(c);
        model.num_cmpds = static_cast<int>(species.size());
        return model.num_cmpds - 1;
    }

    // Adds a reaction of the given type; coefficient lists may be left empty
    // for the types that carry none.
    int add_reaction(RxnType type, std::vector<int> subs, std::vector<int> prods,
                     std::vector<double> rates, std::vector<int> subs_coef = {},
                     std::vector<int> prods_coef = {}, std::vector<double> subs_order = {}) {
        Reaction r;
        std::strncpy(r.rxntype, kRxnTypeNames[type], kNameLen - 1);
        r.rxn_index = type;
        r.id = static_cast<int>(reactions.size());
        const int ns = static_cast<int>(subs.size());
        const int np = static_cast<int>(prods.size());
        subs_coef.resize(subs.size(), 0);
        prods_coef.resize(prods.size(), 0);
        subs_order.resize(subs.size(), 0.0);
        r.subs_index = std::move(subs);
        r.subs_coef = std::move(subs_coef);
        r.subs_order = std::move(subs_order);
        r.prods_index = std::move(prods);
        r.prods_coef = std::move(prods_coef);
        r.num_rates = static_cast<int>(rates.size());
        for (double v : rates) {
            RateConstant k;
            k.value = v;
            r.rates.push_back(k);
        }
        reactions.push_back(std::move(r));
        model.num_subs.push_back(ns);
        model.num_prods.push_back(np);
        model.num_rxns = static_cast<int>(reactions.size());
        return model.num_rxns - 1;
    }

    // Dependency lists, stoichiometry matrix, firing counters and a log
    // buffer of params.eventlog_arraysize entries (set it before).
    void build() {
        calc_dependency(model, reactions);
        matrix = StoichMatrix(model.num_rxns, model.num_cmpds);
        create_stoich_matrix(model, reactions, matrix);
        fire_count.assign(static_cast<std::size_t>(model.num_rxns), 0);
        const int cap = params.eventlog_arraysize > 0 ? params.eventlog_arraysize : 0;
        log_times.assign(static_cast<std::size_t>(cap), 0.0);
        log_rxns.assign(static_cast<std::size_t>(cap), 0.0);
    }

    // Start of a run at time t0: all propensities (and tentative times) and
    // the first event into the kept state.
    void start_run(double t0 = 0.0) {
        t = t0;
        update_rxn_prob_all(reactions, species, params, model, t0);
        find_next_reaction_vesk(params.next_time, params.next_rxn, params.total_prob, reactions,
                                params.algorithm, 1, model, t0);
    }

    EventLog event_log() {
        EventLog log;
        log.times = log_times.data();
        log.rxns = log_rxns.data();
        return log;
    }

    // One interval call of the exact methods.
    void run_interval() {
        vesk(reactions, model, species, matrix, params, event_log(), event_count, fire_count, t);
    }

    std::vector<int> counts() const {
        std::vector<int> out;
        for (const Compound& c : species) out.push_back(c.count);
        return out;
    }
};

// Default parameters: volume 1, snapshot interval 1, no event log.
inline Network empty_network(int algorithm) {
    Network net;
    net.params.volume = 1.0;
    net.params.algorithm = algorithm;
    net.params.snapshot_interval = 1.0;
    net.params.eventlog_arraysize = 1000;
    return net;
}

// Dimerisation-decay: S1 -> (c=1); 2 S1 -> S2 (c=0.002); S2 -> 2 S1 (c=0.5);
// S2 -> S3 (c=0.04).  The first reaction's product is a sink species.
inline Network dimerisation_decay(int algorithm, int s1 = 100000) {
    Network net = empty_network(algorithm);
    const int a = net.add_species(s1);
    const int b = net.add_species(0);
    const int c = net.add_species(0);
    const int sink = net.add_species(0);
    net.add_reaction(kUniUni, {a}, {sink}, {1.0});
    net.add_reaction(kHomoLtor, {a, a}, {b}, {0.002});
    net.add_reaction(kUniMulti, {b}, {a}, {0.5}, {}, {2});
    net.add_reaction(kUniUni, {b}, {c}, {0.04});
    net.build();
    return net;
}

// Isomerisation A <-> B with rates kf, kb.
inline Network isomerisation(int algorithm, int a0, int b0, double kf, double kb) {
    Network net = empty_network(algorithm);
    const int a = net.add_species(a0);
    const int b = net.add_species(b0);
    net.add_reaction(kUniUni, {a}, {b}, {kf});
    net.add_reaction(kUniUni, {b}, {a}, {kb});
    net.build();
    return net;
}

// Birth-death: a source species G (constant count g) makes X at rate k*g
// ("uni-multi" G -> G + X), X decays at rate d per molecule.  Stationary
// mean of X: k g / d.
inline Network birth_death(int algorithm, int g, double k, double d, int x0 = 0) {
    Network net = empty_network(algorithm);
    const int gs = net.add_species(g);
    const int x = net.add_species(x0);
    const int sink = net.add_species(0);
    net.add_reaction(kUniMulti, {gs}, {gs, x}, {k}, {}, {1, 1});
    net.add_reaction(kUniUni, {x}, {sink}, {d});
    net.build();
    return net;
}

// A copy of the generator state: restore() rewinds the stream to it, so a
// test can compare what was drawn with what the next draws would have been.
struct GeneratorSnapshot {
    RanlibGeneratorState saved = *ranlib_generator_state();
    void restore() const { *ranlib_generator_state() = saved; }
};

// Sets the current generator so that, after `skip` further draws, the next
// ignlgi() returns z (1 <= z < 2147483562).  Each component is a
// multiplicative congruential generator s -> a s mod m, so the state that
// leads to a chosen pair of component values is found by multiplying with
// the inverse multiplier a^(m-2) mod m (m is prime).  The pair chosen is
// s1 = z + 1, s2 = 1, whose difference is z.  Call after setall.
inline std::uint64_t mulmod(std::uint64_t a, std::uint64_t b, std::uint64_t m) { return a * b % m; }
inline std::uint64_t powmod(std::uint64_t a, std::uint64_t e, std::uint64_t m) {
    std::uint64_t r = 1;
    for (a %= m; e; e >>= 1, a = mulmod(a, a, m))
        if (e & 1) r = mulmod(r, a, m);
    return r;
}
inline void prime_ignlgi(int skip, std::int32_t z) {
    RanlibGeneratorState& st = *ranlib_generator_state();
    const std::uint64_t m1 = static_cast<std::uint64_t>(st.Xm1), m2 = static_cast<std::uint64_t>(st.Xm2);
    const std::uint64_t inv1 = powmod(static_cast<std::uint64_t>(st.Xa1), m1 - 2, m1);
    const std::uint64_t inv2 = powmod(static_cast<std::uint64_t>(st.Xa2), m2 - 2, m2);
    std::uint64_t s1 = static_cast<std::uint64_t>(z) + 1, s2 = 1;
    for (int i = 0; i <= skip; i++) {
        s1 = mulmod(s1, inv1, m1);
        s2 = mulmod(s2, inv2, m2);
    }
    const int g = st.curntg - 1;
    st.Xcg1[g] = static_cast<std::int32_t>(s1);
    st.Xcg2[g] = static_cast<std::int32_t>(s2);
}

}  // namespace testutil
}  // namespace plenta

#endif  // PLENTA_TESTS_ENGINE_ENGINE_TEST_UTIL_H

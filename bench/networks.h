// networks.h - reaction networks built in code for the benchmarks, and the
// set-up of a run as the front ends do it.
#ifndef PLENTA_BENCH_NETWORKS_H
#define PLENTA_BENCH_NETWORKS_H

#include <algorithm>
#include <vector>

#include "engine/engine.h"
#include "model/model.h"

namespace plenta {
namespace bench {

// A model with its run state and an event-log buffer.
struct BenchNetwork {
    std::vector<Reaction> reactions;
    ModelSizes model;
    std::vector<Compound> species;
    std::vector<Compound> initial;  // counts at the start of every run
    SimParams params;
    StoichMatrix matrix;
    std::vector<int> fire_count;
    std::vector<double> log_times;
    std::vector<double> log_rxns;
    int event_count = 0;
    double t = 0.0;
};

inline int add_species(BenchNetwork& net, int count) {
    Compound c;
    c.count = count;
    net.species.push_back(c);
    net.model.num_cmpds = static_cast<int>(net.species.size());
    return net.model.num_cmpds - 1;
}

// One reaction of a type whose substrates carry no coefficients; products
// get coefficients only where given (types "uni-multi" and 6..9).
inline void add_reaction(BenchNetwork& net, RxnType type, std::vector<int> subs,
                         std::vector<int> prods, double rate, std::vector<int> prods_coef = {}) {
    Reaction r;
    r.rxn_index = type;
    r.id = net.model.num_rxns;
    net.model.num_subs.push_back(static_cast<int>(subs.size()));
    net.model.num_prods.push_back(static_cast<int>(prods.size()));
    r.subs_coef.assign(subs.size(), 0);
    r.subs_order.assign(subs.size(), 0.0);
    prods_coef.resize(prods.size(), 0);
    r.subs_index = std::move(subs);
    r.prods_index = std::move(prods);
    r.prods_coef = std::move(prods_coef);
    r.num_rates = 1;
    r.rates.resize(1);
    r.rates[0].value = rate;
    net.reactions.push_back(std::move(r));
    net.model.num_rxns = static_cast<int>(net.reactions.size());
}

// Dependency lists, matrix, counters and a log buffer.
inline void finish(BenchNetwork& net, int algorithm, double snapshot_interval) {
    net.params.volume = 1.0;
    net.params.algorithm = algorithm;
    net.params.snapshot_interval = snapshot_interval;
    net.params.eventlog_flag = 0;
    net.params.eventlog_arraysize = 1000000;
    calc_dependency(net.model, net.reactions);
    net.matrix = StoichMatrix(net.model.num_rxns, net.model.num_cmpds);
    create_stoich_matrix(net.model, net.reactions, net.matrix);
    net.fire_count.assign(static_cast<std::size_t>(net.model.num_rxns), 0);
    net.log_times.assign(static_cast<std::size_t>(net.params.eventlog_arraysize), 0.0);
    net.log_rxns.assign(static_cast<std::size_t>(net.params.eventlog_arraysize), 0.0);
    net.initial = net.species;
}

// Dimerisation-decay (Gillespie's test network): S1 -> sink (c = 1),
// 2 S1 -> S2 (c = 0.002), S2 -> 2 S1 (c = 0.5), S2 -> S3 (c = 0.04);
// S1 = 100000, the others 0, volume 1.
inline BenchNetwork dimerisation_decay_network(int algorithm, double snapshot_interval = 1.0) {
    BenchNetwork net;
    const int s1 = add_species(net, 100000);
    const int s2 = add_species(net, 0);
    const int s3 = add_species(net, 0);
    const int sink = add_species(net, 0);
    add_reaction(net, kUniUni, {s1}, {sink}, 1.0);
    add_reaction(net, kHomoLtor, {s1, s1}, {s2}, 0.002);
    add_reaction(net, kUniMulti, {s2}, {s1}, 0.5, {2});
    add_reaction(net, kUniUni, {s2}, {s3}, 0.04);
    finish(net, algorithm, snapshot_interval);
    return net;
}

// A ring of n species, A_i -> A_{i+1 mod n} ("uni-uni", c = 1), with
// `count` molecules per species: n reactions, a stationary event rate.
inline BenchNetwork ring_network(int n, int count, int algorithm, double snapshot_interval = 0.01) {
    BenchNetwork net;
    for (int i = 0; i < n; i++) add_species(net, count);
    for (int i = 0; i < n; i++) add_reaction(net, kUniUni, {i}, {(i + 1) % n}, 1.0);
    finish(net, algorithm, snapshot_interval);
    return net;
}

// Start of a run at time 0: initial counts, every propensity (and tentative
// time), and the first event into the kept state.
inline void start_run(BenchNetwork& net) {
    net.species = net.initial;
    net.t = 0.0;
    net.event_count = 0;
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    find_next_reaction_vesk(net.params.next_time, net.params.next_rxn, net.params.total_prob,
                            net.reactions, net.params.algorithm, 1, net.model, 0.0);
}

// One interval call of the exact methods.
inline void run_interval(BenchNetwork& net) {
    EventLog log;
    log.times = net.log_times.data();
    log.rxns = net.log_rxns.data();
    vesk(net.reactions, net.model, net.species, net.matrix, net.params, log, net.event_count,
         net.fire_count, net.t);
}

inline long long total_firings(const BenchNetwork& net) {
    long long n = 0;
    for (int f : net.fire_count) n += f;
    return n;
}

// ---- Large networks (composition-rejection benchmarks) ----

// Dependency lists by the rule of calc_dependency (j depends on i when a
// substrate of j is a substrate or a product of i), found through an index
// from each species to the reactions that read it instead of calc_dependency's
// scan of all pairs, which takes minutes at 10^5 reactions.  Same lists.
inline void fast_dependency(BenchNetwork& net) {
    const int n = net.model.num_rxns;
    std::vector<std::vector<int>> readers(static_cast<std::size_t>(net.model.num_cmpds));
    for (int j = 0; j < n; j++)
        for (int l = 0; l < net.model.num_subs[j]; l++) {
            std::vector<int>& r = readers[static_cast<std::size_t>(net.reactions[j].subs_index[l])];
            if (r.empty() || r.back() != j) r.push_back(j);
        }
    net.model.num_deps.assign(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; i++) {
        std::vector<int> deps;
        const Reaction& r = net.reactions[i];
        for (int k = 0; k < net.model.num_subs[i]; k++)
            for (int j : readers[static_cast<std::size_t>(r.subs_index[k])]) deps.push_back(j);
        for (int k = 0; k < net.model.num_prods[i]; k++)
            for (int j : readers[static_cast<std::size_t>(r.prods_index[k])]) deps.push_back(j);
        std::sort(deps.begin(), deps.end());
        deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
        net.model.num_deps[i] = static_cast<int>(deps.size());
        net.reactions[i].dependents = std::move(deps);
    }
}

// The ring of ring_network with the fast dependency build; the dense matrix
// (num_rxns x num_cmpds entries, 40 GB at 10^5) only when `dense_matrix`,
// since composition-rejection keeps its own sparse rows.
inline BenchNetwork large_ring_network(int n, int count, int algorithm, double snapshot_interval,
                                       bool dense_matrix) {
    BenchNetwork net;
    for (int i = 0; i < n; i++) add_species(net, count);
    for (int i = 0; i < n; i++) add_reaction(net, kUniUni, {i}, {(i + 1) % n}, 1.0);
    net.params.volume = 1.0;
    net.params.algorithm = algorithm;
    net.params.snapshot_interval = snapshot_interval;
    net.params.eventlog_flag = 0;
    net.params.eventlog_arraysize = 1;
    fast_dependency(net);
    if (dense_matrix) {
        net.matrix = StoichMatrix(net.model.num_rxns, net.model.num_cmpds);
        create_stoich_matrix(net.model, net.reactions, net.matrix);
    }
    net.fire_count.assign(static_cast<std::size_t>(net.model.num_rxns), 0);
    net.log_times.assign(1, 0.0);
    net.log_rxns.assign(1, 0.0);
    net.initial = net.species;
    return net;
}

// Start of a run by composition-rejection: every propensity, the state from
// them and the first event.
inline void start_run_cr(BenchNetwork& net, CrState& st) {
    net.species = net.initial;
    net.t = 0.0;
    net.event_count = 0;
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    cr_build(st, net.reactions, net.model, net.species);
    find_next_reaction_cr(net.params.next_time, net.params.next_rxn, net.params.total_prob, st,
                          0.0);
}

inline void run_interval_cr(BenchNetwork& net, CrState& st) {
    EventLog log;
    log.times = net.log_times.data();
    log.rxns = net.log_rxns.data();
    vesk_cr(st, net.reactions, net.model, net.species, net.params, log, net.event_count,
            net.fire_count, net.t);
}

}  // namespace bench
}  // namespace plenta

#endif  // PLENTA_BENCH_NETWORKS_H

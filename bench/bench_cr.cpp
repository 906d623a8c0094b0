// Event throughput of composition-rejection and the rejection-based method
// against the direct method, on rings of 10 to 100,000 reactions and on the
// dimerisation-decay network, with the event log off.  "events" is firings per second.
//
//   build-j/bench/plenta_bench --benchmark_filter='Cr|Rssa|Direct(Ring|Dimer)'
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include "engine/rssa.h"
#include "networks.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

// A ring of n reactions with 100 molecules per species fires about 100 n
// times per unit time; the interval, a power of two so that the boundaries
// are exact, is chosen for about 1000 firings per iteration.
double ring_interval(int n) { return std::ldexp(1.0, -static_cast<int>(std::lround(std::log2(n / 10.0)))); }

// Firings are counted from fire_count, whose sum costs n additions: it is
// taken once every 1024 iterations (and at the end), when the 32-bit
// counters are also cleared, so that the count does not weigh on large rings.
struct FiringTally {
    long long events = 0;
    long long iterations = 0;
    void after_iteration(bench::BenchNetwork& net) {
        if ((++iterations & 1023) == 0) take(net);
    }
    void take(bench::BenchNetwork& net) {
        events += bench::total_firings(net);
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
    }
};

void BM_DirectRing(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    setall(1234, 1234);
    bench::BenchNetwork net = bench::large_ring_network(n, 100, kDirectMethod, ring_interval(n), true);
    bench::start_run(net);
    FiringTally tally;
    for (auto _ : state) {
        bench::run_interval(net);
        tally.after_iteration(net);
    }
    tally.take(net);
    state.counters["events"] = benchmark::Counter(static_cast<double>(tally.events),
                                                  benchmark::Counter::kIsRate);
}

void BM_CrRing(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    setall(1234, 1234);
    bench::BenchNetwork net = bench::large_ring_network(n, 100, kDirectMethod, ring_interval(n), false);
    CrState st;
    bench::start_run_cr(net, st);
    FiringTally tally;
    for (auto _ : state) {
        bench::run_interval_cr(net, st);
        tally.after_iteration(net);
    }
    tally.take(net);
    state.counters["events"] = benchmark::Counter(static_cast<double>(tally.events),
                                                  benchmark::Counter::kIsRate);
}

// The rejection-based method on the same rings, one interval call an
// iteration; "trials/firing" counts its rejected candidates too.
void BM_RssaRing(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    setall(1234, 1234);
    bench::BenchNetwork net = bench::large_ring_network(n, 100, kDirectMethod, ring_interval(n), false);
    net.species = net.initial;
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
    RssaState st;
    rssa_build(st, net.reactions, net.model, net.species, net.params);
    net.params.next_time = rssa_next_time(st, 0.0);
    EventLog log;
    log.times = net.log_times.data();
    log.rxns = net.log_rxns.data();
    FiringTally tally;
    for (auto _ : state) {
        vesk_rssa(st, net.reactions, net.model, net.species, net.params, log, net.event_count,
                  net.fire_count, net.t);
        tally.after_iteration(net);
    }
    tally.take(net);
    state.counters["events"] = benchmark::Counter(static_cast<double>(tally.events),
                                                  benchmark::Counter::kIsRate);
    state.counters["trials/firing"] =
        static_cast<double>(st.trials) / static_cast<double>(std::max(1LL, tally.events));
}

// One iteration is a whole dimerisation-decay run to t = 10 (ten interval
// calls), as in the exact-run benchmark.
void BM_CrDimerisation(benchmark::State& state) {
    setall(1234, 1234);
    bench::BenchNetwork net = bench::dimerisation_decay_network(kDirectMethod);
    CrState st;
    long long events = 0;
    for (auto _ : state) {
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        bench::start_run_cr(net, st);
        while (net.t < 10.0) bench::run_interval_cr(net, st);
        events += bench::total_firings(net);
        benchmark::DoNotOptimize(net.species.data());
    }
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsRate);
}

// The direct method's dense matrix has n^2 entries and its firing adds a
// whole row: 40 GB and 10^5 additions per event at n = 10^5, so that size
// is measured for composition-rejection only.
BENCHMARK(BM_DirectRing)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrRing)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RssaRing)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrDimerisation)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plenta

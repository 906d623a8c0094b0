// Event throughput of the exact interval run, with the event log off.
#include <benchmark/benchmark.h>

#include <cmath>

#include "networks.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

// One iteration is a whole dimerisation-decay run to t = 10 (ten interval
// calls), by which time most of the ~10^5 molecules have decayed.
void run_dimerisation(benchmark::State& state, int algorithm) {
    setall(1234, 1234);
    bench::BenchNetwork net = bench::dimerisation_decay_network(algorithm);
    long long events = 0;
    for (auto _ : state) {
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        bench::start_run(net);
        while (net.t < 10.0) bench::run_interval(net);
        events += bench::total_firings(net);
        benchmark::DoNotOptimize(net.species.data());
    }
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsRate);
}

void BM_VeskDirectDimerisation(benchmark::State& state) { run_dimerisation(state, kDirectMethod); }
void BM_VeskFirstReactionDimerisation(benchmark::State& state) { run_dimerisation(state, 1); }

// One iteration is one interval call of length 1/128 on a 1000-reaction ring
// with 100 molecules per species (about 780 events); the interval is a power of two so that
// the boundaries are exact multiples.
void run_ring(benchmark::State& state, int algorithm) {
    setall(1234, 1234);
    bench::BenchNetwork net = bench::ring_network(1000, 100, algorithm, 1.0 / 128.0);
    bench::start_run(net);
    long long events = 0;
    for (auto _ : state) {
        const long long before = bench::total_firings(net);
        bench::run_interval(net);
        events += bench::total_firings(net) - before;
        if (bench::total_firings(net) > 1000000000LL) {  // keep the 32-bit counters in range
            std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        }
    }
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsRate);
}

void BM_VeskDirectRing1000(benchmark::State& state) { run_ring(state, kDirectMethod); }
void BM_VeskFirstReactionRing1000(benchmark::State& state) { run_ring(state, 1); }

// Reference: the random work of one direct-method event alone (two uniforms
// and one logarithm), to read the figures above against.
void BM_ReferenceTwoRanfOneLog(benchmark::State& state) {
    setall(1234, 1234);
    double acc = 0.0;
    long long events = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; i++) {
            const double u1 = static_cast<double>(ranf());
            acc += std::log(1.0 / u1) + static_cast<double>(ranf());
        }
        events += 1000;
    }
    benchmark::DoNotOptimize(acc);
    state.counters["events"] = benchmark::Counter(static_cast<double>(events),
                                                  benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ReferenceTwoRanfOneLog)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VeskDirectDimerisation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VeskFirstReactionDimerisation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VeskDirectRing1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VeskFirstReactionRing1000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plenta

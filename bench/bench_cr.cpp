// Event throughput of composition-rejection against the direct method, on
// rings of 10 to 100,000 reactions and on the dimerisation-decay network,
// with the event log off.  "events" is firings per second.
//
//   build-j/bench/plenta_bench --benchmark_filter='Cr|Direct(Ring|Dimer)'
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

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
BENCHMARK(BM_CrDimerisation)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plenta

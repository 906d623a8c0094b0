// Throughput of the tau-leaping interval run on the dimerisation-decay
// network, next to the direct method on the same runs: simulated time per
// wall-clock second ("sim_time") and reaction firings per second ("events").
#include <benchmark/benchmark.h>

#include <algorithm>

#include "networks.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

constexpr double kRunEnd = 10.0;  // one iteration: a whole run from S1 = 100000 to t = 10

void tau_interval(bench::BenchNetwork& net) {
    EventLog log;
    log.times = net.log_times.data();
    log.rxns = net.log_rxns.data();
    vesk_tau(net.reactions, net.model, net.species, net.matrix, net.params, log, net.event_count,
             net.fire_count, net.t);
}

void run_dimerisation(benchmark::State& state, int algorithm, double tau_error) {
    setall(1234, 1234);
    bench::BenchNetwork net = bench::dimerisation_decay_network(algorithm);
    net.params.tau_error = tau_error;
    long long events = 0;
    double simulated = 0.0;
    for (auto _ : state) {
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        bench::start_run(net);
        while (net.t < kRunEnd) {
            if (algorithm == kTauLeaping)
                tau_interval(net);
            else
                bench::run_interval(net);
        }
        events += bench::total_firings(net);
        simulated += net.t;
        benchmark::DoNotOptimize(net.species.data());
    }
    state.counters["events"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
    state.counters["sim_time"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}

// Argument: tau_error in thousandths.
void BM_VeskTauDimerisation(benchmark::State& state) {
    run_dimerisation(state, kTauLeaping, static_cast<double>(state.range(0)) / 1000.0);
}
void BM_VeskDirectDimerisationSimTime(benchmark::State& state) {
    run_dimerisation(state, kDirectMethod, 0.0);
}

BENCHMARK(BM_VeskTauDimerisation)->Arg(30)->Arg(10)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VeskDirectDimerisationSimTime)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plenta

// Event throughput of formula reactions against the same reactions written
// with a named type.  A ring of n species A_i -> A_{i+1 mod n}, 100
// molecules each, by the direct method and by first-reaction selection:
//   - first order as "uni-uni" (c = 1) and as the formula `k*A_i`, k = 1:
//     the same process, so the ratio of the two is the cost of the formula;
//   - Michaelis-Menten as the formula `Vmax*A_i/(Km + A_i)` (Vmax = 100,
//     Km = 100, about the same event rate at 100 molecules).
// One iteration is one interval call of length 1/128.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "model/rate_law.h"
#include "networks.h"
#include "random/ranlib.h"

namespace plenta {
namespace {

enum class Law { kUniUni, kFirstOrderFormula, kMichaelisMenten };

bench::BenchNetwork formula_ring(int n, Law law, int algorithm) {
    bench::BenchNetwork net;
    for (int i = 0; i < n; i++) {
        bench::add_species(net, 100);
        std::snprintf(net.species[static_cast<std::size_t>(i)].name, kNameLen, "A%d", i);
    }
    FormulaScope scope;
    scope.parameters = {{"k", 1.0}, {"Vmax", 100.0}, {"Km", 100.0}};
    FormulaNames names(net.species, scope);
    for (int i = 0; i < n; i++) {
        const int next = (i + 1) % n;
        if (law == Law::kUniUni) {
            bench::add_reaction(net, kUniUni, {i}, {next}, 1.0);
            continue;
        }
        bench::add_reaction(net, kFormula, {i}, {next}, 0.0, {1});
        Reaction& r = net.reactions.back();
        r.subs_coef[0] = 1;
        const std::string a = "A" + std::to_string(i);
        const std::string text =
            law == Law::kFirstOrderFormula ? "k*" + a : "Vmax*" + a + "/(Km + " + a + ")";
        const std::string error = compile_formula_reaction(r, text, net.species, names, 1.0);
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    }
    bench::finish(net, algorithm, 1.0 / 128.0);
    return net;
}

void run_formula_ring(benchmark::State& state, Law law, int algorithm) {
    setall(1234, 1234);
    bench::BenchNetwork net = formula_ring(static_cast<int>(state.range(0)), law, algorithm);
    bench::start_run(net);
    long long events = 0;
    for (auto _ : state) {
        const long long before = bench::total_firings(net);
        bench::run_interval(net);
        events += bench::total_firings(net) - before;
        if (bench::total_firings(net) > 1000000000LL)
            std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
    }
    state.counters["events"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
}

void BM_RingUniUniDirect(benchmark::State& s) { run_formula_ring(s, Law::kUniUni, kDirectMethod); }
void BM_RingFormulaKXDirect(benchmark::State& s) {
    run_formula_ring(s, Law::kFirstOrderFormula, kDirectMethod);
}
void BM_RingMichaelisMentenDirect(benchmark::State& s) {
    run_formula_ring(s, Law::kMichaelisMenten, kDirectMethod);
}
void BM_RingUniUniFirstReaction(benchmark::State& s) { run_formula_ring(s, Law::kUniUni, 1); }
void BM_RingFormulaKXFirstReaction(benchmark::State& s) {
    run_formula_ring(s, Law::kFirstOrderFormula, 1);
}

BENCHMARK(BM_RingUniUniDirect)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingFormulaKXDirect)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingMichaelisMentenDirect)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingUniUniFirstReaction)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingFormulaKXFirstReaction)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plenta

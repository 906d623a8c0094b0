// Exactness of formula reactions, by the stationary distribution of a
// birth-death chain whose birth rate depends on its own count:
//
//     X -> X + 1 at b(x) = kb + kmax x^n / (K^n + x^n)   (Hill self-activation)
//     X -> X - 1 at d x
//
// A birth-death chain is reversible, so its stationary distribution is, in
// closed form, pi(x) proportional to prod_{i<x} b(i) / (d (i + 1)).  Every
// run starts from a count drawn from pi itself, so the count at any later
// time is again pi-distributed when (and only when) the simulated process is
// the chain above; the runs are independent, and a chi-square test of the
// counts at the end against pi is exact.  The test also checks that a chain
// with kmax 10% higher is rejected by a wide margin, so it can tell a wrong
// rate from bad luck; with the seeds fixed, a failure means a change.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cr_test_util.h"
#include "engine_test_util.h"
#include "model/rate_law.h"

namespace plenta {
namespace {

using testutil::Network;

struct Chain {
    double kb = 2.0, kmax = 20.0, K = 10.0, d = 1.0;
    int n = 2;
    double birth(int x) const {
        const double xn = std::pow(x, n);
        return kb + kmax * xn / (std::pow(K, n) + xn);
    }
};

constexpr int kMaxCount = 200;

std::vector<double> stationary(const Chain& c) {
    std::vector<double> w(kMaxCount, 0.0);
    w[0] = 1.0;
    double sum = 1.0;
    for (int x = 1; x < kMaxCount; x++) {
        w[x] = w[x - 1] * c.birth(x - 1) / (c.d * x);
        sum += w[x];
    }
    for (double& v : w) v /= sum;
    return w;
}

int draw_from(const std::vector<double>& p) {
    const double u = static_cast<double>(ranf());
    double cum = 0.0;
    for (std::size_t x = 0; x < p.size(); x++) {
        cum += p[x];
        if (u < cum) return static_cast<int>(x);
    }
    return static_cast<int>(p.size()) - 1;
}

// The chain as formula reactions: birth reads X without consuming it.
Network formula_chain(int algorithm, const Chain& c) {
    Network net = testutil::empty_network(algorithm);
    net.params.tau_error = 0.03;
    net.add_species(0);
    std::strncpy(net.species[0].name, "X", kNameLen - 1);
    const int birth = net.add_reaction(kFormula, {}, {0}, {}, {}, {1});
    const int death = net.add_reaction(kFormula, {0}, {}, {}, {1}, {});
    FormulaScope scope;
    scope.parameters = {{"kb", c.kb}, {"kmax", c.kmax}, {"K", c.K}, {"n", double(c.n)}, {"d", c.d}};
    FormulaNames names(net.species, scope);
    EXPECT_EQ(compile_formula_reaction(net.reactions[birth], "kb + kmax*X^n/(K^n + X^n)",
                                       net.species, names, 1.0),
              "");
    EXPECT_EQ(compile_formula_reaction(net.reactions[death], "d*X", net.species, names, 1.0), "");
    net.build();
    return net;
}

enum class Method { kDirect, kFirstReaction, kComposition, kTau };

// Counts of X at time t_end over `runs` runs, each started from pi.
std::vector<int> end_counts(Network net, Method method, const std::vector<double>& pi, int runs,
                            double t_end) {
    std::vector<int> hist(kMaxCount, 0);
    net.params.snapshot_interval = t_end;
    CrState st;
    for (int run = 0; run < runs; run++) {
        net.species[0].count = draw_from(pi);
        std::fill(net.fire_count.begin(), net.fire_count.end(), 0);
        net.params.fault = RunFault{};
        if (method == Method::kComposition) {
            crtest::start_run(net, st);
            crtest::run_interval(net, st);
        } else if (method == Method::kTau) {
            net.t = 0.0;
            update_rxn_prob_all(net.reactions, net.species, net.params, net.model, 0.0);
            vesk_tau(net.reactions, net.model, net.species, net.matrix, net.params,
                     net.event_log(), net.event_count, net.fire_count, net.t);
        } else {
            net.start_run(0.0);
            net.run_interval();
        }
        EXPECT_FALSE(net.params.fault.raised());
        EXPECT_EQ(net.t, t_end);
        const int x = net.species[0].count;
        hist[static_cast<std::size_t>(std::min(std::max(x, 0), kMaxCount - 1))] += 1;
    }
    return hist;
}

// Pearson's statistic over bins pooled from both ends until each expects at
// least 5; df = bins - 1.
double chi_square(const std::vector<int>& hist, const std::vector<double>& p, int runs, int& df) {
    double stat = 0.0;
    int bins = 0;
    double e = 0.0, o = 0.0;
    for (std::size_t x = 0; x < p.size(); x++) {
        e += p[x] * runs;
        o += hist[x];
        if (e >= 5.0) {
            stat += (o - e) * (o - e) / e;
            bins++;
            e = o = 0.0;
        }
    }
    if (e > 0.0) stat += (o - e) * (o - e) / e, bins++;
    df = bins - 1;
    return stat;
}

// Upper 0.1% point of chi-square (Wilson-Hilferty).
double critical(int df) {
    const double k = df, z = 3.09;
    const double a = 1.0 - 2.0 / (9.0 * k) + z * std::sqrt(2.0 / (9.0 * k));
    return k * a * a * a;
}

TEST(FormulaStatistics, HillSelfActivationMatchesStationaryDistributionByEveryExactMethod) {
    const Chain chain;
    Chain wrong = chain;
    wrong.kmax *= 1.1;
    const std::vector<double> pi = stationary(chain);
    const int runs = 4000;
    const double t_end = 3.0;
    for (Method method : {Method::kDirect, Method::kFirstReaction, Method::kComposition}) {
        const int algorithm = method == Method::kFirstReaction ? 1 : kDirectMethod;
        setall(4711, 4712);
        const std::vector<int> hist =
            end_counts(formula_chain(algorithm, chain), method, pi, runs, t_end);
        int df = 0;
        const double stat = chi_square(hist, pi, runs, df);
        EXPECT_LT(stat, critical(df)) << "method " << static_cast<int>(method) << " df " << df;

        setall(4711, 4712);
        const std::vector<int> off =
            end_counts(formula_chain(algorithm, wrong), method, pi, runs, t_end);
        const double stat_off = chi_square(off, pi, runs, df);
        EXPECT_GT(stat_off, 3.0 * critical(df)) << "method " << static_cast<int>(method);
    }
}

// Tau-leaping is not exact; its leaps at tau_error 0.03 keep the mean within
// a few percent of the stationary one.
TEST(FormulaStatistics, HillSelfActivationByTauLeapingKeepsTheStationaryMean) {
    const Chain chain;
    const std::vector<double> pi = stationary(chain);
    double mean = 0.0;
    for (int x = 0; x < kMaxCount; x++) mean += x * pi[static_cast<std::size_t>(x)];
    setall(1234, 5678);
    const int runs = 2000;
    const std::vector<int> hist =
        end_counts(formula_chain(kTauLeaping, chain), Method::kTau, pi, runs, 3.0);
    double sim = 0.0;
    for (int x = 0; x < kMaxCount; x++) sim += double(x) * hist[static_cast<std::size_t>(x)];
    sim /= runs;
    EXPECT_NEAR(sim, mean, 0.05 * mean);
}

// The same law as a formula and as the named type "genmm" (a
// Michaelis-Menten birth b(x) = kb g + k g x / (x + K)) gives the same
// statistics: both pass the exact test, and their means agree within the
// sampling error.
TEST(FormulaStatistics, FormulaAndNamedTypeGiveTheSameStatistics) {
    const double kb = 3.0, k = 20.0, K = 10.0, d = 1.0;
    auto birth = [&](int x) { return kb + k * x / (x + K); };
    std::vector<double> pi(kMaxCount, 0.0);
    pi[0] = 1.0;
    double sum = 1.0;
    for (int x = 1; x < kMaxCount; x++) sum += (pi[x] = pi[x - 1] * birth(x - 1) / (d * x));
    for (double& v : pi) v /= sum;

    auto named = [&]() {
        Network net = testutil::empty_network(kDirectMethod);
        const int g = net.add_species(1);
        const int x = net.add_species(0);
        net.add_reaction(kUniMulti, {g}, {g, x}, {kb}, {}, {1, 1});
        // genmm: (k0 g / V) x / (x + k1 V), substrates kept (coefficient 0).
        net.add_reaction(kGenmm, {g, x}, {x}, {k, K}, {0, 0}, {1});
        net.add_reaction(kNOrder, {x}, {g}, {d, 1.0}, {1}, {0}, {1.0});
        net.build();
        return net;
    };
    auto formula = [&]() {
        Network net = testutil::empty_network(kDirectMethod);
        net.add_species(1);
        net.add_species(0);
        std::strncpy(net.species[0].name, "G", kNameLen - 1);
        std::strncpy(net.species[1].name, "X", kNameLen - 1);
        const int r = net.add_reaction(kFormula, {}, {1}, {}, {}, {1});
        const int s = net.add_reaction(kFormula, {1}, {}, {}, {1}, {});
        FormulaScope scope;
        scope.parameters = {{"kb", kb}, {"k", k}, {"K", K}, {"d", d}};
        scope.rules = {{"birth", "kb*G + k*G*X/(X + K*volume)"}};
        FormulaNames names(net.species, scope);
        EXPECT_EQ(compile_formula_reaction(net.reactions[r], "birth", net.species, names, 1.0), "");
        EXPECT_EQ(compile_formula_reaction(net.reactions[s], "d*X", net.species, names, 1.0), "");
        net.build();
        return net;
    };
    const int runs = 4000;
    double means[2] = {0.0, 0.0};
    int which = 0;
    for (Network net : {named(), formula()}) {
        setall(2718, 2818);
        std::vector<int> hist(kMaxCount, 0);
        net.params.snapshot_interval = 3.0;
        for (int run = 0; run < runs; run++) {
            net.species[0].count = 1;
            net.species[1].count = draw_from(pi);
            net.start_run(0.0);
            net.run_interval();
            hist[static_cast<std::size_t>(std::min(net.species[1].count, kMaxCount - 1))] += 1;
            means[which] += net.species[1].count;
        }
        means[which] /= runs;
        int df = 0;
        const double stat = chi_square(hist, pi, runs, df);
        EXPECT_LT(stat, critical(df)) << (which ? "formula" : "named");
        which++;
    }
    double mean = 0.0, var = 0.0;
    for (int x = 0; x < kMaxCount; x++) mean += x * pi[static_cast<std::size_t>(x)];
    for (int x = 0; x < kMaxCount; x++) var += (x - mean) * (x - mean) * pi[static_cast<std::size_t>(x)];
    EXPECT_NEAR(means[0], means[1], 5.0 * std::sqrt(2.0 * var / runs));
}

// A law that goes negative is a fault of the model, recorded with the
// reaction, the time of the state and the value, and the run stops there.
TEST(FormulaFault, NegativePropensityStopsTheRunWithReactionTimeAndValue) {
    for (int algorithm : {kDirectMethod, 1}) {
        Network net = testutil::empty_network(algorithm);
        net.add_species(5);
        std::strncpy(net.species[0].name, "X", kNameLen - 1);
        net.add_reaction(kFormula, {0}, {}, {}, {1}, {});
        const int bad = net.add_reaction(kFormula, {}, {}, {}, {}, {});
        FormulaScope scope;
        FormulaNames names(net.species, scope);
        ASSERT_EQ(compile_formula_reaction(net.reactions[0], "X", net.species, names, 1.0), "");
        ASSERT_EQ(compile_formula_reaction(net.reactions[bad], "X - 3", net.species, names, 1.0), "");
        net.build();
        net.params.snapshot_interval = 100.0;
        setall(11, 12);
        net.start_run(0.0);
        ASSERT_FALSE(net.params.fault.raised());
        net.run_interval();
        const RunFault& f = net.params.fault;
        ASSERT_TRUE(f.raised());
        EXPECT_EQ(f.kind, RunFault::kBadPropensity);
        EXPECT_EQ(f.rxn, bad);
        EXPECT_EQ(f.value, -1.0);  // X went from 3 to 2
        EXPECT_EQ(net.species[0].count, 2);
        EXPECT_EQ(f.time, net.t);
        EXPECT_GT(f.time, 0.0);
        EXPECT_LT(f.time, 100.0);
    }
}

}  // namespace
}  // namespace plenta

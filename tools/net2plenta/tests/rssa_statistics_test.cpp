// The rejection-based method samples the same process as the direct method:
// means and variances of the benchmark's observables at several times agree
// on converted networks (multistate, multisite2, two gene models), and the
// "mass-action" type gives the exact distribution of 2A -> A + B with decay
// under both methods.  Fixed seeds: a failure means a change, not chance.
// Bounds are five standard errors of the difference.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "console/console.h"
#include "random/ranlib.h"
#include "tools/net2plenta/net2plenta.h"

namespace plenta {
namespace {

namespace fs = std::filesystem;

struct Observed {
    // [time][observable] running sums over the runs
    std::vector<std::vector<double>> sum, sum2, sum3, sum4;
    int runs = 0;
};

// Weighted sums of species, one per observable, at every snapshot.
struct ObservableRecorder : RunRecorder {
    const std::vector<std::vector<std::pair<int, double>>>& groups;
    Observed& out;
    std::size_t k = 0;
    ObservableRecorder(const std::vector<std::vector<std::pair<int, double>>>& g, Observed& o)
        : groups(g), out(o) {}
    void snapshot(double, const std::vector<Compound>& species, const std::vector<int>&,
                  bool) override {
        if (k >= out.sum.size()) return;
        for (std::size_t g = 0; g < groups.size(); g++) {
            double v = 0.0;
            for (const auto& term : groups[g]) v += term.second * species[term.first].count;
            out.sum[k][g] += v;
            out.sum2[k][g] += v * v;
            out.sum3[k][g] += v * v * v;
            out.sum4[k][g] += v * v * v * v;
        }
        k++;
    }
    void empty_event_log(int&) override {}
};

// `runs` runs of the model to time_end, snapshots every interval, by the
// defined direct method (method "") or a method of the registry.
Observed sample(ConsoleModel m, const std::string& method, int runs, double time_end,
                double interval, const std::vector<std::vector<std::pair<int, double>>>& groups,
                std::int32_t seed) {
    m.params.time_start = 0.0;
    m.params.time_end = time_end;
    m.params.snapshot_interval = interval;
    m.params.algorithm = kDirectMethod;
    m.params.eventlog_flag = 0;
    StoichMatrix matrix;
    std::unique_ptr<RunMethod> exact = method.empty() ? nullptr : make_run_method(method);
    if (exact && exact->needs_dependents()) calc_dependency_by_species(m.sizes, m.reactions);
    if (!exact) {
        calc_dependency(m.sizes, m.reactions);
        matrix = StoichMatrix(m.sizes.num_rxns, m.sizes.num_cmpds);
        create_stoich_matrix(m.sizes, m.reactions, matrix);
    }
    const int points = static_cast<int>(std::floor(time_end / interval + 0.5)) + 1;
    Observed o;
    o.sum.assign(points, std::vector<double>(groups.size(), 0.0));
    o.sum2 = o.sum3 = o.sum4 = o.sum;
    o.runs = runs;
    std::vector<int> counts;
    for (const Compound& c : m.species) counts.push_back(c.count);
    setall(seed, seed);
    std::vector<int> fire_count;
    for (int r = 0; r < runs; r++) {
        ObservableRecorder rec(groups, o);
        double t = 0.0;
        int events = 0;
        EXPECT_TRUE(simulate_run(m, matrix, counts, fire_count, EventLog{}, rec, t, events,
                                 exact.get()));
    }
    return o;
}

double mean(const Observed& o, std::size_t k, std::size_t g) { return o.sum[k][g] / o.runs; }
double var(const Observed& o, std::size_t k, std::size_t g) {
    const double m = mean(o, k, g);
    return (o.sum2[k][g] - o.runs * m * m) / (o.runs - 1);
}
// Standard error of a sample variance, sqrt((mu4 - sigma^4) / n), with the
// fourth central moment from the raw moments.
double var_se(const Observed& o, std::size_t k, std::size_t g) {
    const double n = o.runs, m = mean(o, k, g);
    const double e2 = o.sum2[k][g] / n, e3 = o.sum3[k][g] / n, e4 = o.sum4[k][g] / n;
    const double mu4 = e4 - 4.0 * m * e3 + 6.0 * m * m * e2 - 3.0 * m * m * m * m;
    const double v = var(o, k, g);
    return std::sqrt(std::max(mu4 - v * v, 0.0) / n);
}

void expect_same_process(const Observed& a, const Observed& b, const std::string& what) {
    int checked = 0;
    for (std::size_t k = 1; k < a.sum.size(); k++)
        for (std::size_t g = 0; g < a.sum[k].size(); g++) {
            const double se = std::sqrt(var(a, k, g) / a.runs + var(b, k, g) / b.runs);
            EXPECT_LE(std::fabs(mean(a, k, g) - mean(b, k, g)), 5.0 * se + 1e-12)
                << what << " mean of observable " << g << " at point " << k;
            const double vse = std::hypot(var_se(a, k, g), var_se(b, k, g));
            EXPECT_LE(std::fabs(var(a, k, g) - var(b, k, g)), 5.0 * vse + 1e-12)
                << what << " variance of observable " << g << " at point " << k;
            checked++;
        }
    EXPECT_GT(checked, 0);
}

ConsoleModel converted(const std::string& name, std::vector<std::vector<std::pair<int, double>>>& groups) {
    const net2plenta::NetModel net =
        net2plenta::read_net(std::string(NET_DATA_DIR) + "/" + name + ".net");
    std::string pattern = (fs::temp_directory_path() / "rssa_stats_XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    net2plenta::write_model_folder(net, net2plenta::Options{}, pattern);
    ConsoleModel m;
    EXPECT_EQ(load_console_model(pattern, m), "");
    fs::remove_all(pattern);
    groups.clear();
    for (const net2plenta::NetGroup& g : net.groups) groups.push_back(g.terms);
    return m;
}

TEST(RssaStatistics, MultistateAgreesWithTheDirectMethod) {
    std::vector<std::vector<std::pair<int, double>>> groups;
    ConsoleModel m = converted("multistate", groups);
    // The species the benchmark watched, 7, 8 and 9, and the groups.
    for (int s : {6, 7, 8}) groups.push_back({{s, 1.0}});
    const Observed d = sample(m, "", 800, 4.0, 2.0, groups, 11);
    const Observed r = sample(m, "rssa", 800, 4.0, 2.0, groups, 12);
    expect_same_process(d, r, "multistate");
}

TEST(RssaStatistics, Multisite2AgreesWithTheDirectMethod) {
    std::vector<std::vector<std::pair<int, double>>> groups;
    ConsoleModel m = converted("multisite2", groups);
    const Observed d = sample(m, "", 200, 0.3, 0.1, groups, 21);
    const Observed r = sample(m, "rssa", 200, 0.3, 0.1, groups, 22);
    expect_same_process(d, r, "multisite2");
}

TEST(RssaStatistics, GeneModelsAgreeWithTheDirectMethod) {
    for (const char* name : {"dnarepressor", "dnadimer_repressor"}) {
        std::vector<std::vector<std::pair<int, double>>> groups;
        ConsoleModel m = converted(name, groups);
        for (int s = 0; s < m.sizes.num_cmpds; s++) groups.push_back({{s, 1.0}});
        const Observed d = sample(m, "", 400, 20.0, 10.0, groups, 31);
        const Observed r = sample(m, "rssa", 400, 20.0, 10.0, groups, 32);
        expect_same_process(d, r, name);
    }
}

// 2A -> A + B (a = c x (x - 1)) and A -> 0 (a = d x): the count of A is a
// pure death process, whose distribution follows from the forward equations
// (integrated here by classical Runge-Kutta in steps far below 1 / rate).
std::vector<double> death_distribution(int n0, double c, double d, double t) {
    std::vector<double> p(n0 + 1, 0.0);
    p[n0] = 1.0;
    auto rate = [&](int x) { return c * x * (x - 1) + d * x; };
    auto deriv = [&](const std::vector<double>& q) {
        std::vector<double> dq(q.size(), 0.0);
        for (int x = 0; x <= n0; x++) {
            dq[x] -= rate(x) * q[x];
            if (x < n0) dq[x] += rate(x + 1) * q[x + 1];
        }
        return dq;
    };
    const int steps = 20000;
    const double h = t / steps;
    for (int i = 0; i < steps; i++) {
        const std::vector<double> k1 = deriv(p);
        std::vector<double> q(p.size());
        for (std::size_t x = 0; x < p.size(); x++) q[x] = p[x] + 0.5 * h * k1[x];
        const std::vector<double> k2 = deriv(q);
        for (std::size_t x = 0; x < p.size(); x++) q[x] = p[x] + 0.5 * h * k2[x];
        const std::vector<double> k3 = deriv(q);
        for (std::size_t x = 0; x < p.size(); x++) q[x] = p[x] + h * k3[x];
        const std::vector<double> k4 = deriv(q);
        for (std::size_t x = 0; x < p.size(); x++)
            p[x] += h / 6.0 * (k1[x] + 2.0 * k2[x] + 2.0 * k3[x] + k4[x]);
    }
    return p;
}

ConsoleModel doubled_decay_model(int n0, double c, double d) {
    ConsoleModel m;
    m.species.resize(2);
    m.species[0].count = n0;
    m.sizes.num_cmpds = 2;
    m.params.volume = 1.0;
    auto add = [&](std::vector<int> subs, std::vector<int> coef, std::vector<int> prods,
                   std::vector<int> pcoef, double k) {
        Reaction r;
        std::snprintf(r.rxntype, kNameLen, "%s", "mass-action");
        r.rxn_index = kMassAction;
        r.id = static_cast<int>(m.reactions.size());
        r.subs_index = subs;
        r.subs_coef = coef;
        r.subs_order.assign(subs.size(), 0.0);
        r.prods_index = prods;
        r.prods_coef = pcoef;
        r.num_rates = 1;
        r.rates.resize(1);
        r.rates[0].value = k;
        m.sizes.num_subs.push_back(static_cast<int>(subs.size()));
        m.sizes.num_prods.push_back(static_cast<int>(prods.size()));
        m.reactions.push_back(r);
    };
    add({0}, {2}, {0, 1}, {1, 1}, c);  // 2A -> A + B
    add({0}, {1}, {}, {}, d);          // A ->
    m.sizes.num_rxns = 2;
    return m;
}

TEST(MassActionStatistics, DoubledReactantMatchesTheExactDistribution) {
    const int n0 = 30;
    const double c = 0.02, d = 0.1, t = 1.0;
    const std::vector<double> p = death_distribution(n0, c, d, t);
    double m1 = 0.0, m2 = 0.0;
    for (int x = 0; x <= n0; x++) {
        m1 += x * p[x];
        m2 += x * x * p[x];
    }
    const double v = m2 - m1 * m1;
    // The same law with the pairs halved (what "homo-ltor" computes) is far
    // outside the bounds below.
    const std::vector<double> half = death_distribution(n0, c / 2.0, d, t);
    double h1 = 0.0;
    for (int x = 0; x <= n0; x++) h1 += x * half[x];
    const int runs = 4000;
    EXPECT_GT(std::fabs(h1 - m1), 10.0 * std::sqrt(v / runs));

    const std::vector<std::vector<std::pair<int, double>>> a_only = {{{0, 1.0}}};
    for (const std::string method : {"", "rssa", "cr"}) {
        const Observed o = sample(doubled_decay_model(n0, c, d), method, runs, t, t, a_only, 41);
        EXPECT_NEAR(mean(o, 1, 0), m1, 5.0 * std::sqrt(v / runs)) << "method '" << method << "'";
        EXPECT_NEAR(var(o, 1, 0), v, 5.0 * var_se(o, 1, 0)) << "method '" << method << "'";
    }
}

}  // namespace
}  // namespace plenta

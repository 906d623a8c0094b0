// plenta on converted SBML models reproduces the known means of three
// processes: immigration-death and linear birth-death (closed forms), and
// reversible dimerisation (the master equation integrated here).  With a fixed
// seed each check is deterministic; the bound of four standard errors of the
// exact variance makes a failure mean a wrong conversion, not bad luck.
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/sbml2plenta/tests/sbml_support.h"

namespace {

using namespace sbml_test;

constexpr double kSigmas = 4.0;

// Counts of the first monitored species at each snapshot line of every run.
std::vector<std::vector<double>> first_species_by_run(const std::string& folder, int runs) {
    std::vector<std::vector<double>> all;
    for (int r = 1; r <= runs; r++) {
        std::ifstream in(folder + "/traj_" + std::to_string(r));
        std::string line;
        std::getline(in, line);  // header
        std::vector<double> counts;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            double t = 0, x = 0;
            fields >> t >> x;
            counts.push_back(x);
        }
        all.push_back(counts);
    }
    return all;
}

struct Moments {
    double mean;
    double variance;
};

// Runs plenta (the program) on the converted model and compares the sample
// mean at each snapshot (every `interval`, from 0) with the exact moments.
void expect_means(const std::string& model, int runs, double time_end, double interval,
                  const std::function<Moments(double)>& exact) {
    TempDir dir;
    sbml2plenta::ConvertOptions options;
    options.runs = runs;
    options.time_end = time_end;
    options.snapshot_interval = interval;
    options.seed = 4711;
    convert_and_load(model, dir.path(), options);
    ASSERT_EQ(run_command("cd " + shell_quote(dir.path()) + " && " + shell_quote(PLENTA_EXE)), 0);
    auto counts = first_species_by_run(dir.path(), runs);
    const std::size_t points = static_cast<std::size_t>(std::floor(time_end / interval)) + 1;
    for (std::size_t p = 1; p < points; p++) {
        double t = static_cast<double>(p) * interval, sum = 0;
        for (const auto& run : counts) {
            ASSERT_EQ(run.size(), points);
            sum += run[p];
        }
        Moments m = exact(t);
        double mean = sum / runs, se = std::sqrt(m.variance / runs);
        EXPECT_LE(std::fabs(mean - m.mean), kSigmas * se)
            << model << " at t = " << t << ": sample mean " << mean << ", exact " << m.mean;
    }
}

TEST(SbmlStatistics, ImmigrationDeathMean) {
    // X(t) = Binomial(x0, e^-kt) survivors + Poisson((c/k)(1 - e^-kt)) immigrants.
    const double x0 = 5, c = 10, k = 0.5;
    expect_means("immigration_death.xml", 1000, 8.0, 1.0, [&](double t) {
        double p = std::exp(-k * t);
        return Moments{c / k + (x0 - c / k) * p, x0 * p * (1 - p) + c / k * (1 - p)};
    });
}

TEST(SbmlStatistics, LinearBirthDeathMean) {
    // Mean x0 e^(rt), variance x0 (λ+μ)/(λ−μ) e^(rt) (e^(rt) − 1), r = λ − μ.
    const double x0 = 100, lam = 0.5, mu = 1.0, r = lam - mu;
    expect_means("birth_death.xml", 500, 4.0, 1.0, [&](double t) {
        double g = std::exp(r * t);
        return Moments{x0 * g, x0 * (lam + mu) / r * g * (g - 1)};
    });
}

// Master equation of 2 X <-> D from 20 X: state i holds D = i, X = 20 - 2i;
// the propensities are the SBML law's terms, kf·X·(X−1)/2 and kr·D.
std::vector<Moments> dimerisation_moments(double time_end, double interval) {
    const int n = 11;
    const double kf = 0.1, kr = 0.5, dt = 1e-3;
    auto x_of = [](int i) { return 20.0 - 2.0 * i; };
    auto derivative = [&](const std::vector<double>& p) {
        std::vector<double> dp(n, 0.0);
        for (int i = 0; i < n; i++) {
            double x = x_of(i), fwd = kf * x * (x - 1) / 2, rev = kr * i;
            dp[i] -= (fwd + rev) * p[i];
            if (i + 1 < n) dp[i + 1] += fwd * p[i];
            if (i > 0) dp[i - 1] += rev * p[i];
        }
        return dp;
    };
    std::vector<double> p(n, 0.0);
    p[0] = 1.0;
    std::vector<Moments> out;
    const int steps_per_point = static_cast<int>(std::lround(interval / dt));
    const int points = static_cast<int>(std::lround(time_end / interval));
    for (int point = 1; point <= points; point++) {
        for (int s = 0; s < steps_per_point; s++) {  // classical Runge-Kutta
            auto k1 = derivative(p);
            std::vector<double> q(n);
            for (int i = 0; i < n; i++) q[i] = p[i] + dt / 2 * k1[i];
            auto k2 = derivative(q);
            for (int i = 0; i < n; i++) q[i] = p[i] + dt / 2 * k2[i];
            auto k3 = derivative(q);
            for (int i = 0; i < n; i++) q[i] = p[i] + dt * k3[i];
            auto k4 = derivative(q);
            for (int i = 0; i < n; i++) p[i] += dt / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
        }
        double m1 = 0, m2 = 0;
        for (int i = 0; i < n; i++) {
            m1 += x_of(i) * p[i];
            m2 += x_of(i) * x_of(i) * p[i];
        }
        out.push_back(Moments{m1, m2 - m1 * m1});
    }
    return out;
}

TEST(SbmlStatistics, ReversibleDimerisationMeanFollowsTheMasterEquation) {
    const double time_end = 4.0, interval = 0.5;
    std::vector<Moments> exact = dimerisation_moments(time_end, interval);
    // The relaxation is visible: the mean leaves 20 and settles well below it.
    ASSERT_LT(exact.back().mean, 12.0);
    expect_means("dimerisation.xml", 1000, time_end, interval, [&](double t) {
        return exact[static_cast<std::size_t>(std::lround(t / interval)) - 1];
    });
}

}  // namespace

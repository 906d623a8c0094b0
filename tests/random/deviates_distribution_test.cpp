// Fixed-seed distribution tests of the beta, gamma and binomial deviates and
// of the deviates built on them: sample moments against the exact moments,
// and chi-square goodness of fit against the exact cdf/pmf (computed here in
// double precision, independently of the generators).  Bounds are the
// 0.9999 quantile of the chi-square distribution, so a failure means a
// change in the algorithm, not bad luck; distortions from a wrong constant
// in a hat or squeeze are far larger than that bound allows at these sample
// sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "random/ranlib.h"

namespace {

// ---------------------------------------------------------------- reference

// Regularised lower incomplete gamma P(a, x) by its power series, which
// converges for every x (slowly for large x, which these tests do not need).
double gamma_cdf(double a, double x) {
    if (x <= 0.0) return 0.0;
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < 100000; n++) {
        term *= x / (a + n);
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return std::exp(a * std::log(x) - x - std::lgamma(a)) * sum;
}

// Regularised incomplete beta I_x(a, b) from I_x = x^a / B(a, b) *
// sum_n (1 - b)_n x^n / (n! (a + n)), used for x <= 1/2; the symmetry
// I_x(a, b) = 1 - I_(1-x)(b, a) covers the rest.
double beta_cdf(double a, double b, double x) {
    if (x <= 0.0) return 0.0;
    if (x >= 1.0) return 1.0;
    if (x > 0.5) return 1.0 - beta_cdf(b, a, 1.0 - x);
    const double log_beta = std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
    double coef = 1.0;  // (1 - b)_n x^n / n!
    double sum = 1.0 / a;
    for (int n = 1; n < 10000; n++) {
        coef *= (n - b) * x / n;
        const double term = coef / (a + n);
        sum += term;
        if (std::fabs(term) < 1e-17 * std::fabs(sum)) break;
    }
    return std::exp(a * std::log(x) - log_beta) * sum;
}

double binomial_pmf(int n, double p, int k) {
    return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) +
                    k * std::log(p) + (n - k) * std::log1p(-p));
}

// Upper 0.9999 quantile of chi-square with df degrees of freedom
// (Wilson-Hilferty; ample for df >= 5).
double chi2_bound(int df) {
    const double z = 3.719;
    const double h = 2.0 / (9.0 * df);
    return df * std::pow(1.0 - h + z * std::sqrt(h), 3.0);
}

struct Moments {
    double mean, var;
};

Moments sample_moments(const std::vector<double>& xs) {
    double sum = 0.0;
    for (double x : xs) sum += x;
    const double mean = sum / xs.size();
    double ss = 0.0;
    for (double x : xs) ss += (x - mean) * (x - mean);
    return {mean, ss / (xs.size() - 1)};
}

// Mean within 5 standard errors, variance within 5 standard errors of the
// sample variance (which needs the excess kurtosis of the distribution).
void expect_moments(const std::vector<double>& xs, double mean, double var, double kurtosis_excess,
                    const std::string& what) {
    const Moments m = sample_moments(xs);
    const double n = static_cast<double>(xs.size());
    EXPECT_NEAR(m.mean, mean, 5.0 * std::sqrt(var / n)) << what;
    EXPECT_NEAR(m.var, var, 5.0 * var * std::sqrt((kurtosis_excess + 2.0) / n)) << what;
}

// Chi-square statistic of a sample against a continuous cdf over `bins`
// cells of equal probability (edges found by bisection on the cdf).
double chi2_continuous(const std::vector<double>& xs, const std::function<double(double)>& cdf,
                       double lo, double hi, int bins) {
    std::vector<double> edges;
    for (int i = 1; i < bins; i++) {
        const double target = static_cast<double>(i) / bins;
        double a = lo, b = hi;
        for (int it = 0; it < 200; it++) {
            const double mid = 0.5 * (a + b);
            (cdf(mid) < target ? a : b) = mid;
        }
        edges.push_back(0.5 * (a + b));
    }
    std::vector<double> counts(bins, 0.0);
    for (double x : xs) {
        const auto cell = std::upper_bound(edges.begin(), edges.end(), x) - edges.begin();
        counts[cell] += 1.0;
    }
    const double expected = static_cast<double>(xs.size()) / bins;
    double chi2 = 0.0;
    for (double c : counts) chi2 += (c - expected) * (c - expected) / expected;
    return chi2;
}

// Chi-square of integer deviates against a pmf on 0..n; cells with an
// expected count below 20 are pooled into their neighbours.  Returns the
// statistic and the degrees of freedom.
std::pair<double, int> chi2_discrete(const std::vector<int32_t>& ks, int n,
                                     const std::function<double(int)>& pmf) {
    std::vector<double> observed(n + 1, 0.0);
    for (int32_t k : ks) {
        EXPECT_GE(k, 0);
        EXPECT_LE(k, n);
        if (k >= 0 && k <= n) observed[k] += 1.0;
    }
    const double total = static_cast<double>(ks.size());
    double chi2 = 0.0, obs = 0.0, exp = 0.0;
    int cells = 0;
    for (int k = 0; k <= n; k++) {
        obs += observed[k];
        exp += total * pmf(k);
        if (exp >= 20.0 && k < n) {
            chi2 += (obs - exp) * (obs - exp) / exp;
            cells++;
            obs = exp = 0.0;
        }
    }
    if (exp > 0.0) {  // the rest of the upper tail
        chi2 += (obs - exp) * (obs - exp) / exp;
        cells++;
    }
    return {chi2, cells - 1};
}

// ----------------------------------------------------------------- samplers

std::vector<double> draw_real(int n, const std::function<float()>& f) {
    std::vector<double> xs(n);
    for (double& x : xs) x = f();
    return xs;
}

void check_gamma(const std::vector<double>& xs, double a, const std::string& what) {
    expect_moments(xs, a, a, 6.0 / a, what);
    const double chi2 = chi2_continuous(
        xs, [a](double x) { return gamma_cdf(a, x); }, 0.0, a + 40.0 * std::sqrt(a) + 40.0, 50);
    EXPECT_LT(chi2, chi2_bound(49)) << what;
}

void check_beta(const std::vector<double>& xs, double a, double b, const std::string& what) {
    for (double x : xs) {
        ASSERT_GE(x, 0.0) << what;
        ASSERT_LE(x, 1.0) << what;
    }
    const double s = a + b;
    const double var = a * b / (s * s * (s + 1.0));
    const double kurt = 6.0 * ((a - b) * (a - b) * (s + 1.0) - a * b * (s + 2.0)) /
                        (a * b * (s + 2.0) * (s + 3.0));
    expect_moments(xs, a / s, var, kurt, what);
    const double chi2 = chi2_continuous(
        xs, [a, b](double x) { return beta_cdf(a, b, x); }, 0.0, 1.0, 50);
    EXPECT_LT(chi2, chi2_bound(49)) << what;
}

void check_binomial(const std::vector<int32_t>& ks, int n, double p, const std::string& what) {
    std::vector<double> xs(ks.begin(), ks.end());
    const double q = 1.0 - p;
    expect_moments(xs, n * p, n * p * q, (1.0 - 6.0 * p * q) / (n * p * q), what);
    const auto [chi2, df] = chi2_discrete(ks, n, [n, p](int k) { return binomial_pmf(n, p, k); });
    EXPECT_GE(df, 5) << what;
    EXPECT_LT(chi2, chi2_bound(df)) << what;
}

// ----------------------------------------------------------------- reference self-check

TEST(DeviateReference, IncompleteGammaAndBetaMatchClosedForms) {
    // P(1, x) = 1 - e^-x; P(1/2, x) = erf(sqrt x); I_x(a, 1) = x^a; I_x(1, b) = 1 - (1-x)^b.
    EXPECT_NEAR(gamma_cdf(1.0, 2.5), 1.0 - std::exp(-2.5), 1e-13);
    EXPECT_NEAR(gamma_cdf(0.5, 3.0), std::erf(std::sqrt(3.0)), 1e-13);
    EXPECT_NEAR(beta_cdf(2.5, 1.0, 0.3), std::pow(0.3, 2.5), 1e-13);
    EXPECT_NEAR(beta_cdf(1.0, 3.5, 0.8), 1.0 - std::pow(0.2, 3.5), 1e-13);
    // I_(1/2)(a, a) = 1/2 by symmetry.
    EXPECT_NEAR(beta_cdf(0.3, 0.3, 0.5), 0.5, 1e-12);
}

// ----------------------------------------------------------------- gamma

TEST(Sgamma, BothAlgorithmsAndAllHatRangesFitTheGammaDistribution) {
    setall(20240601, 1357911);
    // 0.5: algorithm GS; 1, 2: GD with the hat of a <= 3.686; 5: of
    // 3.686 < a <= 13.022; 20: of a > 13.022.
    for (double a : {0.5, 1.0, 2.0, 5.0, 20.0}) {
        const float af = static_cast<float>(a);
        check_gamma(draw_real(200000, [af] { return sgamma(af); }), a,
                    "sgamma(" + std::to_string(a) + ")");
    }
}

TEST(Sgamma, AlternatingShapesRebuildTheirSetUps) {
    setall(97531, 24680);
    // GS between GD calls resets the step-1 key; two GD shapes alternate both
    // keys.  Each stream must still be its own gamma distribution.
    std::vector<double> gs, gd5, gd2;
    for (int i = 0; i < 100000; i++) {
        gd5.push_back(sgamma(5.0f));
        gs.push_back(sgamma(0.5f));
        gd5.push_back(sgamma(5.0f));
        gd2.push_back(sgamma(2.0f));
    }
    check_gamma(gs, 0.5, "alternating sgamma(0.5)");
    check_gamma(gd5, 5.0, "alternating sgamma(5)");
    check_gamma(gd2, 2.0, "alternating sgamma(2)");
}

// ----------------------------------------------------------------- beta

TEST(Genbet, BothAlgorithmsAndBothOrdersFitTheBetaDistribution) {
    setall(11111, 22222);
    // BB for min(a, b) > 1, BC otherwise; each with the shapes in both orders,
    // since the algorithm sorts them and must undo that at the end.
    const std::vector<std::pair<double, double>> shapes = {
        {2.0, 5.0}, {5.0, 2.0}, {1.5, 1.5}, {0.5, 3.0}, {3.0, 0.5}, {0.3, 0.7}, {1.0, 4.0}};
    for (const auto& [a, b] : shapes) {
        const float af = static_cast<float>(a), bf = static_cast<float>(b);
        check_beta(draw_real(200000, [af, bf] { return genbet(af, bf); }), a, b,
                   "genbet(" + std::to_string(a) + ", " + std::to_string(b) + ")");
    }
}

TEST(Genbet, AlternatingArgumentsRebuildTheSetUp) {
    setall(31337, 4242);
    std::vector<double> bc, bb;
    for (int i = 0; i < 100000; i++) {
        bc.push_back(genbet(0.5f, 3.0f));
        bb.push_back(genbet(2.0f, 5.0f));
        bb.push_back(genbet(2.0f, 5.0f));  // a repeated key reuses the set-up
    }
    check_beta(bc, 0.5, 3.0, "alternating genbet(0.5, 3)");
    check_beta(bb, 2.0, 5.0, "alternating genbet(2, 5)");
}

// ----------------------------------------------------------------- binomial

TEST(Ignbin, InversionAndBtpeFitTheBinomialDistribution) {
    setall(5551212, 8675309);
    // n p < 30: inversion; n p >= 30: BTPE; p > 1/2 reflects; the large case
    // reaches the squeeze and Stirling tests (|ix - m| > 20).
    const std::vector<std::pair<int, double>> cases = {
        {20, 0.3}, {30, 0.8}, {99, 0.3}, {200, 0.4}, {200, 0.7}, {5000, 0.5}, {1000, 0.97}};
    for (const auto& [n, p] : cases) {
        std::vector<int32_t> ks(200000);
        const float pf = static_cast<float>(p);
        for (int32_t& k : ks) k = ignbin(n, pf);
        check_binomial(ks, n, p, "ignbin(" + std::to_string(n) + ", " + std::to_string(p) + ")");
    }
}

TEST(Ignbin, AlternatingArgumentsRebuildTheSetUp) {
    setall(1212, 3434);
    // Same p with alternating n (only the n set-up changes), and alternating p.
    std::vector<int32_t> small, large, other;
    for (int i = 0; i < 100000; i++) {
        small.push_back(ignbin(20, 0.4f));
        large.push_back(ignbin(300, 0.4f));
        other.push_back(ignbin(300, 0.65f));
    }
    check_binomial(small, 20, 0.4f, "alternating ignbin(20, 0.4)");
    check_binomial(large, 300, 0.4f, "alternating ignbin(300, 0.4)");
    check_binomial(other, 300, 0.65f, "alternating ignbin(300, 0.65)");
}

TEST(Ignbin, DegenerateProbabilitiesAndZeroTrials) {
    setall(77, 88);
    for (int i = 0; i < 1000; i++) {
        EXPECT_EQ(ignbin(50, 0.0f), 0);
        EXPECT_EQ(ignbin(50, 1.0f), 50);
        EXPECT_EQ(ignbin(0, 0.3f), 0);
    }
}

TEST(Ignbin, ProbabilityAboveOneHalfIsTheReflectionOfItsComplement) {
    // The deviate for pp > 1/2 is n minus the one drawn for 1 - pp from the
    // same stream.  0.75 and 0.25 are exact complements in single precision.
    for (int n : {25, 400}) {
        setall(424242, 171717);
        std::vector<int32_t> low;
        for (int i = 0; i < 1000; i++) low.push_back(ignbin(n, 0.25f));
        setall(424242, 171717);
        for (int i = 0; i < 1000; i++) ASSERT_EQ(ignbin(n, 0.75f), n - low[i]) << n << " " << i;
    }
}

// ----------------------------------------------------------------- built on them

TEST(DerivedDeviates, MomentsOfTheWrappers) {
    setall(123123, 456456);
    const int n = 200000;
    // Exact means and variances; the kurtosis excesses are those of the
    // distributions (gamma-type: 6/shape; F and noncentral: bounded by the
    // values given, which only widen the variance check).
    expect_moments(draw_real(n, [] { return genchi(4.0f); }), 4.0, 8.0, 3.0, "genchi(4)");
    expect_moments(draw_real(n, [] { return genexp(2.0f); }), 2.0, 4.0, 6.0, "genexp(2)");
    expect_moments(draw_real(n, [] { return gengam(2.0f, 3.0f); }), 1.5, 0.75, 2.0,
                   "gengam(2, 3)");
    expect_moments(draw_real(n, [] { return gennor(1.0f, 2.0f); }), 1.0, 4.0, 0.0,
                   "gennor(1, 2)");
    expect_moments(draw_real(n, [] { return genunf(-1.0f, 3.0f); }), 1.0, 16.0 / 12.0, -1.2,
                   "genunf(-1, 3)");
    // Noncentral chi-square: mean k + lambda, variance 2 (k + 2 lambda).
    expect_moments(draw_real(n, [] { return gennch(3.0f, 2.0f); }), 5.0, 14.0, 3.0,
                   "gennch(3, 2)");
    // Negative binomial: mean n (1 - p) / p, variance n (1 - p) / p^2.
    std::vector<double> nb;
    for (int i = 0; i < n; i++) nb.push_back(ignnbn(5, 0.4f));
    expect_moments(nb, 7.5, 18.75, 1.5, "ignnbn(5, 0.4)");
    // F(5, 10): mean d2 / (d2 - 2).  Noncentral F(4, 12, 2): mean
    // d2 (d1 + lambda) / (d1 (d2 - 2)).  Heavy tails: means only.
    const Moments f = sample_moments(draw_real(n, [] { return genf(5.0f, 10.0f); }));
    EXPECT_NEAR(f.mean, 1.25, 0.02);
    const Moments nf = sample_moments(draw_real(n, [] { return gennf(4.0f, 12.0f, 2.0f); }));
    EXPECT_NEAR(nf.mean, 1.8, 0.03);
}

TEST(DerivedDeviates, GenunfStaysInItsInterval) {
    setall(9, 10);
    for (int i = 0; i < 100000; i++) {
        const float x = genunf(2.0f, 2.5f);
        ASSERT_GE(x, 2.0f);
        ASSERT_LE(x, 2.5f);
    }
    EXPECT_EQ(genunf(7.0f, 7.0f), 7.0f);
}

TEST(DerivedDeviates, OneSeedReproducesEveryStream) {
    auto run = [] {
        std::vector<double> out;
        setall(2718281, 3141592);
        for (int i = 0; i < 2000; i++) {
            out.push_back(genbet(0.7f, 2.0f));
            out.push_back(sgamma(3.0f));
            out.push_back(ignbin(500, 0.2f));
            out.push_back(genf(3.0f, 7.0f));
            out.push_back(ignnbn(4, 0.3f));
        }
        return out;
    };
    EXPECT_EQ(run(), run());
}

}  // namespace

namespace {

// ----------------------------------------------------------------- beta efficiency
//
// Cheng's quick tests only short-cut the full acceptance test: a pair
// (u1, u2) is accepted exactly when u2 <= e^h(u1) / u1^2, with
// BB: h = gamma V - ln 4 + alpha ln(alpha / (b + W)),
// BC: h = alpha (ln(alpha / (b + W)) + V) - ln 4,
// V = beta ln(u1 / (1 - u1)), W = a e^V.  So the mean number of uniforms per
// deviate is 2 / P with P the integral over u1 of min(1, e^h / u1^2).  A
// quick test that accepts or rejects wrongly (a wrong constant in it) moves
// the count although the accepted values may stay close to beta.

// Uniforms drawn from generator 1 since the seeds (s1, s2): replays the stream.
long draws_since(int32_t s1, int32_t s2) {
    int32_t e1, e2;
    getsd(&e1, &e2);
    setsd(s1, s2);
    long count = 0;
    int32_t c1 = s1, c2 = s2;
    while (c1 != e1 || c2 != e2) {
        ignlgi();
        getsd(&c1, &c2);
        count++;
    }
    return count;
}

double beta_acceptance(double aa, double bb) {
    const bool bb_algorithm = std::min(aa, bb) > 1.0;
    const double a = bb_algorithm ? std::min(aa, bb) : std::max(aa, bb);
    const double b = bb_algorithm ? std::max(aa, bb) : std::min(aa, bb);
    const double alpha = a + b;
    const double beta = bb_algorithm ? std::sqrt((alpha - 2.0) / (2.0 * a * b - alpha)) : 1.0 / b;
    const double gamma = a + 1.0 / beta;
    const int steps = 2000000;
    double sum = 0.0;
    for (int i = 0; i < steps; i++) {
        const double u1 = (i + 0.5) / steps;
        const double v = beta * std::log(u1 / (1.0 - u1));
        const double w = a * std::exp(v);
        const double h = bb_algorithm ? gamma * v - std::log(4.0) + alpha * std::log(alpha / (b + w))
                                      : alpha * (std::log(alpha / (b + w)) + v) - std::log(4.0);
        sum += std::min(1.0, std::exp(h) / (u1 * u1));
    }
    return sum / steps;
}

TEST(Genbet, UniformsPerDeviateMatchTheAcceptanceProbability) {
    for (const auto& [a, b] : std::vector<std::pair<double, double>>{
             {2.0, 5.0}, {1.5, 1.5}, {0.5, 3.0}, {0.3, 0.7}, {0.9, 4.0}}) {
        setall(8080, 9090);
        int32_t s1, s2;
        getsd(&s1, &s2);
        const int n = 100000;
        const float af = static_cast<float>(a), bf = static_cast<float>(b);
        for (int i = 0; i < n; i++) genbet(af, bf);
        const double per_deviate = static_cast<double>(draws_since(s1, s2)) / n;
        const double p = beta_acceptance(a, b);
        // Pairs per deviate are geometric: variance (1 - p) / p^2.
        const double se = 2.0 * std::sqrt((1.0 - p) / (p * p) / n);
        EXPECT_NEAR(per_deviate, 2.0 / p, 5.0 * se) << "genbet(" << a << ", " << b << ")";
    }
}

}  // namespace

// The rest of the deviate family: beta, gamma and their relatives, the
// binomial family, uniform integers, permutations, the multivariate normal,
// and three utilities (seeds from a phrase, text length, stop).
//
// Single precision, as the algorithms were published and as the stream must
// reproduce bit for bit: every named working quantity is a float (integers
// int32_t); an operation between two floats is done in float; an operation
// with a constant written with a fractional part, or with log, exp, sqrt or
// pow, is done in double and rounded when it is stored.  The helpers below
// take doubles so that the float overloads of <cmath> are never picked by
// accident.  Conversions to integers truncate toward zero.
//
// Set-up caches (genbet, ignbin, sgamma) live in one static struct per
// routine.  They are process-wide and not thread-safe, like the generator
// they draw from: calls must not overlap.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ranlib.h"

namespace {

double log_d(double x) { return std::log(x); }
double exp_d(double x) { return std::exp(x); }
double sqrt_d(double x) { return std::sqrt(x); }
double pow_d(double x, double y) { return std::pow(x, y); }
double fabs_d(double x) { return std::fabs(x); }

// The library ends the process through ranlib_exit, so that a host such as
// the MEX gateway can turn the stop into an error of its own.
[[noreturn]] void stop(int status) {
    ranlib_exit(status);
    std::exit(status);  // not reached: ranlib_exit does not return
}

// ---- Fixed texts written to standard error by the argument checks ----
constexpr const char* kGenbetArgs = " AA or BB <= 0 in GENBET - Abort!";
constexpr const char* kGenbetValues = " AA: %16.6E BB %16.6E\n";
constexpr const char* kGenchiArgs = "DF <= 0 in GENCHI - ABORT";
constexpr const char* kGenchiValues = "Value of DF: %16.6E\n";
constexpr const char* kGenfArgs = "Degrees of freedom nonpositive in GENF - abort!";
constexpr const char* kGenfValues = "DFN value: %16.6EDFD value: %16.6E\n";
constexpr const char* kGennchArgs = "DF <= 1 or XNONC < 0 in GENNCH - ABORT";
constexpr const char* kGennchValues = "Value of DF: %16.6E Value of XNONC%16.6E\n";
constexpr const char* kGennfArgs1 = "In GENNF - Either (1) Numerator DF <= 1.0 or";
constexpr const char* kGennfArgs2 = "(2) Denominator DF < 0.0 or ";
constexpr const char* kGennfArgs3 = "(3) Noncentrality parameter < 0.0";
constexpr const char* kGennfValues = "DFN value: %16.6EDFD value: %16.6EXNONC value: \n%16.6E\n";
constexpr const char* kGenunfValues = "LOW > HIGH in GENUNF: LOW %16.6E HIGH: %16.6E\n";
constexpr const char* kGenunfAbort = "Abort";
constexpr const char* kIgnuinOrder = " low > high in ignuin - ABORT";
constexpr const char* kIgnuinRange = " high - low too large in ignuin - ABORT";
constexpr const char* kSetgmnP = "P nonpositive in SETGMN";
constexpr const char* kSetgmnPValue = "Value of P: %12ld\n";
constexpr const char* kSetgmnCovm = " COVM not positive definite in SETGMN";
constexpr const char* kGenmulN = "N < 0 in GENMUL";
constexpr const char* kGenmulNcat = "NCAT <= 1 in GENMUL";
constexpr const char* kGenmulPNeg = "Some P(i) < 0 in GENMUL";
constexpr const char* kGenmulPBig = "Some P(i) > 1 in GENMUL";
constexpr const char* kGenmulPSum = "Sum of P(i) > 1 in GENMUL";
constexpr const char* kIgnnbnN = "N < 0 in IGNNBN";
constexpr const char* kIgnnbnPLow = "P <= 0 in IGNNBN";
constexpr const char* kIgnnbnPHigh = "P >= 1 in IGNNBN";
// Overflow warnings of the F deviates; they do not stop.
constexpr const char* kGenfOverflow = " GENF - generated numbers would cause overflow";
constexpr const char* kGennfOverflow = " GENNF - generated numbers would cause overflow";
constexpr const char* kOverflowValues = " Numerator %16.6E Denominator %16.6E\n";
constexpr const char* kGenfReturning = " GENF returning 1.0E38";
constexpr const char* kGennfReturning = " GENNF returning 1.0E38";

// The largest value the deviates return in place of an overflow.
constexpr float kHuge = 1.0E38f;

// ============================ Beta: Cheng (1978) ============================
//
// R. C. H. Cheng, "Generating beta variates with nonintegral shape
// parameters", CACM 21 (1978) 317-322.  Algorithm BB when both shapes exceed
// 1, algorithm BC otherwise.  Both draw V = beta ln(u1 / (1 - u1)) and
// W = a e^V, for which W / (b + W) has the beta(a, b) distribution under
// Cheng's log-logistic hat, and accept by a chain of cheap tests.

constexpr double kBetaExpMax = 89.0;  // beyond e^89, W would overflow single precision
constexpr double kLog4 = 1.3862944;   // ln 4
constexpr double kOnePlusLog5 = 2.609438;  // 1 + ln 5

// Set-up of genbet for the previous (aa, bb): process-wide, not thread-safe.
struct BetaSetup {
    bool have_key;     // false before the first call: nothing to reuse
    float olda, oldb;  // the arguments the set-up below belongs to
    float a, b;        // BB: min and max of the shapes; BC: max and min
    float alpha, beta, gamma;  // alpha = a + b; beta and gamma of BB, beta of BC
    float delta, k1, k2;       // BC only
};
BetaSetup g_beta = {false, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

// W = a e^V, with V bounded so that W stays a finite float.  Beyond the bound
// (and, for a > 0.76, in the narrow band just below it where a e^V already
// passes the largest float) W is 1.0E38: the quotients W / (b + W) and
// b / (b + W) then come out as 1 and 0 instead of NaN from inf / inf.
float beta_w(float a, float v) {
    if (v > kBetaExpMax) return kHuge;
    const double w = a * exp_d(v);
    if (w > FLT_MAX) return kHuge;
    return static_cast<float>(w);
}

// v = beta ln(u1 / (1 - u1)), the log-logistic abscissa of Cheng's hat.
float beta_v(float beta, float u1) {
    return static_cast<float>(beta * log_d(u1 / (1.0 - u1)));
}

void prepare_beta_bb(BetaSetup& st, float aa, float bb) {
    st.a = aa <= bb ? aa : bb;
    st.b = aa <= bb ? bb : aa;
    st.alpha = st.a + st.b;
    st.beta = static_cast<float>(sqrt_d((st.alpha - 2.0) / (2.0 * st.a * st.b - st.alpha)));
    st.gamma = static_cast<float>(st.a + 1.0 / st.beta);
}

float beta_bb(const BetaSetup& st, float aa) {
    float w;
    for (;;) {
        // Step 1
        const float u1 = ranf();
        const float u2 = ranf();
        const float v = beta_v(st.beta, u1);
        w = beta_w(st.a, v);
        const float z = static_cast<float>(pow_d(u1, 2.0) * u2);
        const float r = static_cast<float>(st.gamma * v - kLog4);
        const float s = st.a + r - w;
        // Step 2: quick acceptance
        if (s + kOnePlusLog5 >= 5.0 * z) break;
        // Step 3: acceptance against ln z
        const float t = static_cast<float>(log_d(z));
        if (s > t) break;
        // Step 4: the full test
        if (!(r + st.alpha * log_d(st.alpha / (st.b + w)) < t)) break;
    }
    // Step 5: a is the smaller shape; which quotient is beta(aa, bb)
    return st.a == aa ? w / (st.b + w) : st.b / (st.b + w);
}

void prepare_beta_bc(BetaSetup& st, float aa, float bb) {
    st.a = aa <= bb ? bb : aa;
    st.b = aa <= bb ? aa : bb;
    st.alpha = st.a + st.b;
    st.beta = static_cast<float>(1.0 / st.b);
    st.delta = static_cast<float>(1.0 + st.a - st.b);
    st.k1 = static_cast<float>(st.delta * (1.38889E-2 + 4.16667E-2 * st.b) /
                               (st.a * st.beta - 0.777778));
    st.k2 = static_cast<float>(0.25 + (0.5 + 0.25 / st.delta) * st.b);
}

float beta_bc(const BetaSetup& st, float aa) {
    float w;
    for (;;) {
        // Step 1
        const float u1 = ranf();
        const float u2 = ranf();
        float z;
        if (u1 < 0.5) {
            // Step 2
            const float y = u1 * u2;
            z = u1 * y;
            if (0.25 * u2 + z - y >= st.k1) continue;
        } else {
            // Step 3
            z = static_cast<float>(pow_d(u1, 2.0) * u2);
            if (z <= 0.25) {
                w = beta_w(st.a, beta_v(st.beta, u1));
                break;
            }
            // Step 4
            if (z >= st.k2) continue;
        }
        // Step 5
        const float v = beta_v(st.beta, u1);
        w = beta_w(st.a, v);
        if (!(st.alpha * (log_d(st.alpha / (st.b + w)) + v) - kLog4 < log_d(z))) break;
    }
    // Step 6: here a is the larger shape
    return st.a == aa ? w / (st.b + w) : st.b / (st.b + w);
}

// ===================== Gamma: Ahrens and Dieter GD, GS =====================
//
// GD: J. H. Ahrens and U. Dieter, "Generating gamma variates by a modified
// rejection technique", CACM 25 (1982) 47-54, for shapes a >= 1: a normal
// deviate t gives x = s + t/2 with s^2 = a - 1/2, accepted at once when t >= 0,
// by a squeeze, by the quotient test, or else replaced by a Laplace (double
// exponential) sample tested against the hat.
// GS: J. H. Ahrens and U. Dieter, "Computer methods for sampling from gamma,
// beta, Poisson and binomial distributions", Computing 12 (1974) 223-246,
// for shapes a < 1: rejection from a mixture of x^(a-1) on (0, 1) and e^-x
// beyond 1.
//
// The named constants are stored in single precision like every other named
// quantity; products of two of them with a float stay in float.

constexpr float kSqrt32 = 5.656854f;
// Coefficients of q0 = sum q_k / a^k, the log of the normalisation ratio.
constexpr float kQ1 = 0.04166669f, kQ2 = 0.02083148f, kQ3 = 0.00801191f,
                kQ4 = 0.00144121f, kQ5 = -0.00007388f, kQ6 = 0.00024511f,
                kQ7 = 0.0002424f;
// Series of (1 + v) ln(1 + v) - v type used for |v| <= 1/4.
constexpr float kA1 = 0.3333333f, kA2 = -0.250003f, kA3 = 0.2000062f,
                kA4 = -0.1662921f, kA5 = 0.1423657f, kA6 = -0.1367177f,
                kA7 = 0.1233795f;
// Series of e^q - 1 used for q <= 1/2.
constexpr float kE1 = 1.0f, kE2 = 0.4999897f, kE3 = 0.166829f, kE4 = 0.0407753f,
                kE5 = 0.010293f;
constexpr double kExpMinusOne = 0.3678794;   // e^-1, GS
constexpr double kLaplaceTau = -0.7187449;  // GD step 9: t below tau(1) is rejected

// Set-up of sgamma, each part keyed by the shape it was computed for:
// process-wide, not thread-safe.
struct GammaSetup {
    float aa;              // shape of the last step-1 set-up (0 after a GS call)
    float s2, s, d;        // a - 1/2, its square root, sqrt(32) - 12 s
    float aaa;             // shape of the last step-4 set-up
    float q0, b, si, c;    // q0 and the Laplace hat's location, scale and c
};
GammaSetup g_gamma = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

void prepare_gamma_step1(GammaSetup& st, float a) {
    st.aa = a;
    st.s2 = static_cast<float>(a - 0.5);
    st.s = static_cast<float>(sqrt_d(st.s2));
    st.d = static_cast<float>(kSqrt32 - 12.0 * st.s);
}

void prepare_gamma_step4(GammaSetup& st, float a) {
    st.aaa = a;
    const float r = static_cast<float>(1.0 / a);
    st.q0 = ((((((kQ7 * r + kQ6) * r + kQ5) * r + kQ4) * r + kQ3) * r + kQ2) * r + kQ1) * r;
    // b, si and c of the hat, by ranges of a found by numerical experiment.
    if (a <= 3.686) {
        st.b = static_cast<float>(0.463 + st.s + 0.178 * st.s2);
        st.si = 1.235f;
        st.c = static_cast<float>(0.195 / st.s - 7.9E-2 + 1.6E-1 * st.s);
    } else if (a <= 13.022) {
        st.b = static_cast<float>(1.654 + 7.6E-3 * st.s2);
        st.si = static_cast<float>(1.68 / st.s + 0.275);
        st.c = static_cast<float>(6.2E-2 / st.s + 2.4E-2);
    } else {
        st.b = 1.77f;
        st.si = 0.75f;
        st.c = static_cast<float>(0.1515 / st.s);
    }
}

// The log quotient q(t) of the gamma density at x = s + t/2 over the normal
// density at t (GD steps 6 and 10); the series serves |v| <= 1/4.
float gamma_quotient(const GammaSetup& st, float t) {
    const float v = t / (st.s + st.s);
    if (fabs_d(v) <= 0.25) {
        const float poly = (((((kA7 * v + kA6) * v + kA5) * v + kA4) * v + kA3) * v + kA2) * v + kA1;
        return static_cast<float>(st.q0 + 0.5 * t * t * poly * v);
    }
    return static_cast<float>(st.q0 - st.s * t + 0.25 * t * t + (st.s2 + st.s2) * log_d(1.0 + v));
}

float gamma_gs(float a) {
    const float b0 = static_cast<float>(1.0 + kExpMinusOne * a);
    for (;;) {
        const float p = b0 * ranf();
        if (p < 1.0) {
            const float x = static_cast<float>(exp_d(log_d(p) / a));
            if (sexpo() < x) continue;
            return x;
        }
        const float x = static_cast<float>(-log_d((b0 - p) / a));
        if (sexpo() < (1.0 - a) * log_d(x)) continue;
        return x;
    }
}

// GD steps 8 to 12: Laplace samples t = b + si * (+-e) until the hat accepts.
float gamma_laplace(const GammaSetup& st) {
    for (;;) {
        const float e = sexpo();
        float u = ranf();
        u = static_cast<float>(u + (u - 1.0));
        const float t = st.b + fsign(st.si * e, u);
        if (t < kLaplaceTau) continue;
        const float q = gamma_quotient(st, t);
        if (q <= 0.0) continue;
        // w = e^q - 1; kept in double only in the (practically unreachable)
        // case where it would overflow single precision, so that the test
        // below stays a comparison of finite numbers.
        double w;
        if (q <= 0.5) {
            w = ((((kE5 * q + kE4) * q + kE3) * q + kE2) * q + kE1) * q;
        } else {
            const double wd = exp_d(q) - 1.0;
            w = wd <= FLT_MAX ? static_cast<float>(wd) : wd;
        }
        if (st.c * fabs_d(u) > w * exp_d(e - 0.5 * t * t)) continue;
        const float x = static_cast<float>(st.s + 0.5 * t);
        return x * x;
    }
}

// ========================= Binomial: BTPE and inversion =========================
//
// V. Kachitvichyanukul and B. W. Schmeiser, "Binomial random variate
// generation", CACM 31 (1988) 216-222.  For n * p >= 30, algorithm BTPE: a hat
// of a triangle, a parallelogram and two exponential tails, with acceptance by
// the recursive pmf ratio near the mode or by squeezes and Stirling's formula
// far from it.  For n * p < 30, inversion of the cdf from 0 upwards.  The
// deviate is drawn for p = min(pp, 1 - pp) and reflected for pp > 1/2.

constexpr double kBinomialInversionBound = 30.0;
constexpr int32_t kInversionMaxIx = 110;  // restart the search beyond this count

// Set-up of ignbin for the previous (pp, n): process-wide, not thread-safe.
struct BinomialSetup {
    float psave;    // previous pp, -1 before the first call
    int32_t nsave;  // previous n, -1 before the first call
    float p, q;     // min(pp, 1 - pp) and 1 - p
    float xnp;      // n p
    // inversion
    float qn, r, g;  // q^n, p / q, r (n + 1)
    // BTPE
    int32_t m;                        // mode
    float ffm, fm, xnpq;              // n p + p, m, n p q
    float p1, xm, xl, xr, c;          // triangle half-width, its centre and ends
    float xll, xlr;                   // exponential tail rates
    float p2, p3, p4;                 // cumulative areas of the hat's regions
};
BinomialSetup g_binomial = {-1.0f, -1, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0,
                            0.0f,  0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                            0.0f,  0.0f, 0.0f, 0.0f, 0.0f};

// (n + 1) as a float, without the int32_t overflow at n = 2^31 - 1.
float n_plus_one(int32_t n) { return static_cast<float>(static_cast<int64_t>(n) + 1); }

void prepare_binomial_p(BinomialSetup& st, float pp) {
    st.psave = pp;
    const double complement = 1.0 - st.psave;
    st.p = static_cast<float>(st.psave <= complement ? st.psave : complement);
    st.q = static_cast<float>(1.0 - st.p);
}

void prepare_binomial_n(BinomialSetup& st, int32_t n) {
    st.xnp = n * st.p;
    st.nsave = n;
    if (st.xnp < kBinomialInversionBound) {
        st.qn = static_cast<float>(pow_d(st.q, static_cast<double>(n)));
        st.r = st.p / st.q;
        st.g = st.r * n_plus_one(n);
        return;
    }
    st.ffm = st.xnp + st.p;
    st.m = static_cast<int32_t>(st.ffm);
    st.fm = static_cast<float>(st.m);
    st.xnpq = st.xnp * st.q;
    st.p1 = static_cast<float>(static_cast<int32_t>(2.195 * sqrt_d(st.xnpq) - 4.6 * st.q) + 0.5);
    st.xm = static_cast<float>(st.fm + 0.5);
    st.xl = st.xm - st.p1;
    st.xr = st.xm + st.p1;
    st.c = static_cast<float>(0.134 + 20.5 / (15.3 + st.fm));
    float al = (st.ffm - st.xl) / (st.ffm - st.xl * st.p);
    st.xll = static_cast<float>(al * (1.0 + 0.5 * al));
    al = (st.xr - st.ffm) / (st.xr * st.q);
    st.xlr = static_cast<float>(al * (1.0 + 0.5 * al));
    st.p2 = static_cast<float>(st.p1 * (1.0 + st.c + st.c));
    st.p3 = st.p2 + st.c / st.xll;
    st.p4 = st.p3 + st.c / st.xlr;
}

int32_t binomial_inversion(const BinomialSetup& st) {
    for (;;) {
        int32_t ix = 0;
        float f = st.qn;
        float u = ranf();
        while (!(u < f)) {
            if (ix > kInversionMaxIx) break;
            u -= f;
            ix += 1;
            f *= (st.g / static_cast<float>(ix) - st.r);
        }
        if (u < f) return ix;
    }
}

// Stirling's series correction 1/(12 x) - 1/(360 x^3) + ... to machine
// accuracy, given x and x^2.
double stirling_term(float x, float x2) {
    return (13860.0 - (462.0 - (132.0 - (99.0 - 140.0 / x2) / x2) / x2) / x2) / x / 166320.0;
}

// BTPE step 5: accept ix for the hat ordinate v?
bool btpe_accept(const BinomialSetup& st, int32_t n, int32_t ix, float v) {
    const int32_t k = std::abs(ix - st.m);
    if (!(k > 20 && k < st.xnpq / 2 - 1)) {
        // 5.1: explicit evaluation of f(ix) / f(m) by the recursion
        // f(i) / f(i - 1) = (n + 1 - i) p / (i q) = g / i - r.
        float f = 1.0f;
        const float r = st.p / st.q;
        const float g = n_plus_one(n) * r;
        if (st.m < ix) {
            for (int32_t i = st.m + 1; i <= ix; i++) f *= (g / static_cast<float>(i) - r);
        } else if (st.m > ix) {
            for (int32_t i = ix + 1; i <= st.m; i++) f /= (g / static_cast<float>(i) - r);
        }
        return v <= f;
    }
    // 5.2: squeeze with bounds on ln(f(ix) / f(m)).  k * k is formed in 64
    // bits: for n p q beyond about 10^5, k may pass 46340.
    const float amaxp = static_cast<float>(
        k / st.xnpq * ((k * (k / 3.0 + 0.625) + 0.1666666666666) / st.xnpq + 0.5));
    const float ynorm =
        static_cast<float>(-(static_cast<double>(static_cast<int64_t>(k) * k) / (2.0 * st.xnpq)));
    const float alv = static_cast<float>(log_d(v));
    if (alv < ynorm - amaxp) return true;
    if (alv > ynorm + amaxp) return false;
    // 5.3: the final test with Stirling's formula.
    const float x1 = static_cast<float>(ix + 1.0);
    const float f1 = static_cast<float>(st.fm + 1.0);
    const float z = static_cast<float>(n + 1.0 - st.fm);
    const float w = static_cast<float>(n - ix + 1.0);
    const float z2 = z * z;
    const float x2 = x1 * x1;
    const float f2 = f1 * f1;
    const float w2 = w * w;
    const double bound = st.xm * log_d(f1 / x1) + (n - st.m + 0.5) * log_d(z / w) +
                         (ix - st.m) * log_d(w * st.p / (x1 * st.q)) + stirling_term(f1, f2) +
                         stirling_term(z, z2) + stirling_term(x1, x2) + stirling_term(w, w2);
    return alv <= bound;
}

int32_t binomial_btpe(const BinomialSetup& st, int32_t n) {
    for (;;) {
        // Step 1: which region of the hat
        const float u = ranf() * st.p4;
        float v = ranf();
        if (u <= st.p1) {
            // triangle: accepted at once
            return static_cast<int32_t>(st.xm - st.p1 * v + u);
        }
        int32_t ix;
        if (u <= st.p2) {
            // Step 2: parallelogram
            const float x = st.xl + (u - st.p1) / st.c;
            v = static_cast<float>(v * st.c + 1.0 - fabs_d(st.xm - x) / st.p1);
            if (v > 1.0 || v <= 0.0) continue;
            ix = static_cast<int32_t>(x);
        } else if (u <= st.p3) {
            // Step 3: left exponential tail
            ix = static_cast<int32_t>(st.xl + log_d(v) / st.xll);
            if (ix < 0) continue;
            v = v * (u - st.p2) * st.xll;
        } else {
            // Step 4: right exponential tail
            ix = static_cast<int32_t>(st.xr - log_d(v) / st.xlr);
            if (ix > n) continue;
            v = v * (u - st.p3) * st.xlr;
        }
        if (btpe_accept(st, n, ix, v)) return ix;
    }
}

// ============================ Uniform integers ============================

constexpr int32_t kIgnuinMaxRange = 2147483561;  // Xm1 - 2: ignlgi() - 1 spans 0 .. this

// ============================ Multivariate normal ============================

// Offset in the parameter array of R[row][col] (0-based, col >= row): the
// factor's upper triangle follows the mean, row by row from the diagonal.
int32_t factor_offset(int32_t p, int32_t row, int32_t col) {
    return p + 1 + row * p - row * (row - 1) / 2 + (col - row);
}

// ============================ Seeds from a phrase ============================

constexpr const char kPhraseTable[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!@#$%^&*()_+[];:'\\\"<>?,./";
constexpr int32_t kTwoP30 = 1073741824;  // 2^30: both seeds are kept below it
constexpr int32_t kPhraseShift[5] = {1, 64, 4096, 262144, 16777216};  // 64^(j - 1)
constexpr int32_t kPhraseSeed1 = 1234567890;
constexpr int32_t kPhraseSeed2 = 123456789;

// Index of c in the table, 0 for a character not in it.
int32_t phrase_index(char c) {
    for (int32_t i = 0; kPhraseTable[i] != '\0'; i++)
        if (kPhraseTable[i] == c) return i;
    return 0;
}

}  // namespace

extern "C" {

float genbet(float aa, float bb) {
    BetaSetup& st = g_beta;
    const bool same = st.have_key && st.olda == aa && st.oldb == bb;
    if (!same) {
        if (aa <= 0.0 || bb <= 0.0) {
            std::fputs(kGenbetArgs, stderr);
            std::fprintf(stderr, kGenbetValues, aa, bb);
            stop(1);
        }
        st.have_key = true;
        st.olda = aa;
        st.oldb = bb;
    }
    const bool bb_branch = (aa <= bb ? aa : bb) > 1.0;
    if (bb_branch) {
        if (!same) prepare_beta_bb(st, aa, bb);
        return beta_bb(st, aa);
    }
    if (!same) prepare_beta_bc(st, aa, bb);
    return beta_bc(st, aa);
}

float genchi(float df) {
    if (df <= 0.0) {
        std::fputs(kGenchiArgs, stderr);
        std::fprintf(stderr, kGenchiValues, df);
        stop(1);
    }
    return static_cast<float>(2.0 * gengam(1.0f, static_cast<float>(df / 2.0)));
}

float genexp(float av) { return av * sexpo(); }

float genf(float dfn, float dfd) {
    if (dfn <= 0.0 || dfd <= 0.0) {
        std::fputs(kGenfArgs, stderr);
        std::fprintf(stderr, kGenfValues, dfn, dfd);
        stop(1);
    }
    const float xnum = genchi(dfn) / dfn;
    const float xden = genchi(dfd) / dfd;
    if (xden <= 9.999999999998E-39 * xnum) {
        std::fputs(kGenfOverflow, stderr);
        std::fprintf(stderr, kOverflowValues, xnum, xden);
        std::fputs(kGenfReturning, stderr);
        return kHuge;
    }
    return xnum / xden;
}

float gengam(float a, float r) { return sgamma(r) / a; }

float sgamma(float a) {
    GammaSetup& st = g_gamma;
    if (a != st.aa) {
        if (a < 1.0) {
            st.aa = 0.0f;  // GS uses none of the GD set-up; step 1 must run again
            return gamma_gs(a);
        }
        // Step 1
        prepare_gamma_step1(st, a);
    }
    // Step 2: t standard normal, x = s + t/2; immediate acceptance for t >= 0
    const float t = snorm();
    const float x = static_cast<float>(st.s + 0.5 * t);
    const float result = x * x;
    if (t >= 0.0) return result;
    // Step 3: squeeze acceptance
    const float u = ranf();
    if (st.d * u <= t * t * t) return result;
    // Step 4
    if (a != st.aaa) prepare_gamma_step4(st, a);
    // Steps 5 to 7: quotient acceptance, only for a positive x
    if (x > 0.0) {
        const float q = gamma_quotient(st, t);
        if (log_d(1.0 - u) <= q) return result;
    }
    return gamma_laplace(st);
}

float gennor(float av, float sd) { return sd * snorm() + av; }

float gennch(float df, float xnonc) {
    if (df <= 1.0 || xnonc < 0.0) {
        std::fputs(kGennchArgs, stderr);
        std::fprintf(stderr, kGennchValues, df, xnonc);
        stop(1);
    }
    // The chi-square part is drawn before the normal part.
    const float chi = genchi(static_cast<float>(df - 1.0));
    const float normal = gennor(static_cast<float>(sqrt_d(xnonc)), 1.0f);
    return static_cast<float>(chi + pow_d(normal, 2.0));
}

float gennf(float dfn, float dfd, float xnonc) {
    if (dfn <= 1.0 || dfd <= 0.0 || xnonc < 0.0) {
        std::fputs(kGennfArgs1, stderr);
        std::fputs(kGennfArgs2, stderr);
        std::fputs(kGennfArgs3, stderr);
        std::fprintf(stderr, kGennfValues, dfn, dfd, xnonc);
        stop(1);
    }
    const float xnum = gennch(dfn, xnonc) / dfn;
    const float xden = genchi(dfd) / dfd;
    if (xden <= 9.999999999998E-39 * xnum) {
        std::fputs(kGennfOverflow, stderr);
        std::fprintf(stderr, kOverflowValues, xnum, xden);
        std::fputs(kGennfReturning, stderr);
        return kHuge;
    }
    return xnum / xden;
}

float genunf(float low, float high) {
    if (low > high) {
        std::fprintf(stderr, kGenunfValues, low, high);
        std::fputs(kGenunfAbort, stderr);
        stop(1);
    }
    return low + (high - low) * ranf();
}

void setgmn(float* meanv, float* covm, int32_t p, float* parm) {
    if (p <= 0) {
        std::fputs(kSetgmnP, stderr);
        std::fprintf(stderr, kSetgmnPValue, static_cast<long>(p));
        stop(1);
    }
    parm[0] = static_cast<float>(p);
    for (int32_t i = 0; i < p; i++) parm[i + 1] = meanv[i];
    int32_t info;
    spofa(covm, p, p, &info);
    if (info != 0) {
        std::fputs(kSetgmnCovm, stderr);
        stop(1);
    }
    // covm now holds R in its upper triangle, column by column.
    for (int32_t row = 0; row < p; row++)
        for (int32_t col = row; col < p; col++)
            parm[factor_offset(p, row, col)] = covm[row + col * p];
}

void genmn(float* parm, float* x, float* work) {
    const int32_t p = static_cast<int32_t>(parm[0]);
    for (int32_t i = 0; i < p; i++) work[i] = snorm();
    // x = mean + R^T z: component i takes column i of R down to the diagonal.
    for (int32_t i = 0; i < p; i++) {
        float ae = 0.0f;
        for (int32_t j = 0; j <= i; j++) ae += parm[factor_offset(p, j, i)] * work[j];
        x[i] = ae + parm[i + 1];
    }
}

int32_t ignbin(int32_t n, float pp) {
    BinomialSetup& st = g_binomial;
    if (pp != st.psave) {
        prepare_binomial_p(st, pp);
        prepare_binomial_n(st, n);
    } else if (n != st.nsave) {
        prepare_binomial_n(st, n);
    }
    int32_t ix = st.xnp < kBinomialInversionBound ? binomial_inversion(st) : binomial_btpe(st, n);
    if (st.psave > 0.5) ix = n - ix;
    return ix;
}

int32_t ignnbn(int32_t n, float p) {
    if (n < 0) ftnstop(kIgnnbnN);
    if (p <= 0.0) ftnstop(kIgnnbnPLow);
    if (p >= 1.0) ftnstop(kIgnnbnPHigh);
    // Poisson with a gamma(n, scale (1 - p) / p) mean: the number of failures
    // before the n-th success in trials of success probability p.
    const float y = gengam(static_cast<float>(p / (1.0 - p)), static_cast<float>(n));
    return ignpoi(y);
}

int32_t ignuin(int32_t low, int32_t high) {
    if (low > high) {
        std::fputs(kIgnuinOrder, stderr);
        stop(1);
    }
    // The range is formed in 64 bits: high - low of two far-apart 32-bit
    // values would wrap and slip past the check.
    const int64_t range = static_cast<int64_t>(high) - low;
    if (range > kIgnuinMaxRange) {
        std::fputs(kIgnuinRange, stderr);
        stop(1);
    }
    if (low == high) return low;
    // Reject draws beyond the largest multiple of range + 1 so that every
    // residue is (nearly) equally likely.
    const int32_t ranp1 = static_cast<int32_t>(range) + 1;
    // For the widest range, ranp1 exceeds kIgnuinMaxRange and the multiple
    // below would be 0, accepting only ign = 0: one value in 2^31 draws.
    // There ign already covers exactly ranp1 values, so every draw is taken.
    const int32_t maxnow =
        ranp1 > kIgnuinMaxRange ? kIgnuinMaxRange : kIgnuinMaxRange / ranp1 * ranp1;
    int32_t ign;
    do {
        ign = ignlgi() - 1;
    } while (!(ign <= maxnow));
    return low + ign % ranp1;
}

void genmul(int32_t n, float* p, int32_t ncat, int32_t* ix) {
    if (n < 0) ftnstop(kGenmulN);
    if (ncat <= 1) ftnstop(kGenmulNcat);
    float ptot = 0.0f;
    for (int32_t i = 0; i < ncat - 1; i++) {
        if (p[i] < 0.0) ftnstop(kGenmulPNeg);
        if (p[i] > 1.0) ftnstop(kGenmulPBig);
        ptot += p[i];
    }
    if (ptot > 0.99999f) ftnstop(kGenmulPSum);
    // Category c is binomial given the trials the earlier ones left, with
    // its probability renormalised by what the earlier ones left.
    int32_t ntot = n;
    float sum = 1.0f;
    for (int32_t i = 0; i < ncat; i++) ix[i] = 0;
    for (int32_t icat = 0; icat < ncat - 1; icat++) {
        const float prob = p[icat] / sum;
        ix[icat] = ignbin(ntot, prob);
        ntot -= ix[icat];
        if (ntot <= 0) return;
        sum -= p[icat];
    }
    ix[ncat - 1] = ntot;
}

void genprm(int32_t* iarray, int32_t larray) {
    // Swap each position i (from 1) with a uniform one of i .. larray.
    for (int32_t i = 1; i <= larray; i++) {
        const int32_t iwhich = ignuin(i, larray);
        const int32_t itmp = iarray[iwhich - 1];
        iarray[iwhich - 1] = iarray[i - 1];
        iarray[i - 1] = itmp;
    }
}

void phrtsd(const char* phrase, int32_t* seed1, int32_t* seed2) {
    *seed1 = kPhraseSeed1;
    *seed2 = kPhraseSeed2;
    const int32_t lphr = lennob(phrase);
    if (lphr < 1) return;
    for (int32_t i = 0; i < lphr; i++) {
        // The character's table index modulo 64, 0 read as 63, gives five
        // base-64 digits that are added into both seeds in opposite orders.
        int32_t ichr = phrase_index(phrase[i]) % 64;
        if (ichr == 0) ichr = 63;
        int32_t values[5];
        for (int32_t j = 1; j <= 5; j++) {
            values[j - 1] = ichr - j;
            if (values[j - 1] < 1) values[j - 1] += 63;
        }
        // Reduced at every step, each sum stays below 2^30 + 63 * 2^24 < 2^31.
        for (int32_t j = 1; j <= 5; j++) {
            *seed1 = (*seed1 + kPhraseShift[j - 1] * values[j - 1]) % kTwoP30;
            *seed2 = (*seed2 + kPhraseShift[j - 1] * values[5 - j]) % kTwoP30;
        }
    }
}

int32_t lennob(const char* str) {
    int32_t last = -1;
    for (int32_t i = 0; str[i] != '\0'; i++)
        if (str[i] != ' ') last = i;
    return last + 1;
}

void ftnstop(const char* msg) {
    if (msg != nullptr) std::fprintf(stderr, "%s\n", msg);
    stop(0);
}

}  // extern "C"

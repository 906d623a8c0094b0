// Poisson, standard normal and standard exponential deviates.
//
//   ignpoi  J. H. Ahrens and U. Dieter, "Computer generation of Poisson
//           deviates from modified normal distributions", ACM TOMS 8 (1982):
//           table inversion below a mean of 10, otherwise a normal sample with
//           squeeze, quotient and Laplace-hat acceptance (algorithm PD).
//   snorm   J. H. Ahrens and U. Dieter, "Extensions of Forsythe's method for
//           random sampling from the normal distribution", Math. Comp. 27
//           (1973): algorithm FL with m = 5.
//   sexpo   J. H. Ahrens and U. Dieter, "Computer methods for sampling from the
//           exponential and normal distributions", CACM 15 (1972): algorithm SA.
//
// Precision.  The algorithms were published for single precision and one seed
// must reproduce a stream bit for bit, so the rounding is part of the result:
// every named quantity is a float (integers are 32-bit), an operation between
// two floats happens in float, an operation with a constant that has a
// fractional part (a double constant) or with a double library function
// (std::exp, std::log, std::pow, std::sqrt, std::fabs) happens in double, and
// the result is rounded to float where it is stored.  Formulas keep the
// published order of evaluation; float-to-integer conversions truncate.
//
// Everything here is process-wide and unguarded; nothing is thread-safe.
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "ranlib.h"

namespace {

// Saved set-up of ignpoi; all zero at start and never reset by seeding.
RanlibPoissonState g_poisson = {};

// The cumulative table of the inversion method holds P(X <= k), k = 1..35.
constexpr int32_t kTableSize = 35;

// Means of 10 and more use the normal-sample method.
constexpr float kNormalMethodMean = 10.0f;

// 0! .. 9!, for the Poisson probabilities of small K in procedure F.
const float kFactorial[10] = {1.0f, 1.0f, 2.0f, 6.0f, 24.0f, 120.0f, 720.0f, 5040.0f, 40320.0f,
                              362880.0f};

// a0 .. a7: coefficients of the series for ln(1 + v) - v used in procedure F
// when |v| <= 0.25 (Ahrens and Dieter's fitted values).
const float kLogSeries[8] = {-0.5f,       0.3333333f, -0.2500068f, 0.2000118f,
                             -0.1661269f, 0.1421878f, -0.1384794f, 0.125006f};

// sexpo: q(k) = sum_{j=1..k} (ln 2)^j / j!, k = 1..7, and q(8) = 1 exactly so
// that the minimum search always ends.  Stored at index k - 1.
const float kExpQ[8] = {0.6931472f, 0.9333737f, 0.9888778f, 0.9984959f,
                        0.9998293f, 0.9999833f, 0.9999986f, 1.0f};

// snorm, algorithm FL with m = 5.  All indexed from 1 in the algorithm and
// stored at index - 1.  a(k + 1) is the 1/2 + k/64 quantile of the standard
// normal distribution; d are the tail increments (used from index 6 on), t the
// acceptance thresholds and h the stretch factors of the 31 centre strips.
const float kNormA[32] = {
    0.0f,       0.03917609f, 0.07841241f, 0.11777f,   0.1573107f, 0.1970991f, 0.2372021f,
    0.2776904f, 0.3186394f,  0.36013f,    0.4022501f, 0.4450965f, 0.4887764f, 0.5334097f,
    0.5791322f, 0.626099f,   0.6744898f,  0.7245144f, 0.7764218f, 0.8305109f, 0.8871466f,
    0.9467818f, 1.00999f,    1.077516f,   1.150349f,  1.229859f,  1.318011f,  1.417797f,
    1.534121f,  1.67594f,    1.862732f,   2.153875f};
const float kNormD[31] = {
    0.0f,       0.0f,       0.0f,       0.0f,       0.0f,       0.2636843f, 0.2425085f, 0.2255674f,
    0.2116342f, 0.1999243f, 0.1899108f, 0.1812252f, 0.1736014f, 0.1668419f, 0.1607967f, 0.1553497f,
    0.1504094f, 0.1459026f, 0.14177f,   0.1379632f, 0.1344418f, 0.1311722f, 0.128126f,  0.1252791f,
    0.1226109f, 0.1201036f, 0.1177417f, 0.1155119f, 0.1134023f, 0.1114027f, 0.1095039f};
const float kNormT[31] = {
    0.0007673828f, 0.00230687f, 0.003860618f, 0.005438454f, 0.0070507f,  0.008708396f,
    0.01042357f,   0.01220953f, 0.01408125f,  0.01605579f,  0.0181529f,  0.02039573f,
    0.02281177f,   0.02543407f, 0.02830296f,  0.03146822f,  0.03499233f, 0.03895483f,
    0.04345878f,   0.04864035f, 0.05468334f,  0.06184222f,  0.07047983f, 0.08113195f,
    0.09462444f,   0.1123001f,  0.136498f,    0.1716886f,   0.2276241f,  0.330498f,
    0.5847031f};
const float kNormH[31] = {
    0.03920617f, 0.03932705f, 0.03951f,    0.03975703f, 0.04007093f, 0.04045533f, 0.04091481f,
    0.04145507f, 0.04208311f, 0.04280748f, 0.04363863f, 0.04458932f, 0.04567523f, 0.04691571f,
    0.04833487f, 0.04996298f, 0.05183859f, 0.05401138f, 0.05654656f, 0.0595313f,  0.06308489f,
    0.06737503f, 0.07264544f, 0.07926471f, 0.08781922f, 0.09930398f, 0.11556f,    0.1404344f,
    0.1836142f,  0.2790016f,  0.7010474f};

// Integer part (truncation toward zero).  Values beyond 32-bit range saturate
// and NaN gives 0, so that absurd means (beyond any count a 32-bit result can
// hold) give a defined result instead of an undefined conversion.
int32_t integer_part(float x) {
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x <= -2147483648.0f) return INT32_MIN;
    if (x != x) return 0;
    return static_cast<int32_t>(x);
}

// ---- ignpoi, case B: inversion of a cumulative table, mean below 10 ----

// Reuses the table while the mean is unchanged; a new mean restarts it at
// P(0).  Entries are added on demand, at most 35; a uniform beyond the last
// entry is rejected and a fresh one drawn (the tail beyond 35 is negligible
// for means below 10).
int32_t poisson_by_table(RanlibPoissonState& st, float mu) {
    st.muprev = 0.0f;
    if (mu != st.muold) {
        st.muold = mu;
        st.m = integer_part(mu);
        if (st.m < 1) st.m = 1;
        st.ll = 0;
        st.p = static_cast<float>(std::exp(static_cast<double>(-mu)));
        st.q = st.p;
        st.p0 = st.p;
    }
    for (;;) {
        const float u = ranf();
        if (u <= st.p0) return 0;
        if (st.ll != 0) {
            // P(X <= m - 1) < 0.458 for every mean, so a larger uniform may
            // start the search at m.
            int32_t j = 1;
            if (u > 0.458) j = st.ll < st.m ? st.ll : st.m;
            for (int32_t k = j; k <= st.ll; k++)
                if (u <= st.pp[k - 1]) return k;
            if (st.ll == kTableSize) continue;
        }
        for (int32_t k = st.ll + 1; k <= kTableSize; k++) {
            st.p = st.p * mu / static_cast<float>(k);
            st.q = st.q + st.p;
            st.pp[k - 1] = st.q;
            if (u <= st.q) {
                st.ll = k;
                return k;
            }
        }
        st.ll = kTableSize;
    }
}

// ---- ignpoi, case A: normal sample, mean of 10 and more ----

// Hat and Hermite coefficients for a new mean (step 5).  Changing the
// prepared mean also invalidates the table of case B.
void prepare_hat(RanlibPoissonState& st, float mu) {
    if (mu == st.muold) return;
    st.muold = mu;
    st.omega = static_cast<float>(0.3989423 / st.s);
    st.b1 = static_cast<float>(0.04166667 / mu);
    st.b2 = static_cast<float>(0.3 * st.b1 * st.b1);
    st.c3 = static_cast<float>(0.1428571 * st.b1 * st.b2);
    st.c2 = static_cast<float>(st.b2 - 15.0 * st.c3);
    st.c1 = static_cast<float>(st.b1 - 6.0 * st.b2 + 45.0 * st.c3);
    st.c0 = static_cast<float>(1.0 - st.b1 + 3.0 * st.b2 - 15.0 * st.c3);
    st.c = static_cast<float>(0.1069 / mu);
}

// Procedure F: px and py give the Poisson probability of K as
// py * exp(px), fx and fy the discrete normal density that the hat
// approximates, fy * exp(fx).
struct ProcedureF {
    float px, py, fx, fy;
};

ProcedureF procedure_f(const RanlibPoissonState& st, float mu, int32_t k, float fk, float difmuk) {
    ProcedureF f;
    if (k < 10) {
        f.px = -mu;
        f.py = static_cast<float>(std::pow(static_cast<double>(mu), static_cast<double>(k)) /
                                  kFactorial[k]);
    } else {
        // Stirling's correction and the series of ln(1 + v) - v.
        float del = static_cast<float>(0.08333333 / fk);
        del = static_cast<float>(del - 4.8 * del * del * del);
        const float v = difmuk / fk;
        if (std::fabs(static_cast<double>(v)) <= 0.25) {
            const float* a = kLogSeries;
            f.px = fk * v * v *
                       (((((((a[7] * v + a[6]) * v + a[5]) * v + a[4]) * v + a[3]) * v + a[2]) * v +
                         a[1]) * v +
                        a[0]) -
                   del;
        } else {
            f.px = static_cast<float>(fk * std::log(1.0 + v) - difmuk - del);
        }
        f.py = static_cast<float>(0.3989423 / std::sqrt(static_cast<double>(fk)));
    }
    const float x = static_cast<float>((0.5 - difmuk) / st.s);
    const float xx = x * x;
    f.fx = static_cast<float>(-0.5 * xx);
    f.fy = st.omega * (((st.c3 * xx + st.c2) * xx + st.c1) * xx + st.c0);
    return f;
}

// Steps 8 to 10: a double-exponential (Laplace) hat centred at mu + 1.8 s,
// truncated below -0.6744, accepted against the Poisson probability.
int32_t poisson_by_hat(const RanlibPoissonState& st, float mu) {
    for (;;) {
        float e, u, t;
        do {
            e = sexpo();
            u = ranf();
            u = static_cast<float>(u + (u - 1.0));
            t = static_cast<float>(1.8 + fsign(e, u));
        } while (t <= -0.6744);
        const int32_t k = integer_part(mu + st.s * t);
        const float fk = static_cast<float>(k);
        const float difmuk = mu - fk;
        const ProcedureF f = procedure_f(st, mu, k, fk, difmuk);
        if (st.c * std::fabs(static_cast<double>(u)) >
            f.py * std::exp(static_cast<double>(f.px + e)) -
                f.fy * std::exp(static_cast<double>(f.fx + e)))
            continue;
        return k;
    }
}

// ---- snorm pieces ----

// Centre strip i (1..31): returns the offset w above a(i).  ustar is the
// fractional part of the first uniform; rejected points draw a new one and
// try the strip again.
float normal_centre(int32_t i, float ustar, float aa) {
    for (;;) {
        if (ustar > kNormT[i - 1]) return (ustar - kNormT[i - 1]) * kNormH[i - 1];
        float u = ranf();
        const float w = u * (kNormA[i] - aa);
        float tt = static_cast<float>((0.5 * w + aa) * w);
        // Forsythe's comparison of a descending chain of uniforms.
        for (;;) {
            if (ustar > tt) return w;
            u = ranf();
            if (ustar >= u) {
                tt = u;
                ustar = ranf();
                continue;
            }
            ustar = ranf();
            break;
        }
    }
}

// Tail beyond a(32): u < 1 is the scaled first uniform; each halving step
// moves one tail piece out (aa grows by d(i)).  The smallest uniform, 2^-31,
// needs 24 halvings, so i stays within 6..30.
float normal_tail(float u, float& aa) {
    int32_t i = 6;
    aa = kNormA[31];
    u = u + u;
    while (u < 1.0) {
        aa = aa + kNormD[i - 1];
        i = i + 1;
        u = u + u;
    }
    u = static_cast<float>(u - 1.0);
    for (;;) {
        const float w = u * kNormD[i - 1];
        float tt = static_cast<float>((0.5 * w + aa) * w);
        for (;;) {
            const float ustar = ranf();
            if (ustar > tt) return w;
            u = ranf();
            if (ustar >= u) {
                tt = u;
                continue;
            }
            u = ranf();
            break;
        }
    }
}

}  // namespace

extern "C" {

RanlibPoissonState* ranlib_poisson_state(void) { return &g_poisson; }

// The engine's entry point: the mean of a leap rounded to single precision.
// A mean that is not positive (or rounds to 0) has no events and draws
// nothing; a mean beyond the float range is taken as the largest float.
int32_t my_poisson(double mean) {
    if (!(mean > 0.0)) return 0;
    if (mean > FLT_MAX) return ignpoi(FLT_MAX);
    return ignpoi(static_cast<float>(mean));
}

// Poisson deviate with mean mu, Ahrens and Dieter (1982).  The published
// algorithm requires mu > 0; a mean of 0 or less (or NaN) returns 0 without
// drawing and leaves the saved state unchanged.
int32_t ignpoi(float mu) {
    if (!(mu > 0.0f)) return 0;
    RanlibPoissonState& st = g_poisson;
    if (mu != st.muprev) {
        if (mu < kNormalMethodMean) return poisson_by_table(st, mu);
        // Case A: set-up for a new mean.  The Poisson probabilities exceed
        // the discrete normal ones from the normal bound on, so a normal
        // sample at or above it is accepted at once.
        st.muprev = mu;
        st.s = static_cast<float>(std::sqrt(static_cast<double>(mu)));
        st.d = static_cast<float>(6.0 * mu * mu);
        st.l = integer_part(static_cast<float>(mu - 1.1484));
    }

    // Normal sample, immediate acceptance and squeeze.
    const float g = mu + st.s * snorm();
    int32_t k = 0;
    float u = 0.0f;
    if (!(g < 0.0f)) {
        k = integer_part(g);
        if (k >= st.l) return k;
        const float fk = static_cast<float>(k);
        const float difmuk = mu - fk;
        u = ranf();
        if (st.d * u >= difmuk * difmuk * difmuk) return k;
    }

    prepare_hat(st, mu);
    if (!(g < 0.0f)) {
        // Quotient acceptance of the normal sample, with the uniform of the
        // squeeze.
        const float fk = static_cast<float>(k);
        const float difmuk = mu - fk;
        const ProcedureF f = procedure_f(st, mu, k, fk, difmuk);
        if (f.fy - u * f.fy <= f.py * std::exp(static_cast<double>(f.px - f.fx))) return k;
    }
    return poisson_by_hat(st, mu);
}

// Standard normal deviate, Ahrens and Dieter (1973), algorithm FL (m = 5).
// The first uniform gives the sign and, scaled by 32, one of 31 centre strips
// of equal probability or the tail.
float snorm(void) {
    float u = ranf();
    const float sgn = u > 0.5 ? 1.0f : 0.0f;
    u = u + (u - sgn);
    u = static_cast<float>(32.0 * u);
    int32_t i = integer_part(u);
    if (i == 32) i = 31;  // u = 1.0 exactly
    float aa, w;
    if (i != 0) {
        const float ustar = u - static_cast<float>(i);
        aa = kNormA[i - 1];
        w = normal_centre(i, ustar, aa);
    } else {
        w = normal_tail(u, aa);
    }
    const float y = aa + w;
    return sgn == 1.0f ? -y : y;
}

// Standard exponential deviate, Ahrens and Dieter (1972), algorithm SA.  The
// number of leading halvings of the uniform gives the integer multiple of
// ln 2; the fraction comes from the minimum of a geometric number of uniforms.
// ranf never returns 0, so the doubling loop ends.
float sexpo(void) {
    float a = 0.0f;
    float u = ranf();
    u = u + u;
    while (u <= 1.0) {
        a = a + kExpQ[0];
        u = u + u;
    }
    u = static_cast<float>(u - 1.0);
    if (u <= kExpQ[0]) return a + u;
    int32_t i = 1;
    float ustar = ranf();
    float umin = ustar;
    do {
        ustar = ranf();
        if (ustar < umin) umin = ustar;
        i = i + 1;
    } while (u > kExpQ[i - 1]);
    return a + umin * kExpQ[0];
}

// num with the sign of sign; a zero sign leaves num unchanged.
float fsign(float num, float sign) {
    if ((sign > 0.0f && num < 0.0f) || (sign < 0.0f && num > 0.0f)) return -num;
    return num;
}

}  // extern "C"

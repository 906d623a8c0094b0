// Uniform deviate, the three state accessors and the exact modular product.
#include <cstdio>

#include "generator_step.h"
#include "ranlib.h"

namespace {

void fail(const char* text, int status) {
    std::fputs(text, stderr);
    ranlib_exit(status);
}

}  // namespace

extern "C" {

// ignlgi() / Xm1 rounded to single precision.  The smallest value is 2^-31;
// the 63 largest integers (2147483500 .. 2147483562) round to exactly 1.0,
// and no integer gives 0, so callers may take log(1 / u) safely.
float ranf(void) {
    return ranlib_detail::uniform_of(ranlib_detail::combined_step());
}

void gscgn(int32_t getset, int32_t* g) {
    RanlibGeneratorState* s = ranlib_generator_state();
    if (getset == 0) {
        *g = s->curntg;
        return;
    }
    if (*g < 1 || *g > 32) fail(" Generator number out of range in GSCGN", 0);
    s->curntg = *g;
}

void gsrgs(int32_t getset, int32_t* qvalue) {
    RanlibGeneratorState* s = ranlib_generator_state();
    if (getset == 0)
        *qvalue = s->qrgnin;
    else
        s->qrgnin = *qvalue;
}

void gssst(int32_t getset, int32_t* qset) {
    RanlibGeneratorState* s = ranlib_generator_state();
    if (getset != 0)
        s->qqssd = 1;
    else
        *qset = s->qqssd;
}

// (a * s) mod m for 0 < a < m, 0 < s < m, m < 2^31, without any intermediate
// leaving 32-bit range: a is split into base-2^15 digits a1 * H + a0 and each
// partial product is reduced with Schrage's decomposition of m.
int32_t mltmod(int32_t a, int32_t s, int32_t m) {
    constexpr int32_t H = 32768;  // 2^15
    if (!(a > 0 && a < m && s > 0 && s < m)) {
        std::fputs(" a, m, s out of order in mltmod - ABORT!", stderr);
        std::fprintf(stderr, " a = %12ld s = %12ld m = %12ld\n", static_cast<long>(a),
                     static_cast<long>(s), static_cast<long>(m));
        fail(" mltmod requires: 0 < a < m; 0 < s < m", 1);
    }
    int32_t a0, a1, k, p, q, qh, rh;
    if (a < H) {
        a0 = a;
        p = 0;
    } else {
        a1 = a / H;
        a0 = a - H * a1;
        qh = m / H;
        rh = m - H * qh;
        if (a1 >= H) {
            a1 -= H;
            k = s / qh;
            p = H * (s - k * qh) - k * rh;
            while (p < 0) p += m;
        } else {
            p = 0;
        }
        if (a1 != 0) {
            q = m / a1;
            k = s / q;
            p -= k * (m - a1 * q);
            if (p > 0) p -= m;
            p += a1 * (s - k * q);
            while (p < 0) p += m;
        }
        k = p / qh;
        p = H * (p - k * qh) - k * rh;
        while (p < 0) p += m;
    }
    if (a0 != 0) {
        q = m / a0;
        k = s / q;
        p -= k * (m - a0 * q);
        if (p > 0) p -= m;
        p += a0 * (s - k * q);
        while (p < 0) p += m;
    }
    return p;
}

}  // extern "C"

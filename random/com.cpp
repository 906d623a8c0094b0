// Generator core and stream controls.
//
// A combined multiplicative linear congruential generator: two prime-modulus
// components (moduli 2^31 - 85 and 2^31 - 249) combined by subtraction, after
// P. L'Ecuyer, "Efficient and portable combined random number generators",
// CACM 31 (1988).  The sequence is split into 32 virtual generators 2^50
// values apart, each split into blocks of 2^30 values, after P. L'Ecuyer and
// S. Cote, "Implementing a random number package with splitting facilities",
// ACM TOMS 17 (1991).
//
// All arithmetic is 32-bit signed; divisions truncate toward zero.
#include <cstdio>
#include <cstdlib>

#include "generator_step.h"
#include "ranlib.h"

namespace ranlib_detail {

// The whole generator state of the process, in one place.
RanlibGeneratorState generator = {0, 0, 0, 0, 0, 0, 0, 0, {0}, {0}, {0}, {0}, {0}, {0}, {0},
                                  1, 0, 0, 0};

}  // namespace ranlib_detail

namespace {

using ranlib_detail::generator;

ranlib_exit_handler g_exit_handler = nullptr;

int32_t current_index() {
    int32_t g;
    gscgn(0, &g);
    return g - 1;
}

bool initialised() {
    int32_t q;
    gsrgs(0, &q);
    return q != 0;
}

void fail(const char* text, int status) {
    std::fputs(text, stderr);
    ranlib_exit(status);
}

}  // namespace

extern "C" {

RanlibGeneratorState* ranlib_generator_state(void) { return &generator; }

void ranlib_set_exit_handler(ranlib_exit_handler handler) { g_exit_handler = handler; }

void ranlib_exit(int status) {
    std::fflush(stderr);
    if (g_exit_handler != nullptr) g_exit_handler(status);
    std::exit(status);
}

void inrgcm(void) {
    RanlibGeneratorState& s = generator;
    s.Xm1 = ranlib_detail::kM1;
    s.Xm2 = ranlib_detail::kM2;
    s.Xa1 = ranlib_detail::kA1;
    s.Xa2 = ranlib_detail::kA2;
    s.Xa1w = 1033780774;   // Xa1^(2^30) mod Xm1: one block ahead
    s.Xa2w = 1494757890;   // Xa2^(2^30) mod Xm2
    s.Xa1vw = 2082007225;  // Xa1^(2^50) mod Xm1: one virtual generator ahead
    s.Xa2vw = 784306273;   // Xa2^(2^50) mod Xm2
    for (int32_t& q : s.Xqanti) q = 0;
    int32_t one = 1;
    gsrgs(1, &one);
}

void setall(int32_t iseed1, int32_t iseed2) {
    int32_t one = 1;
    gssst(1, &one);
    int32_t remembered;
    gscgn(0, &remembered);
    if (!initialised()) inrgcm();
    RanlibGeneratorState& s = generator;
    s.Xig1[0] = iseed1;
    s.Xig2[0] = iseed2;
    // Generator 1 is made current before it is re-initialised, so that it
    // restarts from the new seeds even when another generator was selected
    // (the remembered one is made current again at the end).
    int32_t first = 1;
    gscgn(1, &first);
    initgn(-1);
    for (int32_t g = 2; g <= 32; g++) {
        s.Xig1[g - 1] = mltmod(s.Xa1vw, s.Xig1[g - 2], s.Xm1);
        s.Xig2[g - 1] = mltmod(s.Xa2vw, s.Xig2[g - 2], s.Xm2);
        gscgn(1, &g);
        initgn(-1);
    }
    gscgn(1, &remembered);
    s.Xndraw = 0;
}

int32_t ignlgi(void) { return ranlib_detail::combined_step(); }

void initgn(int32_t isdtyp) {
    if (!initialised())
        fail(" INITGN called before random number generator  initialized -- abort!\n", 1);
    RanlibGeneratorState& s = generator;
    const int32_t g = current_index();
    if (isdtyp == -1) {
        s.Xlg1[g] = s.Xig1[g];
        s.Xlg2[g] = s.Xig2[g];
    } else if (isdtyp == 0) {
        // back to the start of the current block: last seeds stay
    } else if (isdtyp == 1) {
        s.Xlg1[g] = mltmod(s.Xa1w, s.Xlg1[g], s.Xm1);
        s.Xlg2[g] = mltmod(s.Xa2w, s.Xlg2[g], s.Xm2);
    } else {
        fail("isdtyp not in range in INITGN\n", 1);
    }
    s.Xcg1[g] = s.Xlg1[g];
    s.Xcg2[g] = s.Xlg2[g];
}

void setsd(int32_t iseed1, int32_t iseed2) {
    if (!initialised())
        fail(" SETSD called before random number generator  initialized -- abort!\n", 1);
    const int32_t g = current_index();
    generator.Xig1[g] = iseed1;
    generator.Xig2[g] = iseed2;
    initgn(-1);
}

void getsd(int32_t* iseed1, int32_t* iseed2) {
    if (!initialised())
        fail(" GETSD called before random number generator  initialized -- abort!\n", 0);
    const int32_t g = current_index();
    *iseed1 = generator.Xcg1[g];
    *iseed2 = generator.Xcg2[g];
}

void setant(int32_t qvalue) {
    if (!initialised())
        fail(" SETANT called before random number generator  initialized -- abort!\n", 1);
    generator.Xqanti[current_index()] = qvalue;
}

void advnst(int32_t k) {
    if (!initialised()) fail(" ADVNST called before random generator initialized - ABORT", 1);
    RanlibGeneratorState& s = generator;
    const int32_t g = current_index();
    // b = a^(2^k) mod m by k squarings; the new initial seed is b times the
    // current seed, i.e. the point 2^k values further on.
    int32_t b1 = s.Xa1;
    int32_t b2 = s.Xa2;
    for (int32_t i = 1; i <= k; i++) {
        b1 = mltmod(b1, b1, s.Xm1);
        b2 = mltmod(b2, b2, s.Xm2);
    }
    setsd(mltmod(b1, s.Xcg1[g], s.Xm1), mltmod(b2, s.Xcg2[g], s.Xm2));
}

}  // extern "C"

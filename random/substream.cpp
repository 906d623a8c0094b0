// Per-run substreams of generator 1.
//
// An ensemble whose runs are spread over processes cannot share one
// continuing stream: run k's numbers would depend on every run before it.
// Instead each run starts at its own point of generator 1's stream, found by
// the same jump-ahead that the package uses for its blocks and virtual
// generators (L'Ecuyer and Cote, ACM TOMS 17, 1991): stepping a
// multiplicative component n values on is multiplying its state by a^n mod m.
// With n = index * 2^k, the multiplier is (a^(2^k))^index, built from k
// squarings of a (as advnst does) and then square-and-multiply over the bits
// of index, every product through mltmod so that nothing leaves 32 bits.
//
// The combined generator steps both components together, so jumping both by
// the same n jumps the combined sequence by n.  Its period is
// (Xm1 - 1)(Xm2 - 1) / 2 = 2305842648436451838, about 2^61 - 3.6e11: with
// substreams 2^40 apart, 2^21 - 1 of them lie wholly inside one period.
#include <cstdio>

#include "ranlib.h"

namespace {

bool initialised() {
    int32_t q;
    gsrgs(0, &q);
    return q != 0;
}

// (b^index) * s mod m, right-to-left over the bits of index.
int32_t power_times(int32_t b, int32_t index, int32_t s, int32_t m) {
    int32_t result = s;
    while (index > 0) {
        if (index & 1) result = mltmod(b, result, m);
        index >>= 1;
        if (index > 0) b = mltmod(b, b, m);
    }
    return result;
}

}  // namespace

extern "C" {

void subsds(int32_t iseed1, int32_t iseed2, int32_t k, int32_t index, int32_t* sub1,
            int32_t* sub2) {
    if (!initialised()) {
        std::fputs(" SUBSDS called before random number generator  initialized -- abort!\n",
                   stderr);
        ranlib_exit(1);
    }
    if (index < 0) {
        std::fputs(" Substream index out of range in SUBSDS\n", stderr);
        ranlib_exit(1);
    }
    const RanlibGeneratorState* s = ranlib_generator_state();
    // a^(2^k) by k squarings; k < 1 leaves a itself, substreams one value
    // apart, as advnst does for such k.
    int32_t b1 = s->Xa1;
    int32_t b2 = s->Xa2;
    for (int32_t i = 1; i <= k; i++) {
        b1 = mltmod(b1, b1, s->Xm1);
        b2 = mltmod(b2, b2, s->Xm2);
    }
    *sub1 = power_times(b1, index, iseed1, s->Xm1);
    *sub2 = power_times(b2, index, iseed2, s->Xm2);
}

void setsub(int32_t iseed1, int32_t iseed2, int32_t index) {
    if (!initialised()) inrgcm();
    // Seeds count as set, so that the first draw does not reseed with the
    // defaults over the substream.
    int32_t one = 1;
    gssst(1, &one);
    int32_t sub1 = 0;
    int32_t sub2 = 0;
    subsds(iseed1, iseed2, RANLIB_SUBSTREAM_LOG2, index, &sub1, &sub2);
    int32_t first = 1;
    gscgn(1, &first);
    setsd(sub1, sub2);
    ranlib_generator_state()->Xndraw = 0;
    // ignpoi's saved set-up changes which uniforms a later call draws (a
    // table built for one mean is reused by the next call with that mean), so
    // a run that is to depend on nothing before it starts with none.
    *ranlib_poisson_state() = RanlibPoissonState{};
}

uint64_t ranlib_draw_count(void) { return ranlib_generator_state()->Xndraw; }

}  // extern "C"

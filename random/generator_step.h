// One step of the combined generator, shared by ignlgi (com) and ranf
// (ranlib) so that the uniform deviate on the engine's innermost path costs
// one inlined step instead of a chain of calls.  Private to the random
// library.
#ifndef PLENTA_RANDOM_GENERATOR_STEP_H
#define PLENTA_RANDOM_GENERATOR_STEP_H

#include "ranlib.h"

namespace ranlib_detail {

// The generator state of the process (defined in com.cpp); the public
// accessor ranlib_generator_state() returns its address.
extern RanlibGeneratorState generator;

// The moduli and multipliers of the two components (what inrgcm stores in
// Xm1, Xm2, Xa1, Xa2; nothing changes them).  As constants the step's
// multiplications and corrections take them as immediate operands, and a
// caller's seeds can stay in registers.
constexpr int32_t kM1 = 2147483563;  // 2^31 - 85
constexpr int32_t kM2 = 2147483399;  // 2^31 - 249
constexpr int32_t kA1 = 40014;
constexpr int32_t kA2 = 40692;

// Default seeds used when the first draw finds no seeding.
constexpr int32_t kDefaultSeed1 = 1234567890;
constexpr int32_t kDefaultSeed2 = 123456789;

// The two components advanced by one value, and their
// combination, as a pure function of the seeds: ignlgi uses it on the
// current generator, and a look-ahead on copies of its seeds.
// a s mod m in [0, m) for the moduli m = 2^31 - d (d = 85, 249), the value
// Schrage's 32-bit decomposition gives for every 32-bit seed.  For s >= 0 the
// product (below 2^47) is folded once: x = h 2^31 + l is h d + l mod m, which
// is below 2m, so one subtraction ends it; a seed below 0 (setsd does not
// forbid one) takes the remainder of the signed product.
template <int32_t kA, int32_t kM>
inline int32_t mul_mod(int32_t s) {
    static_assert(kM < 2147483647 && 2147483648LL - kM < (1 << 8), "m = 2^31 - d, small d");
    if (s < 0) {
        const auto r = static_cast<int32_t>(static_cast<int64_t>(s) * kA % kM);
        return r < 0 ? r + kM : r;
    }
    const uint64_t x = static_cast<uint64_t>(s) * static_cast<uint64_t>(kA);
    uint64_t y = (x & 0x7fffffffu) + (x >> 31) * static_cast<uint64_t>(2147483648LL - kM);
    if (y >= static_cast<uint64_t>(kM)) y -= static_cast<uint64_t>(kM);
    return static_cast<int32_t>(y);
}

inline int32_t advance_seeds(int32_t& s1, int32_t& s2) {
    s1 = mul_mod<kA1, kM1>(s1);
    s2 = mul_mod<kA2, kM2>(s2);
    int32_t z = s1 - s2;
    if (z < 1) z += kM1 - 1;
    return z;
}

inline void ensure_seeded() {
    RanlibGeneratorState& s = generator;
    if (!s.qrgnin) inrgcm();
    if (!s.qqssd) setall(kDefaultSeed1, kDefaultSeed2);
}

// The flags are read straight from the state here: they are what gsrgs and
// gssst hold, and this is the one hot path that reads them.
inline int32_t combined_step() {
    ensure_seeded();
    RanlibGeneratorState& s = generator;
    const int32_t g = s.curntg - 1;
    int32_t s1 = s.Xcg1[g];
    int32_t s2 = s.Xcg2[g];
    int32_t z = advance_seeds(s1, s2);
    s.Xcg1[g] = s1;
    s.Xcg2[g] = s2;
    if (s.Xqanti[g]) z = kM1 - z;
    s.Xndraw += 1;  // lets an ensemble tell a run that outgrew its substream
    return z;
}

// ignlgi() / Xm1 rounded to single precision.
inline float uniform_of(int32_t z) { return static_cast<float>(z * 4.656613057E-10); }

}  // namespace ranlib_detail

#endif  // PLENTA_RANDOM_GENERATOR_STEP_H

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
inline int32_t advance_seeds(int32_t& s1, int32_t& s2) {
    // s <- a s mod m in [0, m), the product formed in 64 bits (|a s| < 2^47):
    // the value Schrage's 32-bit decomposition gives for every 32-bit seed,
    // in fewer and shorter-latency operations (the remainder by a constant is
    // a multiplication).  Only a seed below 0 leaves a remainder below 0.
    s1 = static_cast<int32_t>(static_cast<int64_t>(s1) * kA1 % kM1);
    if (s1 < 0) s1 += kM1;
    s2 = static_cast<int32_t>(static_cast<int64_t>(s2) * kA2 % kM2);
    if (s2 < 0) s2 += kM2;
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

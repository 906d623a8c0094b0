// The uniform deviate of the current generator drawn by a loop that owns the
// generator for a while: the seeds, the multipliers and the antithetic flag
// are copied into the object, values are computed a few ahead (so that the
// caller can see its next draws, as with RanfAhead), and the generator's
// seeds and draw count are written back only by commit() and when the
// object ends.  The values are exactly ranf's, and after commit() the
// generator is exactly where ranf would have left it; in between it lags.
//
// A draw then costs one combined step in registers, where ranf and
// RanfAhead store the seeds and the count into the process's generator
// after every value (a loop drawing four values per firing spent nearly
// half of its instructions there).  With the generator's usual constants
// (always, unless a caller changed them) each component's step a s mod m
// is taken in 64 bits, where a s < 2^47, by a remainder that the compiler
// turns into multiplications; Schrage's decomposition gives the same value
// in 32 bits at about twice the instructions.
//
// While an object is in use nothing else may draw from the generator or
// change it, nor read its seeds or draw count before commit().
#ifndef PLENTA_RANDOM_RANF_HELD_H
#define PLENTA_RANDOM_RANF_HELD_H

#include <cstdint>

#include "generator_step.h"

namespace ranlib_detail {

// b^e mod m (m < 2^31).
constexpr std::uint64_t power_mod(std::uint64_t b, std::uint64_t e, std::uint64_t m) {
    std::uint64_t r = 1;
    b %= m;
    while (e > 0) {
        if (e & 1) r = r * b % m;
        b = b * b % m;
        e >>= 1;
    }
    return r;
}

}  // namespace ranlib_detail

class RanfHeld {
public:
    static constexpr int kAhead = 8;  // values visible ahead, a power of two

    RanfHeld() : gen_(ranlib_detail::generator) {
        ranlib_detail::ensure_seeded();
        g_ = gen_.curntg - 1;
        // The multipliers and moduli are the generator's fixed constants
        // (ranlib_detail::advance_seeds), as for every other draw.
        a1_ = kA1;
        a2_ = kA2;
        m1_ = kM1;
        m2_ = kM2;
        anti_ = gen_.Xqanti[g_] != 0;
        s1_ = gen_.Xcg1[g_];
        s2_ = gen_.Xcg2[g_];
        // The plain 64-bit step gives a s mod m for every s >= 0 (a step
        // leaves 0 <= s < m); a seed below 0 takes the generator's own step.
        usual_ = s1_ >= 0 && s2_ >= 0;
        taken1_ = s1_;
        taken2_ = s2_;
        for (unsigned i = 0; i < kAhead; i++) compute(i);
    }
    ~RanfHeld() { commit(); }
    RanfHeld(const RanfHeld&) = delete;
    RanfHeld& operator=(const RanfHeld&) = delete;

    // The next value, drawn: what ranf() would return.
    float take() {
        const unsigned i = head_ & (kAhead - 1);
        const float u = value_[i];
        if (!usual_) {
            taken1_ = seed1_[i];
            taken2_ = seed2_[i];
        }
        compute(i);
        head_ += 1;
        return u;
    }

    // The value take() returns after `later` more takes, 0 <= later < kAhead.
    float peek(int later) const {
        return value_[(head_ + static_cast<unsigned>(later)) & (kAhead - 1)];
    }

    // The generator's seeds and draw count as ranf would have left them after
    // the values taken so far.
    void commit() {
        if (head_ == committed_) return;
        if (usual_) {
            // The seeds kAhead steps back from the last value computed: each
            // step is a bijection of 0 <= s < m, and a value was taken, so
            // those seeds came from a step.
            taken1_ = static_cast<std::int32_t>(static_cast<std::uint64_t>(s1_) * kBack1 % kM1);
            taken2_ = static_cast<std::int32_t>(static_cast<std::uint64_t>(s2_) * kBack2 % kM2);
        }
        gen_.Xcg1[g_] = taken1_;
        gen_.Xcg2[g_] = taken2_;
        gen_.Xndraw += head_ - committed_;
        committed_ = head_;
    }

private:
    // The generator's multipliers and moduli (com.cpp's inrgcm).
    static constexpr std::int32_t kA1 = ranlib_detail::kA1, kA2 = ranlib_detail::kA2;
    static constexpr std::int32_t kM1 = ranlib_detail::kM1, kM2 = ranlib_detail::kM2;

    // a^-kAhead mod m: kAhead steps back.  Both moduli are prime, so a^-1 = a^(m - 2).
    static constexpr std::uint64_t kBack1 =
        ranlib_detail::power_mod(ranlib_detail::power_mod(kA1, kM1 - 2, kM1), kAhead, kM1);
    static constexpr std::uint64_t kBack2 =
        ranlib_detail::power_mod(ranlib_detail::power_mod(kA2, kM2 - 2, kM2), kAhead, kM2);
    static_assert(ranlib_detail::power_mod(kA1, kAhead, kM1) * kBack1 % kM1 == 1, "a step back undoes a step");
    static_assert(ranlib_detail::power_mod(kA2, kAhead, kM2) * kBack2 % kM2 == 1, "a step back undoes a step");

    // Slot i gets the value after the last one computed (the step of
    // ranlib_detail::advance_seeds with the constants held here).
    void compute(unsigned i) {
        if (usual_) {
            // 0 <= s < 2^31: a s < 2^47.  No seeds kept per value: commit()
            // steps back from the last ones.
            s1_ = static_cast<std::int32_t>(static_cast<std::uint64_t>(kA1) *
                                            static_cast<std::uint64_t>(s1_) %
                                            static_cast<std::uint64_t>(kM1));
            s2_ = static_cast<std::int32_t>(static_cast<std::uint64_t>(kA2) *
                                            static_cast<std::uint64_t>(s2_) %
                                            static_cast<std::uint64_t>(kM2));
        } else {
            s1_ = ranlib_detail::mul_mod<kA1, kM1>(s1_);
            s2_ = ranlib_detail::mul_mod<kA2, kM2>(s2_);
            seed1_[i] = s1_;
            seed2_[i] = s2_;
        }
        std::int32_t z = s1_ - s2_;
        if (z < 1) z += m1_ - 1;
        if (anti_) z = m1_ - z;
        value_[i] = ranlib_detail::uniform_of(z);
    }

    RanlibGeneratorState& gen_;
    std::int32_t g_ = 0;
    std::int32_t a1_ = 0, a2_ = 0, m1_ = 0, m2_ = 0;
    bool anti_ = false;
    bool usual_ = false;  // the usual constants: the 64-bit step
    std::int32_t s1_ = 0, s2_ = 0;          // seeds after the last value computed
    std::int32_t taken1_ = 0, taken2_ = 0;  // seeds after the last value taken (at commit() when usual_)
    std::uint64_t head_ = 0;                // values taken
    std::uint64_t committed_ = 0;           // values taken and counted in the generator
    float value_[kAhead] = {};
    std::int32_t seed1_[kAhead] = {}, seed2_[kAhead] = {};  // seeds after each value (not usual_)
};

#endif  // PLENTA_RANDOM_RANF_HELD_H

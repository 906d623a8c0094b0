// The uniform deviate of the current generator, computed a few values ahead
// of what has been drawn, so that a caller can see the next draws before it
// takes them (to prefetch the memory they will pick).  Taking a value is
// drawing it: the generator's seeds and its draw count are left exactly as
// ranf would leave them, so the stream, and everything drawn after, is the
// same as with ranf.  Values computed ahead and never taken change nothing.
//
// While an object is in use nothing else may draw from the generator or
// change it (seeds, current generator, antithetic flag): its window would
// no longer be the generator's next values.
#ifndef PLENTA_RANDOM_RANF_AHEAD_H
#define PLENTA_RANDOM_RANF_AHEAD_H

#include "generator_step.h"

class RanfAhead {
public:
    static constexpr int kAhead = 8;  // values visible ahead, a power of two

    RanfAhead() : gen_(ranlib_detail::generator) {
        ranlib_detail::ensure_seeded();
        g_ = gen_.curntg - 1;
        s1_ = gen_.Xcg1[g_];
        s2_ = gen_.Xcg2[g_];
        for (unsigned i = 0; i < kAhead; i++) compute(i);
    }

    // The next value, drawn: what ranf() would return.
    float take() {
        const unsigned i = head_ & (kAhead - 1);
        const float u = value_[i];
        gen_.Xcg1[g_] = seed1_[i];
        gen_.Xcg2[g_] = seed2_[i];
        gen_.Xndraw += 1;
        compute(i);
        head_ += 1;
        return u;
    }

    // The value take() returns after `later` more takes, 0 <= later < kAhead.
    float peek(int later) const {
        return value_[(head_ + static_cast<unsigned>(later)) & (kAhead - 1)];
    }

private:
    // Slot i gets the value after the last one computed.
    void compute(unsigned i) {
        int32_t z = ranlib_detail::advance_seeds(s1_, s2_);
        if (gen_.Xqanti[g_]) z = ranlib_detail::kM1 - z;
        value_[i] = ranlib_detail::uniform_of(z);
        seed1_[i] = s1_;
        seed2_[i] = s2_;
    }

    RanlibGeneratorState& gen_;
    int32_t g_ = 0;
    int32_t s1_ = 0, s2_ = 0;  // seeds after the last value computed
    unsigned head_ = 0;        // values taken
    float value_[kAhead] = {};
    int32_t seed1_[kAhead] = {}, seed2_[kAhead] = {};  // seeds after each value
};

#endif  // PLENTA_RANDOM_RANF_AHEAD_H

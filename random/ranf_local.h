// The uniform deviate of the current generator with the generator's seeds
// held in the object (in registers, once the compiler has inlined it) for
// the length of an engine call, instead of read from and written to the
// process-wide state on every draw.  draw() returns exactly what ranf()
// would; commit() stores the seeds and the draw count back, so the stream
// and everything drawn after is the same as with ranf.  skip(k) advances the
// stream by k values without computing them (each component is s -> a s mod
// m, so k steps are one multiplication by a^k mod m).
//
// Between construction (or reload) and commit nothing else may draw from the
// generator or change it.
#ifndef PLENTA_RANDOM_RANF_LOCAL_H
#define PLENTA_RANDOM_RANF_LOCAL_H

#include <cstdint>
#include <vector>

#include "generator_step.h"

class RanfLocal {
public:
    RanfLocal() { reload(); }

    // Takes the generator's current seeds (after another part has drawn).
    void reload() {
        ranlib_detail::ensure_seeded();
        const RanlibGeneratorState& g = ranlib_detail::generator;
        index_ = g.curntg - 1;
        s1_ = g.Xcg1[index_];
        s2_ = g.Xcg2[index_];
        anti_ = g.Xqanti[index_] != 0;
        drawn_ = 0;
    }

    // Takes the generator's current seeds again (after another part has
    // drawn through ranf); any draws not yet committed are forgotten.
    void resync() {
        ranlib_detail::ensure_seeded();
        const RanlibGeneratorState& g = ranlib_detail::generator;
        index_ = g.curntg - 1;
        s1_ = g.Xcg1[index_];
        s2_ = g.Xcg2[index_];
        anti_ = g.Xqanti[index_] != 0;
        drawn_ = 0;
    }

    // What ranf() returns next.
    float draw() {
        int32_t z = ranlib_detail::advance_seeds(s1_, s2_);
        if (anti_) z = ranlib_detail::kM1 - z;
        drawn_ += 1;
        return ranlib_detail::uniform_of(z);
    }

    // Advances the stream by k values, k < powers.size(); powers1[k] and
    // powers2[k] are a1^k mod m1 and a2^k mod m2 (see skip_powers).
    void skip(int k, const std::vector<int64_t>& powers1, const std::vector<int64_t>& powers2) {
        if (k <= 0) return;
        s1_ = static_cast<int32_t>(powers1[static_cast<std::size_t>(k)] * s1_ % ranlib_detail::kM1);
        s2_ = static_cast<int32_t>(powers2[static_cast<std::size_t>(k)] * s2_ % ranlib_detail::kM2);
        drawn_ += static_cast<uint64_t>(k);
    }

    // a^k mod m of both components for k = 0..n.
    void skip_powers(int n, std::vector<int64_t>& powers1, std::vector<int64_t>& powers2) const {
        powers1.resize(static_cast<std::size_t>(n) + 1);
        powers2.resize(static_cast<std::size_t>(n) + 1);
        int64_t p1 = 1, p2 = 1;
        for (int k = 0; k <= n; ++k) {
            powers1[static_cast<std::size_t>(k)] = p1;
            powers2[static_cast<std::size_t>(k)] = p2;
            p1 = p1 * ranlib_detail::kA1 % ranlib_detail::kM1;
            p2 = p2 * ranlib_detail::kA2 % ranlib_detail::kM2;
        }
    }

    // skip(k) on the process's generator itself, for a caller that draws
    // through ranf (or the deviates) in between.
    static void skip_generator(int k, const std::vector<int64_t>& powers1,
                               const std::vector<int64_t>& powers2) {
        if (k <= 0) return;
        ranlib_detail::ensure_seeded();
        RanlibGeneratorState& g = ranlib_detail::generator;
        const int32_t i = g.curntg - 1;
        g.Xcg1[i] = static_cast<int32_t>(powers1[static_cast<std::size_t>(k)] * g.Xcg1[i] % g.Xm1);
        g.Xcg2[i] = static_cast<int32_t>(powers2[static_cast<std::size_t>(k)] * g.Xcg2[i] % g.Xm2);
        g.Xndraw += static_cast<uint64_t>(k);
    }

    // Stores the seeds and the draw count into the generator.
    void commit() {
        RanlibGeneratorState& g = ranlib_detail::generator;
        g.Xcg1[index_] = s1_;
        g.Xcg2[index_] = s2_;
        g.Xndraw += drawn_;
        drawn_ = 0;
    }

private:
    int32_t index_ = 0;
    int32_t s1_ = 0, s2_ = 0;
    bool anti_ = false;
    uint64_t drawn_ = 0;
};

#endif  // PLENTA_RANDOM_RANF_LOCAL_H

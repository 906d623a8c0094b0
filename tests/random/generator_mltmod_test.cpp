// The exact modular product against (a * s) mod m in 64-bit arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "random/ranlib.h"

namespace {

std::int64_t reference(std::int64_t a, std::int64_t s, std::int64_t m) { return (a * s) % m; }

// Draws m from [lo_m, 2^31 - 1], then a and s from their valid ranges, with
// a optionally confined to [lo_a, hi_a] (clipped to m - 1).
void check_random_triples(std::mt19937_64& rng, int count, std::int64_t lo_m, std::int64_t lo_a,
                          std::int64_t hi_a) {
    std::uniform_int_distribution<std::int64_t> pick_m(lo_m, 2147483647);
    for (int i = 0; i < count; i++) {
        const std::int64_t m = pick_m(rng);
        const std::int64_t top = hi_a < m - 1 ? hi_a : m - 1;
        const std::int64_t a = std::uniform_int_distribution<std::int64_t>(lo_a, top)(rng);
        const std::int64_t s = std::uniform_int_distribution<std::int64_t>(1, m - 1)(rng);
        ASSERT_EQ(mltmod(static_cast<int32_t>(a), static_cast<int32_t>(s), static_cast<int32_t>(m)),
                  reference(a, s, m))
            << "a = " << a << " s = " << s << " m = " << m;
    }
}

TEST(Mltmod, EqualsThe64BitProductOverRandomTriples) {
    std::mt19937_64 rng(20240601);
    check_random_triples(rng, 300000, 2, 1, 2147483646);
}

TEST(Mltmod, HighMultipliersTakeTheTopDigitBranch) {
    // a >= 2^30 makes the high base-2^15 digit at least 2^15.
    std::mt19937_64 rng(7);
    check_random_triples(rng, 200000, (std::int64_t{1} << 30) + 1, std::int64_t{1} << 30,
                         2147483646);
}

TEST(Mltmod, SmallMultipliersUseOnlyTheLowDigit) {
    std::mt19937_64 rng(11);
    check_random_triples(rng, 200000, 2, 1, 32767);
    // Multiples of 2^15 have a zero low digit.
    for (std::int64_t a = 32768; a < 2147483563; a += 32768 * 997) {
        const std::int64_t s = 2147483562 - a / 3;
        ASSERT_EQ(mltmod(static_cast<int32_t>(a), static_cast<int32_t>(s), 2147483563),
                  reference(a, s, 2147483563));
    }
}

TEST(Mltmod, ExtremeArguments) {
    const std::int64_t moduli[] = {2, 3, 32767, 32768, 32769, 65536, 2147483399, 2147483563,
                                   2147483647};
    for (std::int64_t m : moduli) {
        const std::int64_t values[] = {1, 2, 32767, 32768, 32769, m / 2, m - 2, m - 1};
        for (std::int64_t a : values) {
            for (std::int64_t s : values) {
                if (a < 1 || a >= m || s < 1 || s >= m) continue;
                ASSERT_EQ(mltmod(static_cast<int32_t>(a), static_cast<int32_t>(s),
                                 static_cast<int32_t>(m)),
                          reference(a, s, m))
                    << "a = " << a << " s = " << s << " m = " << m;
            }
        }
    }
}

}  // namespace

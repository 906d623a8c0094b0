// Known answers for the combined generator, computed independently of the
// Schrage arithmetic in plain 64-bit modular arithmetic.
#include <gtest/gtest.h>

#include <cstdint>

#include "random/ranlib.h"

namespace {

// The combined generator written the obvious way: s <- a s mod m in 64 bits,
// z = s1 - s2 folded into 1 .. m1 - 1.
struct Reference {
    std::int64_t s1, s2;
    std::int32_t next() {
        s1 = (40014 * s1) % 2147483563;
        s2 = (40692 * s2) % 2147483399;
        std::int64_t z = s1 - s2;
        if (z < 1) z += 2147483562;
        return static_cast<std::int32_t>(z);
    }
};

TEST(Generator, FirstValuesAfterSetallMatchIndependentComputation) {
    setall(1234567890, 123456789);
    Reference ref{1234567890, 123456789};
    for (int i = 0; i < 10000; i++) ASSERT_EQ(ignlgi(), ref.next()) << "draw " << i;
}

}  // namespace

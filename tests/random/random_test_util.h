// Helpers shared by the random-number tests: state snapshots, an independent
// 64-bit model of the combined generator, a way to force the next generator
// value, a child-process runner that captures stderr exactly, and a pooled
// chi-square statistic.
#ifndef PLENTA_TESTS_RANDOM_TEST_UTIL_H
#define PLENTA_TESTS_RANDOM_TEST_UTIL_H

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "random/ranlib.h"

namespace random_test {

constexpr std::int64_t kM1 = 2147483563;  // 2^31 - 85
constexpr std::int64_t kM2 = 2147483399;  // 2^31 - 249
constexpr std::int64_t kA1 = 40014;
constexpr std::int64_t kA2 = 40692;

// Snapshots the generator and Poisson states and restores them on scope exit,
// so that tests do not disturb each other.
class StateGuard {
public:
    StateGuard() : gen_(*ranlib_generator_state()), poi_(*ranlib_poisson_state()) {}
    ~StateGuard() {
        *ranlib_generator_state() = gen_;
        *ranlib_poisson_state() = poi_;
    }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

private:
    RanlibGeneratorState gen_;
    RanlibPoissonState poi_;
};

inline bool same_state(const RanlibGeneratorState& a, const RanlibGeneratorState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The values and the state after each of n draws by ranf, from the state now;
// the state is then put back.
struct Drawn {
    std::vector<float> values;
    std::vector<RanlibGeneratorState> states;
};

inline Drawn draw_with_ranf(int n) {
    const RanlibGeneratorState start = *ranlib_generator_state();
    Drawn d;
    for (int i = 0; i < n; i++) {
        d.values.push_back(ranf());
        d.states.push_back(*ranlib_generator_state());
    }
    *ranlib_generator_state() = start;
    return d;
}

// The state of a process that has not touched the generator yet.
inline void reset_generator_state() {
    *ranlib_generator_state() = RanlibGeneratorState{};
    ranlib_generator_state()->curntg = 1;
}

inline void reset_poisson_state() { *ranlib_poisson_state() = RanlibPoissonState{}; }

// (a * b) mod m in plain 64-bit arithmetic: both factors are below 2^31.
inline std::int64_t mulmod(std::int64_t a, std::int64_t b, std::int64_t m) { return (a * b) % m; }

// a^e mod m by binary exponentiation.
inline std::int64_t powmod(std::int64_t a, std::int64_t e, std::int64_t m) {
    std::int64_t r = 1;
    a %= m;
    while (e > 0) {
        if (e & 1) r = mulmod(r, a, m);
        a = mulmod(a, a, m);
        e >>= 1;
    }
    return r;
}

// a^(2^k) mod m by k squarings: the multiplier that jumps 2^k values ahead.
inline std::int64_t jump_multiplier(std::int64_t a, int k, std::int64_t m) {
    std::int64_t r = a % m;
    for (int i = 0; i < k; i++) r = mulmod(r, r, m);
    return r;
}

// The combined generator written the obvious way: s <- a s mod m in 64 bits,
// z = s1 - s2 folded into 1 .. m1 - 1.
struct Reference {
    std::int64_t s1, s2;
    std::int32_t next() {
        s1 = mulmod(kA1, s1, kM1);
        s2 = mulmod(kA2, s2, kM2);
        std::int64_t z = s1 - s2;
        if (z < 1) z += kM1 - 1;
        return static_cast<std::int32_t>(z);
    }
    // The uniform deviate of the value: the product rounded to single precision.
    float next_uniform() { return static_cast<float>(next() * 4.656613057E-10); }
};

// The reference positioned at the current seeds of the current generator.
inline Reference reference_at_current() {
    const RanlibGeneratorState* s = ranlib_generator_state();
    return Reference{s->Xcg1[s->curntg - 1], s->Xcg2[s->curntg - 1]};
}

// Sets the current seeds of the current generator so that the next ignlgi
// returns z (1 .. m1 - 1, antithetic flag off): picks the seeds after the
// step, then steps them back with the inverse multipliers a^(m - 2).
inline void force_next_ignlgi(std::int32_t z) {
    const std::int64_t s2_next = 1000;
    std::int64_t s1_next = z + s2_next;
    if (s1_next >= kM1) s1_next -= kM1 - 1;
    RanlibGeneratorState* s = ranlib_generator_state();
    const int g = s->curntg - 1;
    s->Xcg1[g] = static_cast<std::int32_t>(mulmod(s1_next, powmod(kA1, kM1 - 2, kM1), kM1));
    s->Xcg2[g] = static_cast<std::int32_t>(mulmod(s2_next, powmod(kA2, kM2 - 2, kM2), kM2));
}

// A generator value whose uniform deviate is exactly u, or 0 when no value
// rounds to u.  Every float from 2^-26 to 1 is reached, since the step of the
// scale (about 4.66e-10) is below the float spacing there.
inline std::int32_t z_for_uniform(float u) {
    std::int64_t z = static_cast<std::int64_t>(u / 4.656613057E-10);
    if (z < 1) z = 1;
    if (z > kM1 - 1) z = kM1 - 1;
    auto at = [](std::int64_t v) { return static_cast<float>(v * 4.656613057E-10); };
    while (z > 1 && at(z) > u) z--;
    while (z < kM1 - 1 && at(z) < u) z++;
    return at(z) == u ? static_cast<std::int32_t>(z) : 0;
}

// Runs body in a forked child with stderr captured through a pipe.  Returns
// what the child wrote to stderr; *status receives its exit status, or -1 if
// it did not exit normally.  A body that returns ends the child with 99.
inline std::string run_in_child(const std::function<void()>& body, int* status) {
    std::fflush(stdout);
    std::fflush(stderr);
    int fds[2];
    if (pipe(fds) != 0) {
        *status = -2;
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 2);
        close(fds[1]);
        body();
        std::fflush(stderr);
        _exit(99);
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return out;
}

// Pearson's statistic over cells with expected counts; neighbouring cells are
// pooled from the left until each pooled cell expects at least min_expected
// (the remainder joins the last cell).  df = number of pooled cells - 1.
struct ChiSquare {
    double statistic;
    int df;
};

inline ChiSquare chi_square(const std::vector<double>& observed, const std::vector<double>& expected,
                            double min_expected = 20.0) {
    std::vector<double> o, e;
    double co = 0, ce = 0;
    for (size_t i = 0; i < observed.size(); i++) {
        co += observed[i];
        ce += expected[i];
        if (ce >= min_expected) {
            o.push_back(co);
            e.push_back(ce);
            co = ce = 0;
        }
    }
    if (ce > 0 || co > 0) {
        if (e.empty()) {
            o.push_back(co);
            e.push_back(ce);
        } else {
            o.back() += co;
            e.back() += ce;
        }
    }
    double x = 0;
    for (size_t i = 0; i < o.size(); i++) x += (o[i] - e[i]) * (o[i] - e[i]) / e[i];
    return {x, static_cast<int>(o.size()) - 1};
}

// The upper 1e-5 quantile of the chi-square law with df degrees of freedom,
// by the Wilson-Hilferty cube-root normal approximation (z = 4.265 is the
// upper 1e-5 point of the standard normal), plus 2 to cover the
// approximation's error at small df.  The seeds are fixed, so passing is
// deterministic; a failure means the distribution changed.
inline double chi_square_bound(int df) {
    const double v = 2.0 / (9.0 * df);
    const double c = 1.0 - v + 4.265 * std::sqrt(v);
    return df * c * c * c + 2.0;
}

}  // namespace random_test

#endif  // PLENTA_TESTS_RANDOM_TEST_UTIL_H

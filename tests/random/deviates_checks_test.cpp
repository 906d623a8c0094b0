// Argument checks of the deviates: the exact bytes written to standard error
// and the exit status.  Most cases run in-process with an exit handler that
// throws (the way a host such as the MEX gateway keeps its process alive), so
// they also show that every stop goes through ranlib_exit; a few run the real
// exit in a child process.  The overflow guards of genf and gennf, which warn
// and go on, are checked here too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "random/ranlib.h"

namespace {

struct Stopped {
    int status;
};

[[noreturn]] void throwing_handler(int status) { throw Stopped{status}; }

struct Outcome {
    bool stopped;
    int status;
    std::string err;
};

// Runs f with standard error redirected to a temporary file and the throwing
// exit handler installed; returns what was written and how f ended.
Outcome run_captured(const std::function<void()>& f) {
    std::fflush(stderr);
    std::FILE* tmp = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(tmp), 2);
    Outcome out{false, -1, ""};
    ranlib_set_exit_handler(throwing_handler);
    try {
        f();
    } catch (const Stopped& s) {
        out.stopped = true;
        out.status = s.status;
    }
    ranlib_set_exit_handler(nullptr);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(tmp);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.err.append(buf, n);
    std::fclose(tmp);
    return out;
}

void expect_stop(const std::function<void()>& f, const std::string& text, int status) {
    const Outcome o = run_captured(f);
    EXPECT_TRUE(o.stopped) << text;
    EXPECT_EQ(o.status, status) << text;
    EXPECT_EQ(o.err, text);
}

TEST(DeviateChecks, RealDeviatesWithTheirValues) {
    expect_stop([] { genbet(0.0f, 1.0f); },
                " AA or BB <= 0 in GENBET - Abort! AA:     0.000000E+00 BB     1.000000E+00\n", 1);
    expect_stop([] { genchi(0.0f); }, "DF <= 0 in GENCHI - ABORTValue of DF:     0.000000E+00\n",
                1);
    expect_stop([] { genchi(-1.5f); }, "DF <= 0 in GENCHI - ABORTValue of DF:    -1.500000E+00\n",
                1);
    expect_stop([] { genf(0.0f, 1.0f); },
                "Degrees of freedom nonpositive in GENF - abort!"
                "DFN value:     0.000000E+00DFD value:     1.000000E+00\n",
                1);
    expect_stop([] { genf(1.0f, -2.0f); },
                "Degrees of freedom nonpositive in GENF - abort!"
                "DFN value:     1.000000E+00DFD value:    -2.000000E+00\n",
                1);
    expect_stop([] { gennch(1.0f, 0.0f); },
                "DF <= 1 or XNONC < 0 in GENNCH - ABORT"
                "Value of DF:     1.000000E+00 Value of XNONC    0.000000E+00\n",
                1);
    expect_stop([] { gennch(2.0f, -1.0f); },
                "DF <= 1 or XNONC < 0 in GENNCH - ABORT"
                "Value of DF:     2.000000E+00 Value of XNONC   -1.000000E+00\n",
                1);
    const std::string gennf_head =
        "In GENNF - Either (1) Numerator DF <= 1.0 or(2) Denominator DF < 0.0 or "
        "(3) Noncentrality parameter < 0.0";
    expect_stop([] { gennf(1.0f, 1.0f, 0.0f); },
                gennf_head +
                    "DFN value:     1.000000E+00DFD value:     1.000000E+00XNONC value: \n"
                    "    0.000000E+00\n",
                1);
    expect_stop([] { gennf(2.0f, 0.0f, 0.0f); },
                gennf_head +
                    "DFN value:     2.000000E+00DFD value:     0.000000E+00XNONC value: \n"
                    "    0.000000E+00\n",
                1);
    expect_stop([] { gennf(2.0f, 1.0f, -0.5f); },
                gennf_head +
                    "DFN value:     2.000000E+00DFD value:     1.000000E+00XNONC value: \n"
                    "   -5.000000E-01\n",
                1);
    expect_stop([] { genunf(2.0f, 1.0f); },
                "LOW > HIGH in GENUNF: LOW     2.000000E+00 HIGH:     1.000000E+00\nAbort", 1);
}

TEST(DeviateChecks, GenbetChecksAgainAfterAValidCallAndAfterAFailure) {
    setall(1, 2);
    EXPECT_GT(genbet(2.0f, 3.0f), 0.0f);
    expect_stop([] { genbet(2.0f, -1.0f); },
                " AA or BB <= 0 in GENBET - Abort! AA:     2.000000E+00 BB    -1.000000E+00\n", 1);
    // The failed arguments did not become the kept key: the same call is
    // checked (and stopped) again.
    expect_stop([] { genbet(2.0f, -1.0f); },
                " AA or BB <= 0 in GENBET - Abort! AA:     2.000000E+00 BB    -1.000000E+00\n", 1);
    EXPECT_LT(genbet(2.0f, 3.0f), 1.0f);
}

TEST(DeviateChecks, IntegerDeviatesAndTheMultivariateSetUp) {
    expect_stop([] { ignuin(1, 0); }, " low > high in ignuin - ABORT", 1);
    expect_stop([] { ignuin(-2, 2147483560); }, " high - low too large in ignuin - ABORT", 1);
    // A range that does not fit in 32 bits is too large, not wrapped around.
    expect_stop([] { ignuin(INT32_MIN, INT32_MAX); }, " high - low too large in ignuin - ABORT",
                1);
    float mean[2] = {0, 0}, parm[6];
    float covm[4] = {1, 2, 2, 1};
    expect_stop([&] { setgmn(mean, covm, 0, parm); },
                "P nonpositive in SETGMNValue of P:            0\n", 1);
    expect_stop([&] { setgmn(mean, covm, -3, parm); },
                "P nonpositive in SETGMNValue of P:           -3\n", 1);
    expect_stop([&] { setgmn(mean, covm, 2, parm); }, " COVM not positive definite in SETGMN", 1);
}

TEST(DeviateChecks, StopsThroughFtnstopEndWithStatusZero) {
    int32_t ix[3];
    std::vector<float> ok = {0.5f, 0.25f};
    expect_stop([&] { genmul(-1, ok.data(), 3, ix); }, "N < 0 in GENMUL\n", 0);
    expect_stop([&] { genmul(5, ok.data(), 1, ix); }, "NCAT <= 1 in GENMUL\n", 0);
    // Each probability is tested for < 0, then > 1, before the next one; the
    // sum only after all of them.
    std::vector<float> neg_then_big = {-0.1f, 2.0f};
    expect_stop([&] { genmul(5, neg_then_big.data(), 3, ix); }, "Some P(i) < 0 in GENMUL\n", 0);
    std::vector<float> big_then_neg = {2.0f, -0.1f};
    expect_stop([&] { genmul(5, big_then_neg.data(), 3, ix); }, "Some P(i) > 1 in GENMUL\n", 0);
    std::vector<float> sum_then_neg = {0.6f, 0.6f, -0.1f};
    expect_stop([&] { genmul(5, sum_then_neg.data(), 4, ix); }, "Some P(i) < 0 in GENMUL\n", 0);
    std::vector<float> one = {1.0f};
    expect_stop([&] { genmul(10, one.data(), 2, ix); }, "Sum of P(i) > 1 in GENMUL\n", 0);
    std::vector<float> just_over = {0.5f, 0.4999905f};  // float sum just above 0.99999
    expect_stop([&] { genmul(10, just_over.data(), 3, ix); }, "Sum of P(i) > 1 in GENMUL\n", 0);

    expect_stop([] { ignnbn(-1, 0.5f); }, "N < 0 in IGNNBN\n", 0);
    expect_stop([] { ignnbn(3, 0.0f); }, "P <= 0 in IGNNBN\n", 0);
    expect_stop([] { ignnbn(3, 1.0f); }, "P >= 1 in IGNNBN\n", 0);

    expect_stop([] { ftnstop("bye"); }, "bye\n", 0);
    expect_stop([] { ftnstop(nullptr); }, "", 0);
}

TEST(DeviateChecks, ValidEdgeArgumentsDoNotStop) {
    setall(8, 9);
    const Outcome o = run_captured([] {
        int32_t ix[2];
        std::vector<float> p = {0.99999f};  // sum exactly at the bound
        genmul(4, p.data(), 2, ix);
        genunf(3.0f, 3.0f);
        gennch(1.5f, 0.0f);
        ignnbn(0, 0.5f);
        ignuin(0, 2147483561);
    });
    EXPECT_FALSE(o.stopped);
    EXPECT_EQ(o.err, "");
}

// The real process exit, without a handler.
TEST(DeviateChecksDeathTest, ExitStatusesOfARealStop) {
    EXPECT_EXIT(ignuin(1, 0), ::testing::ExitedWithCode(1),
                ::testing::Matcher<const std::string&>(" low > high in ignuin - ABORT"));
    EXPECT_EXIT(ignnbn(-1, 0.5f), ::testing::ExitedWithCode(0),
                ::testing::Matcher<const std::string&>("N < 0 in IGNNBN\n"));
}

TEST(DeviateChecksDeathTest, GenbetChecksOnTheFirstCallOfTheProcess) {
    // "threadsafe" re-runs the test binary for the child, so the genbet call
    // below is the first of a fresh process, with no kept arguments at all.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(genbet(-1.0f, -1.0f), ::testing::ExitedWithCode(1),
                ::testing::Matcher<const std::string&>(
                    " AA or BB <= 0 in GENBET - Abort! AA:    -1.000000E+00 BB    -1.000000E+00\n"));
}

// ------------------------------------------------------------ overflow guards

// Calls `deviate` until it returns the overflow value (the tiny denominator
// degrees of freedom make a zero chi-square denominator common), recording
// the generator seeds from just before that call.
bool draw_until_overflow(const std::function<float()>& deviate, std::pair<int32_t, int32_t>& seeds,
                         std::string& err) {
    for (int i = 0; i < 1000; i++) {
        getsd(&seeds.first, &seeds.second);
        float value = 0.0f;
        const Outcome o = run_captured([&] { value = deviate(); });
        if (o.stopped) return false;
        if (value == 1.0E38f) {
            err = o.err;
            return true;
        }
        if (!o.err.empty()) return false;  // a warning without the overflow value
    }
    return false;
}

std::string numerator_line(float xnum, float xden) {
    char buf[128];
    std::snprintf(buf, sizeof buf, " Numerator %16.6E Denominator %16.6E\n", xnum, xden);
    return buf;
}

TEST(DeviateChecks, GenfWarnsAndReturnsTheLargeValueOnOverflow) {
    setall(1111, 2222);
    std::pair<int32_t, int32_t> seeds;
    std::string err;
    ASSERT_TRUE(draw_until_overflow([] { return genf(100.0f, 0.01f); }, seeds, err));
    // Replay the same draws: numerator first, then denominator.
    setsd(seeds.first, seeds.second);
    const float xnum = genchi(100.0f) / 100.0f;
    const float xden = genchi(0.01f) / 0.01f;
    EXPECT_LE(xden, 9.999999999998E-39 * xnum);
    EXPECT_EQ(err, " GENF - generated numbers would cause overflow" + numerator_line(xnum, xden) +
                       " GENF returning 1.0E38");
}

TEST(DeviateChecks, GennfWarnsAndReturnsTheLargeValueOnOverflow) {
    setall(3333, 4444);
    std::pair<int32_t, int32_t> seeds;
    std::string err;
    ASSERT_TRUE(draw_until_overflow([] { return gennf(100.0f, 0.01f, 2.0f); }, seeds, err));
    setsd(seeds.first, seeds.second);
    const float xnum = gennch(100.0f, 2.0f) / 100.0f;
    const float xden = genchi(0.01f) / 0.01f;
    EXPECT_LE(xden, 9.999999999998E-39 * xnum);
    EXPECT_EQ(err, " GENNF - generated numbers would cause overflow" + numerator_line(xnum, xden) +
                       " GENNF returning 1.0E38");
}

}  // namespace

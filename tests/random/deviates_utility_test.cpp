// Uniform integers, permutations, multinomial counts, the multivariate
// normal with its Cholesky set-up, LINPACK's sdot and spofa, and the phrase
// seeds and text length utilities.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "random/ranlib.h"

namespace {

std::pair<int32_t, int32_t> current_seeds() {
    int32_t a, b;
    getsd(&a, &b);
    return {a, b};
}

// Upper 0.9999 quantile of chi-square (Wilson-Hilferty).
double chi2_bound(int df) {
    const double z = 3.719;
    const double h = 2.0 / (9.0 * df);
    return df * std::pow(1.0 - h + z * std::sqrt(h), 3.0);
}

double chi2_uniform(const std::vector<double>& counts) {
    double total = 0.0;
    for (double c : counts) total += c;
    const double expected = total / counts.size();
    double chi2 = 0.0;
    for (double c : counts) chi2 += (c - expected) * (c - expected) / expected;
    return chi2;
}

// ------------------------------------------------------------------ ignuin

TEST(Ignuin, EqualBoundsReturnLowWithoutDrawing) {
    setall(1234, 5678);
    const auto before = current_seeds();
    EXPECT_EQ(ignuin(5, 5), 5);
    EXPECT_EQ(ignuin(-7, -7), -7);
    EXPECT_EQ(current_seeds(), before);
}

TEST(Ignuin, MapsEachAcceptedDrawToLowPlusResidue) {
    // For range + 1 = 10 the largest accepted ign is 2147483560, so only
    // ign = 2147483561 would be redrawn; the residues are then exactly
    // (ignlgi() - 1) mod 10 of the same stream.
    setall(271828, 182845);
    std::vector<int32_t> got;
    for (int i = 0; i < 1000; i++) got.push_back(ignuin(-3, 6));
    setall(271828, 182845);
    for (int i = 0; i < 1000; i++) {
        const int32_t ign = ignlgi() - 1;
        ASSERT_LT(ign, 2147483561);
        ASSERT_EQ(got[i], -3 + ign % 10) << i;
    }
}

TEST(Ignuin, WidestRangeTakesEveryDraw) {
    // high - low = 2147483561: ign = ignlgi() - 1 covers exactly the range,
    // so each call takes one draw and returns low + ign.
    setall(5, 6);
    std::vector<int32_t> got;
    for (int i = 0; i < 1000; i++) got.push_back(ignuin(-1, 2147483560));
    setall(5, 6);
    for (int i = 0; i < 1000; i++) ASSERT_EQ(got[i], -1 + (ignlgi() - 1)) << i;
}

TEST(Ignuin, UniformOverTheRangeAndSafeAtTheExtremes) {
    setall(99, 100);
    std::vector<double> counts(8, 0.0);
    for (int i = 0; i < 80000; i++) {
        const int32_t k = ignuin(-3, 4);
        ASSERT_GE(k, -3);
        ASSERT_LE(k, 4);
        counts[k + 3] += 1.0;
    }
    EXPECT_LT(chi2_uniform(counts), chi2_bound(7));
    for (int i = 0; i < 1000; i++) {
        const int32_t big = ignuin(2147483646, 2147483647);
        ASSERT_TRUE(big == 2147483646 || big == 2147483647);
        const int32_t wide = ignuin(-1, 2147483560);  // the widest range allowed
        ASSERT_GE(wide, -1);
        ASSERT_LE(wide, 2147483560);
    }
}

// ------------------------------------------------------------------ genprm

TEST(Genprm, ProducesEveryPermutationEquallyOften) {
    setall(31415, 92653);
    std::vector<int32_t> items(10);
    std::iota(items.begin(), items.end(), 1);
    genprm(items.data(), 10);
    std::vector<int32_t> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < 10; i++) EXPECT_EQ(sorted[i], i + 1);

    // All 24 orders of four elements, each about 1/24 of the time.
    std::vector<double> counts(24, 0.0);
    for (int t = 0; t < 48000; t++) {
        int32_t v[4] = {0, 1, 2, 3};
        genprm(v, 4);
        std::vector<int32_t> perm(v, v + 4);
        int rank = 0;
        std::vector<int32_t> rest = {0, 1, 2, 3};
        for (int i = 0; i < 4; i++) {
            const auto it = std::find(rest.begin(), rest.end(), perm[i]);
            ASSERT_NE(it, rest.end());
            const int pos = static_cast<int>(it - rest.begin());
            static const int fact[4] = {6, 2, 1, 1};
            rank += pos * fact[i];
            rest.erase(it);
        }
        counts[rank] += 1.0;
    }
    EXPECT_LT(chi2_uniform(counts), chi2_bound(23));
}

// ------------------------------------------------------------------ genmul

TEST(Genmul, CountsAddUpToTheTrialsAndFollowTheProbabilities) {
    setall(4711, 815);
    int32_t two[2];
    genmul(10, std::vector<float>{0.5f}.data(), 2, two);
    EXPECT_EQ(two[0] + two[1], 10);

    // Four categories: every draw adds up to n; the means are n p.
    std::vector<float> p = {0.2f, 0.3f, 0.1f};
    const double probs[4] = {0.2, 0.3, 0.1, 0.4};
    double sums[4] = {0, 0, 0, 0};
    const int draws = 20000;
    for (int t = 0; t < draws; t++) {
        int32_t ix[4] = {-1, -1, -1, -1};
        genmul(50, p.data(), 4, ix);
        ASSERT_EQ(ix[0] + ix[1] + ix[2] + ix[3], 50);
        for (int c = 0; c < 4; c++) {
            ASSERT_GE(ix[c], 0);
            sums[c] += ix[c];
        }
    }
    for (int c = 0; c < 4; c++) {
        const double se = std::sqrt(50 * probs[c] * (1 - probs[c]) / draws);
        EXPECT_NEAR(sums[c] / draws, 50 * probs[c], 5 * se) << c;
    }
}

TEST(Genmul, CategoriesAfterTheTrialsRunOutStayZero) {
    // With p0 close to 1 the first category usually takes every trial; the
    // later counts, including the last, must then be 0 (not left unset).
    setall(3, 4);
    std::vector<float> p = {0.99f, 0.005f};
    for (int t = 0; t < 2000; t++) {
        int32_t ix[3] = {-5, -5, -5};
        genmul(3, p.data(), 3, ix);
        ASSERT_EQ(ix[0] + ix[1] + ix[2], 3);
        for (int32_t c : ix) ASSERT_GE(c, 0);
    }
    int32_t none[3] = {-5, -5, -5};
    genmul(0, p.data(), 3, none);
    EXPECT_EQ(none[0], 0);
    EXPECT_EQ(none[1], 0);
    EXPECT_EQ(none[2], 0);
}

// ------------------------------------------------------------------ sdot

TEST(Sdot, UnitStridesSumTheLeadingProductsThenGroupsOfFive) {
    // n = 7: elements 1-2 are added one by one, then 3-7 are summed as one
    // group before joining.  At 2^24 a float cannot hold a lone +1, but the
    // group of five ones (5) survives: the result shows the grouping.
    const float x[7] = {16777216.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    const float y[7] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    float lead = 16777216.0f;
    lead += 1.0f;  // stays 2^24
    float group = 1.0f;
    group = group + 1.0f + 1.0f + 1.0f + 1.0f;  // 5
    const float grouped = lead + group;          // 2^24 + 5 rounds to 2^24 + 4
    float sequential = 0.0f;
    for (int i = 0; i < 7; i++) sequential += x[i] * y[i];
    ASSERT_NE(grouped, sequential);  // the order is visible in the result
    EXPECT_EQ(sdot(7, x, 1, y, 1), grouped);
    EXPECT_EQ(sdot(7, x, 1, y, 1), 16777220.0f);
}

TEST(Sdot, StridesAndEmptyVectors) {
    const float x[6] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    const float y[3] = {10.0f, 100.0f, 1000.0f};
    EXPECT_EQ(sdot(0, x, 1, y, 1), 0.0f);
    EXPECT_EQ(sdot(-2, x, 1, y, 1), 0.0f);
    // incx = 2: x1, x3, x5 against y1, y2, y3.
    EXPECT_EQ(sdot(3, x, 2, y, 1), 1 * 10.0f + 3 * 100.0f + 5 * 1000.0f);
    // incx = -1 starts from element (1 - n) * inc + 1 = 3: x3, x2, x1.
    EXPECT_EQ(sdot(3, x, -1, y, 1), 3 * 10.0f + 2 * 100.0f + 1 * 1000.0f);
    // Both negative: x5, x3, x1 against y3, y2, y1.
    EXPECT_EQ(sdot(3, x, -2, y, -1), 5 * 1000.0f + 3 * 100.0f + 1 * 10.0f);
}

// ------------------------------------------------------------------ spofa

TEST(Spofa, FactorisesAPositiveDefiniteMatrixInItsUpperTriangle) {
    // A = R^T R for R = [[2, 1, -1], [0, 3, 2], [0, 0, 1]], all exact in
    // floats.  Column by column with leading dimension 4; the lower triangle
    // and the padding row hold sentinels that must neither be read nor written.
    const float s = -77.0f;
    float a[12] = {4, s, s, s,   // column 1
                   2, 10, s, s,  // column 2
                   -2, 5, 6, s}; // column 3
    int32_t info = -1;
    spofa(a, 4, 3, &info);
    EXPECT_EQ(info, 0);
    const float expected[12] = {2, s, s, s, 1, 3, s, s, -1, 2, 1, s};
    for (int i = 0; i < 12; i++) EXPECT_EQ(a[i], expected[i]) << i;
}

TEST(Spofa, InfoIsTheOrderOfTheFirstMinorThatIsNotPositiveDefinite) {
    int32_t info = 0;
    float first[4] = {0, 0, 0, 1};
    spofa(first, 2, 2, &info);
    EXPECT_EQ(info, 1);
    float second[4] = {1, 2, 2, 1};  // det = -3
    spofa(second, 2, 2, &info);
    EXPECT_EQ(info, 2);
    // Leading minors of order 1 and 2 positive, order 3 not (s = 4 - 5 < 0).
    float third[9] = {4, 0, 0, 2, 10, 0, -2, 5, 4};
    spofa(third, 3, 3, &info);
    EXPECT_EQ(info, 3);
    float singular[4] = {1, 1, 1, 1};  // s = 0 exactly: not positive definite
    spofa(singular, 2, 2, &info);
    EXPECT_EQ(info, 2);
}

// ------------------------------------------------------------------ setgmn / genmn

TEST(Genmn, ParameterLayoutAndSampleCovariance) {
    const int p = 3;
    std::vector<float> mean = {1.0f, -2.0f, 3.0f};
    const double cov[3][3] = {{4.0, 1.2, -0.8}, {1.2, 2.0, 0.3}, {-0.8, 0.3, 1.0}};
    std::vector<float> covm(9);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) covm[i + j * p] = static_cast<float>(cov[i][j]);
    std::vector<float> parm(p * (p + 3) / 2 + 1, -1.0f);
    setgmn(mean.data(), covm.data(), p, parm.data());

    // Layout: p, the mean, then R row by row from the diagonal, R being the
    // upper Cholesky factor computed here in double.
    double r[3][3] = {};
    for (int j = 0; j < 3; j++) {
        for (int i = 0; i < j; i++) {
            double t = cov[i][j];
            for (int k = 0; k < i; k++) t -= r[k][i] * r[k][j];
            r[i][j] = t / r[i][i];
        }
        double d = cov[j][j];
        for (int k = 0; k < j; k++) d -= r[k][j] * r[k][j];
        r[j][j] = std::sqrt(d);
    }
    EXPECT_EQ(parm[0], 3.0f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(parm[1 + i], mean[i]);
    const double packed[6] = {r[0][0], r[0][1], r[0][2], r[1][1], r[1][2], r[2][2]};
    for (int i = 0; i < 6; i++) EXPECT_NEAR(parm[4 + i], packed[i], 1e-5) << i;

    setall(60221, 14076);
    const int n = 100000;
    std::vector<float> x(p), work(p);
    double sum[3] = {}, cross[3][3] = {};
    std::vector<std::vector<double>> xs;
    for (int t = 0; t < n; t++) {
        genmn(parm.data(), x.data(), work.data());
        xs.push_back({x[0], x[1], x[2]});
        for (int i = 0; i < 3; i++) sum[i] += x[i];
    }
    double m[3];
    for (int i = 0; i < 3; i++) m[i] = sum[i] / n;
    for (const auto& v : xs)
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) cross[i][j] += (v[i] - m[i]) * (v[j] - m[j]);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(m[i], mean[i], 5 * std::sqrt(cov[i][i] / n)) << i;
        for (int j = 0; j < 3; j++) {
            // Standard error of a normal sample covariance.
            const double se = std::sqrt((cov[i][i] * cov[j][j] + cov[i][j] * cov[i][j]) / n);
            EXPECT_NEAR(cross[i][j] / (n - 1), cov[i][j], 5 * se) << i << "," << j;
        }
    }
}

// ------------------------------------------------------------------ phrtsd / lennob

// The seed rule written out plainly: table index (0 if absent) mod 64 with 0
// read as 63, five digits ichr - j (+63 below 1), added in base 64 into the
// two seeds in opposite digit orders, modulo 2^30, in 64-bit arithmetic.
std::string phrase_table() {
    std::string t;
    for (char c = 'a'; c <= 'z'; c++) t += c;
    for (char c = 'A'; c <= 'Z'; c++) t += c;
    for (char c = '0'; c <= '9'; c++) t += c;
    t += "!@#$%^&*()_+[];:";
    t += '\'';
    t += '\\';
    t += '"';
    t += "<>?,./";
    return t;
}

std::pair<int32_t, int32_t> reference_seeds(const std::string& phrase) {
    const std::string table = phrase_table();
    int64_t s1 = 1234567890, s2 = 123456789;
    const auto last = phrase.find_last_not_of(' ');
    if (last == std::string::npos) return {static_cast<int32_t>(s1), static_cast<int32_t>(s2)};
    for (std::size_t i = 0; i <= last; i++) {
        const auto pos = table.find(phrase[i]);
        int64_t ichr = (pos == std::string::npos ? 0 : static_cast<int64_t>(pos)) % 64;
        if (ichr == 0) ichr = 63;
        int64_t v[6];
        for (int j = 1; j <= 5; j++) v[j] = ichr - j < 1 ? ichr - j + 63 : ichr - j;
        int64_t shift = 1;
        for (int j = 1; j <= 5; j++, shift *= 64) {
            s1 = (s1 + shift * v[j]) % 1073741824;
            s2 = (s2 + shift * v[6 - j]) % 1073741824;
        }
    }
    return {static_cast<int32_t>(s1), static_cast<int32_t>(s2)};
}

std::pair<int32_t, int32_t> seeds_of(const char* phrase) {
    int32_t a = 0, b = 0;
    phrtsd(phrase, &a, &b);
    return {a, b};
}

TEST(Phrtsd, ReferenceTableHasTheQuotesAndBackslashAt78To80) {
    const std::string t = phrase_table();
    ASSERT_EQ(t.size(), 87u);
    EXPECT_EQ(t[78], '\'');
    EXPECT_EQ(t[79], '\\');
    EXPECT_EQ(t[80], '"');
}

TEST(Phrtsd, EmptyAndBlankPhrasesGiveTheDefaultSeeds) {
    const std::pair<int32_t, int32_t> defaults = {1234567890, 123456789};
    EXPECT_EQ(seeds_of(""), defaults);
    EXPECT_EQ(seeds_of("     "), defaults);
}

TEST(Phrtsd, SeedsFollowTheRule) {
    for (const char* phrase : {"a", "Z", "0", "/", "'", "\\", "\"", "abc", "The quick brown fox!",
                               "seed 42 @ #home", "\t~tab"}) {
        EXPECT_EQ(seeds_of(phrase), reference_seeds(phrase)) << phrase;
    }
    // The three characters at 78-80 differ from each other and from their
    // table neighbours.
    EXPECT_NE(seeds_of("'"), seeds_of("\\"));
    EXPECT_NE(seeds_of("\\"), seeds_of("\""));
    EXPECT_NE(seeds_of(":"), seeds_of("'"));
    EXPECT_NE(seeds_of("\""), seeds_of("<"));
}

TEST(Phrtsd, TrailingBlanksAndCharactersOutsideTheTable) {
    EXPECT_EQ(seeds_of("hello   "), seeds_of("hello"));
    EXPECT_NE(seeds_of(" hello"), seeds_of("hello"));  // leading blanks count
    // 'a' (index 0), '@' (63) and characters outside the table all read as 63;
    // an inner blank is one of the latter.
    EXPECT_EQ(seeds_of("a"), seeds_of("~"));
    EXPECT_EQ(seeds_of("a"), seeds_of("@"));
    EXPECT_EQ(seeds_of("xay"), seeds_of("x\ty"));
    EXPECT_EQ(seeds_of("a b"), seeds_of("aab"));
    EXPECT_EQ(seeds_of("\xe9t\xe9"), seeds_of("ata"));
}

TEST(Lennob, LengthWithoutTrailingBlanks) {
    EXPECT_EQ(lennob("ab  "), 2);
    EXPECT_EQ(lennob("  "), 0);
    EXPECT_EQ(lennob(" a"), 2);
    EXPECT_EQ(lennob(""), 0);
    EXPECT_EQ(lennob("a b"), 3);
    EXPECT_EQ(lennob("ab\t"), 3);  // only the blank counts as trailing space
}

}  // namespace

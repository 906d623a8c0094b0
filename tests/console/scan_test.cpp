// The formatted-input matcher: white space, literals, the four conversions,
// what an unmatched read leaves behind, and the line readers.
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "console/console.h"

namespace plenta {
namespace {

TEST(ScanWhiteSpace, MatchesAnyRunIncludingNone) {
    TextScanner none("a=1");
    int v = 0;
    EXPECT_EQ(none.scan("a = %d", {&v}), 1);
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(none.at_end());

    TextScanner run("a \t\r\n\n =\n\n  7 \n\n\nrest");
    EXPECT_EQ(run.scan("a = %d\n", {&v}), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(run.text().substr(run.pos()), "rest");  // trailing "\n" ate every line end

    TextScanner only_space(" \n\t x");
    EXPECT_EQ(only_space.scan("\n"), 0);
    EXPECT_EQ(only_space.pos(), 4u);
}

TEST(ScanLiteral, MismatchStopsAtTheFirstUnmatchedCharacter) {
    TextScanner in("num_rxns = 5\n");
    int v = 42;
    EXPECT_EQ(in.scan("num_sets = %d\n", {&v}), 0);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(in.pos(), 4u);  // "num_" matched, "r" is not "s"
    EXPECT_EQ(in.scan("rxns = %d\n", {&v}), 1);  // the next read starts there
    EXPECT_EQ(v, 5);
}

TEST(ScanLiteral, IsCaseSensitiveAndNeedsText) {
    TextScanner upper("StoP = 1");
    double d = -1.0;
    EXPECT_EQ(upper.scan("Stop = %le", {&d}), 0);
    EXPECT_EQ(upper.pos(), 3u);
    EXPECT_EQ(d, -1.0);

    TextScanner empty("");
    EXPECT_EQ(empty.scan("id = %d", {}), 0);
    EXPECT_EQ(empty.pos(), 0u);
}

TEST(ScanInt, SignsDigitsAndStops) {
    TextScanner in("  +12 -7 42x 0009");
    int a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(in.scan("%d %d %d", {&a, &b, &c}), 3);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -7);
    EXPECT_EQ(c, 42);
    EXPECT_EQ(in.text()[in.pos()], 'x');
    EXPECT_EQ(in.scan("%d", {&d}), 0);  // "x" is no number: nothing but white space consumed
    EXPECT_EQ(in.text()[in.pos()], 'x');
    EXPECT_EQ(d, 0);
}

TEST(ScanInt, SignWithoutDigitsIsNoNumber) {
    TextScanner in("  - 5");
    int v = 3;
    EXPECT_EQ(in.scan("%d", {&v}), 0);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(in.pos(), 2u);  // at the sign
}

TEST(ScanInt, OverflowSaturates) {
    TextScanner in("2147483647 2147483648 99999999999999999999 -2147483648 -2147483649");
    int v[5] = {};
    EXPECT_EQ(in.scan("%d %d %d %d %d", {&v[0], &v[1], &v[2], &v[3], &v[4]}), 5);
    EXPECT_EQ(v[0], 2147483647);
    EXPECT_EQ(v[1], 2147483647);
    EXPECT_EQ(v[2], 2147483647);
    EXPECT_EQ(v[3], std::numeric_limits<int>::min());
    EXPECT_EQ(v[4], std::numeric_limits<int>::min());
    EXPECT_TRUE(in.at_end());
}

TEST(ScanUnsigned, StoredModulo2To32) {
    TextScanner in("12345 4294967295 4294967296 4294967297 12345678901 -1 +7");
    std::uint32_t v[7] = {};
    EXPECT_EQ(in.scan("%lu %lu %lu %lu %lu %lu %lu",
                      {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]}),
              7);
    EXPECT_EQ(v[0], 12345u);
    EXPECT_EQ(v[1], 4294967295u);
    EXPECT_EQ(v[2], 0u);
    EXPECT_EQ(v[3], 1u);
    EXPECT_EQ(v[4], 3755744309u);  // 12345678901 - 2 * 2^32
    EXPECT_EQ(v[5], 4294967295u);
    EXPECT_EQ(v[6], 7u);
}

TEST(ScanDouble, DecimalForms) {
    TextScanner in("1.5e3 .5 5. -0.1 1E-2 7 +2.5e+1 1.7976931348623157e308 4.9e-324");
    double v[9] = {};
    EXPECT_EQ(in.scan("%le %le %le %le %le %le %le %le %le",
                      {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]}),
              9);
    EXPECT_EQ(v[0], 1500.0);
    EXPECT_EQ(v[1], 0.5);
    EXPECT_EQ(v[2], 5.0);
    EXPECT_EQ(v[3], -0.1);  // correctly rounded: the same double as the literal
    EXPECT_EQ(v[4], 0.01);
    EXPECT_EQ(v[5], 7.0);
    EXPECT_EQ(v[6], 25.0);
    EXPECT_EQ(v[7], std::numeric_limits<double>::max());
    EXPECT_EQ(v[8], std::numeric_limits<double>::denorm_min());
}

TEST(ScanDouble, InfinityAndNan) {
    TextScanner in("inf -Infinity NAN nan(123) 1e400");
    double v[5] = {};
    EXPECT_EQ(in.scan("%le %le %le %le %le", {&v[0], &v[1], &v[2], &v[3], &v[4]}), 5);
    EXPECT_TRUE(std::isinf(v[0]) && v[0] > 0);
    EXPECT_TRUE(std::isinf(v[1]) && v[1] < 0);
    EXPECT_TRUE(std::isnan(v[2]));
    EXPECT_TRUE(std::isnan(v[3]));
    EXPECT_TRUE(std::isinf(v[4]));
    EXPECT_TRUE(in.at_end());
}

TEST(ScanDouble, LongestNumberPrefixOnly) {
    double d = 0.0;
    TextScanner bare_exponent("1e x");
    EXPECT_EQ(bare_exponent.scan("%le", {&d}), 1);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(bare_exponent.pos(), 1u);  // the "e" without digits is not the number's

    TextScanner signed_exponent("2e+;");
    EXPECT_EQ(signed_exponent.scan("%le", {&d}), 1);
    EXPECT_EQ(d, 2.0);
    EXPECT_EQ(signed_exponent.pos(), 1u);

    TextScanner hex("0x1p3");
    EXPECT_EQ(hex.scan("%le", {&d}), 1);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(hex.pos(), 1u);

    TextScanner dot_only(" . 5");
    d = 9.0;
    EXPECT_EQ(dot_only.scan("%le", {&d}), 0);
    EXPECT_EQ(d, 9.0);
    EXPECT_EQ(dot_only.pos(), 1u);

    TextScanner word("info");  // "inf" is a number; "o" is left
    EXPECT_EQ(word.scan("%le", {&d}), 1);
    EXPECT_TRUE(std::isinf(d));
    EXPECT_EQ(word.pos(), 3u);
}

TEST(ScanToken, OneTokenAnyLengthAndNoneAtEnd) {
    std::string big(1000, 'q');
    TextScanner in("  \n" + big + "\tnext  \n ");
    std::string a, b, c = "kept";
    EXPECT_EQ(in.scan("%s %s", {&a, &b}), 2);
    EXPECT_EQ(a, big);
    EXPECT_EQ(b, "next");
    EXPECT_EQ(in.scan("%s", {&c}), 0);
    EXPECT_EQ(c, "kept");
    EXPECT_TRUE(in.at_end());
}

TEST(ScanUnmatched, LeavesLaterFieldsAndPosition) {
    TextScanner in("StoP = 0.5 x 2.0\nid = 3\n");
    double k0 = -1.0, k1 = -1.0;
    EXPECT_EQ(in.scan("StoP = %le %le \n", {&k0, &k1}), 1);
    EXPECT_EQ(k0, 0.5);
    EXPECT_EQ(k1, -1.0);
    EXPECT_EQ(in.text()[in.pos()], 'x');
    int id = 0;
    EXPECT_EQ(in.scan("id = %d\n\n", {&id}), 0);  // starts at the "x"
    EXPECT_EQ(in.text()[in.pos()], 'x');
    std::string token;
    EXPECT_EQ(in.scan("%s", {&token}), 1);
    EXPECT_EQ(token, "x");
}

TEST(ScanErrors, BadFormatsThrow) {
    TextScanner in("1 2");
    int i = 0;
    double d = 0.0;
    EXPECT_THROW(in.scan("%f", {&d}), std::logic_error);
    EXPECT_THROW(in.scan("%d", {&d}), std::logic_error);
    EXPECT_THROW(in.scan("%le", {&i}), std::logic_error);
    EXPECT_THROW(in.scan("%d %d", {&i}), std::logic_error);
}

TEST(GetLine, AnyLengthLineEndsAndEndOfFile) {
    std::string long_line(10000, 'd');
    TextScanner in(long_line + "\nwin\r\n\nmid\rdle\nlast");
    EXPECT_EQ(get_line(in), long_line);
    EXPECT_EQ(get_line(in), "win");  // the CR before the newline goes with it
    EXPECT_EQ(get_line(in), "");
    EXPECT_EQ(get_line(in), "mid\rdle");  // a CR elsewhere is text
    EXPECT_EQ(get_line(in), "last");  // the last line needs no line end
    EXPECT_FALSE(get_line(in).has_value());

    TextScanner empty("");
    EXPECT_FALSE(get_line(empty).has_value());
    TextScanner one_newline("\n");
    EXPECT_EQ(get_line(one_newline), "");
    EXPECT_FALSE(get_line(one_newline).has_value());
}

TEST(ScanLine, TokensAndEnd) {
    TextScanner in("  traj\nsummary.txt   evlog\n\n");
    EXPECT_EQ(scan_line(in), "traj");
    EXPECT_EQ(scan_line(in), "summary.txt");
    EXPECT_EQ(scan_line(in), "evlog");
    EXPECT_EQ(scan_line(in), "");
}

TEST(ReadLine, SeventyEightCharactersAndTheLineEndFitOneRead) {
    std::string l78(78, 'a'), l79(79, 'b');
    bool complete = false;
    TextScanner in(l78 + "\n" + l79 + "\nx\r\n" + l78 + "\r\n" + l79);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), l78);
    EXPECT_TRUE(complete);
    // 79 characters fill the buffer: the line end is left for the next read.
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), l79);
    EXPECT_FALSE(complete);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), "");
    EXPECT_TRUE(complete);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), "x");
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), l78);  // CRLF counts as one line end
    EXPECT_TRUE(complete);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), l79);  // ends with the text
    EXPECT_TRUE(complete);
    EXPECT_FALSE(in.read_line(kSkipLineChars, &complete).has_value());
}

TEST(ReadLine, LongLineTakesSeveralReads) {
    std::string line(200, 'z');
    TextScanner in(line + "\nnext\n");
    bool complete = true;
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete)->size(), 79u);
    EXPECT_FALSE(complete);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete)->size(), 79u);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete)->size(), 42u);
    EXPECT_TRUE(complete);
    EXPECT_EQ(in.read_line(kSkipLineChars, &complete), "next");
}

TEST(ScanRecord, CompletenessNumberAsWrittenAndLines) {
    TextScanner in("a = 99999999999\nb = -5\nc 1\n");
    std::uint32_t v = 0;
    EXPECT_EQ(in.scan("a = %lu\n", {&v}), 1);
    EXPECT_TRUE(in.last_scan_complete());
    EXPECT_EQ(v, 1215752191u);                              // stored modulo 2^32
    EXPECT_EQ(in.last_unsigned_as_written(), 99999999999LL);  // but known as written
    EXPECT_EQ(in.scan("b = %lu\n", {&v}), 1);
    EXPECT_EQ(in.last_unsigned_as_written(), -5);
    // Far more digits than any count: known as written up to 10^18.
    TextScanner many("66666666666666666666666666 1000000000000000000 100000000000000000\n");
    for (long long as_written : {1000000000000000000LL, 1000000000000000000LL, 100000000000000000LL}) {
        EXPECT_EQ(many.scan(" %lu", {&v}), 1);
        EXPECT_EQ(many.last_unsigned_as_written(), as_written);
    }
    EXPECT_EQ(in.line_of(in.pos()), 3);
    int n = 0;
    EXPECT_EQ(in.scan("c = %d", {&n}), 0);  // stops at the blank before "1"
    EXPECT_FALSE(in.last_scan_complete());
    EXPECT_EQ(in.line_of(0), 1);  // asked again from the start
    EXPECT_EQ(in.line_of(in.size()), 4);
}

}  // namespace
}  // namespace plenta

// The law reader's bounds: a law whose expansion would grow without bound,
// take hours or recurse past the stack is refused with a message, and a law
// of mass action below the bounds expands as before.
#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <sbml/math/L3Parser.h>

#include "tools/sbml2plenta/law.h"

namespace {

using namespace sbml2plenta;

// S0..S9 are species, k a parameter of value 2.
Symbol resolve(const std::string& name) {
    Symbol s;
    if (name.size() == 2 && name[0] == 'S') {
        s.kind = Symbol::kSpecies;
        s.species = name[1] - '0';
    } else if (name == "k") {
        s.kind = Symbol::kNumber;
        s.value = 2.0;
    } else {
        s.why = "'" + name + "' is not defined";
    }
    return s;
}

// The refusal of a law, or "" when it expands.
std::string refusal(const std::string& text) {
    std::unique_ptr<ASTNode> law(SBML_parseL3Formula(text.c_str()));
    EXPECT_TRUE(law) << text;
    if (!law) return "not parsed";
    try {
        law_polynomial(law.get(), resolve);
    } catch (const LawError& e) {
        return e.why;
    }
    return "";
}

std::string sum_of_species() {
    std::string sum = "(S0";
    for (int i = 1; i < 10; i++) sum += "+S" + std::to_string(i);
    return sum + ")";
}

TEST(SbmlLawBounds, HugeExpansionsAreRefusedAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    // 92378 terms, and 715 terms squared: no mass-action law needs a product
    // of more than 4096 pairs of terms, so both stop at the first such product
    // (the converter then writes the law as a formula, unexpanded).
    EXPECT_NE(refusal("k*S0*" + sum_of_species() + "^10").find("too many terms"),
              std::string::npos);
    const std::string p4 = sum_of_species() + "^4";
    EXPECT_NE(refusal(p4 + "*" + p4).find("too many terms"), std::string::npos);
    // A law nested far deeper than any written by hand.
    std::string nested = "S0";
    for (int i = 0; i < 1500; i++) nested = "-(" + nested + ")";
    EXPECT_NE(refusal(nested).find("nested deeper than 1000 levels"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(SbmlLawBounds, LawsBelowTheBoundsExpand) {
    std::unique_ptr<ASTNode> law(SBML_parseL3Formula((sum_of_species() + "^3").c_str()));
    ASSERT_TRUE(law);
    EXPECT_EQ(law_polynomial(law.get(), resolve).size(), 220u);  // C(12, 3)
    EXPECT_EQ(refusal("k*S0*S1 - k*S2"), "");
}

}  // namespace

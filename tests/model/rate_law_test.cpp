// Formula rate laws: what the language computes, how names resolve, the
// rules, copies, the dependency lists and the tau-selection order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/model.h"
#include "model/rate_law.h"

namespace plenta {
namespace {

std::vector<Compound> make_species(std::initializer_list<std::pair<const char*, int>> list) {
    std::vector<Compound> out;
    for (const auto& s : list) {
        Compound c;
        std::strncpy(c.name, s.first, kNameLen - 1);
        c.count = s.second;
        out.push_back(c);
    }
    return out;
}

struct Evaluated {
    double value = NAN;
    std::string error;
};

Evaluated eval(const std::string& text, const std::vector<Compound>& species,
               const FormulaScope& scope = {}, double volume = 2.0) {
    Evaluated e;
    FormulaNames names(species, scope);
    Reaction r;
    r.rxn_index = kFormula;
    e.error = compile_formula_reaction(r, text, species, names, volume);
    if (e.error.empty()) e.value = r.law->evaluate(species, r.rates.data(), volume);
    return e;
}

TEST(RateLaw, OperatorsFunctionsAndConditionals) {
    const auto sp = make_species({{"A", 4}, {"B", 10}});
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"A + B*2 - 1", 23.0},
        {"(A + B)/2", 7.0},
        {"A^2", 16.0},
        {"2^3^2", 512.0},  // right-associative
        {"pow(A, 0.5)", 2.0},
        {"sqrt(A) + abs(-3)", 5.0},
        {"exp(0) + ln(1) + log(1)", 1.0},  // log is the natural logarithm
        {"log10(1000)", 3.0},
        {"floor(2.7) + ceil(2.1)", 5.0},
        {"min(A, B, 3) + max(A, B)", 13.0},
        {"if(A < B, 1, 2)", 1.0},
        {"A >= B ? 1 : 2", 2.0},
        {"if(A == 4 && B != 4, 7, 0)", 7.0},
        {"if(A > 5 || !(B > 5), 1, 0)", 0.0},
        {"and(1, A > 3) + or(0, 0) + not(0)", 2.0},
        {"piecewise(1, A > 5, 2, B > 5, 3)", 2.0},
        {"piecewise(1, A > 5, 3)", 3.0},
        {"volume*A", 8.0},
        {"1.5e1 + 2E-1", 15.2},
    };
    for (const auto& c : cases) {
        const Evaluated e = eval(c.text, sp);
        EXPECT_EQ(e.error, "") << c.text;
        EXPECT_DOUBLE_EQ(e.value, c.value) << c.text;
    }
    EXPECT_TRUE(std::isnan(eval("piecewise(1, A > 5)", sp).value));  // no case holds
}

TEST(RateLaw, NamesResolveToSpeciesParametersRulesAndReportWhatIsWrong) {
    const auto sp = make_species({{"S", 30}, {"E", 2}, {"odd-name", 1}});
    FormulaScope scope;
    scope.parameters = {{"Vmax", 3.0}, {"Km", 10.0}};
    scope.rules = {{"sat", "S/(Km + S)"}, {"rate", "Vmax*E*sat"}};
    Evaluated e = eval("rate", sp, scope);
    EXPECT_EQ(e.error, "");
    EXPECT_DOUBLE_EQ(e.value, 3.0 * 2 * 30.0 / 40.0);

    EXPECT_NE(eval("S*kcat", sp, scope).error.find("\"kcat\" is not a species, parameter"),
              std::string::npos);
    EXPECT_NE(eval("S*(", sp, scope).error, "");
    EXPECT_NE(eval("nosuchfunction(S)", sp, scope).error, "");
    EXPECT_EQ(eval("   ", sp, scope).error, "the formula is empty.");

    FormulaScope loop;
    loop.rules = {{"a", "b + 1"}, {"b", "2*a"}};
    EXPECT_NE(eval("a", sp, loop).error.find("is defined through itself"), std::string::npos);

    FormulaScope clash;
    clash.parameters = {{"S", 1.0}};
    EXPECT_NE(eval("S", sp, clash).error.find("has the name of a species"), std::string::npos);
    FormulaScope twice;
    twice.parameters = {{"k", 1.0}, {"k", 2.0}};
    EXPECT_NE(eval("k", sp, twice).error.find("given twice"), std::string::npos);
}

TEST(RateLaw, ReadsOnlyTheSpeciesItNamesAndKeepsItsParametersInTheRates) {
    const auto sp = make_species({{"A", 1}, {"B", 2}, {"C", 3}});
    FormulaScope scope;
    scope.parameters = {{"k1", 0.5}, {"k2", 4.0}, {"unused", 9.0}};
    scope.rules = {{"tot", "A + C"}};
    FormulaNames names(sp, scope);
    Reaction r;
    ASSERT_EQ(compile_formula_reaction(r, "k2*tot + k1*C*C", sp, names, 1.0), "");
    EXPECT_EQ(r.law->species_read(), (std::vector<int>{0, 2}));
    ASSERT_EQ(r.num_rates, 2);
    EXPECT_STREQ(r.rates[0].name, "k2");
    EXPECT_STREQ(r.rates[1].name, "k1");
    EXPECT_DOUBLE_EQ(r.law->evaluate(sp, r.rates.data(), 1.0), 4.0 * 4 + 0.5 * 9);

    // A copy is compiled against its own slots: changing one copy's rates
    // or evaluating it leaves the other as it was.
    Reaction copy = r;
    copy.rates[0].value = 1.0;
    std::vector<Compound> other = sp;
    other[0].count = 100;
    EXPECT_DOUBLE_EQ(copy.law->evaluate(other, copy.rates.data(), 1.0), 1.0 * 103 + 0.5 * 9);
    EXPECT_DOUBLE_EQ(r.law->evaluate(sp, r.rates.data(), 1.0), 4.0 * 4 + 0.5 * 9);
    EXPECT_NE(copy.law.get(), r.law.get());

    // A parameter set's change of k1 becomes a rate change of this reaction.
    std::vector<Reaction> rxns{r, Reaction{}};
    ParamSet set;
    add_named_change(set, rxns, "k1", 7.0);
    add_named_change(set, rxns, "unused", 1.0);
    ASSERT_EQ(set.num_rates, 1);
    EXPECT_EQ(set.rate_rxn[0], 0);
    EXPECT_EQ(set.rates[0].index, 1);
    EXPECT_EQ(set.rates[0].value, 7.0);
}

TEST(RateLaw, OrderForTauSelectionFollowsTheLawsGrowth) {
    const auto sp = make_species({{"X", 0}, {"Y", 50}});
    FormulaScope scope;
    scope.parameters = {{"K", 20.0}};
    FormulaNames names(sp, scope);
    auto order = [&](const char* text) {
        Reaction r;
        EXPECT_EQ(compile_formula_reaction(r, text, sp, names, 1.0), "") << text;
        return r.law->order();
    };
    EXPECT_EQ(order("3"), 1);
    EXPECT_EQ(order("2*X"), 1);
    EXPECT_EQ(order("X*Y"), 2);
    EXPECT_EQ(order("X*(X - 1)/2"), 3);  // the forward difference at X = 10: 2 * 10 / 9
    EXPECT_EQ(order("X/(K + X)"), 1);
    EXPECT_EQ(order("X^4/(K^4 + X^4)"), 4);
    EXPECT_EQ(order("X^30"), 10);  // capped
}

// The dependency graph follows what a formula reads: a reaction that reads
// species 2 without consuming it depends on the reaction producing it.
TEST(RateLaw, DependentsFollowTheSpeciesAFormulaReads) {
    auto sp = make_species({{"A", 10}, {"B", 0}, {"C", 0}});
    ModelSizes model;
    model.num_cmpds = 3;
    std::vector<Reaction> rxns(3);
    // 0: A -> B (uni-uni); 1: nothing -> C at rate B (formula); 2: C -> (formula, k*C)
    rxns[0].rxn_index = kUniUni;
    rxns[0].subs_index = {0};
    rxns[0].prods_index = {1};
    rxns[0].rates.resize(1);
    rxns[1].rxn_index = kFormula;
    rxns[1].prods_index = {2};
    rxns[1].prods_coef = {1};
    rxns[2].rxn_index = kFormula;
    rxns[2].subs_index = {2};
    rxns[2].subs_coef = {1};
    FormulaScope scope;
    FormulaNames names(sp, scope);
    ASSERT_EQ(compile_formula_reaction(rxns[1], "0.1*B", sp, names, 1.0), "");
    ASSERT_EQ(compile_formula_reaction(rxns[2], "C", sp, names, 1.0), "");
    model.num_rxns = 3;
    model.num_subs = {1, 0, 1};
    model.num_prods = {1, 1, 0};
    std::vector<Reaction> by_species = rxns;
    ModelSizes model2 = model;
    calc_dependency(model, rxns);
    calc_dependency_by_species(model2, by_species);
    EXPECT_EQ(rxns[0].dependents, (std::vector<int>{0, 1}));
    EXPECT_EQ(rxns[1].dependents, (std::vector<int>{2}));
    EXPECT_EQ(rxns[2].dependents, (std::vector<int>{2}));
    for (int i = 0; i < 3; i++) EXPECT_EQ(by_species[i].dependents, rxns[i].dependents) << i;

    StoichMatrix m(3, 3);
    create_stoich_matrix(model, rxns, m);
    EXPECT_EQ(m.row(1)[2], 1);
    EXPECT_EQ(m.row(2)[2], -1);
}

}  // namespace
}  // namespace plenta

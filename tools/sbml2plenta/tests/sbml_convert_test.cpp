// Conversion of the SBML test models: each converted file must load in
// plenta's own reader, and every reaction's propensity and stoichiometry row
// must equal the SBML reaction's kinetic law (in molecules per time) and net
// change; models with anything plenta cannot express are refused by element.
#include <cmath>
#include <cstdlib>
#include <memory>

#include <sbml/SBMLTypes.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "tools/sbml2plenta/tests/sbml_support.h"

namespace {

using namespace sbml_test;
using Counts = std::map<std::string, int>;
using Law = std::function<double(const Counts&)>;

struct ExpectedReaction {
    const char* type;
    Law law;                          // the SBML law in molecules per time
    std::map<std::string, int> net;   // the SBML net change per firing
};

int position(const plenta::ConsoleModel& m, const std::string& name) {
    for (std::size_t i = 0; i < m.species.size(); i++)
        if (name == m.species[i].name) return static_cast<int>(i);
    ADD_FAILURE() << "no species " << name;
    return 0;
}

void set_counts(plenta::ConsoleModel& m, const Counts& counts) {
    for (const auto& [name, n] : counts) m.species[static_cast<std::size_t>(position(m, name))].count = n;
}

// Every reaction's propensity in the given states equals its law, and its
// stoichiometry row equals the net change on the SBML species (species the
// conversion added may only gain, as a sink does).
void expect_same_as_sbml(plenta::ConsoleModel& m, const std::vector<ExpectedReaction>& expected,
                         const std::vector<Counts>& states, int sbml_species) {
    ASSERT_EQ(m.reactions.size(), expected.size());
    plenta::StoichMatrix matrix(m.sizes.num_rxns, m.sizes.num_cmpds);
    plenta::create_stoich_matrix(m.sizes, m.reactions, matrix);
    for (std::size_t r = 0; r < expected.size(); r++) {
        SCOPED_TRACE("reaction " + std::to_string(r));
        EXPECT_STREQ(m.reactions[r].rxntype, expected[r].type);
        for (int s = 0; s < m.sizes.num_cmpds; s++) {
            int row = matrix.row(static_cast<int>(r))[s];
            std::string name = m.species[static_cast<std::size_t>(s)].name;
            if (s < sbml_species) {
                auto it = expected[r].net.find(name);
                EXPECT_EQ(row, it == expected[r].net.end() ? 0 : it->second) << name;
            } else {
                EXPECT_GE(row, 0) << name;
            }
        }
        for (const Counts& state : states) {
            set_counts(m, state);
            double a = plenta::calc_rxn_prob_vesk(m.reactions[r], m.species, m.params, m.sizes,
                                                  static_cast<int>(r));
            double law = expected[r].law(state);
            EXPECT_NEAR(a, law, 1e-13 * std::fabs(law)) << "propensity";
        }
    }
}

TEST(SbmlConvert, EveryShapeHasTheLawAsItsPropensity) {
    TempDir dir;
    plenta::ConsoleModel m = convert_and_load("shapes.xml", dir.path());
    EXPECT_EQ(m.params.volume, 2.5);
    // The model's own "Sink" keeps its name; the added sink and source get free names.
    ASSERT_EQ(m.species.size(), 14u);
    EXPECT_STREQ(m.species[11].name, "Sink");
    EXPECT_STREQ(m.species[12].name, "Sink_");
    EXPECT_STREQ(m.species[13].name, "Source");
    EXPECT_EQ(m.species[0].count, 100);
    EXPECT_EQ(m.species[9].count, 200);

    auto c = [](const Counts& s, const char* n) { return static_cast<double>(s.at(n)); };
    std::vector<ExpectedReaction> expected = {
        {"binding", [&](const Counts& s) { return 0.02 * c(s, "A") * c(s, "B"); }, {{"A", -1}, {"B", -1}, {"C", 1}}},
        {"unbinding", [&](const Counts& s) { return 0.1 * c(s, "C"); }, {{"C", -1}, {"A", 1}, {"B", 1}}},
        {"uni-uni", [&](const Counts& s) { return 0.3 * c(s, "A"); }, {{"A", -1}, {"D", 1}}},
        {"uni-uni", [&](const Counts& s) { return 0.05 * c(s, "D"); }, {{"D", -1}}},
        {"uni-multi", [&](const Counts& s) { return 2.0 * c(s, "G"); }, {{"M", 1}}},
        {"uni-multi", [&](const Counts& s) { return 0.4 * c(s, "M"); }, {{"M", -1}, {"Y", 3}}},
        {"uni-multi", [&](const Counts& s) { return 0.01 * c(s, "X"); }, {{"X", -1}, {"A", 1}, {"B", 1}, {"D", 1}}},
        {"homo-ltor", [&](const Counts& s) { return 0.004 * c(s, "X") * (c(s, "X") - 1) / 2; }, {{"X", -2}, {"Y", 1}}},
        {"n-order", [&](const Counts&) { return 5.0; }, {{"S", 1}}},
        {"n-order", [&](const Counts& s) { return 0.001 * c(s, "E") * c(s, "S"); }, {{"S", -1}, {"P", 1}}},
        {"n-order", [&](const Counts& s) { return 1e-5 * c(s, "A") * c(s, "B") * c(s, "X"); },
         {{"A", -1}, {"B", -1}, {"X", -1}, {"P", 1}}},
        {"uni-uni", [&](const Counts& s) { return 0.2 * c(s, "P"); }, {{"P", -1}, {"Sink", 1}}},
    };
    Counts busy = {{"A", 7}, {"B", 3}, {"C", 4}, {"D", 5}, {"G", 1}, {"M", 6}, {"X", 9},
                   {"Y", 2}, {"E", 10}, {"S", 11}, {"P", 8}, {"Sink", 0}};
    Counts scarce = busy;  // one X (no dimer), no A (no binding, no trimer), no E (no catalysis)
    scarce["X"] = 1;
    scarce["A"] = 0;
    scarce["E"] = 0;
    expect_same_as_sbml(m, expected, {busy, scarce}, 12);
}

TEST(SbmlConvert, ShapesModelFileIsTheReviewedOne) {
    // shapes.model.txt was checked block by block against shapes.xml: types,
    // positions (Sink_ = 12, Source = 13), and StoP = k·V for binding (0.05)
    // and homo-ltor (2 · 0.004/2 · 2.5 = 0.01), c/V for the source (2, 0).
    sbml2plenta::ConvertOptions options;
    std::string text =
        sbml2plenta::model_file_text(sbml2plenta::convert_sbml_file(sbml_file("shapes.xml"), options), options);
    EXPECT_EQ(text, read_file(sbml_file("shapes.model.txt")));
}

TEST(SbmlConvert, ConcentrationsWithCancellingCompartmentAndLocalParameter) {
    TempDir dir;
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_file(sbml_file("concentrations_l2.xml"), {});
    // 3.3 · 0.5 and 0.7 · 0.5 round; 8 · 0.5 = 4 does not.
    ASSERT_EQ(out.warnings.size(), 2u);
    EXPECT_NE(out.warnings[0].find("'A': initial amount 1.65 rounded to 2"), std::string::npos);
    EXPECT_NE(out.warnings[1].find("'C': initial amount 0.35 rounded to 0"), std::string::npos);
    // cell · kf · [A][B] = kf·a·b/V, so binding's k0 = kf exactly; the local kr = 0.7 hides kr = 99.
    ASSERT_EQ(out.reactions.size(), 3u);
    EXPECT_EQ(out.reactions[0].rates, std::vector<double>{0.3});
    EXPECT_EQ(out.reactions[1].rates, std::vector<double>{0.7});
    EXPECT_EQ(out.reactions[2].rates, std::vector<double>{0.25});

    plenta::ConsoleModel m = convert_and_load("concentrations_l2.xml", dir.path());
    EXPECT_EQ(m.species[0].count, 2);
    EXPECT_EQ(m.species[1].count, 4);
    EXPECT_EQ(m.species[2].count, 0);
    const double v = 0.5;
    auto c = [](const Counts& s, const char* n) { return static_cast<double>(s.at(n)); };
    std::vector<ExpectedReaction> expected = {
        {"binding", [&](const Counts& s) { return v * (0.3 * (c(s, "A") / v) * (c(s, "B") / v)); },
         {{"A", -1}, {"B", -1}, {"C", 1}}},
        {"unbinding", [&](const Counts& s) { return v * 0.7 * (c(s, "C") / v); }, {{"C", -1}, {"A", 1}, {"B", 1}}},
        {"uni-uni", [&](const Counts& s) { return 0.25 * (c(s, "C") / v) * v; }, {{"C", -1}}},
    };
    expect_same_as_sbml(m, expected, {{{"A", 5}, {"B", 7}, {"C", 3}}, {{"A", 0}, {"B", 2}, {"C", 1}}}, 3);
}

TEST(SbmlConvert, ReversibleDimerisationBecomesTwoReactions) {
    TempDir dir;
    plenta::ConsoleModel m = convert_and_load("dimerisation.xml", dir.path());
    auto c = [](const Counts& s, const char* n) { return static_cast<double>(s.at(n)); };
    std::vector<ExpectedReaction> expected = {
        {"homo-ltor", [&](const Counts& s) { return 0.1 * c(s, "X") * (c(s, "X") - 1) / 2; }, {{"X", -2}, {"D", 1}}},
        {"uni-multi", [&](const Counts& s) { return 0.5 * c(s, "D"); }, {{"X", 2}, {"D", -1}}},
    };
    expect_same_as_sbml(m, expected, {{{"X", 20}, {"D", 3}}, {{"X", 1}, {"D", 0}}}, 2);
}

TEST(SbmlConvert, ReversibleWithoutReverseTermConvertsAsIrreversible) {
    std::string xml = read_file(sbml_file("birth_death.xml"));
    const std::string death = "<reaction id=\"death\" reversible=\"false\"";
    ASSERT_NE(xml.find(death), std::string::npos);
    xml.replace(xml.find(death), death.size(), "<reaction id=\"death\" reversible=\"true\"");
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(xml, {});
    ASSERT_EQ(out.reactions.size(), 2u);
    EXPECT_EQ(out.reactions[1].type, "uni-uni");
    EXPECT_EQ(out.reactions[1].rates, std::vector<double>{1.0});
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_NE(out.warnings[0].find("reaction 'death': marked reversible"), std::string::npos);
}

TEST(SbmlConvert, OptionsReachTheParameters) {
    TempDir dir;
    sbml2plenta::ConvertOptions options;
    options.time_end = 7.5;
    options.snapshot_interval = 0.25;
    options.runs = 3;
    options.seed = 2147483398u;
    options.algorithm = 3;
    options.tau_error = 0.01;
    options.monitor = {"D", "X"};
    plenta::ConsoleModel m = convert_and_load("dimerisation.xml", dir.path(), options);
    EXPECT_EQ(m.params.time_start, 0.0);
    EXPECT_EQ(m.params.time_end, 7.5);
    EXPECT_EQ(m.params.snapshot_interval, 0.25);
    EXPECT_EQ(m.params.num_repeats, std::vector<int>{3});
    EXPECT_EQ(m.params.randseed, 2147483398u);
    EXPECT_EQ(m.params.algorithm, 3);
    EXPECT_EQ(m.params.tau_error, 0.01);
    EXPECT_EQ(m.params.monit, (std::vector<int>{1, 0}));
    EXPECT_EQ(m.params.volume, 2.0);
    // constants.txt names the folder itself ("./"), resolved against the folder.
    EXPECT_TRUE(fs::equivalent(m.data_dir, dir.path())) << m.data_dir;

    options.monitor = {"Q"};
    try {
        sbml2plenta::convert_sbml_file(sbml_file("dimerisation.xml"), options);
        ADD_FAILURE() << "an unknown monitored species was accepted";
    } catch (const sbml2plenta::ConversionError& e) {
        EXPECT_NE(e.message.find("monitored species 'Q'"), std::string::npos) << e.message;
    }
}

TEST(SbmlConvert, ConvertingAgainGivesIdenticalFiles) {
    TempDir dir;
    for (const char* name : {"shapes.xml", "concentrations_l2.xml", "dimerisation.xml"}) {
        sbml2plenta::ConvertOptions options;
        auto once = sbml2plenta::convert_sbml_file(sbml_file(name), options);
        sbml2plenta::write_model_folder(dir.path(), once, options);
        std::string model = read_file(dir.file("model.txt"));
        std::string constants = read_file(dir.file("constants.txt"));
        auto twice = sbml2plenta::convert_sbml_file(sbml_file(name), options);
        sbml2plenta::write_model_folder(dir.path(), twice, options);
        EXPECT_EQ(read_file(dir.file("model.txt")), model) << name;
        EXPECT_EQ(read_file(dir.file("constants.txt")), constants) << name;
        EXPECT_EQ(file_names(dir.path()), (std::set<std::string>{"constants.txt", "model.txt"}));
    }
}

TEST(SbmlConvert, ExactNumbersReadBackBitForBit) {
    for (double v : {0.1, 1.0 / 3.0, 2.5e-17, 6.02214076e23, 100.0, 0.0, 123456789012.0, 5e-324})
        EXPECT_EQ(std::strtod(sbml2plenta::exact_number(v).c_str(), nullptr), v) << v;
    EXPECT_EQ(sbml2plenta::exact_number(0.1), "0.1");
    EXPECT_EQ(sbml2plenta::exact_number(100.0), "100");
}

// Each refused model names the element at fault and says why.
struct Refusal {
    const char* file;
    std::vector<const char*> phrases;
};

TEST(SbmlConvert, RefusesWhatItCannotExpressExactly) {
    const std::vector<Refusal> cases = {
        {"refuse_event.xml", {"event 'pulse'"}},
        {"refuse_time.xml", {"reaction 'r1'", "time"}},
        {"refuse_unknown_symbol.xml", {"reaction 'r1'", "'Z' is not defined"}},
        {"refuse_fractional_stoichiometry.xml", {"reaction 'r1', reactant 'X'", "stoichiometry 0.5"}},
        {"refuse_no_law.xml", {"reaction 'r1'", "no kinetic law"}},
        {"refuse_negative_rate.xml", {"reaction 'r1'", "rate constant -1"}},
        {"refuse_fast.xml", {"reaction 'r1'", "fast"}},
        {"refuse_expansion.xml", {"reaction 'r1'", "would exceed 10000 terms"}},
        {"no_such_file.xml", {"line"}},
    };
    for (const Refusal& c : cases) {
        std::string message = refusal(c.file);
        EXPECT_NE(message, "") << c.file << " was converted";
        for (const char* phrase : c.phrases)
            EXPECT_NE(message.find(phrase), std::string::npos) << c.file << ": " << message;
    }
}

// Laws that no named type has the shape of become formula reactions whose
// propensity is the law itself; boundary species leave the sides.  Each
// converted file loads in plenta, and the propensity equals the law.
TEST(SbmlConvert, LawsNoNamedTypeMatchesBecomeFormulas) {
    auto c = [](const Counts& s, const char* n) { return static_cast<double>(s.at(n)); };
    struct Case {
        const char* file;
        std::vector<ExpectedReaction> expected;
    };
    const std::vector<Case> cases = {
        {"refuse_michaelis_menten.xml",
         {{"formula", [&](const Counts& s) { return 3 * c(s, "X") / (5 + c(s, "X")); }, {{"X", -1}, {"Y", 1}}}}},
        {"refuse_function.xml",
         {{"formula", [&](const Counts& s) { return c(s, "X") >= 1 ? std::exp(c(s, "X")) : 0.0; },
           {{"X", -1}, {"Y", 1}}}}},
        {"refuse_dimer_approximate.xml",
         {{"formula", [&](const Counts& s) { return c(s, "X") * (c(s, "X") - 0.999) / 2; }, {{"X", -2}, {"Y", 1}}}}},
        // X is a boundary condition: read, never changed.
        {"refuse_boundary.xml", {{"formula", [&](const Counts& s) { return c(s, "X"); }, {{"Y", 1}}}}},
        // A law that does not vanish without its reactant: 0 while X is short.
        {"refuse_law_without_reactant.xml",
         {{"formula", [&](const Counts& s) { return c(s, "X") >= 1 ? 1.0 : 0.0; }, {{"X", -1}, {"Y", 1}}}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        TempDir dir;
        plenta::ConsoleModel m = convert_and_load(k.file, dir.path());
        expect_same_as_sbml(m, k.expected, {{{"X", 4}, {"Y", 2}}, {{"X", 0}, {"Y", 0}}}, 2);
    }
}

TEST(SbmlConvert, ReversibleFormulaSplitsIntoForwardAndReverse) {
    std::string xml = read_file(sbml_file("refuse_michaelis_menten.xml"));
    // Vmax*X/(Km + X) - Y: a difference of two laws, the second reading Y.
    const std::string law = "<apply>\n              <divide/>";
    ASSERT_NE(xml.find(law), std::string::npos);
    xml.replace(xml.find(law), law.size(), "<apply><minus/><apply>\n              <divide/>");
    const std::string end = "</apply>\n          </math>";
    ASSERT_NE(xml.find(end), std::string::npos);
    xml.replace(xml.find(end), end.size(), "</apply><ci> Y </ci></apply>\n          </math>");
    const std::string irreversible = "reversible=\"false\"";
    xml.replace(xml.find(irreversible), irreversible.size(), "reversible=\"true\"");
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(xml, {});
    ASSERT_EQ(out.reactions.size(), 2u);
    EXPECT_EQ(out.reactions[0].type, "formula");
    EXPECT_EQ(out.reactions[0].rate, "((3 * X) / (5 + X))");
    EXPECT_EQ(out.reactions[1].rate, "Y");
    ASSERT_EQ(out.reactions[1].substrates.size(), 1u);
    EXPECT_EQ(out.reactions[1].substrates[0].species, 1);  // Y -> X
    EXPECT_TRUE(out.warnings.empty());
}

// A compartment without a size serves while nothing reads it; a law or an
// initial concentration that needs it is refused by name.
TEST(SbmlConvert, CompartmentWithoutSizeOnlyWhereNothingNeedsIt) {
    std::string xml = read_file(sbml_file("refuse_michaelis_menten.xml"));
    const std::string size = " size=\"1\"";
    ASSERT_NE(xml.find(size), std::string::npos);
    xml.erase(xml.find(size), size.size());
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(xml, {});
    EXPECT_EQ(out.volume, 1.0);
    ASSERT_EQ(out.reactions.size(), 1u);
    EXPECT_EQ(out.reactions[0].rate, "((3 * X) / (5 + X))");

    std::string reads = xml;
    const std::string km = "<ci> Km </ci>";
    reads.replace(reads.find(km), km.size(), "<ci> cell </ci>");
    try {
        sbml2plenta::convert_sbml_string(reads, {});
        ADD_FAILURE() << "a law reading the compartment converted";
    } catch (const sbml2plenta::ConversionError& e) {
        EXPECT_NE(e.message.find("compartment 'cell' has no size"), std::string::npos) << e.message;
    }
    std::string conc = xml;
    const std::string amount = "initialAmount=\"10\" hasOnlySubstanceUnits=\"true\"";
    conc.replace(conc.find(amount), amount.size(), "initialConcentration=\"10\" hasOnlySubstanceUnits=\"true\"");
    try {
        sbml2plenta::convert_sbml_string(conc, {});
        ADD_FAILURE() << "an initial concentration converted without a size";
    } catch (const sbml2plenta::ConversionError& e) {
        EXPECT_NE(e.message.find("species 'X': its initial concentration needs the size"),
                  std::string::npos) << e.message;
    }
}

// The Michaelis-Menten test model with its law replaced (L3 infix text).
std::string with_law(const char* formula, bool reversible, double km = 5.0) {
    SBMLReader reader;
    std::unique_ptr<SBMLDocument> doc(reader.readSBMLFromFile(sbml_file("refuse_michaelis_menten.xml")));
    Model* model = doc->getModel();
    model->getParameter("Km")->setValue(km);
    auto* r = model->getReaction(0);
    r->setReversible(reversible);
    std::unique_ptr<ASTNode> ast(SBML_parseL3Formula(formula));
    r->getKineticLaw()->setMath(ast.get());
    SBMLWriter writer;
    char* text = writer.writeSBMLToString(doc.get());
    std::string xml(text);
    free(text);
    return xml;
}

// Reversible laws in the usual algebraic forms of forward - reverse become a
// forward X -> Y and a reverse Y -> X reaction with the two parts as laws.
TEST(SbmlConvert, ReversibleLawsInAnyFormOfADifferenceSplit) {
    struct Case {
        const char* law;
        double km;
        double forward, reverse;  // at X = 4, Y = 2 (Vmax 3, Km as given)
    };
    const Case cases[] = {
        {"cell * (Vmax*X/(Km + X) + -1*Km*Y)", 5.0, 3.0 * 4 / 9, 10.0},
        {"-(Km*Y - Vmax*X)", 5.0, 12.0, 10.0},
        {"Vmax*X + Km*Y", -5.0, 12.0, 10.0},  // a negative parameter makes the term negative
        {"Vmax*X/(1 + X) - (-1)*(-1)*Km*Y*Y", 5.0, 12.0 / 5, 20.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.law);
        TempDir dir;
        sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(with_law(c.law, true, c.km), {});
        ASSERT_EQ(out.reactions.size(), 2u);
        EXPECT_TRUE(out.warnings.empty());
        sbml2plenta::write_model_folder(dir.path(), out, {});
        plenta::ConsoleModel m;
        ASSERT_EQ(plenta::load_console_model(dir.path(), m), "");
        auto c2 = [](const Counts& s, const char* n) { return static_cast<double>(s.at(n)); };
        (void)c2;
        const double f = c.forward, b = c.reverse;
        std::vector<ExpectedReaction> expected = {
            {"formula", [&](const Counts&) { return f; }, {{"X", -1}, {"Y", 1}}},
            {"formula", [&](const Counts&) { return b; }, {{"X", 1}, {"Y", -1}}},
        };
        expect_same_as_sbml(m, expected, {{{"X", 4}, {"Y", 2}}}, 2);
    }
    // A sum without a negative term has no reverse part.
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(with_law("Vmax*X/(Km + X) + Y", true), {});
    ASSERT_EQ(out.reactions.size(), 1u);
    ASSERT_EQ(out.warnings.size(), 1u);
    EXPECT_NE(out.warnings[0].find("no reverse term"), std::string::npos);
}

// Initial assignments are evaluated at conversion: X = 2 k with k = 1.
TEST(SbmlConvert, InitialAssignmentsAreEvaluated) {
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_file(sbml_file("refuse_initial_assignment.xml"), {});
    ASSERT_EQ(out.species.size(), 2u);
    EXPECT_EQ(out.species[0].name, "X");
    EXPECT_EQ(out.species[0].count, 2);
    ASSERT_EQ(out.reactions.size(), 1u);
    EXPECT_EQ(out.reactions[0].type, "uni-uni");
}

// An assignment rule for a parameter is read through: a law that reads the
// parameter reads the rule's expression (k = 2 * 3 here).  Rules for species,
// rate rules and algebraic rules are refused by name.
TEST(SbmlConvert, AssignmentRulesForParametersAreReadThrough) {
    TempDir dir;
    plenta::ConsoleModel m = convert_and_load("refuse_rule.xml", dir.path());
    std::vector<ExpectedReaction> expected = {
        {"formula", [](const Counts& s) { return 6.0 * static_cast<double>(s.at("X")); }, {{"X", -1}, {"Y", 1}}},
    };
    expect_same_as_sbml(m, expected, {{{"X", 4}, {"Y", 0}}}, 2);

    for (int kind = 0; kind < 2; kind++) {
        SBMLReader reader;
        std::unique_ptr<SBMLDocument> doc(reader.readSBMLFromFile(sbml_file("refuse_rule.xml")));
        Model* model = doc->getModel();
        std::unique_ptr<ASTNode> math(SBML_parseL3Formula("X + 1"));
        if (kind == 0) {
            model->getCompartment(0)->setConstant(false);
            AssignmentRule* rule = model->createAssignmentRule();
            rule->setVariable(model->getCompartment(0)->getId());
            rule->setMath(math.get());
        } else {
            model->getRule(0)->removeFromParentAndDelete();
            RateRule* rule = model->createRateRule();
            rule->setVariable("k");
            rule->setMath(math.get());
        }
        SBMLWriter writer;
        char* text = writer.writeSBMLToString(doc.get());
        const std::string xml(text);
        free(text);
        try {
            sbml2plenta::convert_sbml_string(xml, {});
            ADD_FAILURE() << "converted, kind " << kind;
        } catch (const sbml2plenta::ConversionError& e) {
            EXPECT_NE(e.message.find(kind == 0 ? "assignment rule for 'cell'" : "rate rule for 'k'"),
                      std::string::npos) << e.message;
        }
    }
}

// Several compartments: each species is read in its own compartment's size
// (a concentration is amount / size, an initial concentration times size),
// a compartment's symbol is its size, and every reaction is a formula.
TEST(SbmlConvert, SeveralCompartmentsReadEachSpeciesInItsOwnSize) {
    SBMLDocument doc(3, 1);
    Model* model = doc.createModel();
    for (auto [id, size] : {std::pair<const char*, double>{"c1", 2.0}, {"c2", 5.0}}) {
        Compartment* c = model->createCompartment();
        c->setId(id);
        c->setSize(size);
        c->setConstant(true);
        c->setSpatialDimensions(3.0);
    }
    auto species = [&](const char* id, const char* comp, double value, bool concentration) {
        Species* s = model->createSpecies();
        s->setId(id);
        s->setCompartment(comp);
        if (concentration) s->setInitialConcentration(value); else s->setInitialAmount(value);
        s->setHasOnlySubstanceUnits(false);
        s->setBoundaryCondition(false);
        s->setConstant(false);
    };
    species("A", "c1", 3.0, true);    // 6 molecules
    species("B", "c2", 10.0, false);  // 10 molecules, read as B / 5
    Parameter* k = model->createParameter();
    k->setId("k");
    k->setValue(0.5);
    k->setConstant(true);
    auto* r = model->createReaction();
    r->setId("transport");
    r->setReversible(false);
    r->setFast(false);
    SpeciesReference* in = r->createReactant();
    in->setSpecies("A");
    in->setStoichiometry(1);
    in->setConstant(true);
    SpeciesReference* out = r->createProduct();
    out->setSpecies("B");
    out->setStoichiometry(1);
    out->setConstant(true);
    std::unique_ptr<ASTNode> math(SBML_parseL3Formula("c1 * k * A * B"));
    r->createKineticLaw()->setMath(math.get());
    SBMLWriter writer;
    char* text = writer.writeSBMLToString(&doc);
    const std::string xml(text);
    free(text);

    TempDir dir;
    sbml2plenta::OutModel converted = sbml2plenta::convert_sbml_string(xml, {});
    sbml2plenta::write_model_folder(dir.path(), converted, {});
    plenta::ConsoleModel m;
    ASSERT_EQ(plenta::load_console_model(dir.path(), m), "");
    EXPECT_EQ(m.species[0].count, 6);
    EXPECT_EQ(m.species[1].count, 10);
    EXPECT_EQ(m.params.volume, 1.0);
    std::vector<ExpectedReaction> expected = {
        {"formula", [](const Counts& s) { return 2.0 * 0.5 * (s.at("A") / 2.0) * (s.at("B") / 5.0); },
         {{"A", -1}, {"B", 1}}},
    };
    expect_same_as_sbml(m, expected, {{{"A", 6}, {"B", 10}}, {{"A", 3}, {"B", 7}}}, 2);
}

// A species given by an assignment rule is no species of the model file:
// reactions cannot change it (it must be a boundary condition there), laws
// read its rule, and it is monitored as a rule of the model file.
TEST(SbmlConvert, SpeciesGivenByARuleBecomeRulesOfTheModelFile) {
    SBMLReader reader;
    std::unique_ptr<SBMLDocument> doc(reader.readSBMLFromFile(sbml_file("refuse_rule.xml")));
    Model* model = doc->getModel();
    model->getSpecies("Y")->setBoundaryCondition(true);
    AssignmentRule* rule = model->createAssignmentRule();
    rule->setVariable("Y");
    std::unique_ptr<ASTNode> math(SBML_parseL3Formula("2 * X + k"));
    rule->setMath(math.get());
    SBMLWriter writer;
    char* text = writer.writeSBMLToString(doc.get());
    const std::string xml(text);
    free(text);

    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_string(xml, {});
    ASSERT_EQ(out.species.size(), 1u);
    EXPECT_EQ(out.species[0].name, "X");
    ASSERT_EQ(out.rules.size(), 1u);
    EXPECT_EQ(out.rules[0].first, "Y");
    EXPECT_EQ(out.monitored, std::vector<int>{0});
    EXPECT_EQ(out.monitored_rules, std::vector<int>{0});
    TempDir dir;
    sbml2plenta::write_model_folder(dir.path(), out, {});
    plenta::ConsoleModel m;
    ASSERT_EQ(plenta::load_console_model(dir.path(), m), "");
    EXPECT_EQ(m.params.monit, (std::vector<int>{0, 1}));  // X, then rule Y
    ASSERT_EQ(m.formulas.rule_values.size(), 1);
    m.species[0].count = 7;
    EXPECT_EQ(m.formulas.rule_values.value(0, m.species, m.params.volume), 2 * 7 + 6.0);
    // r1: X -> Y loses Y (it cannot change); its law reads k = 2 * 3.
    std::vector<ExpectedReaction> expected = {
        {"formula", [](const Counts& s) { return 6.0 * static_cast<double>(s.at("X")); }, {{"X", -1}}},
    };
    expect_same_as_sbml(m, expected, {{{"X", 4}}}, 1);
}

}  // namespace

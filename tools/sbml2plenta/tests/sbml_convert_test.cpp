// Conversion of the SBML test models: each converted file must load in
// plenta's own reader, and every reaction's propensity and stoichiometry row
// must equal the SBML reaction's kinetic law (in molecules per time) and net
// change; models with anything plenta cannot express are refused by element.
#include <cmath>
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

// The model files the conversion wrote before laws of no named shape became
// formulas (kept from that version): the named types convert byte for byte
// as they did.
TEST(SbmlConvert, NamedShapesConvertAsBefore) {
    sbml2plenta::ConvertOptions options;
    for (const char* name : {"birth_death", "dimerisation", "immigration_death", "concentrations_l2"}) {
        std::string text = sbml2plenta::model_file_text(
            sbml2plenta::convert_sbml_file(sbml_file(std::string(name) + ".xml"), options), options);
        EXPECT_EQ(text, read_file(sbml_file(std::string(name) + ".model.txt"))) << name;
    }
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

// Models once refused that the formula type, rules, initial assignments,
// several compartments and boundary species now express; each converts into
// a file plenta loads (their laws are checked in sbml_models_test.cpp).
TEST(SbmlConvert, FormerRefusalsNowConvert) {
    for (const char* file :
         {"refuse_rule.xml", "refuse_initial_assignment.xml", "refuse_michaelis_menten.xml",
          "refuse_expansion.xml",
          "refuse_function.xml", "refuse_two_compartments.xml", "refuse_boundary.xml",
          "refuse_dimer_square.xml", "refuse_dimer_approximate.xml", "refuse_reversible_mismatch.xml",
          "refuse_law_without_reactant.xml"}) {
        TempDir dir;
        plenta::ConsoleModel m = convert_and_load(file, dir.path());
        EXPECT_FALSE(m.reactions.empty()) << file;
    }
}

TEST(SbmlConvert, RefusesWhatItCannotExpressExactly) {
    const std::vector<Refusal> cases = {
        {"refuse_event.xml", {"event 'pulse'", "compartment 'cell'"}},
        {"refuse_time.xml", {"reaction 'r1'", "time"}},
        {"refuse_unknown_symbol.xml", {"reaction 'r1'", "'Z' is not defined"}},
        {"refuse_fractional_stoichiometry.xml", {"reaction 'r1', reactant 'X'", "stoichiometry 0.5"}},
        {"refuse_no_law.xml", {"reaction 'r1'", "no kinetic law"}},
        {"refuse_negative_rate.xml", {"reaction 'r1'", "rate constant -1"}},
        {"refuse_fast.xml", {"reaction 'r1'", "fast"}},
        {"no_such_file.xml", {"line"}},
    };
    for (const Refusal& c : cases) {
        std::string message = refusal(c.file);
        EXPECT_NE(message, "") << c.file << " was converted";
        for (const char* phrase : c.phrases)
            EXPECT_NE(message.find(phrase), std::string::npos) << c.file << ": " << message;
    }
}

}  // namespace

// Conversion of what real models hold: substance units and the system size,
// boundary species, several compartments, reversible laws in any algebraic
// form, laws that become formulas, assignment rules, initial assignments and
// hierarchical models.  Models are built with libSBML, converted, loaded by
// plenta's own reader, and their propensities compared with the SBML law in
// molecules per time.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sbml/SBMLTypes.h>

#include "model/model.h"
#include "tools/sbml2plenta/tests/sbml_support.h"

LIBSBML_CPP_NAMESPACE_USE

namespace {

using namespace sbml_test;

constexpr double kNA = 6.02214076e23;

struct Converted {
    sbml2plenta::OutModel out;
    plenta::ConsoleModel model;
    std::string text;
};

Converted convert(const std::string& xml, const std::string& folder,
                  const sbml2plenta::ConvertOptions& options = {}) {
    Converted c;
    c.out = sbml2plenta::convert_sbml_string(xml, options);
    sbml2plenta::write_model_folder(folder, c.out, options);
    c.text = read_file(folder + "/model.txt");
    std::string fault = plenta::load_console_model(folder, c.model);
    EXPECT_EQ(fault, "") << c.text;
    return c;
}

std::string refusal_of(const std::string& xml) {
    try {
        sbml2plenta::convert_sbml_string(xml, {});
    } catch (const sbml2plenta::ConversionError& e) {
        return e.message;
    }
    return "";
}

int position(const plenta::ConsoleModel& m, const std::string& name) {
    for (std::size_t i = 0; i < m.species.size(); i++)
        if (name == m.species[i].name) return static_cast<int>(i);
    ADD_FAILURE() << "no species " << name;
    return 0;
}

int count(const plenta::ConsoleModel& m, const std::string& name) {
    return m.species[static_cast<std::size_t>(position(m, name))].count;
}

double propensity(plenta::ConsoleModel& m, int r) {
    return plenta::calc_rxn_prob_vesk(m.reactions[static_cast<std::size_t>(r)], m.species, m.params,
                                      m.sizes, r);
}

// The stoichiometry row of reaction r on species `name`.
int row(plenta::ConsoleModel& m, int r, const std::string& name) {
    plenta::StoichMatrix matrix(m.sizes.num_rxns, m.sizes.num_cmpds);
    plenta::create_stoich_matrix(m.sizes, m.reactions, matrix);
    return matrix.row(r)[position(m, name)];
}

bool has_warning(const sbml2plenta::OutModel& out, const std::string& phrase) {
    for (const std::string& w : out.warnings)
        if (w.find(phrase) != std::string::npos) return true;
    return false;
}

void expect_relative(double actual, double expected) {
    EXPECT_NEAR(actual, expected, 1e-12 * std::fabs(expected)) << "expected " << expected;
}

TEST(SbmlModels, MolesBecomeMoleculesAndLawsMoleculesPerTime) {
    Sbml s;
    s.unit("zmol", UNIT_KIND_MOLE, -21)
        .compartment("cell", 0.5)
        .species("A", "cell", 1.0, true, false, false, "zmol")           // 1 zmol = 602.2 molecules
        .species("B", "cell", 4.0, false, true, false, "zmol")           // 4 zmol/L in 0.5 L
        .species("C", "cell", 0.0, true, false, false, "zmol")
        .species("D", "cell", 1e-5, true, false, false, "zmol")          // 0.006 molecules
        .parameter("k1", 0.3)
        .parameter("k2", 0.02)
        .reaction("r1", {"A"}, {"C"}, "k1 * A")
        .reaction("r2", {"A", "B"}, {"C"}, "k2 * A * B");
    TempDir dir;
    Converted c = convert(s.xml(), dir.path());
    const double u = 1e-21 * kNA;
    EXPECT_EQ(count(c.model, "A"), 602);
    EXPECT_EQ(count(c.model, "B"), 1204);  // 2 zmol
    EXPECT_EQ(count(c.model, "D"), 0);
    EXPECT_TRUE(has_warning(c.out, "species 'A': initial amount 1 × 602.21407")) << c.out.warnings[0];
    EXPECT_TRUE(has_warning(c.out, "rounded to 602 molecules"));
    EXPECT_TRUE(has_warning(c.out, "species 'D': initial amount 1e-05 × 602.21407"));
    EXPECT_TRUE(has_warning(c.out, "rounded to 0 molecules"));
    EXPECT_EQ(c.out.system_size, 1.0);
    for (int a : {1, 602, 5000}) {
        for (int b : {0, 7, 1204}) {
            c.model.species[static_cast<std::size_t>(position(c.model, "A"))].count = a;
            c.model.species[static_cast<std::size_t>(position(c.model, "B"))].count = b;
            // first order: k1 per molecule whatever the unit
            expect_relative(propensity(c.model, 0), 0.3 * a);
            // u · k2 · (a/u) · (b/(u V)) molecules per time
            expect_relative(propensity(c.model, 1), 0.02 * a * b / (u * 0.5));
        }
    }
}

TEST(SbmlModels, SystemSizeChosenWhenCountsPassThirtyTwoBitsOrGiven) {
    auto build = [] {
        Sbml s;
        s.compartment("cell", 1e-15)
            .species("A", "cell", 1e-12, true, false, false, "mole")  // 6.0e11 molecules
            .species("B", "cell", 5e-4, false, true, false, "mole")   // 5e-19 mol: 301071 molecules
            .parameter("k", 1e6)
            .reaction("bind", {"A", "B"}, {}, "cell * k * A / cell * B");
        return s.xml();
    };
    TempDir dir;
    Converted c = convert(build(), dir.file("auto"));
    EXPECT_TRUE(c.out.system_size_chosen);
    EXPECT_EQ(c.out.system_size, 1e-6);
    EXPECT_EQ(count(c.model, "A"), 602214);
    EXPECT_EQ(count(c.model, "B"), 0);  // 0.3 molecules at this size
    bool named = false;
    for (const std::string& w : c.out.warnings)
        named = named || (w.find("multiplied by 1e-06") != std::string::npos &&
                          w.find("--system-size") != std::string::npos);
    EXPECT_TRUE(named);
    EXPECT_NE(c.text.find("system size: every compartment's size multiplied by 1e-06"), std::string::npos);
    // a = f·u·k·(a/(f u))·(b/(f u V)) = k·a·b/(f u V)
    c.model.species[static_cast<std::size_t>(position(c.model, "B"))].count = 40;
    expect_relative(propensity(c.model, 0), 1e6 * 602214 * 40 / (1e-6 * kNA * 1e-15));

    sbml2plenta::ConvertOptions options;
    options.system_size = 1e-7;
    Converted given = convert(build(), dir.file("given"), options);
    EXPECT_FALSE(given.out.system_size_chosen);
    EXPECT_EQ(count(given.model, "A"), 60221);
    EXPECT_FALSE(has_warning(given.out, "do not fit"));

    // Counts beyond 32 bits with a factor that keeps them there: refused.
    options.system_size = 1.0;
    try {
        sbml2plenta::convert_sbml_string(build(), options);
        ADD_FAILURE() << "converted";
    } catch (const sbml2plenta::ConversionError& e) {
        EXPECT_NE(e.message.find("species 'A'"), std::string::npos) << e.message;
        EXPECT_NE(e.message.find("32-bit"), std::string::npos) << e.message;
    }
}

TEST(SbmlModels, BoundarySpeciesAreReadButNeverChanged) {
    TempDir dir;
    plenta::ConsoleModel m = convert_and_load("refuse_boundary.xml", dir.path());
    ASSERT_EQ(m.reactions.size(), 1u);
    EXPECT_EQ(row(m, 0, "X"), 0);
    EXPECT_EQ(row(m, 0, "Y"), 1);
    expect_relative(propensity(m, 0), 10.0);  // k · x with x = 10
    // A run: X stays at 10 while Y grows.
    ASSERT_EQ(run_command("cd " + shell_quote(dir.path()) + " && " + shell_quote(PLENTA_EXE) +
                          " > /dev/null"),
              0);
    std::string traj = read_file(dir.file("traj_1"));
    int lines = 0;
    double t = 0;
    int x = 0, y = 0;
    std::size_t pos = 0;
    while (pos < traj.size()) {
        std::size_t end = traj.find('\n', pos);
        std::string line = traj.substr(pos, end - pos);
        pos = end == std::string::npos ? traj.size() : end + 1;
        if (std::sscanf(line.c_str(), "%lf %d %d", &t, &x, &y) == 3) {
            EXPECT_EQ(x, 10) << line;
            lines++;
        }
    }
    EXPECT_GT(lines, 10);
    EXPECT_GT(y, 100);  // about 10 per time unit for 100 time units
}

TEST(SbmlModels, EachSpeciesInItsOwnCompartmentsVolume) {
    Sbml s;
    s.compartment("c1", 2.0)
        .compartment("c2", 5.0)
        .compartment("unused")  // no size, and nothing reads it
        .species("A", "c1", 3.0, false, true)
        .species("B", "c2", 1.0, false, true)
        .species("C", "c2", 0.0, false, true)
        .parameter("k", 0.7)
        .parameter("k2", 0.1)
        .reaction("move", {"A"}, {"B"}, "c1 * k * A")
        .reaction("bind", {"A", "B"}, {"C"}, "c2 * k2 * A * B");
    TempDir dir;
    Converted c = convert(s.xml(), dir.path());
    EXPECT_EQ(count(c.model, "A"), 6);
    EXPECT_EQ(count(c.model, "B"), 5);
    for (int a : {0, 6, 31})
        for (int b : {1, 5, 17}) {
            c.model.species[static_cast<std::size_t>(position(c.model, "A"))].count = a;
            c.model.species[static_cast<std::size_t>(position(c.model, "B"))].count = b;
            expect_relative(propensity(c.model, 0), 0.7 * a);
            expect_relative(propensity(c.model, 1), 5.0 * 0.1 * (a / 2.0) * (b / 5.0));
        }
    // A compartment without a size that a law reads is refused, naming it.
    Sbml t;
    t.compartment("cell").species("A", "cell", 3.0).parameter("k", 1).reaction("r", {"A"}, {}, "cell * k * A");
    std::string message = refusal_of(t.xml());
    EXPECT_NE(message.find("compartment 'cell': it has no size"), std::string::npos) << message;
    EXPECT_NE(message.find("reaction 'r'"), std::string::npos) << message;
}

TEST(SbmlModels, ReversibleLawsInAnyFormOfForwardMinusReverse) {
    Sbml s;
    s.compartment("C", 2.0)
        .species("S1", "C", 10.0, false)
        .species("S2", "C", 20.0, false)
        .species("S3", "C", 30.0)
        .species("S4", "C", 40.0)
        .species("S5", "C", 50.0)
        .species("S6", "C", 60.0)
        .parameter("kf", 0.5)
        .parameter("kr", 0.25)
        .reaction("r1", {"S1"}, {"S2"}, "C * (kf * S1 + -1 * kr * S2)", true)
        .reaction("r2", {"S3"}, {"S4"}, "-(kr * S4 - kf * S3)", true)
        .reaction("r3", {"S5"}, {"S6"}, "(kf * S5 - kr * S6) / (1 + S5 + S6)", true);
    TempDir dir;
    Converted c = convert(s.xml(), dir.path());
    ASSERT_EQ(c.model.reactions.size(), 6u);
    const char* types[] = {"uni-uni", "uni-uni", "uni-uni", "uni-uni", "formula", "formula"};
    for (int r = 0; r < 6; r++) EXPECT_STREQ(c.model.reactions[static_cast<std::size_t>(r)].rxntype, types[r]);
    expect_relative(propensity(c.model, 0), 0.5 * 10);
    expect_relative(propensity(c.model, 1), 0.25 * 20);
    expect_relative(propensity(c.model, 2), 0.5 * 30);
    expect_relative(propensity(c.model, 3), 0.25 * 40);
    expect_relative(propensity(c.model, 4), 0.5 * 50 / 111.0);
    expect_relative(propensity(c.model, 5), 0.25 * 60 / 111.0);
    EXPECT_EQ(row(c.model, 5, "S6"), -1);
    EXPECT_EQ(row(c.model, 5, "S5"), 1);
}

TEST(SbmlModels, LawsOfNoNamedShapeBecomeFormulas) {
    TempDir dir;
    plenta::ConsoleModel m = convert_and_load("refuse_michaelis_menten.xml", dir.file("mm"));
    ASSERT_EQ(m.reactions.size(), 1u);
    EXPECT_STREQ(m.reactions[0].rxntype, "formula");
    for (int x : {0, 1, 10, 1000}) {
        m.species[0].count = x;
        expect_relative(propensity(m, 0), 3.0 * x / (5.0 + x));
    }
    EXPECT_EQ(row(m, 0, "X"), -1);
    EXPECT_EQ(row(m, 0, "Y"), 1);
    std::string text = read_file(dir.file("mm/model.txt"));
    EXPECT_NE(text.find("parameters = 2\nVmax 3\nKm 5\n"), std::string::npos) << text;

    // Functions, and local parameters inlined as numbers.
    Sbml s;
    s.compartment("cell", 1.0).species("X", "cell", 4.0).species("Y", "cell", 0.0);
    s.reaction("hill", {}, {"Y"}, "v * X^2 / (K^2 + X^2) + exp(-X) + piecewise(1, X > 3, 0)");
    LocalParameter* v = s.model().getReaction("hill")->getKineticLaw()->createLocalParameter();
    v->setId("v");
    v->setValue(8.0);
    s.parameter("K", 2.0);
    // Parentheses where the operators need them, and only there.
    s.reaction("nested", {}, {"Y"}, "100 - (X - 3) - X / (2 * K) * 3 + (-X)^2 / 4 - -X");
    Converted c = convert(s.xml(), dir.file("hill"));
    ASSERT_EQ(c.model.reactions.size(), 2u);
    for (int x : {0, 3, 4, 9}) {
        c.model.species[0].count = x;
        expect_relative(propensity(c.model, 0), 8.0 * x * x / (4.0 + x * x) + std::exp(-x) + (x > 3 ? 1 : 0));
        expect_relative(propensity(c.model, 1), 100.0 - (x - 3) - x / 4.0 * 3 + x * x / 4.0 + x);
    }
}

// A law whose expansion would hold millions of products is not expanded: it
// becomes a formula as written.
TEST(SbmlModels, LawsTooLargeToExpandBecomeFormulas) {
    Sbml s;
    s.compartment("cell", 1.0).species("X", "cell", 3.0).parameter("k", 1e-20);
    std::string sum;
    for (int i = 0; i < 14; i++) {
        s.species("S" + std::to_string(i), "cell", 1.0);
        sum += (i ? " + S" : "S") + std::to_string(i);
    }
    s.reaction("r", {"X"}, {}, "k * X * (" + sum + ")^16");
    TempDir dir;
    Converted c = convert(s.xml(), dir.path());
    ASSERT_EQ(c.model.reactions.size(), 1u);
    EXPECT_STREQ(c.model.reactions[0].rxntype, "formula");
    expect_relative(propensity(c.model, 0), 1e-20 * 3 * std::pow(14.0, 16));
}

TEST(SbmlModels, AssignmentRulesAndInitialAssignments) {
    Sbml s;
    s.compartment("cell", 1.0)
        .species("A", "cell", 8.0)
        .species("B", "cell", 0.0)
        .parameter("k0", 0.5)
        .parameter("ktot", 0.0, false)
        .parameter("total", 0.0, false)
        .assignment_rule("ktot", "2 * k0")
        .assignment_rule("total", "A + B")
        .reaction("r", {"A"}, {"B"}, "ktot * A / total");
    sbml2plenta::ConvertOptions options;
    options.monitor = {"A", "total"};
    TempDir dir;
    Converted c = convert(s.xml(), dir.path(), options);
    EXPECT_NE(c.text.find("rules = 2\nktot = 2*k0\ntotal = A + B\n"), std::string::npos) << c.text;
    for (int a : {1, 8})
        for (int b : {0, 5}) {
            c.model.species[0].count = a;
            c.model.species[1].count = b;
            expect_relative(propensity(c.model, 0), 1.0 * a / (a + b));
        }
    // The rule is monitored after the species.
    ASSERT_EQ(c.model.params.monit.size(), 2u);
    EXPECT_EQ(c.model.params.monit[1], c.model.sizes.num_cmpds + 1);

    TempDir other;
    plenta::ConsoleModel m = convert_and_load("refuse_initial_assignment.xml", other.path());
    EXPECT_EQ(m.species[0].count, 2);  // X = 2 * k
}

TEST(SbmlModels, HierarchicalModelsAreFlattened) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<sbml xmlns="http://www.sbml.org/sbml/level3/version1/core" level="3" version="1"
      xmlns:comp="http://www.sbml.org/sbml/level3/version1/comp/version1" comp:required="true">
  <model id="top">
    <listOfCompartments>
      <compartment id="cell" size="1" spatialDimensions="3" constant="true"/>
    </listOfCompartments>
    <listOfSpecies>
      <species id="Y" compartment="cell" initialAmount="7" hasOnlySubstanceUnits="true"
               boundaryCondition="false" constant="false"/>
    </listOfSpecies>
    <comp:listOfSubmodels>
      <comp:submodel comp:id="sub" comp:modelRef="inner"/>
    </comp:listOfSubmodels>
  </model>
  <comp:listOfModelDefinitions>
    <comp:modelDefinition id="inner">
      <listOfCompartments>
        <compartment id="c" size="1" spatialDimensions="3" constant="true"/>
      </listOfCompartments>
      <listOfSpecies>
        <species id="X" compartment="c" initialAmount="50" hasOnlySubstanceUnits="true"
                 boundaryCondition="false" constant="false"/>
      </listOfSpecies>
      <listOfParameters>
        <parameter id="k" value="0.5" constant="true"/>
      </listOfParameters>
      <listOfReactions>
        <reaction id="decay" reversible="false" fast="false">
          <listOfReactants>
            <speciesReference species="X" stoichiometry="1" constant="true"/>
          </listOfReactants>
          <kineticLaw>
            <math xmlns="http://www.w3.org/1998/Math/MathML">
              <apply><times/><ci> k </ci><ci> X </ci></apply>
            </math>
          </kineticLaw>
        </reaction>
      </listOfReactions>
    </comp:modelDefinition>
  </comp:listOfModelDefinitions>
</sbml>)";
    TempDir dir;
    Converted c = convert(xml, dir.path());
    ASSERT_EQ(c.model.reactions.size(), 1u);
    EXPECT_EQ(count(c.model, "Y"), 7);
    EXPECT_EQ(count(c.model, "sub__X"), 50);
    EXPECT_EQ(row(c.model, 0, "sub__X"), -1);
    expect_relative(propensity(c.model, 0), 25.0);
}

TEST(SbmlModels, RefusalsNameTheElement) {
    auto base = [] {
        Sbml s;
        s.compartment("cell", 1.0).species("X", "cell", 5.0).parameter("k", 1.0, false);
        s.reaction("r", {"X"}, {}, "k * X");
        return s;
    };
    {
        Sbml s = base();
        RateRule* rule = s.model().createRateRule();
        rule->setVariable("k");
        Sbml::math(rule, "0.1");
        std::string m = refusal_of(s.xml());
        EXPECT_NE(m.find("rate rule for 'k'"), std::string::npos) << m;
    }
    {
        Sbml s = base();
        AlgebraicRule* rule = s.model().createAlgebraicRule();
        Sbml::math(rule, "k - 1");
        std::string m = refusal_of(s.xml());
        EXPECT_NE(m.find("algebraic rule"), std::string::npos) << m;
    }
    {
        Sbml s = base();
        Sbml::math(s.model().getReaction("r")->getKineticLaw(), "k * delay(X, 1)");
        std::string m = refusal_of(s.xml());
        EXPECT_NE(m.find("reaction 'r'"), std::string::npos) << m;
        EXPECT_NE(m.find("delay"), std::string::npos) << m;
    }
    for (const auto& [file, phrase] : std::vector<std::pair<std::string, std::string>>{
             {"refuse_time.xml", "depends on the time"},
             {"refuse_fast.xml", "fast"},
             {"refuse_event.xml", "event 'pulse'"}}) {
        std::string m = refusal(file);
        EXPECT_NE(m.find(phrase), std::string::npos) << file << ": " << m;
    }
}

}  // namespace

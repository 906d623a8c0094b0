// Conversion of SBML events into the model file's events section: timed
// triggers as `at T`, other triggers as `when` conditions read in the SBML
// model's units, the event's attributes, assignments to species in molecules
// and to parameters (which then stay named in every law), and the refusals.
// Each converted file is also loaded by plenta's own reader.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sbml/SBMLTypes.h>

#include "tools/sbml2plenta/tests/sbml_support.h"

LIBSBML_CPP_NAMESPACE_USE

namespace {

using namespace sbml_test;

struct Converted {
    sbml2plenta::OutModel out;
    std::string text;
};

Converted convert(Sbml& s, const std::string& folder) {
    Converted c;
    sbml2plenta::ConvertOptions options;
    c.out = sbml2plenta::convert_sbml_string(s.xml(), options);
    sbml2plenta::write_model_folder(folder, c.out, options);
    c.text = read_file(folder + "/model.txt");
    plenta::ConsoleModel model;
    EXPECT_EQ(plenta::load_console_model(folder, model), "") << c.text;
    return c;
}

// The model file's text from `from` to its end.
std::string tail(const std::string& text, const std::string& from) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << text;
    return at == std::string::npos ? "" : text.substr(at);
}

std::string refusal_of(Sbml& s) {
    try {
        sbml2plenta::convert_sbml_string(s.xml(), {});
    } catch (const sbml2plenta::ConversionError& e) {
        return e.message;
    }
    return "";
}

// A cell of size 2 with an amount species X (molecules), a concentration
// species C (5 per unit size: 10 molecules) and Y in micromoles
// (1e-15 umol: 602 molecules); k and kf are changed by events, kc and kr not.
Sbml cell_model() {
    Sbml s;
    s.compartment("cell", 2)
        .unit("umol", UNIT_KIND_MOLE, -6)
        .species("X", "cell", 100)
        .species("C", "cell", 5, false, true)
        .species("Y", "cell", 1e-15, false, false, false, "umol")
        .species("A", "cell", 10)
        .species("B", "cell", 0)
        .parameter("k", 0.1, false)
        .parameter("kc", 0.2)
        .parameter("kf", 0.3, false)
        .parameter("kr", 0.4)
        .reaction("decay", {"X"}, {}, "k*X")
        .reaction("conv", {"C"}, {"X"}, "kc*C*cell")
        .reaction("rev", {"A"}, {"B"}, "kf*A - kr*B", true);
    return s;
}

TEST(SbmlEvents, TimedTriggersBecomeTimes) {
    Sbml s = cell_model();
    s.event("pulse", "time >= 50", {{"X", "X + 1000"}});
    s.event("late", "10 < time", {{"C", "3"}});         // lt(10, time): a concentration of 3 in size 2
    s.event("strict", "time > 25", {{"X", "0"}});
    // true at the start: never fires with initialValue true, fires at the start without
    s.event("never", "time >= 0", {{"X", "0"}});
    s.event("start", "time > -1", {{"X", "7"}}).getTrigger()->setInitialValue(false);
    TempDir dir;
    Converted c = convert(s, dir.path());
    EXPECT_EQ(tail(c.text, "events ="),
              "events = 4\n"
              "pulse: at 50, sets X\n"
              "trigger = at 50\n"
              "assignments = 1\n"
              "X = X + 1000\n"
              "\n"
              "late: at 10, sets C\n"
              "trigger = at 10\n"
              "assignments = 1\n"
              "C = 2*(3)\n"
              "\n"
              "strict: at 25, sets X\n"
              "trigger = at 25\n"
              "assignments = 1\n"
              "X = 0\n"
              "\n"
              "start: at 0, sets X\n"
              "trigger = at 0\n"
              "assignments = 1\n"
              "X = 7\n");
    bool warned = false;
    for (const std::string& w : c.out.warnings) warned = warned || w.find("event 'never'") != std::string::npos;
    EXPECT_TRUE(warned);
}

TEST(SbmlEvents, ConditionEventWithEveryAttribute) {
    Sbml s = cell_model();
    Event& e = s.event("switch", "X > 500 && C < 4", {{"k", "k * 5"}, {"C", "C / 2"}, {"Y", "2e-15"}, {"kf", "0"}});
    Sbml::math(e.createPriority(), "10");
    Sbml::math(e.createDelay(), "2.5");
    e.setUseValuesFromTriggerTime(true);
    e.getTrigger()->setInitialValue(false);
    e.getTrigger()->setPersistent(false);
    s.event("low", "Y < 1e-16", {{"X", "Y * 1e15"}});
    TempDir dir;
    Converted c = convert(s, dir.path());
    // C is read as count / 2 (its concentration) and set to 2 times the
    // concentration; Y as count / (6.02214076e17 per umol * 2).
    EXPECT_EQ(tail(c.text, "events ="),
              "events = 2\n"
              "switch: when and((X>500), ((C/2)<4)), sets k, C, Y, kf\n"
              "trigger = when and((X>500), ((C/2)<4))\n"
              "priority = 10\n"
              "delay = 2.5\n"
              "values = trigger\n"
              "initial = false\n"
              "persistent = false\n"
              "assignments = 4\n"
              "k = k*5\n"
              "C = 2*((C/2)/2)\n"
              "Y = 1.204428152e+18*(2e-15)\n"
              "kf = 0\n"
              "\n"
              "low: when ((Y/1.204428152e+18)<1e-16), sets X\n"
              "trigger = when ((Y/1.204428152e+18)<1e-16)\n"
              "assignments = 1\n"
              "X = (Y/1.204428152e+18)*1e+15\n");
    // k and kf are named parameters read by formulas; the laws that read kc
    // and kr, which no event changes, keep their named types with the values
    // folded in.
    EXPECT_NE(c.text.find("num_repeats = 1\nparameters = 2\nk 0.1\nkf 0.3\nevents = 2\n"), std::string::npos)
        << c.text;
    ASSERT_EQ(c.out.reactions.size(), 4u);
    EXPECT_EQ(c.out.reactions[0].type, "formula");
    EXPECT_EQ(c.out.reactions[0].rate, "k*X");
    EXPECT_EQ(c.out.reactions[1].type, "uni-uni");
    EXPECT_EQ(c.out.reactions[1].rates, std::vector<double>{0.2});
    EXPECT_EQ(c.out.reactions[2].type, "formula");
    EXPECT_EQ(c.out.reactions[2].rate, "kf*A");
    EXPECT_EQ(c.out.reactions[3].type, "uni-uni");
    EXPECT_EQ(c.out.reactions[3].rates, std::vector<double>{0.4});
    // Without the events the same laws fold k and kf in.
    Sbml plain = cell_model();
    TempDir plain_dir;
    Converted p = convert(plain, plain_dir.path());
    EXPECT_EQ(p.out.reactions[0].type, "uni-uni");
    EXPECT_EQ(p.text.find("parameters ="), std::string::npos);
    EXPECT_EQ(p.text.find("events ="), std::string::npos);
}

// Level 2 triggers have neither initialValue nor persistent (both true in
// Level 2's meaning: no line), and compute their values at the trigger
// unless useValuesFromTriggerTime says otherwise.
TEST(SbmlEvents, LevelTwoDefaults) {
    Sbml s(2, 4);
    s.compartment("cell", 1).species("X", "cell", 100).parameter("k", 0.1).reaction("decay", {"X"}, {}, "k*X");
    s.event("refill", "X < 50", {{"X", "100"}});
    Event& e = s.event("reset", "gt(time, 5)", {{"X", "0"}});
    e.setUseValuesFromTriggerTime(false);
    Sbml::math(e.createDelay(), "1");
    TempDir dir;
    Converted c = convert(s, dir.path());
    EXPECT_EQ(tail(c.text, "num_repeats"),
              "num_repeats = 1\n"
              "events = 2\n"
              "refill: when (X<50), sets X\n"
              "trigger = when (X<50)\n"
              "values = trigger\n"
              "assignments = 1\n"
              "X = 100\n"
              "\n"
              "reset: at 5, sets X\n"
              "trigger = at 5\n"
              "delay = 1\n"
              "assignments = 1\n"
              "X = 0\n");
}

TEST(SbmlEvents, RefusesWhatItCannotExpress) {
    struct Case {
        const char* trigger;
        std::vector<std::pair<std::string, std::string>> assignments;
        std::vector<const char*> phrases;
    };
    const std::vector<Case> cases = {
        {"time > 5", {{"cell", "3"}}, {"event 'e'", "compartment 'cell'"}},
        {"time > 5 && X > 3", {{"X", "0"}}, {"event 'e'", "reads the time"}},
        {"time < 5", {{"X", "0"}}, {"event 'e'", "reads the time"}},
        {"time > X", {{"X", "0"}}, {"event 'e'", "'X'", "not a parameter of constant value"}},
        {"time > k", {{"X", "0"}, {"k", "1"}}, {"event 'e'", "'k'", "not a parameter of constant value"}},
        {"X > 5", {{"F", "0"}}, {"event 'e', assignment to 'F'", "constant"}},
        {"X > 5", {{"kc", "0"}}, {"event 'e', assignment to 'kc'", "constant"}},
        {"X > 5", {{"X", "time"}}, {"event 'e', assignment to 'X'", "time"}},
        {"X > 5", {{"total", "1"}}, {"event 'e', assignment to 'total'", "assignment rule"}},
    };
    for (const Case& c : cases) {
        Sbml s;
        s.compartment("cell", 1)
            .species("X", "cell", 10)
            .species("F", "cell", 10)
            .parameter("k", 1, false)
            .parameter("kc", 1)
            .parameter("total", 0, false)
            .reaction("r", {"X"}, {}, "kc*X")
            .assignment_rule("total", "X + F");
        s.model().getSpecies("F")->setConstant(true);
        s.model().getCompartment("cell")->setConstant(false);
        s.event("e", c.trigger, c.assignments);
        const std::string m = refusal_of(s);
        EXPECT_NE(m, "") << c.trigger << " was converted";
        for (const char* phrase : c.phrases) EXPECT_NE(m.find(phrase), std::string::npos) << m;
    }
}

// A boundary species may be changed by an event (only reactions leave it
// as it is), and rules are written for events to read even without any
// formula reaction.
TEST(SbmlEvents, BoundarySpeciesAndRulesInConditions) {
    Sbml s;
    s.compartment("cell", 1)
        .species("X", "cell", 10)
        .species("S", "cell", 5, true, false, true)
        .parameter("kc", 0.5)
        .parameter("total", 0, false)
        .reaction("make", {}, {"X"}, "kc*S")
        .assignment_rule("total", "X + S");
    s.event("feed", "total > 30", {{"S", "S + 1"}});
    TempDir dir;
    Converted c = convert(s, dir.path());
    EXPECT_EQ(c.out.reactions[0].type, "n-order");
    EXPECT_EQ(tail(c.text, "num_repeats"),
              "num_repeats = 1\n"
              "rules = 1\n"
              "total = X + S\n"
              "events = 1\n"
              "feed: when (total>30), sets S\n"
              "trigger = when (total>30)\n"
              "assignments = 1\n"
              "S = S + 1\n");
}

}  // namespace

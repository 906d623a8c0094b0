// Helpers of the sbml2plenta tests: temporary folders, conversion of a test
// model into a folder that plenta's own reader loads, running programs, and
// SBML models built with libSBML.
#ifndef PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H
#define PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sbml/SBMLTypes.h>

#include "console/console.h"
#include "tools/sbml2plenta/sbml2plenta.h"

namespace sbml_test {

LIBSBML_CPP_NAMESPACE_USE

namespace fs = std::filesystem;

inline std::string sbml_file(const std::string& name) { return std::string(SBML_DATA_DIR) + "/" + name; }

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "sbml2plenta_XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = name.data();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::set<std::string> file_names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Converts a test model into `folder` and loads the result with plenta's own
// reader and validation, so every converted file is one the simulator accepts.
inline plenta::ConsoleModel convert_and_load(const std::string& model_name, const std::string& folder,
                                             const sbml2plenta::ConvertOptions& options = {}) {
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_file(sbml_file(model_name), options);
    sbml2plenta::write_model_folder(folder, out, options);
    plenta::ConsoleModel model;
    std::string fault = plenta::load_console_model(folder, model);
    EXPECT_EQ(fault, "") << "plenta refuses the converted " << model_name;
    return model;
}

// The message of the refusal of a test model, or "" when it converts.
inline std::string refusal(const std::string& model_name) {
    try {
        sbml2plenta::convert_sbml_file(sbml_file(model_name), {});
    } catch (const sbml2plenta::ConversionError& e) {
        return e.message;
    }
    return "";
}

// Exit status of a shell command, -1 when it did not exit normally.
inline int run_command(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A model under construction (Level 3 Version 1 unless told otherwise).
class Sbml {
public:
    explicit Sbml(unsigned level = 3, unsigned version = 1) : doc_(level, version) {
        m_ = doc_.createModel();
        m_->setId("m");
    }

    Sbml& compartment(const std::string& id, double size = std::nan("")) {
        Compartment* c = m_->createCompartment();
        c->setId(id);
        c->setConstant(true);
        c->setSpatialDimensions(3.0);
        if (!std::isnan(size)) c->setSize(size);
        return *this;
    }
    // amount_symbol: hasOnlySubstanceUnits; concentration: the value is an
    // initial concentration, else an initial amount.
    Sbml& species(const std::string& id, const std::string& comp, double value, bool amount_symbol = true,
                  bool concentration = false, bool boundary = false, const std::string& units = "") {
        Species* s = m_->createSpecies();
        s->setId(id);
        s->setCompartment(comp);
        if (concentration)
            s->setInitialConcentration(value);
        else
            s->setInitialAmount(value);
        s->setHasOnlySubstanceUnits(amount_symbol);
        s->setBoundaryCondition(boundary);
        s->setConstant(false);
        if (!units.empty()) s->setSubstanceUnits(units);
        return *this;
    }
    Sbml& parameter(const std::string& id, double value, bool constant = true) {
        Parameter* p = m_->createParameter();
        p->setId(id);
        p->setValue(value);
        p->setConstant(constant);
        return *this;
    }
    // A unit definition of one unit.
    Sbml& unit(const std::string& id, UnitKind_t kind, int scale) {
        UnitDefinition* ud = m_->createUnitDefinition();
        ud->setId(id);
        Unit* u = ud->createUnit();
        u->setKind(kind);
        u->setScale(scale);
        u->setExponent(1.0);
        u->setMultiplier(1.0);
        return *this;
    }
    Sbml& reaction(const std::string& id, const std::vector<std::string>& reactants,
                   const std::vector<std::string>& products, const std::string& law,
                   bool reversible = false) {
        Reaction* r = m_->createReaction();
        r->setId(id);
        r->setReversible(reversible);
        r->setFast(false);
        for (const std::string& s : reactants) {
            SpeciesReference* ref = r->createReactant();
            ref->setSpecies(s);
            ref->setStoichiometry(1.0);
            ref->setConstant(true);
        }
        for (const std::string& s : products) {
            SpeciesReference* ref = r->createProduct();
            ref->setSpecies(s);
            ref->setStoichiometry(1.0);
            ref->setConstant(true);
        }
        math(r->createKineticLaw(), law);
        return *this;
    }
    Sbml& assignment_rule(const std::string& variable, const std::string& formula) {
        AssignmentRule* rule = m_->createAssignmentRule();
        rule->setVariable(variable);
        math(rule, formula);
        return *this;
    }
    // An event with its trigger and assignments (target, formula); in Level 3
    // it computes its values when it fires and its trigger has initialValue
    // and persistent true until the caller changes them.
    Event& event(const std::string& id, const std::string& trigger,
                 const std::vector<std::pair<std::string, std::string>>& assignments) {
        Event* e = m_->createEvent();
        e->setId(id);
        Trigger* t = e->createTrigger();
        if (doc_.getLevel() >= 3) {
            e->setUseValuesFromTriggerTime(false);
            t->setInitialValue(true);
            t->setPersistent(true);
        }
        math(t, trigger);
        for (const auto& [variable, formula] : assignments) {
            EventAssignment* a = e->createEventAssignment();
            a->setVariable(variable);
            math(a, formula);
        }
        return *e;
    }
    Model& model() { return *m_; }
    std::string xml() { return writeSBMLToStdString(&doc_); }

    template <class T>
    static void math(T* element, const std::string& formula) {
        ASTNode* ast = SBML_parseL3Formula(formula.c_str());
        ASSERT_NE(ast, nullptr) << formula;
        element->setMath(ast);
        delete ast;  // setMath copies it
    }

private:
    SBMLDocument doc_;
    Model* m_;
};

}  // namespace sbml_test

#endif  // PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H

// rate_law.h - reactions whose propensity is a formula: named parameters,
// assignment rules and the compiled rate law of a "formula" reaction.
//
// A formula reads species counts (by species name), named parameters, rules
// (by name; a rule is an expression of the same things) and the volume (the
// name `volume`).  It is compiled once, when the model is loaded: the rules
// it names are expanded in place, every name is bound to a slot of its own,
// and the expression is turned into the parser's byte code.  An evaluation
// then copies the counts the formula reads into the slots and runs the byte
// code, with no allocation and no name look-up.  Parameter values and the
// volume are compiled in as constants (the parser folds them); a law whose
// values change is compiled again at its next evaluation.
//
// Parameter values are kept in the reaction's own rate constants (one named
// RateConstant per parameter the formula reads, in the order of the
// compiled law's parameter list), so that the existing parameter-set
// mechanism changes them: a set's change of a named parameter becomes a rate
// change of every reaction that reads it.
#ifndef PLENTA_MODEL_RATE_LAW_H
#define PLENTA_MODEL_RATE_LAW_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/model.h"

namespace plenta {

// A named parameter or a named value of a parameter set.
struct NamedValue {
    std::string name;
    double value = 0.0;
};

// An assignment rule: `name = expression`.
struct AssignmentRule {
    std::string name;
    std::string expression;
};

// The names a formula may use, besides species and `volume`.
struct FormulaScope {
    std::vector<NamedValue> parameters;
    std::vector<AssignmentRule> rules;
};

// The name that stands for the volume in formulas.
extern const char kVolumeName[];

// Every name a formula can read, indexed once for a whole model.  A name
// stands for the first of: a species, a parameter, a rule, the volume.
class FormulaNames {
public:
    FormulaNames(const std::vector<Compound>& species, const FormulaScope& scope);
    // "" or one sentence naming a name given twice (species, parameters and
    // rules share one name space).
    const std::string& conflict() const { return conflict_; }
    const FormulaScope& scope() const { return scope_; }
    // Position of a species, parameter or rule of that name, or -1.
    int species(const std::string& name) const;
    int parameter(const std::string& name) const;
    int rule(const std::string& name) const;

private:
    const FormulaScope& scope_;
    std::vector<std::pair<std::string, int>> species_;  // sorted by name
    std::vector<std::pair<std::string, int>> parameters_;
    std::vector<std::pair<std::string, int>> rules_;
    std::string conflict_;
};

// One compiled expression.  Not copyable in the parser's sense (the byte
// code points at this object's slots), so copies compile afresh.
class RateLaw {
public:
    ~RateLaw();

    // Compiles `text` against the species names and the scope.  On failure
    // returns null and sets `error` to one sentence (what is wrong and
    // where in the text).  Species whose names are not identifiers
    // (letters, digits, '_', not starting with a digit) cannot be read.
    static std::unique_ptr<RateLaw> compile(const std::string& text, const FormulaNames& names,
                                            std::string& error);

    std::unique_ptr<RateLaw> clone() const;

    // The value for the given counts, parameter values (params[k] for
    // parameter_names()[k]) and volume.
    double evaluate(const std::vector<Compound>& species, const RateConstant* params,
                    double volume) const;

    // Species positions the formula reads (rules expanded), ascending.
    const std::vector<int>& species_read() const { return species_read_; }
    // Names of the parameters it reads, in slot order.
    const std::vector<std::string>& parameter_names() const { return parameter_names_; }
    // The text as written, and with rules expanded.
    const std::string& text() const { return text_; }
    const std::string& expanded() const { return expanded_; }

    // The order the tau selection counts for this law (see estimate_order).
    int order() const { return order_; }
    void set_order(int order) { order_ = order; }

private:
    struct Parser;
    RateLaw();
    bool build(std::string& error) const;
    void recompile(const RateConstant* params, double volume) const;

    std::string text_;
    std::string expanded_;
    std::vector<int> species_read_;
    std::vector<std::string> species_names_;  // of species_read_, for rebinding in clone
    std::vector<std::string> parameter_names_;
    bool reads_volume_ = false;
    int order_ = 1;
    // Rebuilt when the parameter values or the volume compiled in change.
    mutable std::unique_ptr<Parser> parser_;
    mutable std::vector<double> slots_;      // the counts the law reads
    mutable std::vector<double> constants_;  // parameter values, then the volume, compiled in
};

// The rule names of `scope` expanded in `text` (each as a parenthesised
// copy of its own expansion); "" and an error for a rule that names itself
// through any chain of rules.
std::string expand_rules(const std::string& text, const FormulaNames& names, std::string& error);

// Compiles a formula reaction's law: binds it to the species and scope,
// fills the reaction's rate constants with the parameters it reads (names
// and values from the scope) and estimates its order for tau selection at
// the given counts.  "" on success, else one sentence.
std::string compile_formula_reaction(Reaction& reaction, const std::string& text,
                                     const std::vector<Compound>& species,
                                     const FormulaNames& names, double volume);

// The order tau selection counts for a law: the largest sum over the
// species it reads of the law's elasticity (x/a)(da/dx), the derivative by
// the central difference (a(x + 1) - a(x - 1)) / 2 (forward at x = 0),
// evaluated by the compiled law itself, over the given counts and over
// the same counts with every species it reads set to 10, 100, 1000 and
// 10000; rounded up, at least 1 (a law that reads no species is order 1)
// and at most 10.  For mass action this is the reaction's order; for a
// saturating law it is at most its Hill coefficient.
int estimate_order(const RateLaw& law, const std::vector<Compound>& species,
                   const RateConstant* params, double volume);

// The rate change (reaction, position in its rates) of every formula
// reaction that reads parameter `name`, appended to a set.
void add_named_change(ParamSet& set, const std::vector<Reaction>& reactions,
                      const std::string& name, double value);

// Compiled assignment rules for monitoring: the value of each rule for the
// current counts and parameter values.
class RuleValues {
public:
    RuleValues() = default;
    RuleValues(const RuleValues& other);  // compiles its own copies
    RuleValues& operator=(const RuleValues& other);
    RuleValues(RuleValues&&) = default;
    RuleValues& operator=(RuleValues&&) = default;

    // "" on success, else the first rule's compile error, naming it.
    std::string compile(const FormulaNames& names);
    int size() const { return static_cast<int>(laws_.size()); }
    // Sets the parameter of that name in every rule that reads it.
    void set_parameter(const std::string& name, double value);
    double value(int rule, const std::vector<Compound>& species, double volume) const;

private:
    std::vector<std::unique_ptr<RateLaw>> laws_;
    std::vector<std::vector<RateConstant>> params_;  // per rule, in its law's slot order
};

}  // namespace plenta

#endif  // PLENTA_MODEL_RATE_LAW_H

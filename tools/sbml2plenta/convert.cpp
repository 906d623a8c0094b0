// The SBML model's checks and the mapping of its species and reactions onto
// plenta's records (see sbml2plenta.h for how a kinetic law is read).
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include <sbml/SBMLTransforms.h>
#include <sbml/SBMLTypes.h>
#include <sbml/conversion/ConversionProperties.h>

#include "tools/sbml2plenta/formula.h"
#include "tools/sbml2plenta/law.h"
#include "tools/sbml2plenta/sbml2plenta.h"

LIBSBML_CPP_NAMESPACE_USE

namespace sbml2plenta {

namespace {

constexpr std::size_t kMaxNameChars = 83;   // species names in the model file
constexpr std::size_t kMaxTitleChars = 78;  // reaction title lines
// Stoichiometries above this are surely an error, and keep the net changes of
// a reaction far inside a 32-bit count.
constexpr double kMaxStoichiometry = 1e6;
// An initial amount is "whole" when it is within this relative distance of
// an integer: concentration × size picks up a rounding error in the last bit
// (0.7 × 3 is 2.0999999999999996), which is not a change of the model's value.
constexpr double kWholeTolerance = 1e-12;

[[noreturn]] void refuse(const std::string& message) { throw ConversionError{message}; }

std::string in_quotes(const std::string& id) { return "'" + id + "'"; }

// A side of a reaction: species positions with their summed stoichiometries,
// in the order of first mention.
using Side = std::vector<std::pair<int, int>>;

int side_coef(const Side& side, int species) {
    for (const auto& [s, c] : side)
        if (s == species) return c;
    return 0;
}

// A law's shape that no named reaction type has: the law becomes a formula.
struct NoShape {
    std::string why;
};

[[noreturn]] void no_shape(const std::string& why) { throw NoShape{why}; }

// Names a formula cannot use for a species, parameter or rule of its own:
// the volume, the parser's constants and the functions it knows.
bool reserved_name(const std::string& name) {
    static const char* const kReserved[] = {
        "volume", "_pi", "_e", "sin", "cos", "tan", "asin", "acos", "atan", "sinh", "cosh",
        "tanh", "asinh", "acosh", "atanh", "log2", "log10", "log", "ln", "exp", "sqrt", "sign",
        "rint", "abs", "min", "max", "sum", "avg", "pow", "floor", "ceil", "not", "if", "and",
        "or", "piecewise"};
    for (const char* r : kReserved)
        if (name == r) return true;
    return false;
}

struct CompartmentInfo {
    bool has_size = false;
    double size = 0.0;
    bool zero_dimensional = false;  // its species' symbols stand for amounts
};

struct SpeciesInfo {
    int out = -1;       // position in the model file; -1 when a rule gives it
    int rule = -1;      // its assignment rule, or -1
    double per_unit = 1.0;  // molecules per unit of its substance (without the system size)
    double amount = 0.0;    // initial amount in its substance units
    bool amount_symbol = true;  // its symbol in laws is its amount (else its concentration)
    std::string compartment;
};

class Converter {
public:
    Converter(Model& model, unsigned level, const ConvertOptions& options)
        : m_(model), level_(level), options_(options) {}

    OutModel run() {
        check_model_constructs();
        read_compartments();
        read_rules();
        read_event_targets();
        read_species();
        read_rule_texts();
        if (m_.getNumReactions() == 0) refuse("the model has no reactions; plenta needs at least one");
        for (unsigned i = 0; i < m_.getNumReactions(); i++) convert_reaction(*m_.getReaction(i));
        if (out_.reactions.empty())
            refuse("no reaction changes a species that is not fixed; plenta needs at least one");
        for (unsigned i = 0; i < m_.getNumEvents(); i++) convert_event(*m_.getEvent(i), i);
        // Named parameters in the model's order.
        for (unsigned i = 0; i < m_.getNumParameters(); i++) {
            const Parameter& p = *m_.getParameter(i);
            if (parameter_written_.count(p.getId()))
                out_.parameters.emplace_back(plenta_name(p.getId()), p.getValue());
        }
        choose_monitored();
        return std::move(out_);
    }

private:
    // ---- Model-wide constructs with no counterpart in the model file ----

    void check_model_constructs() {
        for (unsigned i = 0; i < m_.getNumRules(); i++) {
            const Rule* r = m_.getRule(i);
            if (r->isAlgebraic())
                refuse("algebraic rule: it constrains the state by an equation, which plenta does not solve");
            if (r->isRate())
                refuse("rate rule for " + in_quotes(r->getVariable()) +
                       ": it changes a quantity continuously, which plenta's reactions cannot express");
        }
        if (m_.getNumInitialAssignments() > 0)
            refuse("initial assignment to " + in_quotes(m_.getInitialAssignment(0)->getSymbol()) +
                   ": its value could not be computed at conversion");
        if (m_.getNumConstraints() > 0)
            refuse("constraint " + in_quotes(m_.getConstraint(0)->getMetaId()) +
                   ": plenta cannot check constraints during a run");
        if (level_ >= 3 && m_.isSetConversionFactor())
            refuse("model conversion factor " + in_quotes(m_.getConversionFactor()) +
                   ": reactions must change species by whole molecules");
    }

    // ---- Compartments: sizes, needed only where something reads them ----

    void read_compartments() {
        for (unsigned i = 0; i < m_.getNumCompartments(); i++) {
            const Compartment& c = *m_.getCompartment(i);
            CompartmentInfo info;
            info.zero_dimensional =
                c.isSetSpatialDimensions() && c.getSpatialDimensionsAsDouble() == 0.0;
            if (c.isSetSize()) {
                info.has_size = true;
                info.size = c.getSize();
                if (!(info.size > 0.0) || !std::isfinite(info.size))
                    refuse("compartment " + in_quotes(c.getId()) + ": its size " +
                           exact_number(info.size) + " is not a positive number");
            }
            compartments_[c.getId()] = info;
        }
        // One compartment with a size is plenta's volume, kept as a symbol in
        // the laws so that factors of it cancel exactly; otherwise every size
        // is a number and the volume is 1.
        if (m_.getNumCompartments() == 1 && m_.getCompartment(0)->isSetSize()) {
            single_ = m_.getCompartment(0)->getId();
            out_.volume = m_.getCompartment(0)->getSize();
        }
    }

    double compartment_size(const std::string& id, const std::string& needed_by) {
        const CompartmentInfo& c = compartments_.at(id);
        if (!c.has_size)
            refuse("compartment " + in_quotes(id) + ": it has no size, which " + needed_by + " needs");
        return c.size;
    }

    // ---- Assignment rules ----

    void read_rules() {
        for (unsigned i = 0; i < m_.getNumRules(); i++) {
            const Rule* r = m_.getRule(i);
            const std::string v = r->getVariable();
            if (m_.getCompartment(v))
                refuse("assignment rule for compartment " + in_quotes(v) +
                       ": a compartment whose size changes cannot be simulated");
            if (!m_.getSpecies(v) && !m_.getParameter(v))
                refuse("assignment rule for " + in_quotes(v) +
                       ": only rules for species and parameters can be converted");
            rule_of_[v] = static_cast<int>(out_.rules.size());
            out_.rules.emplace_back(plenta_name(v), "");
        }
    }

    void read_rule_texts() {
        for (unsigned i = 0; i < m_.getNumRules(); i++) {
            const Rule* r = m_.getRule(i);
            const std::string where = "assignment rule for " + in_quotes(r->getVariable());
            if (!r->isSetMath()) refuse(where + ": it has no formula");
            try {
                out_.rules[static_cast<std::size_t>(rule_of_.at(r->getVariable()))].second =
                    formula_text(r->getMath(), [&](const std::string& name) {
                        return write_name(nullptr, name, where);
                    });
            } catch (const FormulaError& e) {
                refuse(where + " '" + law_text(r->getMath()) + "': " + e.why);
            }
        }
    }

    // A model id as a name the model file can use in formulas.
    std::string plenta_name(const std::string& id) {
        auto found = names_.find(id);
        if (found != names_.end()) return found->second;
        std::string name = id;
        while (reserved_name(name) || used_names_.count(name)) name += "_";
        used_names_.insert(name);
        names_[id] = name;
        return name;
    }

    // ---- Substance units ----

    // Molecules per unit of the substance unit `unit` ("" when the model
    // declares none: amounts are then molecule counts).
    double molecules_per_unit(const std::string& unit, const std::string& where) {
        if (unit.empty()) return 1.0;
        if (const UnitDefinition* ud = m_.getUnitDefinition(unit)) {
            double factor = 1.0;
            for (unsigned i = 0; i < ud->getNumUnits(); i++) {
                const Unit& u = *ud->getUnit(i);
                const double scale = u.getMultiplier() * std::pow(10.0, u.getScale());
                const double e = u.getExponentAsDouble();
                switch (u.getKind()) {
                    case UNIT_KIND_MOLE:
                    case UNIT_KIND_ITEM:
                        if (e != 1.0)
                            refuse(where + ": its substance unit " + in_quotes(unit) +
                                   " has a power of mole or item other than 1");
                        factor *= scale * (u.getKind() == UNIT_KIND_MOLE ? kAvogadro : 1.0);
                        break;
                    case UNIT_KIND_DIMENSIONLESS:
                        factor *= std::pow(scale, e);
                        break;
                    default:
                        refuse(where + ": its substance unit " + in_quotes(unit) +
                               " is not moles or items, so it gives no number of molecules");
                }
            }
            if (!(factor > 0.0) || !std::isfinite(factor))
                refuse(where + ": its substance unit " + in_quotes(unit) + " is not a positive factor");
            return factor;
        }
        if (unit == "mole") return kAvogadro;
        if (unit == "item" || unit == "dimensionless") return 1.0;
        // Level 2's built-in "substance", not redefined: no unit declared.
        if (level_ == 2 && unit == "substance") return 1.0;
        refuse(where + ": its substance unit " + in_quotes(unit) +
               " is not moles or items, so it gives no number of molecules");
    }

    double species_per_unit(const Species& s, const std::string& where) {
        std::string unit;
        if (s.isSetSubstanceUnits())
            unit = s.getSubstanceUnits();
        else if (level_ >= 3 && m_.isSetSubstanceUnits())
            unit = m_.getSubstanceUnits();
        else if (level_ == 2)
            unit = "substance";
        return molecules_per_unit(unit, where);
    }

    // ---- Species and their initial amounts ----

    void read_species() {
        if (m_.getNumSpecies() == 0) refuse("the model has no species");
        std::vector<double> amounts;
        for (unsigned i = 0; i < m_.getNumSpecies(); i++) {
            const Species& s = *m_.getSpecies(i);
            const std::string id = s.getId();
            const std::string where = "species " + in_quotes(id);
            if (id.size() > kMaxNameChars)
                refuse(where + ": its id is longer than the 83 characters of a species name");
            if (level_ >= 3 && s.isSetConversionFactor())
                refuse(where + ": conversion factor " + in_quotes(s.getConversionFactor()) +
                       ": reactions must change species by whole molecules");
            sbml_index_[id] = i;
            SpeciesInfo info;
            info.compartment = s.getCompartment();
            if (!compartments_.count(info.compartment))
                refuse(where + ": its compartment " + in_quotes(info.compartment) + " is not in the model");
            info.amount_symbol = s.getHasOnlySubstanceUnits() ||
                                 compartments_.at(info.compartment).zero_dimensional;
            info.per_unit = species_per_unit(s, where);
            auto rule = rule_of_.find(id);
            if (rule != rule_of_.end()) {
                info.rule = rule->second;
            } else {
                info.amount = initial_amount(s);
                max_count_ = std::fmax(max_count_, info.amount * info.per_unit);
            }
            species_.push_back(info);
        }
        choose_system_size();
        for (unsigned i = 0; i < m_.getNumSpecies(); i++) {
            SpeciesInfo& info = species_[i];
            if (info.rule >= 0) continue;
            const Species& s = *m_.getSpecies(i);
            info.out = static_cast<int>(out_.species.size());
            species_index_[s.getId()] = info.out;
            out_.species.push_back(OutSpecies{plenta_name(s.getId()), initial_count(s, info)});
        }
    }

    double initial_amount(const Species& s) {
        const std::string id = s.getId();
        double amount = 0.0;
        if (s.isSetInitialAmount()) {
            amount = s.getInitialAmount();
        } else if (s.isSetInitialConcentration()) {
            const double c = s.getInitialConcentration();
            // A concentration of 0 is no amount, whatever the size.
            amount = c == 0.0 ? 0.0
                              : c * compartment_size(s.getCompartment(),
                                                     "the initial concentration of species " + in_quotes(id));
        } else {
            refuse("species " + in_quotes(id) + ": it has no initial amount or concentration");
        }
        if (!std::isfinite(amount) || amount < 0.0)
            refuse("species " + in_quotes(id) + ": its initial amount " + exact_number(amount) +
                   " is not a non-negative number");
        return amount;
    }

    // The factor on every compartment's size: given, or chosen when the
    // model's own sizes give a count that no 32-bit count holds.
    void choose_system_size() {
        double f = 1.0;
        if (options_.system_size > 0.0) {
            f = options_.system_size;
        } else if (max_count_ > std::numeric_limits<std::int32_t>::max()) {
            // a power of ten, so that the largest count is in (10^5, 10^6]
            f = std::pow(10.0, std::floor(std::log10(kAutomaticLargestCount / max_count_)));
            out_.system_size_chosen = true;
            out_.warnings.push_back(
                "initial counts up to " + exact_number(max_count_) +
                " molecules do not fit 32 bits: every compartment's size is multiplied by " +
                exact_number(f) + " (largest initial count " + exact_number(max_count_ * f) +
                "); --system-size F chooses another factor");
        }
        out_.system_size = f;
        system_size_ = f;
        if (!single_.empty() && f != 1.0) out_.volume *= f;
    }

    int initial_count(const Species& s, const SpeciesInfo& info) {
        const std::string id = s.getId();
        const double per_unit = info.per_unit * system_size_;
        double amount = info.amount;
        std::string how = exact_number(amount);
        if (per_unit != 1.0) {
            amount *= per_unit;
            how += " × " + exact_number(per_unit) + " molecules per unit = " + exact_number(amount);
        }
        double whole = std::nearbyint(amount);
        if (whole > std::numeric_limits<std::int32_t>::max())
            refuse("species " + in_quotes(id) + ": its initial amount " + how +
                   " is more molecules than a 32-bit count holds; --system-size F with F < 1 "
                   "makes every compartment smaller");
        if (std::fabs(whole - amount) > kWholeTolerance * std::fmax(1.0, amount))
            out_.warnings.push_back("species " + in_quotes(id) + ": initial amount " + how +
                                    " rounded to " + exact_number(whole) + " molecules");
        return static_cast<int>(whole);
    }

    // ---- Reactions ----

    void convert_reaction(const Reaction& r) {
        const std::string id = r.getId();
        const std::string where = "reaction " + in_quotes(id);
        if (r.isSetFast() && r.getFast())
            refuse(where + ": it is marked fast (in rapid equilibrium), which plenta does not simulate");
        if (!r.isSetKineticLaw() || !r.getKineticLaw()->isSetMath())
            refuse(where + ": it has no kinetic law");
        Side reactants = read_side(r, true, where);
        Side products = read_side(r, false, where);
        drop_fixed_species(reactants, products);
        if (reactants.empty() && products.empty()) {
            out_.warnings.push_back(where + ": it changes only boundary or constant species; left out");
            return;
        }
        const KineticLaw& law = *r.getKineticLaw();
        const ASTNode* math = law.getMath();
        const std::string law_where = where + ": kinetic law '" + law_text(math) + "'";
        reaction_scale_ = system_size_ * reaction_per_unit(r, where);
        // The formula text checks every name and construct of the law (the
        // parameters it names are recorded only when a formula is written).
        try {
            checking_ = true;
            (void)formula_text(math, [&](const std::string& name) {
                return write_name(&law, name, law_where);
            });
            checking_ = false;
        } catch (const FormulaError& e) {
            refuse(law_where + ": " + e.why);
        }
        SymbolResolver resolve = [&](const std::string& name) {
            return resolve_symbol(law, name, law_where);
        };
        if (r.getReversible()) {
            // The named types first, exactly as a difference of two mass-action terms.
            try {
                Polynomial forward, reverse;
                if (split_difference(math, resolve, forward, reverse)) {
                    OutReaction f = named_reaction(reactants, products, forward, law_where, " forward");
                    OutReaction b = named_reaction(products, reactants, reverse, law_where, " reverse");
                    push_reaction(id, " forward", reactants, products, std::move(f));
                    push_reaction(id, " reverse", products, reactants, std::move(b));
                    return;
                }
            } catch (const LawError&) {
            } catch (const NoShape&) {
            }
            std::unique_ptr<ASTNode> forward, reverse;
            if (split_signed_terms(math, forward, reverse)) {
                if (forward)
                    add_direction(id, " forward", reactants, products, law, forward.get(), law_where);
                add_direction(id, " reverse", products, reactants, law, reverse.get(), law_where);
                return;
            }
            out_.warnings.push_back(where +
                                    ": marked reversible, but its law has no reverse term; "
                                    "converted as irreversible");
        }
        add_direction(id, "", reactants, products, law, math, law_where);
    }

    // A named type when the law has one's shape, else a formula.
    void add_direction(const std::string& id, const std::string& direction, const Side& reactants,
                       const Side& products, const KineticLaw& law, const ASTNode* math,
                       const std::string& law_where) {
        SymbolResolver resolve = [&](const std::string& name) {
            return resolve_symbol(law, name, law_where);
        };
        try {
            Polynomial p = law_polynomial(math, resolve);
            push_reaction(id, direction, reactants, products,
                          named_reaction(reactants, products, p, law_where, direction));
            return;
        } catch (const LawError&) {
        } catch (const NoShape&) {
        }
        OutReaction rx;
        rx.type = "formula";
        for (const auto& [s, c] : reactants) rx.substrates.push_back(OutEntry{s, c, 0.0});
        for (const auto& [s, c] : products) rx.products.push_back(OutEntry{s, c, 0.0});
        std::string text;
        try {
            text = formula_text(math, [&](const std::string& name) {
                return write_name(&law, name, law_where);
            });
        } catch (const FormulaError& e) {
            refuse(law_where + ": " + e.why);
        }
        rx.rate = reaction_scale_ == 1.0 ? text : exact_number(reaction_scale_) + "*(" + text + ")";
        push_reaction(id, direction, reactants, products, std::move(rx));
    }

    // Molecules per unit of the reaction's extent: the unit of the species it
    // changes, which must agree (the law's value changes each of them by its
    // stoichiometry in its own unit).
    double reaction_per_unit(const Reaction& r, const std::string& where) {
        double per_unit = 0.0;
        std::string first;
        auto look = [&](const SpeciesReference& ref) {
            const Species* s = m_.getSpecies(ref.getSpecies());
            if (!s) return;
            const double u = species_[sbml_index_.at(ref.getSpecies())].per_unit;
            if (per_unit == 0.0) {
                per_unit = u;
                first = ref.getSpecies();
            } else if (u != per_unit) {
                refuse(where + ": species " + in_quotes(first) + " and " + in_quotes(ref.getSpecies()) +
                       " have different substance units, so a firing has no one number of molecules");
            }
        };
        for (unsigned i = 0; i < r.getNumReactants(); i++) look(*r.getReactant(i));
        for (unsigned i = 0; i < r.getNumProducts(); i++) look(*r.getProduct(i));
        return per_unit == 0.0 ? 1.0 : per_unit;
    }
    Side read_side(const Reaction& r, bool reactant_side, const std::string& where) {
        Side side;
        unsigned n = reactant_side ? r.getNumReactants() : r.getNumProducts();
        for (unsigned i = 0; i < n; i++) {
            const SpeciesReference& ref = reactant_side ? *r.getReactant(i) : *r.getProduct(i);
            const std::string sid = ref.getSpecies();
            const std::string what = where + ", " + (reactant_side ? "reactant " : "product ") + in_quotes(sid);
            if (level_ == 2 && ref.isSetStoichiometryMath())
                refuse(what + ": its stoichiometry is a formula, not a whole number");
            if (level_ >= 3 && !ref.isSetStoichiometry())
                refuse(what + ": it has no stoichiometry");
            if (level_ >= 3 && ref.isSetId() && (rule_of_.count(ref.getId())))
                refuse(what + ": its stoichiometry is given by a rule, not a whole number");
            auto found = species_index_.find(sid);
            if (found == species_index_.end()) {
                // A species given by an assignment rule (a boundary condition
                // in a valid model): reactions do not change it.
                if (rule_of_.count(sid) && m_.getSpecies(sid)) continue;
                refuse(where + ": species " + in_quotes(sid) + " is not in the model");
            }
            double v = ref.getStoichiometry();
            if (!(v > 0.0) || v != std::floor(v) || v > kMaxStoichiometry)
                refuse(what + ": stoichiometry " + exact_number(v) +
                       " is not a whole number of molecules from 1 to 1000000");
            add_to_side(side, found->second, static_cast<int>(v));
        }
        return side;
    }

    static void add_to_side(Side& side, int species, int coef) {
        for (auto& entry : side)
            if (entry.first == species) {
                entry.second += coef;
                return;
            }
        side.emplace_back(species, coef);
    }

    const Species& sbml_species(int out) const {
        for (unsigned i = 0; i < species_.size(); i++)
            if (species_[i].out == out) return *m_.getSpecies(i);
        throw ConversionError{"internal: no species at position " + std::to_string(out)};
    }

    // Boundary and constant species keep their amounts whatever the reactions
    // do: one that a reaction would change is taken off both its sides (the
    // law still reads it).  One that a reaction leaves as it was, such as a
    // catalyst on both sides, stays.
    void drop_fixed_species(Side& reactants, Side& products) {
        auto fixed_changed = [&](int species) {
            const Species& s = sbml_species(species);
            return (s.getBoundaryCondition() || s.getConstant()) &&
                   side_coef(products, species) != side_coef(reactants, species);
        };
        auto drop = [&](Side& side) {
            Side kept;
            for (const auto& entry : side)
                if (!fixed_changed(entry.first)) kept.push_back(entry);
            return kept;
        };
        Side r = drop(reactants), p = drop(products);
        reactants = std::move(r);
        products = std::move(p);
    }

    // ---- Names in laws ----

    const SBase* local_parameter(const KineticLaw* law, const std::string& name) const {
        if (!law) return nullptr;
        return level_ >= 3 ? static_cast<const SBase*>(law->getLocalParameter(name))
                           : static_cast<const SBase*>(law->getParameter(name));
    }

    // Molecules per unit of a species' symbol in a law: its amount is
    // count / (per_unit · system size), its concentration that over the size.
    double symbol_divisor(const SpeciesInfo& info, bool with_size, const std::string& where) {
        double d = info.per_unit * system_size_;
        if (with_size && !info.amount_symbol)
            d *= compartment_size(info.compartment, where) ;
        return d;
    }

    // A name of a law or rule as formula text.
    std::string write_name(const KineticLaw* law, const std::string& name, const std::string& where) {
        if (const SBase* local = local_parameter(law, name)) {
            Symbol v = parameter_symbol(name, local, "local parameter ");
            if (v.kind != Symbol::kNumber) throw FormulaError{v.why};
            return v.value < 0.0 ? "(" + exact_number(v.value) + ")" : exact_number(v.value);
        }
        auto rule = rule_of_.find(name);
        if (rule != rule_of_.end()) return out_.rules[static_cast<std::size_t>(rule->second)].first;
        if (m_.getSpecies(name)) {
            const SpeciesInfo& info = species_[sbml_index_.at(name)];
            const std::string count = out_.species[static_cast<std::size_t>(info.out)].name;
            const double d = symbol_divisor(info, true, where);
            return d == 1.0 ? count : "(" + count + "/" + exact_number(d) + ")";
        }
        if (compartments_.count(name)) {
            const double v = compartment_size(name, where);
            return exact_number(v);
        }
        if (const Parameter* p = m_.getParameter(name)) {
            Symbol v = parameter_symbol(name, p, "parameter ");
            if (v.kind != Symbol::kNumber) throw FormulaError{v.why};
            const std::string pname = plenta_name(name);
            if (!checking_) parameter_written_.insert(name);
            return pname;
        }
        if (const Reaction* r = m_.getReaction(name)) {
            // A reaction's id stands for its rate: its law, in place.
            if (!r->isSetKineticLaw() || !r->getKineticLaw()->isSetMath())
                throw FormulaError{in_quotes(name) + " is the rate of a reaction without a law"};
            if (inlining_.count(name))
                throw FormulaError{in_quotes(name) + "'s rate is defined through itself"};
            inlining_.insert(name);
            const KineticLaw* other = r->getKineticLaw();
            std::string text = formula_text(other->getMath(), [&](const std::string& n) {
                return write_name(other, n, where);
            });
            inlining_.erase(name);
            return "(" + text + ")";
        }
        // A species reference's id stands for its stoichiometry.
        for (unsigned i = 0; i < m_.getNumReactions(); i++) {
            const Reaction& r = *m_.getReaction(i);
            for (unsigned side = 0; side < 3; side++) {
                const unsigned n = side == 0 ? r.getNumReactants() : side == 1 ? r.getNumProducts() : 0;
                for (unsigned j = 0; j < n; j++) {
                    const SpeciesReference* ref = side == 0 ? r.getReactant(j) : r.getProduct(j);
                    if (ref->isSetId() && ref->getId() == name && ref->isSetStoichiometry())
                        return exact_number(ref->getStoichiometry());
                }
            }
        }
        throw FormulaError{in_quotes(name) + " is not defined in the model"};
    }

    Symbol resolve_symbol(const KineticLaw& law, const std::string& name, const std::string& where) {
        Symbol s;
        // A reaction's own parameters hide the model's.
        if (const SBase* local = local_parameter(&law, name))
            return parameter_symbol(name, local, "local parameter ");
        if (rule_of_.count(name)) {
            s.why = in_quotes(name) + " is given by an assignment rule";
            return s;
        }
        // A parameter an event changes is read by name when the law runs,
        // never folded into a rate constant: the law becomes a formula.
        if (event_parameters_.count(name)) {
            s.why = in_quotes(name) + " is a parameter that an event changes";
            return s;
        }
        if (const Parameter* p = m_.getParameter(name)) return parameter_symbol(name, p, "parameter ");
        if (m_.getSpecies(name)) {
            const SpeciesInfo& info = species_[sbml_index_.at(name)];
            s.kind = Symbol::kSpecies;
            s.species = info.out;
            if (single_.empty()) {
                // every size a number
                s.scale = 1.0 / symbol_divisor(info, true, where);
            } else {
                s.concentration = !info.amount_symbol;
                const double d = info.per_unit * (info.amount_symbol ? system_size_ : 1.0);
                if (d != 1.0) s.scale = 1.0 / d;
            }
            return s;
        }
        if (compartments_.count(name)) {
            if (name == single_) {
                s.kind = Symbol::kCompartment;
                if (system_size_ != 1.0) s.scale = 1.0 / system_size_;
            } else {
                s.kind = Symbol::kNumber;
                s.value = compartment_size(name, where);
            }
            return s;
        }
        if (m_.getReaction(name))
            s.why = in_quotes(name) + " is a reaction's rate, which is not mass action";
        else
            s.why = in_quotes(name) + " is not defined in the model";
        return s;
    }

    static Symbol parameter_symbol(const std::string& name, const SBase* p, const char* kind) {
        Symbol s;
        bool set = false;
        double v = 0.0;
        if (auto lp = dynamic_cast<const LocalParameter*>(p)) {
            set = lp->isSetValue();
            v = lp->getValue();
        } else if (auto gp = dynamic_cast<const Parameter*>(p)) {
            set = gp->isSetValue();
            v = gp->getValue();
        }
        if (!set) {
            s.why = kind + in_quotes(name) + " has no value";
        } else if (!std::isfinite(v)) {
            s.why = kind + in_quotes(name) + " is not a finite number";
        } else {
            s.kind = Symbol::kNumber;
            s.value = v;
        }
        return s;
    }

    // ---- Choosing the reaction type ----

    // c · V^n with the powers of V applied one by one: no rounding at all when
    // n = 0, one per factor otherwise.
    double scaled(double c, int n) const {
        for (; n > 0; n--) c *= out_.volume;
        for (; n < 0; n++) c /= out_.volume;
        return c;
    }

    int sink() { return extra_species(sink_, "Sink"); }
    int source() { return extra_species(source_, "Source"); }

    // A species added for the format: an empty product side needs a sink,
    // an empty substrate side a source.  Named so as not to meet an SBML id.
    int extra_species(int& slot, std::string name) {
        if (slot >= 0) return slot;
        while (species_index_.count(name) || used_names_.count(name)) name += "_";
        used_names_.insert(name);
        slot = static_cast<int>(out_.species.size());
        species_index_[name] = slot;
        out_.species.push_back(OutSpecies{name, 0});
        return slot;
    }

    std::string side_text(const Side& side) const {
        if (side.empty()) return "0";
        std::string text;
        for (const auto& [s, c] : side) {
            if (!text.empty()) text += " + ";
            if (c != 1) text += std::to_string(c) + " ";
            text += out_.species[static_cast<std::size_t>(s)].name;
        }
        return text;
    }

    // The named type whose propensity is the law (scaled to molecules per
    // time); NoShape when none has its shape.
    OutReaction named_reaction(const Side& reactants, const Side& products, Polynomial law,
                               const std::string& law_where, const std::string& direction) {
        if (reaction_scale_ != 1.0)
            for (auto& term : law) term.second *= reaction_scale_;
        OutReaction rx = choose_type(reactants, products, law, law_where + direction_note(direction));
        for (double& k : rx.rates) {
            if (k == 0.0) k = 0.0;  // no "-0" in the model file
            if (!std::isfinite(k) || k < 0.0)
                refuse(law_where + direction_note(direction) + ": it gives the rate constant " +
                       exact_number(k) + ", which is not a non-negative number");
        }
        return rx;
    }

    void push_reaction(const std::string& id, const std::string& direction, const Side& reactants,
                       const Side& products, OutReaction rx) {
        std::string equation = side_text(reactants) + " -> " + side_text(products);
        rx.title = (id + direction + ": " + equation).substr(0, kMaxTitleChars);
        rx.report = "reaction " + in_quotes(id) + direction + ": " + equation + " as \"" + rx.type + "\", ";
        if (rx.type == "formula") {
            rx.report += "rate = " + rx.rate;
        } else {
            rx.report += "StoP =";
            for (double k : rx.rates) rx.report += " " + exact_number(k);
        }
        out_.reactions.push_back(std::move(rx));
    }

    static std::string direction_note(const std::string& direction) {
        return direction.empty() ? "" : "," + direction + " term";
    }

    OutReaction choose_type(const Side& reactants, const Side& products, const Polynomial& law,
                            const std::string& where) {
        if (law.size() == 2) return homodimerisation(reactants, products, law, where);
        if (law.size() != 1) no_shape(where + ": it is not a single mass-action term");
        const TermKey& key = law.begin()->first;
        const double c = law.begin()->second;
        for (const auto& [s, e] : key.powers)
            if (e < 0)
                no_shape(where + ": species " + in_quotes(out_.species[static_cast<std::size_t>(s)].name) +
                       " divides the law, which is not mass action");
        for (const auto& [s, coef] : reactants) {
            const std::string name = in_quotes(out_.species[static_cast<std::size_t>(s)].name);
            auto it = key.powers.find(s);
            if (it == key.powers.end())
                no_shape(where + ": it does not vanish when reactant " + name +
                       " is used up, so it is not the mass-action law of this reaction");
            if (coef > 1)
                no_shape(where + ": the reaction takes " + std::to_string(coef) + " molecules of " +
                       name + "; only two alike molecules with the law k*" +
                       out_.species[static_cast<std::size_t>(s)].name + "*(" +
                       out_.species[static_cast<std::size_t>(s)].name +
                       "-1)/2 can be expressed exactly");
        }
        if (reactants.empty() && key.powers.empty()) return constant_source(products, c, key.volume_exp);
        if (reactants.size() == 1 && key.powers.size() == 1 && key.powers.begin()->second == 1)
            return first_order(reactants[0].first, products, scaled(c, key.volume_exp));
        if (reactants.size() == 2 && key.powers.size() == 2 && key.powers.begin()->second == 1 &&
            key.powers.rbegin()->second == 1) {
            int p = products.empty() ? sink() : products[0].first;
            bool single = products.empty() || (products.size() == 1 && products[0].second == 1);
            if (single && p != reactants[0].first && p != reactants[1].first)
                return fixed_shape("binding", {reactants[0].first, reactants[1].first}, {p},
                                   scaled(c, key.volume_exp + 1));
        }
        return mass_action_n_order(reactants, products, key, c);
    }

    OutReaction fixed_shape(const char* type, std::vector<int> subs, std::vector<int> prods, double k0) {
        OutReaction rx;
        rx.type = type;
        for (int s : subs) rx.substrates.push_back(OutEntry{s, 0, 0.0});
        for (int p : prods) rx.products.push_back(OutEntry{p, 0, 0.0});
        rx.rates = {k0};
        return rx;
    }

    // X -> products with the law k0 · x.  "uni-uni" sets +1 at its product
    // after -1 at X, so it is used only when the product is another species;
    // "unbinding" for two other species; "uni-multi" (which adds its
    // products' coefficients to the -1 at X) for everything else, such as
    // X -> 2 X or G -> G + M.
    OutReaction first_order(int x, const Side& products, double k0) {
        if (products.empty()) return fixed_shape("uni-uni", {x}, {sink()}, k0);
        if (products.size() == 1 && products[0].second == 1 && products[0].first != x)
            return fixed_shape("uni-uni", {x}, {products[0].first}, k0);
        if (products.size() == 2 && products[0].second == 1 && products[1].second == 1 &&
            products[0].first != x && products[1].first != x)
            return fixed_shape("unbinding", {x}, {products[0].first, products[1].first}, k0);
        OutReaction rx = fixed_shape("uni-multi", {x}, {}, k0);
        for (const auto& [p, coef] : products) rx.products.push_back(OutEntry{p, coef, 0.0});
        return rx;
    }

    // 0 -> products at the constant rate c · V^a.  "n-order" with k1 = 0 has
    // the propensity k0 · V whatever its substrate holds, so k0 = c · V^(a-1);
    // its substrate is a source species with coefficient 0, never consumed.
    OutReaction constant_source(const Side& products, double c, int volume_exp) {
        OutReaction rx;
        rx.type = "n-order";
        rx.substrates.push_back(OutEntry{source(), 0, 0.0});
        for (const auto& [p, coef] : products) rx.products.push_back(OutEntry{p, coef, 0.0});
        rx.rates = {scaled(c, volume_exp - 1), 0.0};
        return rx;
    }

    // Any other single term c · V^a · Π x_s^e_s whose reactants each enter
    // once: "n-order" with k1 = 1 has the propensity k0 · Π x_s^e_s (V^0 = 1),
    // so k0 = c · V^a.  Reactants have coefficient 1 and so are short exactly
    // when they are absent, where the law vanishes too; species the law reads
    // without consuming them (modifiers, catalysts) enter with coefficient 0,
    // which is never short.
    OutReaction mass_action_n_order(const Side& reactants, const Side& products, const TermKey& key,
                                    double c) {
        OutReaction rx;
        rx.type = "n-order";
        for (const auto& [s, coef] : reactants)
            rx.substrates.push_back(OutEntry{s, coef, static_cast<double>(key.powers.at(s))});
        for (const auto& [s, e] : key.powers)
            if (side_coef(reactants, s) == 0) rx.substrates.push_back(OutEntry{s, 0, static_cast<double>(e)});
        if (products.empty()) rx.products.push_back(OutEntry{sink(), 1, 0.0});
        for (const auto& [p, coef] : products) rx.products.push_back(OutEntry{p, coef, 0.0});
        rx.rates = {scaled(c, key.volume_exp), 1.0};
        return rx;
    }

    // 2 X -> product with the law α · V^a · (x² − x): "homo-ltor" has the
    // propensity (k0 / V) · x · (x − 1) / 2, so k0 = 2α · V^(a+1).  The two
    // terms must have the same power of V and exactly opposite coefficients.
    OutReaction homodimerisation(const Side& reactants, const Side& products, const Polynomial& law,
                                 const std::string& where) {
        if (reactants.size() != 1 || reactants[0].second != 2)
            no_shape(where + ": it is not a single mass-action term");
        const int x = reactants[0].first;
        const std::string name = out_.species[static_cast<std::size_t>(x)].name;
        const auto& [k1, c1] = *law.begin();
        const auto& [k2, c2] = *law.rbegin();
        // Keys order by the power of V, then by the powers: equal V powers put x before x².
        bool shape = k1.volume_exp == k2.volume_exp && k1.powers == std::map<int, int>{{x, 1}} &&
                     k2.powers == std::map<int, int>{{x, 2}} && c1 == -c2;
        if (!shape)
            no_shape(where + ": it is not exactly a multiple of " + name + "*(" + name +
                   "-1), the law of 2 " + name + " -> ...");
        if (products.size() > 1 || (products.size() == 1 && products[0].second != 1))
            no_shape(where + ": a dimerisation can have only one product molecule");
        if (!products.empty() && products[0].first == x)
            no_shape(where + ": a dimerisation whose product is " + in_quotes(name) +
                   " itself cannot be expressed");
        int p = products.empty() ? sink() : products[0].first;
        return fixed_shape("homo-ltor", {x, x}, {p}, scaled(2.0 * c2, k2.volume_exp + 1));
    }

    // ---- Events ----

    // The parameters events assign, known before any law is converted: such
    // a parameter is a named parameter wherever it is read, never a number
    // folded into a rate constant.
    void read_event_targets() {
        for (unsigned i = 0; i < m_.getNumEvents(); i++) {
            const Event& e = *m_.getEvent(i);
            for (unsigned j = 0; j < e.getNumEventAssignments(); j++) {
                const std::string v = e.getEventAssignment(j)->getVariable();
                if (m_.getParameter(v)) event_parameters_.insert(v);
            }
        }
    }

    static bool reads_time(const ASTNode* node) {
        if (node->getType() == AST_NAME_TIME) return true;
        for (unsigned i = 0; i < node->getNumChildren(); i++)
            if (reads_time(node->getChild(i))) return true;
        return false;
    }

    // An expression of an event (condition, priority, delay, assigned value)
    // as formula text, reading the quantities in the SBML model's units:
    // species as count / (molecules per unit · system size), over the
    // compartment's size for a concentration, as the laws read them.
    std::string event_expression(const ASTNode* math, const std::string& where) {
        try {
            return formula_text(math, [&](const std::string& name) { return write_name(nullptr, name, where); });
        } catch (const FormulaError& e) {
            refuse(where + " '" + law_text(math) + "': " + e.why);
        }
    }

    // A trigger that compares the time with a constant: time >= T, time > T,
    // or the same the other way round (T <= time, T < time), as operators or
    // as MathML's geq, gt, leq, lt.  Sets `time` and `strict` (> rather than
    // >=) and returns true; false for any other trigger.
    bool timed_trigger(const ASTNode* math, const std::string& where, double& time, bool& strict) {
        if (math->getNumChildren() != 2) return false;
        const ASTNodeType_t t = math->getType();
        const ASTNode* a = math->getChild(0);
        const ASTNode* b = math->getChild(1);
        const ASTNode* constant = nullptr;
        if ((t == AST_RELATIONAL_GEQ || t == AST_RELATIONAL_GT) && a->getType() == AST_NAME_TIME)
            constant = b;
        else if ((t == AST_RELATIONAL_LEQ || t == AST_RELATIONAL_LT) && b->getType() == AST_NAME_TIME)
            constant = a;
        if (!constant || reads_time(constant)) return false;
        strict = t == AST_RELATIONAL_GT || t == AST_RELATIONAL_LT;
        time = constant_value(constant, where + ": the time of its trigger");
        return true;
    }

    // The value of an expression of numbers and parameters whose values no
    // rule or event changes; refused otherwise.
    double constant_value(const ASTNode* math, const std::string& where) {
        std::map<std::string, double> values;
        std::function<void(const ASTNode*)> collect = [&](const ASTNode* node) {
            if (node->getType() == AST_NAME) {
                const std::string name = node->getName() ? node->getName() : "";
                const Parameter* p = m_.getParameter(name);
                if (!p || rule_of_.count(name) || event_parameters_.count(name))
                    refuse(where + " '" + law_text(math) + "' reads " + in_quotes(name) +
                           ", which is not a parameter of constant value");
                Symbol v = parameter_symbol(name, p, "parameter ");
                if (v.kind != Symbol::kNumber) refuse(where + ": " + v.why);
                values[name] = v.value;
            }
            for (unsigned i = 0; i < node->getNumChildren(); i++) collect(node->getChild(i));
        };
        collect(math);
        const double v = SBMLTransforms::evaluateASTNode(math, values);
        if (!std::isfinite(v))
            refuse(where + " '" + law_text(math) + "' is not a finite number");
        return v;
    }

    void convert_event(const Event& e, unsigned index) {
        const std::string label = e.isSetId() && !e.getId().empty() ? e.getId() : std::to_string(index + 1);
        const std::string where =
            e.isSetId() && !e.getId().empty() ? "event " + in_quotes(label) : "event " + label + " (no id)";
        const Trigger* trigger = e.getTrigger();
        if (!trigger || !trigger->isSetMath()) refuse(where + ": it has no trigger");
        OutEvent ev;
        // Level 2 events have neither attribute: a trigger true at the start
        // does not fire (initialValue true), and a pending execution is not
        // cancelled (persistent true).  Level 2 computes the values at the
        // trigger unless the event says otherwise.
        if (level_ >= 3) {
            ev.initial = trigger->getInitialValue();
            ev.persistent = trigger->getPersistent();
            ev.values_at_trigger = e.getUseValuesFromTriggerTime();
        } else {
            ev.values_at_trigger = !e.isSetUseValuesFromTriggerTime() || e.getUseValuesFromTriggerTime();
        }
        const ASTNode* math = trigger->getMath();
        double time = 0.0;
        bool strict = false;
        if (timed_trigger(math, where, time, strict)) {
            // In continuous time, time > T and time >= T differ only at the
            // instant T itself, a set of measure zero: both fire at T.  At the
            // start (time 0 in the model file) the trigger is true when
            // T < 0, or T = 0 with >=: it then fires at the start only when
            // its initial value is false, and never otherwise (the time never
            // goes back to make it false again).
            const bool true_at_start = strict ? time < 0.0 : time <= 0.0;
            if (true_at_start && ev.initial) {
                out_.warnings.push_back(where + ": its trigger '" + law_text(math) +
                                        "' is true from the start, so it never fires; left out");
                return;
            }
            ev.trigger = "at " + exact_number(std::fmax(time, 0.0));
            ev.initial = true;  // written only for `when`
        } else if (reads_time(math)) {
            refuse(where + ": its trigger '" + law_text(math) +
                   "' reads the time other than as time >= T (a time reached), which plenta cannot express");
        } else {
            ev.trigger = "when " + event_expression(math, where + ": trigger");
        }
        if (e.isSetPriority() && e.getPriority()->isSetMath())
            ev.priority = event_expression(e.getPriority()->getMath(), where + ": priority");
        if (e.isSetDelay() && e.getDelay()->isSetMath())
            ev.delay = event_expression(e.getDelay()->getMath(), where + ": delay");
        std::string targets;
        for (unsigned j = 0; j < e.getNumEventAssignments(); j++) {
            const EventAssignment& a = *e.getEventAssignment(j);
            const std::string v = a.getVariable();
            const std::string awhere = where + ", assignment to " + in_quotes(v);
            if (compartments_.count(v))
                refuse(where + ": it assigns compartment " + in_quotes(v) +
                       ", whose size the converted laws hold as a number; a compartment whose size "
                       "changes cannot be simulated");
            if (rule_of_.count(v)) refuse(awhere + ": an assignment rule gives it");
            if (!a.isSetMath()) refuse(awhere + ": it has no formula");
            std::string target, value = event_expression(a.getMath(), awhere);
            if (const Species* s = m_.getSpecies(v)) {
                if (s->getConstant())
                    refuse(awhere + ": the species is constant, so no event may change it");
                // The value is in the species' units (an amount, or a
                // concentration when its symbol is one): in molecules as the
                // initial amounts are.
                const SpeciesInfo& info = species_[sbml_index_.at(v)];
                const double d = symbol_divisor(info, true, awhere);
                target = out_.species[static_cast<std::size_t>(info.out)].name;
                if (d != 1.0) value = exact_number(d) + "*(" + value + ")";
            } else if (const Parameter* p = m_.getParameter(v)) {
                if (p->getConstant())
                    refuse(awhere + ": the parameter is constant, so no event may change it");
                Symbol initial = parameter_symbol(v, p, "parameter ");
                if (initial.kind != Symbol::kNumber) refuse(awhere + ": " + initial.why);
                parameter_written_.insert(v);
                target = plenta_name(v);
            } else {
                refuse(awhere + ": it is not a species or a parameter of the model");
            }
            targets += (targets.empty() ? "" : ", ") + target;
            ev.assignments.emplace_back(target, value);
        }
        if (ev.assignments.empty()) {
            out_.warnings.push_back(where + ": it assigns nothing; left out");
            return;
        }
        ev.title = (label + ": " + ev.trigger + ", sets " + targets).substr(0, kMaxTitleChars);
        ev.report = where + ": " + ev.trigger + ", sets " + targets;
        out_.events.push_back(std::move(ev));
    }

    // ---- Monitored species ----

    void choose_monitored() {
        const int rules_from = static_cast<int>(out_.species.size());
        // Rules are in the model file when a formula or an event can read them.
        bool any_formula = !out_.events.empty();
        for (const OutReaction& r : out_.reactions) any_formula = any_formula || r.type == "formula";
        auto position = [&](const std::string& id) {
            if (species_index_.count(id) && m_.getSpecies(id)) return species_index_.at(id);
            auto rule = rule_of_.find(id);
            if (rule != rule_of_.end() && any_formula) return rules_from + rule->second;
            return -1;
        };
        if (options_.monitor.empty()) {
            for (unsigned i = 0; i < m_.getNumSpecies(); i++) {
                int p = position(m_.getSpecies(i)->getId());
                if (p >= 0) out_.monitored.push_back(p);
            }
            return;
        }
        for (const std::string& name : options_.monitor) {
            int p = position(name);
            if (p < 0)
                refuse("monitored species " + in_quotes(name) +
                       " is not a species or rule of the model");
            out_.monitored.push_back(p);
        }
    }

    Model& m_;
    unsigned level_;
    const ConvertOptions& options_;
    std::map<std::string, CompartmentInfo> compartments_;
    std::string single_;  // the one compartment kept as the symbol V, if any
    std::vector<SpeciesInfo> species_;  // by SBML position
    std::map<std::string, unsigned> sbml_index_;  // SBML id -> SBML position
    std::map<std::string, int> species_index_;  // SBML id -> model-file position
    std::map<std::string, int> rule_of_;        // rule variable -> rule position
    std::map<std::string, std::string> names_;  // SBML id -> model-file name
    std::set<std::string> used_names_;
    std::set<std::string> parameter_written_;
    std::set<std::string> event_parameters_;  // parameters that events assign
    std::set<std::string> inlining_;  // reactions whose law is being written in place
    bool checking_ = false;           // writing a law only to check it
    double max_count_ = 0.0;
    double system_size_ = 1.0;
    double reaction_scale_ = 1.0;  // molecules per unit of the current reaction's extent
    int sink_ = -1;
    int source_ = -1;
    OutModel out_;
};
OutModel convert_document(SBMLDocument* doc, const ConvertOptions& options) {
    if (!doc) refuse("libSBML could not read the document");
    std::unique_ptr<SBMLDocument> owned(doc);
    for (unsigned i = 0; i < doc->getNumErrors(); i++) {
        const SBMLError* e = doc->getError(i);
        if (e->getSeverity() >= LIBSBML_SEV_ERROR)
            refuse("line " + std::to_string(e->getLine()) + ": " + e->getMessage());
    }
    if (doc->getLevel() == 1 && !doc->setLevelAndVersion(2, 4))
        refuse("the Level 1 model could not be converted to Level 2");
    // A hierarchical model is its submodels and the top model together:
    // flattened into one model, never the top model alone.
    if (doc->isPackageEnabled("comp")) {
        ConversionProperties props;
        props.addOption("flatten comp", true);
        props.addOption("leavePorts", false);
        const int status = doc->convert(props);
        if (status != LIBSBML_OPERATION_SUCCESS) {
            std::string why = "libSBML's comp flattening failed";
            for (unsigned i = 0; i < doc->getNumErrors(); i++)
                if (doc->getError(i)->getSeverity() >= LIBSBML_SEV_ERROR) {
                    why += ": " + doc->getError(i)->getMessage();
                    break;
                }
            refuse("hierarchical model (comp package): " + why);
        }
    }
    Model* model = doc->getModel();
    if (!model) refuse("the document holds no model");
    if (model->getNumFunctionDefinitions() > 0 && !doc->expandFunctionDefinitions())
        refuse("function definition " + in_quotes(model->getFunctionDefinition(0)->getId()) +
               ": its calls could not be expanded");
    // Initial assignments are evaluated now, into the values they assign.
    if (model->getNumInitialAssignments() > 0 && !doc->expandInitialAssignments())
        refuse("initial assignment to " + in_quotes(model->getInitialAssignment(0)->getSymbol()) +
               ": its value could not be computed at conversion");
    return Converter(*model, doc->getLevel(), options).run();
}

}  // namespace

OutModel convert_sbml_file(const std::string& path, const ConvertOptions& options) {
    SBMLReader reader;
    return convert_document(reader.readSBMLFromFile(path), options);
}

OutModel convert_sbml_string(const std::string& xml, const ConvertOptions& options) {
    SBMLReader reader;
    return convert_document(reader.readSBMLFromString(xml), options);
}

}  // namespace sbml2plenta

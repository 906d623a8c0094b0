// The SBML model's checks and the mapping of its species and reactions onto
// plenta's records (see sbml2plenta.h for how a kinetic law is read).
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include <sbml/SBMLTypes.h>
#include <sbml/conversion/ConversionProperties.h>

#include "tools/sbml2plenta/formula_text.h"
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

class Converter {
public:
    Converter(Model& model, unsigned level, const ConvertOptions& options)
        : m_(model), level_(level), options_(options) {}

    OutModel run() {
        check_model_constructs();
        read_compartment();
        read_species();
        if (m_.getNumReactions() == 0) refuse("the model has no reactions; plenta needs at least one");
        for (unsigned i = 0; i < m_.getNumReactions(); i++) convert_reaction(*m_.getReaction(i));
        choose_monitored();
        return std::move(out_);
    }

private:
    // ---- Model-wide constructs with no counterpart in the model file ----

    void check_model_constructs() {
        if (m_.getNumEvents() > 0) {
            const Event* e = m_.getEvent(0);
            refuse("event " + in_quotes(e->getId()) +
                   ": events change the state at given moments, which plenta's reactions cannot express");
        }
        // Assignment rules for parameters and species are taken: a law that
        // reads such a name reads the rule's expression (it becomes a
        // formula reaction), and a species given by a rule becomes a rule of
        // the model file.  Rules for compartments, rate rules and algebraic
        // rules are not.
        for (unsigned i = 0; i < m_.getNumRules(); i++) {
            const Rule* r = m_.getRule(i);
            if (r->isAssignment() && (m_.getParameter(r->getVariable()) != nullptr ||
                                      m_.getSpecies(r->getVariable()) != nullptr))
                continue;
            std::string kind = r->isAlgebraic() ? "algebraic rule"
                               : r->isRate()    ? "rate rule for " + in_quotes(r->getVariable())
                                                : "assignment rule for " + in_quotes(r->getVariable());
            refuse(kind + ": " + (r->isAssignment()
                                      ? std::string("only parameters and species may be assigned by rules")
                                      : std::string("rules are not reactions, and plenta simulates reactions only")));
        }
        if (m_.getNumInitialAssignments() > 0)
            refuse("initial assignment to " + in_quotes(m_.getInitialAssignment(0)->getSymbol()) +
                   ": it could not be evaluated at conversion; give the value in the element itself");
        if (m_.getNumConstraints() > 0)
            refuse("constraint " + in_quotes(m_.getConstraint(0)->getMetaId()) +
                   ": plenta cannot check constraints during a run");
        if (level_ >= 3 && m_.isSetConversionFactor())
            refuse("model conversion factor " + in_quotes(m_.getConversionFactor()) +
                   ": reactions must change species by whole molecules");
    }

    // ---- Compartments: the reaction volume ----

    struct CompartmentInfo {
        bool has_size = false;
        double size = 0.0;
        bool zero_dimensional = false;  // its species have no concentration
    };

    // With one compartment its size is the reaction volume of the named
    // types.  With several, every reaction becomes a formula whose species
    // are read in their own compartment's size (concentrations as amount /
    // size); the volume written is 1.  A compartment without a size serves
    // as long as nothing reads it (laws in amounts only, initial amounts);
    // a law or a species that needs its size is refused by name.
    void read_compartment() {
        if (m_.getNumCompartments() == 0)
            refuse("the model has 0 compartments; plenta simulates one well-mixed volume");
        for (unsigned i = 0; i < m_.getNumCompartments(); i++) {
            const Compartment* c = m_.getCompartment(i);
            CompartmentInfo info;
            info.zero_dimensional = c->isSetSpatialDimensions() && c->getSpatialDimensionsAsDouble() == 0.0;
            info.has_size = c->isSetSize();
            if (info.has_size) {
                info.size = c->getSize();
                if (!(info.size > 0.0) || !std::isfinite(info.size))
                    refuse("compartment " + in_quotes(c->getId()) + ": its size " + exact_number(info.size) +
                           " is not a positive number");
            }
            compartments_[c->getId()] = info;
        }
        several_ = m_.getNumCompartments() > 1;
        compartment_ = m_.getCompartment(0);
        const CompartmentInfo& first = compartments_[compartment_->getId()];
        size_unset_ = !several_ && !first.has_size;
        zero_dimensional_ = !several_ && first.zero_dimensional;
        out_.volume = !several_ && first.has_size ? first.size : 1.0;
    }

    const CompartmentInfo& compartment_of(const Species& s) {
        auto it = compartments_.find(s.getCompartment());
        if (it == compartments_.end())
            refuse("species " + in_quotes(s.getId()) + ": its compartment " + in_quotes(s.getCompartment()) +
                   " is not in the model");
        return it->second;
    }

    // ---- Species and their initial amounts ----

    void read_species() {
        if (m_.getNumSpecies() == 0) refuse("the model has no species");
        for (unsigned i = 0; i < m_.getNumSpecies(); i++) {
            const Species& s = *m_.getSpecies(i);
            const std::string id = s.getId();
            if (id.size() > kMaxNameChars)
                refuse("species " + in_quotes(id) + ": its id is longer than the 83 characters of a species name");
            if (level_ >= 3 && s.isSetConversionFactor())
                refuse("species " + in_quotes(id) + ": conversion factor " +
                       in_quotes(s.getConversionFactor()) +
                       ": reactions must change species by whole molecules");
            if (m_.getAssignmentRule(id) != nullptr) {  // a rule of the model file
                rule_species_[id] = i;
                continue;
            }
            species_index_[id] = static_cast<int>(out_.species.size());
            sbml_of_.push_back(i);
            out_.species.push_back(OutSpecies{id, initial_count(s)});
        }
    }

    int initial_count(const Species& s) {
        const std::string id = s.getId();
        double amount = 0.0;
        if (s.isSetInitialAmount())
            amount = s.getInitialAmount();
        else if (s.isSetInitialConcentration() && !compartment_of(s).has_size)
            refuse("species " + in_quotes(id) + ": its initial concentration needs the size of compartment " +
                   in_quotes(s.getCompartment()) + ", which has none");
        else if (s.isSetInitialConcentration())
            amount = s.getInitialConcentration() * compartment_of(s).size;
        else
            refuse("species " + in_quotes(id) + ": it has no initial amount or concentration");
        if (!std::isfinite(amount) || amount < 0.0)
            refuse("species " + in_quotes(id) + ": its initial amount " + exact_number(amount) +
                   " is not a non-negative number");
        double whole = std::nearbyint(amount);
        if (whole > std::numeric_limits<std::int32_t>::max())
            refuse("species " + in_quotes(id) + ": its initial amount " + exact_number(amount) +
                   " is more molecules than a 32-bit count holds");
        if (std::fabs(whole - amount) > kWholeTolerance * std::fmax(1.0, amount))
            out_.warnings.push_back("species " + in_quotes(id) + ": initial amount " +
                                    exact_number(amount) + " rounded to " +
                                    exact_number(whole) + " molecules");
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
        // Boundary-condition and constant species are read by the law but
        // never changed: they leave the sides, and the reaction, whose
        // firing no longer has the shape of its law, becomes a formula.
        const bool fixed = drop_fixed_species(reactants, products);

        const KineticLaw& law = *r.getKineticLaw();
        const ASTNode* math = law.getMath();
        SymbolResolver resolve = [&](const std::string& name) { return resolve_symbol(law, name); };
        const std::string law_where = where + ": kinetic law '" + law_text(math) + "'";
        // A named type where one matches the law exactly, as always.
        const std::size_t before = out_.reactions.size();
        bool warned = false;
        // A model with species given by rules carries them as rules of the model
        // file, which only a model with formula reactions has.
        if (!fixed && !several_ && rule_species_.empty()) {
            try {
                if (r.getReversible()) {
                    Polynomial forward, reverse;
                    if (split_difference(math, resolve, forward, reverse)) {
                        if (add_named(id, " forward", reactants, products, forward, law_where) &&
                            add_named(id, " reverse", products, reactants, reverse, law_where))
                            return;
                        out_.reactions.resize(before);
                    } else {
                        warned = true;
                    }
                }
                if (!r.getReversible() || warned) {
                    if (add_named(id, "", reactants, products, law_polynomial(math, resolve), law_where)) {
                        if (warned) warn_irreversible(where);
                        return;
                    }
                    out_.reactions.resize(before);
                }
            } catch (const LawError&) {
                out_.reactions.resize(before);
            }
        }
        // Otherwise the law itself, as the propensity of a formula reaction.
        // A local parameter hides a rule-assigned parameter of its name.
        RuleLookup assigned = [&](const std::string& name) -> const ASTNode* {
            const SBase* local = level_ >= 3 ? static_cast<const SBase*>(law.getLocalParameter(name))
                                             : static_cast<const SBase*>(law.getParameter(name));
            if (local) return nullptr;
            return assigned_math(name);
        };
        try {
            const ASTNode* forward = nullptr;
            const ASTNode* reverse = nullptr;
            std::vector<std::unique_ptr<ASTNode>> owned;
            if (r.getReversible() && split_formula(math, forward, reverse, owned, resolve)) {
                add_formula(id, " forward", reactants, products,
                            formula_text(forward, resolve, out_.volume, assigned), law_where);
                add_formula(id, " reverse", products, reactants,
                            formula_text(reverse, resolve, out_.volume, assigned), law_where);
                return;
            }
            const std::string text = formula_text(math, resolve, out_.volume, assigned);
            if (r.getReversible()) warn_irreversible(where);
            add_formula(id, "", reactants, products, text, law_where);
        } catch (const LawError& e) {
            refuse(law_where + ": " + e.why);
        }
    }

    void warn_irreversible(const std::string& where) {
        out_.warnings.push_back(where +
                                ": marked reversible, but its law has no reverse term; "
                                "converted as irreversible");
    }

    // A reversible law as forward - reverse, in any of the usual algebraic
    // forms: a - b; a + (-1 * b) + ... (terms whose sign is negative, by a
    // unary minus or an odd number of negative numbers or parameters among
    // their factors); -(...) of either (the two swap); and any of these times
    // other factors, which multiply both sides.  False when no term is
    // negative: the law has no reverse part.
    bool split_formula(const ASTNode* math, const ASTNode*& forward, const ASTNode*& reverse,
                       std::vector<std::unique_ptr<ASTNode>>& owned, const SymbolResolver& resolve) {
        std::unique_ptr<ASTNode> f, b;
        if (!split_node(math, f, b, resolve)) return false;
        forward = f.get();
        reverse = b.get();
        owned.push_back(std::move(f));
        owned.push_back(std::move(b));
        return true;
    }

    // Sign of a term: -1 when its factors hold an odd number of negative
    // numbers (or parameters) or unary minuses; the positive part in `abs`.
    static int term_sign(const ASTNode* n, std::unique_ptr<ASTNode>& abs, const SymbolResolver& resolve) {
        auto negative_number = [&](const ASTNode* c) {
            if (c->isNumber()) return c->getValue() < 0.0;
            if (c->getType() == AST_NAME) {
                const Symbol s = resolve(c->getName());
                return s.kind == Symbol::kNumber && s.value < 0.0;
            }
            return false;
        };
        if (n->getType() == AST_MINUS && n->getNumChildren() == 1) {
            std::unique_ptr<ASTNode> inner;
            const int sign = term_sign(n->getChild(0), inner, resolve);
            abs = std::move(inner);
            return -sign;
        }
        if (negative_number(n)) {
            abs = std::make_unique<ASTNode>(AST_TIMES);
            auto minus_one = std::make_unique<ASTNode>(AST_INTEGER);
            minus_one->setValue(-1);
            abs->addChild(minus_one.release());
            abs->addChild(n->deepCopy());
            return -1;
        }
        if (n->getType() == AST_TIMES) {
            int sign = 1;
            abs = std::make_unique<ASTNode>(AST_TIMES);
            for (unsigned i = 0; i < n->getNumChildren(); i++) {
                std::unique_ptr<ASTNode> part;
                sign *= term_sign(n->getChild(i), part, resolve);
                abs->addChild(part.release());
            }
            return sign;
        }
        abs.reset(n->deepCopy());
        return 1;
    }

    static bool split_node(const ASTNode* n, std::unique_ptr<ASTNode>& forward,
                           std::unique_ptr<ASTNode>& reverse, const SymbolResolver& resolve) {
        if (n == nullptr) return false;
        const unsigned k = n->getNumChildren();
        if (n->getType() == AST_MINUS && k == 2) {
            forward.reset(n->getChild(0)->deepCopy());
            reverse.reset(n->getChild(1)->deepCopy());
            return true;
        }
        if (n->getType() == AST_MINUS && k == 1) return split_node(n->getChild(0), reverse, forward, resolve);
        if (n->getType() == AST_PLUS) {
            auto f = std::make_unique<ASTNode>(AST_PLUS);
            auto b = std::make_unique<ASTNode>(AST_PLUS);
            for (unsigned i = 0; i < k; i++) {
                std::unique_ptr<ASTNode> abs;
                if (term_sign(n->getChild(i), abs, resolve) < 0)
                    b->addChild(abs.release());
                else
                    f->addChild(n->getChild(i)->deepCopy());
            }
            if (b->getNumChildren() == 0) return false;
            forward = std::move(f);
            reverse = std::move(b);
            return true;
        }
        if (n->getType() == AST_TIMES) {
            int at = -1;
            std::unique_ptr<ASTNode> f, b;
            for (unsigned i = 0; i < k; i++) {
                std::unique_ptr<ASTNode> f1, b1;
                if (split_node(n->getChild(i), f1, b1, resolve)) {
                    if (at >= 0) return false;  // two differences multiplied: not a split
                    at = static_cast<int>(i);
                    f = std::move(f1);
                    b = std::move(b1);
                }
            }
            if (at < 0) return false;
            forward = std::make_unique<ASTNode>(AST_TIMES);
            reverse = std::make_unique<ASTNode>(AST_TIMES);
            for (unsigned i = 0; i < k; i++) {
                if (static_cast<int>(i) == at) {
                    forward->addChild(f.release());
                    reverse->addChild(b.release());
                } else {
                    forward->addChild(n->getChild(i)->deepCopy());
                    reverse->addChild(n->getChild(i)->deepCopy());
                }
            }
            return true;
        }
        return false;
    }

    void add_formula(const std::string& id, const std::string& direction, const Side& reactants,
                     const Side& products, const std::string& text, const std::string& law_where) {
        (void)law_where;
        OutReaction rx;
        rx.type = "formula";
        rx.rate = text;
        for (const auto& [sp, c] : reactants) rx.substrates.push_back(OutEntry{sp, c, 0.0});
        for (const auto& [sp, c] : products) rx.products.push_back(OutEntry{sp, c, 0.0});
        const std::string equation = side_text(reactants) + " -> " + side_text(products);
        rx.title = (id + direction + ": " + equation).substr(0, kMaxTitleChars);
        rx.report = "reaction " + in_quotes(id) + direction + ": " + equation +
                    " as \"formula\", rate = " + text;
        out_.reactions.push_back(std::move(rx));
    }

    // The named type for a mass-action law; false (nothing added) when none
    // has its shape.
    bool add_named(const std::string& id, const std::string& direction, const Side& reactants,
                   const Side& products, const Polynomial& law, const std::string& law_where) {
        OutReaction rx;
        try {
            rx = choose_type(reactants, products, law, law_where + direction_note(direction));
        } catch (const ConversionError&) {
            return false;
        }
        add_reaction(id, direction, reactants, products, law, law_where, std::move(rx));
        return true;
    }

    Side read_side(const Reaction& r, bool reactant_side, const std::string& where) {
        Side side;
        unsigned n = reactant_side ? r.getNumReactants() : r.getNumProducts();
        for (unsigned i = 0; i < n; i++) {
            const SpeciesReference& ref = reactant_side ? *r.getReactant(i) : *r.getProduct(i);
            const std::string sid = ref.getSpecies();
            if (rule_species_.count(sid)) {
                // Its amount is the rule's value: a reaction cannot change it.
                if (m_.getSpecies(sid)->getBoundaryCondition()) continue;
                refuse(where + ": it changes species " + in_quotes(sid) +
                       ", which an assignment rule defines");
            }
            auto found = species_index_.find(sid);
            if (found == species_index_.end())
                refuse(where + ": species " + in_quotes(sid) + " is not in the model");
            const std::string what = where + ", " + (reactant_side ? "reactant " : "product ") + in_quotes(sid);
            if (level_ == 2 && ref.isSetStoichiometryMath())
                refuse(what + ": its stoichiometry is a formula, not a whole number");
            if (level_ >= 3 && !ref.isSetStoichiometry())
                refuse(what + ": it has no stoichiometry");
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

    // Boundary and constant species keep their amounts whatever the reactions
    // do.  A reaction whose sides would change one loses it from both sides
    // (true then); one that names it with no net change keeps its shape.
    bool drop_fixed_species(Side& reactants, Side& products) {
        auto is_fixed = [&](int species) {
            const Species& s = *m_.getSpecies(sbml_of_[static_cast<std::size_t>(species)]);
            return s.getBoundaryCondition() || s.getConstant();
        };
        bool changes = false;
        for (const auto& entry : reactants)
            if (is_fixed(entry.first) && side_coef(products, entry.first) != entry.second) changes = true;
        for (const auto& entry : products)
            if (is_fixed(entry.first) && side_coef(reactants, entry.first) != entry.second) changes = true;
        if (!changes) return false;
        auto drop = [&](Side& side) {
            Side kept;
            for (const auto& entry : side)
                if (!is_fixed(entry.first)) kept.push_back(entry);
            side = kept;
        };
        drop(reactants);
        drop(products);
        return true;
    }

    Symbol resolve_symbol(const KineticLaw& law, const std::string& name) {
        Symbol s;
        // A reaction's own parameters hide the model's.
        const SBase* local = level_ >= 3 ? static_cast<const SBase*>(law.getLocalParameter(name))
                                         : static_cast<const SBase*>(law.getParameter(name));
        if (local) return parameter_symbol(name, local, "local parameter ");
        if (const Parameter* p = m_.getParameter(name)) {
            if (m_.getAssignmentRule(name) != nullptr) {
                s.why = "parameter " + in_quotes(name) + " is assigned by a rule";
                return s;
            }
            return parameter_symbol(name, p, "parameter ");
        }
        if (rule_species_.count(name)) {
            s.why = "species " + in_quotes(name) + " is assigned by a rule";
            return s;
        }
        auto found = species_index_.find(name);
        if (found != species_index_.end()) {
            const Species& sp = *m_.getSpecies(sbml_of_[static_cast<std::size_t>(found->second)]);
            s.kind = Symbol::kSpecies;
            s.species = found->second;
            const CompartmentInfo& c = compartment_of(sp);
            s.concentration = !sp.getHasOnlySubstanceUnits() && !c.zero_dimensional;
            if (several_) s.size = c.size;
            if (s.concentration && !c.has_size) {
                s.kind = Symbol::kRefused;
                s.why = in_quotes(name) + " is a concentration, which needs the size of compartment " +
                        in_quotes(sp.getCompartment()) + ", and it has none";
            }
            return s;
        }
        auto compartment = compartments_.find(name);
        if (compartment != compartments_.end()) {
            if (!compartment->second.has_size) {
                s.why = "compartment " + in_quotes(name) + " has no size";
                return s;
            }
            if (several_) {  // a number: every reaction is a formula then
                s.kind = Symbol::kNumber;
                s.value = compartment->second.size;
                return s;
            }
            s.kind = Symbol::kCompartment;
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
        while (species_index_.count(name)) name += "_";
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

    void add_reaction(const std::string& id, const std::string& direction, const Side& reactants,
                      const Side& products, const Polynomial& law, const std::string& law_where,
                      OutReaction rx) {
        (void)law;
        for (double& k : rx.rates) {
            if (k == 0.0) k = 0.0;  // no "-0" in the model file
            if (!std::isfinite(k) || k < 0.0)
                refuse(law_where + direction_note(direction) + ": it gives the rate constant " +
                       exact_number(k) + ", which is not a non-negative number");
        }
        std::string equation = side_text(reactants) + " -> " + side_text(products);
        rx.title = (id + direction + ": " + equation).substr(0, kMaxTitleChars);
        rx.report = "reaction " + in_quotes(id) + direction + ": " + equation + " as \"" + rx.type +
                    "\", StoP =";
        for (double k : rx.rates) rx.report += " " + exact_number(k);
        out_.reactions.push_back(std::move(rx));
    }

    static std::string direction_note(const std::string& direction) {
        return direction.empty() ? "" : "," + direction + " term";
    }

    OutReaction choose_type(const Side& reactants, const Side& products, const Polynomial& law,
                            const std::string& where) {
        if (reactants.empty() && products.empty())
            refuse(where + ": the reaction has neither reactants nor products");
        if (law.size() == 2) return homodimerisation(reactants, products, law, where);
        if (law.size() != 1) refuse(where + ": it is not a single mass-action term");
        const TermKey& key = law.begin()->first;
        const double c = law.begin()->second;
        for (const auto& [s, e] : key.powers)
            if (e < 0)
                refuse(where + ": species " + in_quotes(out_.species[static_cast<std::size_t>(s)].name) +
                       " divides the law, which is not mass action");
        for (const auto& [s, coef] : reactants) {
            const std::string name = in_quotes(out_.species[static_cast<std::size_t>(s)].name);
            auto it = key.powers.find(s);
            if (it == key.powers.end())
                refuse(where + ": it does not vanish when reactant " + name +
                       " is used up, so it is not the mass-action law of this reaction");
            if (coef > 1)
                refuse(where + ": the reaction takes " + std::to_string(coef) + " molecules of " +
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
            refuse(where + ": it is not a single mass-action term");
        const int x = reactants[0].first;
        const std::string name = out_.species[static_cast<std::size_t>(x)].name;
        const auto& [k1, c1] = *law.begin();
        const auto& [k2, c2] = *law.rbegin();
        // Keys order by the power of V, then by the powers: equal V powers put x before x².
        bool shape = k1.volume_exp == k2.volume_exp && k1.powers == std::map<int, int>{{x, 1}} &&
                     k2.powers == std::map<int, int>{{x, 2}} && c1 == -c2;
        if (!shape)
            refuse(where + ": it is not exactly a multiple of " + name + "*(" + name +
                   "-1), the law of 2 " + name + " -> ...");
        if (products.size() > 1 || (products.size() == 1 && products[0].second != 1))
            refuse(where + ": a dimerisation can have only one product molecule");
        if (!products.empty() && products[0].first == x)
            refuse(where + ": a dimerisation whose product is " + in_quotes(name) +
                   " itself cannot be expressed");
        int p = products.empty() ? sink() : products[0].first;
        return fixed_shape("homo-ltor", {x, x}, {p}, scaled(2.0 * c2, k2.volume_exp + 1));
    }

    // ---- Monitored species ----

    // The math of the assignment rule of a parameter or species, or null.
    const ASTNode* assigned_math(const std::string& name) const {
        const AssignmentRule* rule = m_.getAssignmentRule(name);
        if (rule == nullptr) return nullptr;
        return m_.getParameter(name) != nullptr || rule_species_.count(name) ? rule->getMath() : nullptr;
    }

    // A species given by a rule is monitored as a rule of the model file,
    // its expression written out in full (rules expanded).
    int rule_of_species(const std::string& id) {
        for (std::size_t r = 0; r < out_.rules.size(); r++)
            if (out_.rules[r].first == id) return static_cast<int>(r);
        KineticLaw none(m_.getLevel(), m_.getVersion());
        SymbolResolver resolve = [&](const std::string& name) { return resolve_symbol(none, name); };
        RuleLookup assigned = [&](const std::string& name) { return assigned_math(name); };
        try {
            out_.rules.emplace_back(id, formula_text(m_.getAssignmentRule(id)->getMath(), resolve,
                                                     out_.volume, assigned));
        } catch (const LawError& e) {
            refuse("assignment rule for " + in_quotes(id) + ": " + e.why);
        }
        return static_cast<int>(out_.rules.size()) - 1;
    }

    void monitor(const std::string& name) {
        auto found = species_index_.find(name);
        if (found != species_index_.end()) {
            out_.monitored.push_back(found->second);
        } else if (rule_species_.count(name)) {
            out_.monitored_rules.push_back(rule_of_species(name));
        } else {
            refuse("monitored species " + in_quotes(name) + " is not a species of the model");
        }
    }

    void choose_monitored() {
        if (options_.monitor.empty()) {
            for (unsigned i = 0; i < m_.getNumSpecies(); i++) monitor(m_.getSpecies(i)->getId());
        } else {
            for (const std::string& name : options_.monitor) monitor(name);
        }
        // The model file carries rules only with a formula reaction.
        bool formula = false;
        for (const OutReaction& r : out_.reactions) formula = formula || r.type == "formula";
        if (!out_.rules.empty() && !formula) {
            for (const auto& rule : out_.rules)
                out_.warnings.push_back("species " + in_quotes(rule.first) +
                                        " is given by an assignment rule, which a model without "
                                        "formula reactions cannot carry; it is not monitored");
            out_.rules.clear();
            out_.monitored_rules.clear();
        }
    }

    Model& m_;
    unsigned level_;
    const ConvertOptions& options_;
    const Compartment* compartment_ = nullptr;
    bool zero_dimensional_ = false;
    bool size_unset_ = false;  // the one compartment has no size (volume 1 written)
    bool several_ = false;     // more than one compartment: formula reactions only
    std::map<std::string, CompartmentInfo> compartments_;
    std::map<std::string, int> species_index_;
    std::vector<unsigned> sbml_of_;                // SBML position of each written species
    std::map<std::string, unsigned> rule_species_;  // species given by an assignment rule
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
    Model* model = doc->getModel();
    if (!model) refuse("the document holds no model");
    if (model->getNumFunctionDefinitions() > 0 && !doc->expandFunctionDefinitions())
        refuse("function definition " + in_quotes(model->getFunctionDefinition(0)->getId()) +
               ": its calls could not be expanded");
    // Initial assignments are evaluated now, by libSBML's converter, into the
    // values of their elements; one it cannot evaluate (it reads something
    // that is not a constant) stays and is refused by name.
    if (model->getNumInitialAssignments() > 0) {
        ConversionProperties props;
        props.addOption("expandInitialAssignments", true);
        doc->convert(props);
        model = doc->getModel();
        if (!model) refuse("the document holds no model");
    }
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

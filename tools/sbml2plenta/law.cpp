// Expansion of a kinetic law's syntax tree into a polynomial in the species
// amounts (see law.h).
#include "tools/sbml2plenta/law.h"

#include <cmath>
#include <cstdlib>

#include <sbml/math/FormulaFormatter.h>
#include <sbml/math/L3FormulaFormatter.h>

namespace sbml2plenta {

namespace {

// Powers of a sum are expanded term by term; a law of mass action never needs
// more than a few, and the limit keeps a hostile exponent from exhausting memory.
constexpr int kMaxExpandedPower = 16;
// Even within that limit a power of a long sum has combinatorially many
// terms ((S0 + ... + S13)^16 has some 6.7 * 10^7): every polynomial of an
// expansion is kept within kMaxTerms terms, and the products of one law
// within kMaxWork products of two terms in all, so that such a law is
// refused in a moment instead of growing memory without bound or running for
// hours.  A mass-action law has a handful of terms.
constexpr std::size_t kMaxTerms = 10000;
constexpr std::size_t kMaxWork = 200000;

// The products of terms one law's expansion has formed so far.
struct Work {
    std::size_t products = 0;
};
// Nesting of the law's tree that the expansion follows by recursion.
constexpr int kMaxDepth = 1000;

[[noreturn]] void refuse(const std::string& why) { throw LawError{why}; }

void refuse_too_large() {
    refuse("its expansion into terms of mass action would exceed " + std::to_string(kMaxTerms) +
           " terms or " + std::to_string(kMaxWork) + " products of terms");
}

const Polynomial& bounded(const Polynomial& p) {
    if (p.size() > kMaxTerms) refuse_too_large();
    return p;
}

Polynomial constant(double c) { return Polynomial{{TermKey{}, c}}; }

void add_term(Polynomial& p, const TermKey& key, double c) {
    auto it = p.find(key);
    if (it == p.end())
        p.emplace(key, c);
    else
        it->second += c;
}

Polynomial add(const Polynomial& a, const Polynomial& b) {
    Polynomial sum = a;
    for (const auto& [key, c] : b) add_term(sum, key, c);
    bounded(sum);
    return sum;
}

Polynomial negate(Polynomial p) {
    for (auto& term : p) term.second = -term.second;
    return p;
}

TermKey multiply_keys(const TermKey& a, const TermKey& b, int sign) {
    TermKey key = a;
    key.volume_exp += sign * b.volume_exp;
    for (const auto& [species, e] : b.powers) {
        int& slot = key.powers[species];
        slot += sign * e;
        if (slot == 0) key.powers.erase(species);
    }
    return key;
}

// A mass-action law never needs more products than this; a law that would
// (a sum raised to a high power) is no mass-action law and is not expanded.
constexpr std::size_t kMaxProducts = 4096;

Polynomial multiply(const Polynomial& a, const Polynomial& b, Work& work) {
    const std::size_t products = a.size() * b.size();  // each at most kMaxTerms
    if (products > kMaxProducts) refuse("it expands into too many terms for mass action");
    if (products > kMaxWork - work.products) refuse_too_large();
    work.products += products;
    Polynomial product;
    for (const auto& [ka, ca] : a)
        for (const auto& [kb, cb] : b) add_term(product, multiply_keys(ka, kb, 1), ca * cb);
    bounded(product);
    return product;
}

// Division by one term: every coefficient is divided by the term's
// coefficient (one rounding, as the law writes it) and the powers subtracted.
Polynomial divide(const Polynomial& a, const Polynomial& b, Work& work) {
    if (b.size() != 1) refuse("it divides by a sum, which is not mass action");
    const auto& [kb, cb] = *b.begin();
    if (cb == 0.0) refuse("it divides by zero");
    if (a.size() > kMaxWork - work.products) refuse_too_large();
    work.products += a.size();
    Polynomial quotient;
    for (const auto& [ka, ca] : a) add_term(quotient, multiply_keys(ka, kb, -1), ca / cb);
    return quotient;
}

// An exponent must be a whole number without species or compartment in it.
int integer_exponent(const Polynomial& e) {
    if (e.empty()) return 0;
    if (e.size() != 1 || !(e.begin()->first == TermKey{}))
        refuse("an exponent depends on a species or the compartment");
    double v = e.begin()->second;
    if (!(std::fabs(v) <= kMaxExpandedPower) || v != std::floor(v))
        refuse("an exponent is not a whole number between -16 and 16");
    return static_cast<int>(v);
}

Polynomial power(const Polynomial& base, int n, Work& work) {
    if (n < 0) {
        if (base.size() != 1) refuse("a sum is raised to a negative power, which is not mass action");
        Polynomial result = constant(1.0);
        for (int i = 0; i < -n; i++) result = divide(result, base, work);
        return result;
    }
    Polynomial result = constant(1.0);
    for (int i = 0; i < n; i++) result = multiply(result, base, work);
    return result;
}

Polynomial name_polynomial(const ASTNode* node, const SymbolResolver& resolve) {
    Symbol s = resolve(node->getName() ? node->getName() : "");
    TermKey key;
    switch (s.kind) {
        case Symbol::kNumber:
            return constant(s.value);
        case Symbol::kCompartment:
            key.volume_exp = 1;
            return Polynomial{{key, s.scale}};
        case Symbol::kSpecies:
            key.powers[s.species] = 1;
            if (s.concentration) key.volume_exp = -1;
            return Polynomial{{key, s.scale}};
        case Symbol::kRefused:
            break;
    }
    refuse(s.why);
}

std::string function_name(const ASTNode* node) {
    const char* name = node->getName();
    if (name && *name) return name;
    return "operator " + std::to_string(static_cast<int>(node->getType()));
}

Polynomial expand_node(const ASTNode* node, const SymbolResolver& resolve, Work& work,
                       int depth);

Polynomial expand(const ASTNode* node, const SymbolResolver& resolve, Work& work, int depth = 0) {
    if (node == nullptr) refuse("it has an empty operand");
    if (depth > kMaxDepth)
        refuse("it is nested deeper than " + std::to_string(kMaxDepth) + " levels");
    return expand_node(node, resolve, work, depth + 1);
}

Polynomial expand_node(const ASTNode* node, const SymbolResolver& resolve, Work& work,
                       int depth) {
    const unsigned n = node->getNumChildren();
    switch (node->getType()) {
        case AST_INTEGER:
        case AST_REAL:
        case AST_REAL_E:
        case AST_RATIONAL:
            return constant(node->getValue());
        case AST_CONSTANT_E:
            return constant(std::exp(1.0));
        case AST_CONSTANT_PI:
            return constant(std::acos(-1.0));
        case AST_NAME:
            return name_polynomial(node, resolve);
        case AST_PLUS: {
            Polynomial sum;  // plus() with no operands is 0
            for (unsigned i = 0; i < n; i++)
                sum = add(sum, expand(node->getChild(i), resolve, work, depth));
            return sum;
        }
        case AST_MINUS:
            if (n == 1) return negate(expand(node->getChild(0), resolve, work, depth));
            if (n != 2) refuse("a subtraction has " + std::to_string(n) + " operands");
            return add(expand(node->getChild(0), resolve, work, depth),
                       negate(expand(node->getChild(1), resolve, work, depth)));
        case AST_TIMES: {
            Polynomial product = constant(1.0);  // times() with no operands is 1
            for (unsigned i = 0; i < n; i++)
                product = multiply(product, expand(node->getChild(i), resolve, work, depth), work);
            return product;
        }
        case AST_DIVIDE:
            if (n != 2) refuse("a division has " + std::to_string(n) + " operands");
            return divide(expand(node->getChild(0), resolve, work, depth),
                          expand(node->getChild(1), resolve, work, depth), work);
        case AST_POWER:
        case AST_FUNCTION_POWER:
            if (n != 2) refuse("a power has " + std::to_string(n) + " operands");
            return power(expand(node->getChild(0), resolve, work, depth),
                         integer_exponent(expand(node->getChild(1), resolve, work, depth)), work);
        case AST_NAME_TIME:
            refuse("it depends on the time, which is not mass action");
        case AST_NAME_AVOGADRO:
            refuse("it uses Avogadro's constant; give the law in molecules");
        case AST_FUNCTION_DELAY:
            refuse("it uses a delay, which is not mass action");
        case AST_FUNCTION:
            refuse("it calls the function '" + function_name(node) + "', which is not defined");
        default:
            refuse("it uses '" + function_name(node) + "', which is not mass action");
    }
}

// Divides or multiplies one side of a split difference by the other factors.
void apply_factor(Polynomial& forward, Polynomial& reverse, const Polynomial& factor,
                  bool divide_by, Work& work) {
    if (divide_by) {
        forward = divide(forward, factor, work);
        reverse = divide(reverse, factor, work);
    } else {
        forward = multiply(forward, factor, work);
        reverse = multiply(reverse, factor, work);
    }
}

bool is_difference(const ASTNode* node) {
    if (node->getType() == AST_MINUS && node->getNumChildren() == 2) return true;
    // a + (-b), as some writers produce it
    return node->getType() == AST_PLUS && node->getNumChildren() == 2 &&
           node->getChild(1)->getType() == AST_MINUS && node->getChild(1)->getNumChildren() == 1;
}

bool contains_difference(const ASTNode* node, int depth = 0) {
    if (depth > kMaxDepth)
        refuse("it is nested deeper than " + std::to_string(kMaxDepth) + " levels");
    if (is_difference(node)) return true;
    if (node->getType() == AST_TIMES) {
        for (unsigned i = 0; i < node->getNumChildren(); i++)
            if (contains_difference(node->getChild(i), depth + 1)) return true;
    }
    if (node->getType() == AST_DIVIDE && node->getNumChildren() == 2)
        return contains_difference(node->getChild(0), depth + 1);
    return false;
}

}  // namespace

Polynomial law_polynomial(const ASTNode* law, const SymbolResolver& resolve) {
    if (!law) refuse("it has no formula");
    Work work;
    return expand(law, resolve, work);
}

namespace {

bool split_at(const ASTNode* law, const SymbolResolver& resolve, Polynomial& forward,
              Polynomial& reverse, Work& work, int depth) {
    if (!law) return false;
    if (depth > kMaxDepth)
        refuse("it is nested deeper than " + std::to_string(kMaxDepth) + " levels");
    if (is_difference(law)) {
        forward = expand(law->getChild(0), resolve, work);
        const ASTNode* second = law->getChild(1);
        reverse = law->getType() == AST_MINUS ? expand(second, resolve, work)
                                              : expand(second->getChild(0), resolve, work);
        return true;
    }
    if (law->getType() == AST_DIVIDE && law->getNumChildren() == 2) {
        if (!split_at(law->getChild(0), resolve, forward, reverse, work, depth + 1)) return false;
        apply_factor(forward, reverse, expand(law->getChild(1), resolve, work), true, work);
        return true;
    }
    if (law->getType() != AST_TIMES) return false;
    // The one operand that holds the difference; the others are factors.  When
    // several operands hold one, the law is a product of differences, which
    // is no single forward and reverse term.
    int split_child = -1;
    for (unsigned i = 0; i < law->getNumChildren(); i++) {
        if (!contains_difference(law->getChild(i))) continue;
        if (split_child >= 0) return false;
        split_child = static_cast<int>(i);
    }
    if (split_child < 0) return false;
    if (!split_at(law->getChild(static_cast<unsigned>(split_child)), resolve, forward, reverse,
                  work, depth + 1))
        return false;
    Polynomial before = constant(1.0), after = constant(1.0);
    for (unsigned i = 0; i < law->getNumChildren(); i++) {
        if (static_cast<int>(i) == split_child) continue;
        Polynomial f = expand(law->getChild(i), resolve, work);
        if (static_cast<int>(i) < split_child)
            before = multiply(before, f, work);
        else
            after = multiply(after, f, work);
    }
    // Coefficients multiply in the order the law writes them.
    Polynomial f2 = multiply(before, forward, work), r2 = multiply(before, reverse, work);
    forward = multiply(f2, after, work);
    reverse = multiply(r2, after, work);
    return true;
}

}  // namespace

bool split_difference(const ASTNode* law, const SymbolResolver& resolve, Polynomial& forward,
                      Polynomial& reverse) {
    Work work;
    return split_at(law, resolve, forward, reverse, work, 0);
}

std::string law_text(const ASTNode* law) {
    if (!law) return "";
    char* text = SBML_formulaToL3String(law);
    if (!text) return "";
    std::string s = text;
    std::free(text);
    return s;
}

}  // namespace sbml2plenta

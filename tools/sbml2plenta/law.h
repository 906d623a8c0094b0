// law.h - a kinetic law as a polynomial in the species amounts.
//
// A mass-action law is a sum of terms c · V^a · Π x_s^e_s: a numeric
// coefficient c (numbers and parameter values multiplied out), an integer
// power a of the compartment size V, and integer powers of the species
// amounts x_s.  The compartment size is kept as a symbol rather than a number
// so that factors of V that cancel (a compartment times a concentration, for
// instance) cancel exactly, without a rounding in the rate constant.
//
// The law's syntax tree is expanded into that form with +, -, *, /, and
// powers with integer exponents; division is allowed by a single term only.
// Anything else (functions, piecewise, the time symbol, a division by a sum
// such as a Michaelis-Menten denominator, a fractional exponent) is not mass
// action and is refused with LawError.
#ifndef PLENTA_TOOLS_SBML2PLENTA_LAW_H
#define PLENTA_TOOLS_SBML2PLENTA_LAW_H

#include <functional>
#include <map>
#include <string>

#include <sbml/math/ASTNode.h>

LIBSBML_CPP_NAMESPACE_USE

namespace sbml2plenta {

// What a name in a law stands for.
struct Symbol {
    enum Kind { kNumber, kSpecies, kCompartment, kRefused };
    Kind kind = kRefused;
    double value = 0.0;          // kNumber: a parameter's value
    int species = -1;            // kSpecies: species position
    bool concentration = false;  // kSpecies: the symbol is amount / V
    double scale = 1.0;          // kSpecies, kCompartment: a factor on the symbol
    std::string why;             // kRefused: why the name cannot appear
};

using SymbolResolver = std::function<Symbol(const std::string& name)>;

// One term's powers: of V, and of each species (position -> non-zero exponent).
struct TermKey {
    int volume_exp = 0;
    std::map<int, int> powers;
    bool operator<(const TermKey& o) const {
        if (volume_exp != o.volume_exp) return volume_exp < o.volume_exp;
        return powers < o.powers;
    }
    bool operator==(const TermKey& o) const {
        return volume_exp == o.volume_exp && powers == o.powers;
    }
};

// Terms by their powers, with their coefficients.  Terms with equal powers are
// combined; a coefficient that comes out 0 is kept, so that a law k·X with a
// rate constant k = 0 still has the shape of a first-order law.
using Polynomial = std::map<TermKey, double>;

struct LawError {
    std::string why;
};

// The law as a polynomial; throws LawError.
Polynomial law_polynomial(const ASTNode* law, const SymbolResolver& resolve);

// A reversible reaction's law as forward − reverse: the outermost difference
// of the tree, possibly inside products and quotients by single terms (such
// as compartment · (kf·A·B − kr·C)), which multiply both sides.  False when
// the law has no such difference.  Throws LawError like law_polynomial.
bool split_difference(const ASTNode* law, const SymbolResolver& resolve, Polynomial& forward,
                      Polynomial& reverse);

// The law as text, for messages.
std::string law_text(const ASTNode* law);

}  // namespace sbml2plenta

#endif  // PLENTA_TOOLS_SBML2PLENTA_LAW_H

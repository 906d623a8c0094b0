// formula.h - a kinetic law as the text of a "formula" reaction's rate, and
// a law split into its forward and reverse terms.
//
// The text is written in the model file's formula syntax: numbers, names,
// + - * / ^, parentheses and the functions the simulator's formulas know.
// Every name of the law is rewritten by the caller (a species becomes its
// molecule count divided by the molecules per unit, a compartment its size,
// a local parameter its value, ...), so the text reads only what the model
// file defines.
#ifndef PLENTA_TOOLS_SBML2PLENTA_FORMULA_H
#define PLENTA_TOOLS_SBML2PLENTA_FORMULA_H

#include <functional>
#include <memory>
#include <string>

#include <sbml/math/ASTNode.h>

LIBSBML_CPP_NAMESPACE_USE

namespace sbml2plenta {

// Thrown for a construct a formula cannot hold (the time, a delay, an
// undefined function); `why` says which.
struct FormulaError {
    std::string why;
};

// The text a name of the law stands for; throws FormulaError for a name that
// cannot be read.
using NameWriter = std::function<std::string(const std::string& name)>;

// The law as formula text; throws FormulaError.
std::string formula_text(const ASTNode* law, const NameWriter& write_name);

// A law as a sum of signed products, forward − reverse: sums, differences,
// negations and negative numbers are multiplied out through products and
// through a division by a positive factor.  `forward` and `reverse` are the
// sums of the positive and of the negated negative products (null when there
// is none).  Returns false when the law has no negative product, so is no
// difference at all.
bool split_signed_terms(const ASTNode* law, std::unique_ptr<ASTNode>& forward,
                        std::unique_ptr<ASTNode>& reverse);

}  // namespace sbml2plenta

#endif  // PLENTA_TOOLS_SBML2PLENTA_FORMULA_H

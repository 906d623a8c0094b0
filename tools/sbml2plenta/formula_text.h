// formula_text.h - a kinetic law written out as the propensity text of a
// "formula" reaction, for the laws that no named reaction type expresses.
#ifndef PLENTA_TOOLS_SBML2PLENTA_FORMULA_TEXT_H
#define PLENTA_TOOLS_SBML2PLENTA_FORMULA_TEXT_H

#include <functional>
#include <string>

#include "law.h"

namespace sbml2plenta {

// The law as text in the simulator's formula language: parameters become
// their exact values, the compartment its size `volume` (a number), a
// species its count by its id, or its concentration (id / volume) where the
// law reads one.  Arithmetic, powers, exp, ln, log10 and logarithms to a
// base, roots, abs, floor, ceiling, min, max, piecewise, comparisons and
// logic are written out; anything else (time, delays, rates of change,
// calls left unexpanded) throws LawError naming it.
// `assigned` gives the math of the assignment rule of a name, or null: such
// a name is written as its rule's expression, in parentheses.
using RuleLookup = std::function<const ASTNode*(const std::string& name)>;
std::string formula_text(const ASTNode* law, const SymbolResolver& resolve, double volume,
                         const RuleLookup& assigned = nullptr);

}  // namespace sbml2plenta

#endif  // PLENTA_TOOLS_SBML2PLENTA_FORMULA_TEXT_H

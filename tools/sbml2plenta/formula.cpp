// A kinetic law as formula text, and its split into forward and reverse
// terms (see formula.h).
#include "tools/sbml2plenta/formula.h"

#include <cmath>
#include <vector>

#include "tools/sbml2plenta/sbml2plenta.h"

namespace sbml2plenta {

namespace {

[[noreturn]] void refuse(const std::string& why) { throw FormulaError{why}; }

std::string node_name(const ASTNode* node) {
    const char* name = node->getName();
    if (name && *name) return name;
    return "operator " + std::to_string(static_cast<int>(node->getType()));
}

// A number as the formula reads it: negative numbers in parentheses, so
// that "2*-1" never appears.
std::string number(double v) {
    if (!std::isfinite(v)) refuse("it uses the value " + exact_number(v) + ", which is not finite");
    std::string s = exact_number(v == 0.0 ? 0.0 : v);
    return v < 0.0 ? "(" + s + ")" : s;
}

// How the text of a node binds: a sum (or difference) and a product (or
// quotient) are written without outer parentheses, and their parent adds
// them where the operator needs; everything else is an operand as written.
enum Binding { kSum, kProduct, kOperand };

Binding binding(const ASTNode* node) {
    const unsigned n = node->getNumChildren();
    switch (node->getType()) {
        case AST_PLUS:
            return n >= 2 ? kSum : kOperand;
        case AST_MINUS:
            return n == 2 ? kSum : kOperand;
        case AST_TIMES:
            return n >= 2 ? kProduct : kOperand;
        case AST_DIVIDE:
            return kProduct;
        default:
            return kOperand;
    }
}

class Writer {
public:
    explicit Writer(const NameWriter& names) : names_(names) {}

    std::string text(const ASTNode* node) const {
        const unsigned n = node->getNumChildren();
        auto child = [&](unsigned i) { return text(node->getChild(i)); };
        // the child's text, in parentheses when it binds looser than `at_least`
        auto bound = [&](unsigned i, Binding at_least) {
            const std::string t = child(i);
            return binding(node->getChild(i)) < at_least ? "(" + t + ")" : t;
        };
        auto operands = [&](const char* op, unsigned first = 0) {
            std::string s;
            for (unsigned i = first; i < n; i++) s += (i > first ? op : "") + child(i);
            return s;
        };
        auto call = [&](const char* fn) { return std::string(fn) + "(" + operands(", ") + ")"; };
        auto one = [&](const char* fn) {
            if (n != 1) refuse(std::string("'") + node_name(node) + "' needs one operand");
            return std::string(fn) + "(" + child(0) + ")";
        };
        // a chain of comparisons a < b < c is a < b and b < c
        auto compare = [&](const char* op) {
            if (n < 2) refuse("a comparison needs two operands");
            if (n == 2) return "(" + child(0) + op + child(1) + ")";
            std::string s = "and(";
            for (unsigned i = 0; i + 1 < n; i++)
                s += (i ? ", " : "") + ("(" + child(i) + op + child(i + 1) + ")");
            return s + ")";
        };
        switch (node->getType()) {
            case AST_INTEGER:
            case AST_REAL:
            case AST_REAL_E:
            case AST_RATIONAL:
                return number(node->getValue());
            case AST_CONSTANT_E:
                return number(std::exp(1.0));
            case AST_CONSTANT_PI:
                return number(std::acos(-1.0));
            case AST_CONSTANT_TRUE:
                return "1";
            case AST_CONSTANT_FALSE:
                return "0";
            case AST_NAME_AVOGADRO:
                return number(kAvogadro);
            case AST_NAME:
                return names_(node->getName() ? node->getName() : "");
            case AST_NAME_TIME:
                refuse("it depends on the time");
            case AST_FUNCTION_DELAY:
                refuse("it uses a delay");
            case AST_FUNCTION_RATE_OF:
                refuse("it uses the rate of change of a quantity");
            case AST_PLUS:
                if (n <= 1) return n == 0 ? "0" : bound(0, kOperand);
                return operands(" + ");
            case AST_TIMES: {
                if (n <= 1) return n == 0 ? "1" : bound(0, kOperand);
                std::string t;
                for (unsigned i = 0; i < n; i++) t += (i ? "*" : "") + bound(i, kProduct);
                return t;
            }
            case AST_MINUS:
                if (n == 1) return "(-" + bound(0, kOperand) + ")";
                if (n != 2) refuse("a subtraction has " + std::to_string(n) + " operands");
                return child(0) + " - " + bound(1, kProduct);
            case AST_DIVIDE:
                if (n != 2) refuse("a division has " + std::to_string(n) + " operands");
                return bound(0, kProduct) + "/" + bound(1, kOperand);
            case AST_POWER:
            case AST_FUNCTION_POWER:
                if (n != 2) refuse("a power has " + std::to_string(n) + " operands");
                return "(" + bound(0, kOperand) + "^" + bound(1, kOperand) + ")";
            case AST_FUNCTION_ROOT:
                if (n == 1) return "sqrt(" + child(0) + ")";
                if (n != 2) refuse("a root has " + std::to_string(n) + " operands");
                return "(" + child(1) + "^(1/" + child(0) + "))";
            case AST_FUNCTION_LOG:
                if (n == 1) return "log10(" + child(0) + ")";
                if (n != 2) refuse("a logarithm has " + std::to_string(n) + " operands");
                if (node->getChild(0)->isNumber() && node->getChild(0)->getValue() == 10.0)
                    return "log10(" + child(1) + ")";
                return "(ln(" + child(1) + ")/ln(" + child(0) + "))";
            case AST_FUNCTION_LN:
                return one("ln");
            case AST_FUNCTION_EXP:
                return one("exp");
            case AST_FUNCTION_ABS:
                return one("abs");
            case AST_FUNCTION_FLOOR:
                return one("floor");
            case AST_FUNCTION_CEILING:
                return one("ceil");
            case AST_FUNCTION_SIN:
                return one("sin");
            case AST_FUNCTION_COS:
                return one("cos");
            case AST_FUNCTION_TAN:
                return one("tan");
            case AST_FUNCTION_SINH:
                return one("sinh");
            case AST_FUNCTION_COSH:
                return one("cosh");
            case AST_FUNCTION_TANH:
                return one("tanh");
            case AST_FUNCTION_ARCSIN:
                return one("asin");
            case AST_FUNCTION_ARCCOS:
                return one("acos");
            case AST_FUNCTION_ARCTAN:
                return one("atan");
            case AST_FUNCTION_ARCSINH:
                return one("asinh");
            case AST_FUNCTION_ARCCOSH:
                return one("acosh");
            case AST_FUNCTION_ARCTANH:
                return one("atanh");
            case AST_FUNCTION_SEC:
                return "(1/" + one("cos") + ")";
            case AST_FUNCTION_CSC:
                return "(1/" + one("sin") + ")";
            case AST_FUNCTION_COT:
                return "(1/" + one("tan") + ")";
            case AST_FUNCTION_SECH:
                return "(1/" + one("cosh") + ")";
            case AST_FUNCTION_CSCH:
                return "(1/" + one("sinh") + ")";
            case AST_FUNCTION_COTH:
                return "(1/" + one("tanh") + ")";
            case AST_FUNCTION_MIN:
                return call("min");
            case AST_FUNCTION_MAX:
                return call("max");
            case AST_FUNCTION_PIECEWISE:
                return call("piecewise");
            case AST_LOGICAL_AND:
                return n == 0 ? "1" : call("and");
            case AST_LOGICAL_OR:
                return n == 0 ? "0" : call("or");
            case AST_LOGICAL_NOT:
                return one("not");
            case AST_LOGICAL_XOR: {
                // true when an odd number of operands is true
                std::string s = "0";
                for (unsigned i = 0; i < n; i++) s = "((" + s + ")!=(" + child(i) + "!=0))";
                return s;
            }
            case AST_LOGICAL_IMPLIES:
                if (n != 2) refuse("an implication needs two operands");
                return "or(not(" + child(0) + "), " + child(1) + ")";
            case AST_RELATIONAL_EQ:
                return compare("==");
            case AST_RELATIONAL_NEQ:
                if (n != 2) refuse("'neq' needs two operands");
                return "(" + child(0) + "!=" + child(1) + ")";
            case AST_RELATIONAL_GT:
                return compare(">");
            case AST_RELATIONAL_GEQ:
                return compare(">=");
            case AST_RELATIONAL_LT:
                return compare("<");
            case AST_RELATIONAL_LEQ:
                return compare("<=");
            case AST_FUNCTION:
                refuse("it calls the function '" + node_name(node) + "', which is not defined");
            default:
                refuse("it uses '" + node_name(node) + "', which a formula cannot express");
        }
    }

private:
    const NameWriter& names_;
};

// ---- Forward and reverse terms ----

// A signed product: factors over divisors, with a numeric coefficient.
struct Term {
    double coefficient = 1.0;
    std::vector<const ASTNode*> factors;
    std::vector<const ASTNode*> divisors;
};

// Products of sums are multiplied out only while the number of terms stays
// small; a larger product is kept as one factor.
constexpr std::size_t kMaxTerms = 64;

std::vector<Term> atomic(const ASTNode* node) {
    Term t;
    t.factors.push_back(node);
    return {t};
}

bool all_positive(const std::vector<Term>& terms) {
    for (const Term& t : terms)
        if (t.coefficient < 0.0) return false;
    return true;
}

std::vector<Term> terms_of(const ASTNode* node) {
    const unsigned n = node->getNumChildren();
    switch (node->getType()) {
        case AST_INTEGER:
        case AST_REAL:
        case AST_REAL_E:
        case AST_RATIONAL: {
            Term t;
            t.coefficient = node->getValue();
            return {t};
        }
        case AST_PLUS: {
            std::vector<Term> sum;
            for (unsigned i = 0; i < n; i++) {
                std::vector<Term> part = terms_of(node->getChild(i));
                sum.insert(sum.end(), part.begin(), part.end());
            }
            if (sum.size() > kMaxTerms) return atomic(node);
            return sum;
        }
        case AST_MINUS: {
            if (n == 0 || n > 2) return atomic(node);
            std::vector<Term> sum = n == 2 ? terms_of(node->getChild(0)) : std::vector<Term>{};
            for (Term t : terms_of(node->getChild(n - 1))) {
                t.coefficient = -t.coefficient;
                sum.push_back(t);
            }
            if (sum.size() > kMaxTerms) return atomic(node);
            return sum;
        }
        case AST_TIMES: {
            std::vector<Term> product{Term{}};
            for (unsigned i = 0; i < n; i++) {
                std::vector<Term> factor = terms_of(node->getChild(i));
                if (product.size() * factor.size() > kMaxTerms) return atomic(node);
                std::vector<Term> next;
                for (const Term& a : product)
                    for (const Term& b : factor) {
                        Term t = a;
                        t.coefficient *= b.coefficient;
                        t.factors.insert(t.factors.end(), b.factors.begin(), b.factors.end());
                        t.divisors.insert(t.divisors.end(), b.divisors.begin(), b.divisors.end());
                        next.push_back(t);
                    }
                product = std::move(next);
            }
            return product;
        }
        case AST_DIVIDE: {
            if (n != 2) return atomic(node);
            // Only a division by something that is not itself a difference
            // distributes over the numerator's terms.
            std::vector<Term> divisor = terms_of(node->getChild(1));
            if (!all_positive(divisor)) return atomic(node);
            std::vector<Term> quotient = terms_of(node->getChild(0));
            for (Term& t : quotient) t.divisors.push_back(node->getChild(1));
            return quotient;
        }
        default:
            return atomic(node);
    }
}

std::unique_ptr<ASTNode> number_node(double v) {
    auto node = std::make_unique<ASTNode>(AST_REAL);
    node->setValue(v);
    return node;
}

std::unique_ptr<ASTNode> product_node(const std::vector<const ASTNode*>& nodes, double coefficient) {
    auto product = std::make_unique<ASTNode>(AST_TIMES);
    if (coefficient != 1.0 || nodes.empty()) product->addChild(number_node(coefficient).release());
    for (const ASTNode* f : nodes) product->addChild(f->deepCopy());
    if (product->getNumChildren() == 1) {
        std::unique_ptr<ASTNode> only(product->getChild(0)->deepCopy());
        return only;
    }
    return product;
}

std::unique_ptr<ASTNode> term_node(const Term& t, double sign) {
    std::unique_ptr<ASTNode> numerator = product_node(t.factors, sign * t.coefficient);
    if (t.divisors.empty()) return numerator;
    auto quotient = std::make_unique<ASTNode>(AST_DIVIDE);
    quotient->addChild(numerator.release());
    quotient->addChild(product_node(t.divisors, 1.0).release());
    return quotient;
}

std::unique_ptr<ASTNode> sum_node(const std::vector<Term>& terms, double sign) {
    if (terms.empty()) return nullptr;
    if (terms.size() == 1) return term_node(terms[0], sign);
    auto sum = std::make_unique<ASTNode>(AST_PLUS);
    for (const Term& t : terms) sum->addChild(term_node(t, sign).release());
    return sum;
}

}  // namespace

std::string formula_text(const ASTNode* law, const NameWriter& write_name) {
    if (!law) refuse("it has no formula");
    return Writer(write_name).text(law);
}

bool split_signed_terms(const ASTNode* law, std::unique_ptr<ASTNode>& forward,
                        std::unique_ptr<ASTNode>& reverse) {
    if (!law) return false;
    std::vector<Term> positive, negative;
    for (const Term& t : terms_of(law)) {
        if (t.coefficient == 0.0) continue;
        (t.coefficient > 0.0 ? positive : negative).push_back(t);
    }
    if (negative.empty()) return false;
    forward = sum_node(positive, 1.0);
    reverse = sum_node(negative, -1.0);
    return true;
}

}  // namespace sbml2plenta

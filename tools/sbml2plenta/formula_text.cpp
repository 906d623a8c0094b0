// Kinetic laws as formula text: a walk over libSBML's syntax tree that
// writes every node fully parenthesised, so that the text means exactly
// what the tree means whatever the precedence rules of the reader.
#include "formula_text.h"

#include <cmath>
#include <vector>

#include "sbml2plenta.h"

namespace sbml2plenta {

namespace {

std::string number(double v) {
    const std::string text = exact_number(v);
    return v < 0.0 ? "(" + text + ")" : text;
}

class Writer {
public:
    Writer(const SymbolResolver& resolve, double volume, const RuleLookup& assigned)
        : resolve_(resolve), volume_(volume), assigned_(assigned) {}

    std::string write(const ASTNode* n) {
        if (n == nullptr) throw LawError{"the law is empty"};
        const ASTNodeType_t type = n->getType();
        const unsigned k = n->getNumChildren();
        switch (type) {
            case AST_INTEGER:
                return number(static_cast<double>(n->getInteger()));
            case AST_REAL:
            case AST_REAL_E:
            case AST_RATIONAL:
                return number(n->getReal());
            case AST_CONSTANT_E:
                return "exp(1)";
            case AST_CONSTANT_PI:
                return number(M_PI);
            case AST_CONSTANT_TRUE:
                return "1";
            case AST_CONSTANT_FALSE:
                return "0";
            case AST_NAME:
                return name(n->getName());
            case AST_NAME_TIME:
                throw LawError{"it reads the time, which a propensity cannot"};
            case AST_NAME_AVOGADRO:
                return number(6.02214076e23);
            case AST_PLUS:
                if (k == 0) return "0";
                return join(n, " + ");
            case AST_TIMES:
                if (k == 0) return "1";
                return join(n, " * ");
            case AST_MINUS:
                if (k == 1) return "(-" + write(n->getChild(0)) + ")";
                return join(n, " - ");
            case AST_DIVIDE:
                return join(n, " / ");
            case AST_POWER:
            case AST_FUNCTION_POWER:
                return call("pow", n);
            case AST_FUNCTION_EXP:
                return call("exp", n);
            case AST_FUNCTION_LN:
                return call("ln", n);
            case AST_FUNCTION_LOG:
                // log(x) is to base 10; log(b, x) to base b.
                if (k == 1) return call("log10", n);
                if (k == 2)
                    return "(ln(" + write(n->getChild(1)) + ") / ln(" + write(n->getChild(0)) + "))";
                break;
            case AST_FUNCTION_ROOT:
                if (k == 1) return call("sqrt", n);
                if (k == 2)
                    return "pow(" + write(n->getChild(1)) + ", 1 / " + write(n->getChild(0)) + ")";
                break;
            case AST_FUNCTION_ABS:
                return call("abs", n);
            case AST_FUNCTION_FLOOR:
                return call("floor", n);
            case AST_FUNCTION_CEILING:
                return call("ceil", n);
            case AST_FUNCTION_PIECEWISE:
                return call("piecewise", n);
            case AST_RELATIONAL_EQ:
                return relation(n, " == ");
            case AST_RELATIONAL_NEQ:
                return relation(n, " != ");
            case AST_RELATIONAL_GT:
                return relation(n, " > ");
            case AST_RELATIONAL_LT:
                return relation(n, " < ");
            case AST_RELATIONAL_GEQ:
                return relation(n, " >= ");
            case AST_RELATIONAL_LEQ:
                return relation(n, " <= ");
            case AST_LOGICAL_AND:
                return k == 0 ? "1" : call("and", n);
            case AST_LOGICAL_OR:
                return k == 0 ? "0" : call("or", n);
            case AST_LOGICAL_NOT:
                return call("not", n);
            case AST_LOGICAL_XOR: {
                // true when an odd number of arguments is true
                std::string sum;
                for (unsigned i = 0; i < k; i++)
                    sum += (i ? " + " : "") + std::string("(") + write(n->getChild(i)) + " != 0)";
                return k == 0 ? "0" : "(floor((" + sum + ") / 2) * 2 != (" + sum + "))";
            }
            default:
                break;
        }
        if (type == AST_FUNCTION_MIN) return call("min", n);
        if (type == AST_FUNCTION_MAX) return call("max", n);
        const char* nm = n->getName();
        throw LawError{std::string("it uses ") + (nm != nullptr ? "\"" + std::string(nm) + "\"" : "an operation") +
                       ", which a formula reaction does not have"};
    }

private:
    std::string name(const std::string& id) {
        if (assigned_) {
            if (const ASTNode* rule = assigned_(id)) {
                // A rule that reaches itself has no value.
                for (const std::string& open : expanding_)
                    if (open == id) throw LawError{"the assignment rule for '" + id + "' reads itself"};
                expanding_.push_back(id);
                const std::string text = "(" + write(rule) + ")";
                expanding_.pop_back();
                return text;
            }
        }
        const Symbol s = resolve_(id);
        switch (s.kind) {
            case Symbol::kNumber:
                return number(s.value);
            case Symbol::kCompartment:
                return number(volume_);
            case Symbol::kSpecies:
                if (s.concentration) return "(" + id + " / " + number(s.size > 0.0 ? s.size : volume_) + ")";
                return id;
            case Symbol::kRefused:
                break;
        }
        throw LawError{s.why};
    }

    std::string join(const ASTNode* n, const char* op) {
        std::string out = "(";
        for (unsigned i = 0; i < n->getNumChildren(); i++)
            out += (i ? op : "") + write(n->getChild(i));
        return out + ")";
    }

    std::string relation(const ASTNode* n, const char* op) {
        // a < b < c means a < b and b < c
        const unsigned k = n->getNumChildren();
        if (k < 2) throw LawError{"a comparison needs two operands"};
        std::string out;
        for (unsigned i = 0; i + 1 < k; i++)
            out += (i ? " && " : "") + std::string("(") + write(n->getChild(i)) + op +
                   write(n->getChild(i + 1)) + ")";
        return "(" + out + ")";
    }

    std::string call(const char* fn, const ASTNode* n) {
        std::string out = std::string(fn) + "(";
        for (unsigned i = 0; i < n->getNumChildren(); i++)
            out += (i ? ", " : "") + write(n->getChild(i));
        return out + ")";
    }

    const SymbolResolver& resolve_;
    double volume_;
    const RuleLookup& assigned_;
    std::vector<std::string> expanding_;
};

}  // namespace

std::string formula_text(const ASTNode* law, const SymbolResolver& resolve, double volume,
                         const RuleLookup& assigned) {
    return Writer(resolve, volume, assigned).write(law);
}

}  // namespace sbml2plenta

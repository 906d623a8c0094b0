// libFuzzer target for sbml2plenta's law reader: the input is the text of a
// kinetic law, parsed by libSBML's formula parser and expanded into a
// polynomial of mass action, whole and split into forward and reverse parts,
// as the converter expands every reaction's law.  Names S0..S9 are species
// (C0..C9 the same species as concentrations), V the compartment, k0..k9
// parameters of fixed values; any other name is refused as undefined.  A
// refusal is LawError; any crash, sanitizer report, hang or runaway
// allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <sbml/math/L3Parser.h>

#include "tools/sbml2plenta/law.h"

namespace {

using namespace sbml2plenta;

Symbol resolve(const std::string& name) {
    Symbol s;
    if (name.size() == 2 && name[1] >= '0' && name[1] <= '9') {
        const int k = name[1] - '0';
        if (name[0] == 'S' || name[0] == 'C') {
            s.kind = Symbol::kSpecies;
            s.species = k;
            s.concentration = name[0] == 'C';
            return s;
        }
        if (name[0] == 'k') {
            s.kind = Symbol::kNumber;
            s.value = 0.25 * k - 0.5;
            return s;
        }
    }
    if (name == "V") {
        s.kind = Symbol::kCompartment;
        return s;
    }
    s.why = "the name '" + name + "' is not defined";
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // a law's text has no NUL
    std::unique_ptr<ASTNode> law(SBML_parseL3Formula(text.c_str()));
    if (!law) return 0;  // not a formula: libSBML's parser refuses it
    try {
        law_polynomial(law.get(), resolve);
    } catch (const LawError&) {
    }
    try {
        Polynomial forward, reverse;
        split_difference(law.get(), resolve, forward, reverse);
    } catch (const LawError&) {
    }
    return 0;
}

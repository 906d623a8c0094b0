// The reaction-type table and the mapping from a type name to its index.
#include <cstring>

#include "model.h"

namespace plenta {

const char* const kRxnTypeNames[kNumRxnTypes] = {
    "binding",   "unique-bi-bi", "unbinding", "uni-uni", "uni-multi",
    "homo-ltor", "transv1",      "genmm",     "n-order", "undef",     "mass-action",
    "formula",
};

// There is no error value: a name the table does not know is a "binding"
// reaction, and is read, built and simulated exactly like one.
int assign_rxn_index(const char* name) {
    for (int i = 0; i < kNumRxnTypes; i++)
        if (std::strcmp(name, kRxnTypeNames[i]) == 0) return i;
    return kBinding;
}

}  // namespace plenta

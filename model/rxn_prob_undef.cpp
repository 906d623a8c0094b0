// Built-in propensities of "undef" reactions: a fixed 38-reaction network of
// 34 species, selected by the reaction's id.  The formulas read species by
// position, not through the substrate list, and use a fixed volume factor.
#include <cstdint>

#include "model.h"

namespace plenta {

namespace {

// Takes the place of the volume in the bimolecular formulas of this network.
constexpr double kUndefVolume = 5e-16;

enum class UndefLaw { kFirstOrder, kBimolecular, kDimerisation };

struct UndefFormula {
    UndefLaw law;
    int rate;  // which rate constant: k_0, or k_1 for entry 0
    int x;     // species positions read
    int y;     // second species of a bimolecular formula, else -1
};

constexpr int kNumUndefFormulas = 38;

constexpr UndefFormula kUndefFormulas[kNumUndefFormulas] = {
    {UndefLaw::kBimolecular, 1, 0, 1},    // 0
    {UndefLaw::kFirstOrder, 0, 2, -1},    // 1
    {UndefLaw::kFirstOrder, 0, 2, -1},    // 2
    {UndefLaw::kFirstOrder, 0, 3, -1},    // 3
    {UndefLaw::kBimolecular, 0, 5, 4},    // 4
    {UndefLaw::kFirstOrder, 0, 6, -1},    // 5
    {UndefLaw::kFirstOrder, 0, 6, -1},    // 6
    {UndefLaw::kFirstOrder, 0, 7, -1},    // 7
    {UndefLaw::kFirstOrder, 0, 8, -1},    // 8
    {UndefLaw::kFirstOrder, 0, 4, -1},    // 9
    {UndefLaw::kBimolecular, 0, 0, 11},   // 10
    {UndefLaw::kFirstOrder, 0, 12, -1},   // 11
    {UndefLaw::kFirstOrder, 0, 12, -1},   // 12
    {UndefLaw::kFirstOrder, 0, 13, -1},   // 13
    {UndefLaw::kBimolecular, 0, 5, 14},   // 14
    {UndefLaw::kFirstOrder, 0, 15, -1},   // 15
    {UndefLaw::kFirstOrder, 0, 15, -1},   // 16
    {UndefLaw::kFirstOrder, 0, 16, -1},   // 17
    {UndefLaw::kFirstOrder, 0, 17, -1},   // 18
    {UndefLaw::kFirstOrder, 0, 14, -1},   // 19
    {UndefLaw::kDimerisation, 0, 17, -1}, // 20
    {UndefLaw::kFirstOrder, 0, 20, -1},   // 21
    {UndefLaw::kDimerisation, 0, 20, -1}, // 22
    {UndefLaw::kFirstOrder, 0, 21, -1},   // 23
    {UndefLaw::kBimolecular, 0, 8, 22},   // 24
    {UndefLaw::kFirstOrder, 0, 23, -1},   // 25
    {UndefLaw::kBimolecular, 0, 23, 24},  // 26
    {UndefLaw::kFirstOrder, 0, 25, -1},   // 27
    {UndefLaw::kFirstOrder, 0, 25, -1},   // 28
    {UndefLaw::kFirstOrder, 0, 26, -1},   // 29
    {UndefLaw::kBimolecular, 0, 21, 27},  // 30
    {UndefLaw::kFirstOrder, 0, 28, -1},   // 31
    {UndefLaw::kBimolecular, 0, 28, 29},  // 32
    {UndefLaw::kFirstOrder, 0, 30, -1},   // 33
    {UndefLaw::kFirstOrder, 0, 30, -1},   // 34
    {UndefLaw::kFirstOrder, 0, 31, -1},   // 35
    {UndefLaw::kBimolecular, 0, 8, 32},   // 36
    {UndefLaw::kFirstOrder, 0, 33, -1},   // 37
};

bool has_formula(int id) { return id >= 0 && id < kNumUndefFormulas; }

}  // namespace

double rxn_prob_undef(const Reaction& reaction, const std::vector<Compound>& species) {
    if (!has_formula(reaction.id)) return 0.0;
    const UndefFormula& f = kUndefFormulas[reaction.id];
    const double k = reaction.rates[f.rate].value;
    const int cx = species[f.x].count;
    const double x = static_cast<double>(cx);
    switch (f.law) {
        case UndefLaw::kFirstOrder:
            return k * x;
        case UndefLaw::kBimolecular:
            return k * x * static_cast<double>(species[f.y].count) / kUndefVolume;
        case UndefLaw::kDimerisation:
            // The count minus one is formed on the integer count (64-bit here,
            // so that no count can overflow) and then converted.
            return k * x * static_cast<double>(static_cast<std::int64_t>(cx) - 1) / 2.0 /
                   kUndefVolume;
    }
    return 0.0;
}

int rxn_prob_undef_max_species(int id) {
    if (!has_formula(id)) return -1;
    const UndefFormula& f = kUndefFormulas[id];
    return f.x > f.y ? f.x : f.y;
}

}  // namespace plenta

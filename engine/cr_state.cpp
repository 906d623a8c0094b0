// State of the composition-rejection method: the sparse stoichiometry rows,
// and the reactions' propensities in groups by binary exponent with their
// group sums (Slepoy, Thompson and Plimpton 2008).
//
// A propensity a > 0 with frexp(a) = m * 2^e, m in [0.5, 1), belongs to group
// e: all its members lie in [2^(e-1), 2^e), so a uniformly chosen member is
// accepted with probability a / 2^e = m >= 1/2.  Every exponent a finite
// double can have has its own group, so propensities that grow or shrink by
// many orders of magnitude only move between groups.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "engine.h"
#include "model/row_rule.h"

namespace plenta {

namespace {

// Keeps `active` ordered by exponent, highest first; at most kCrNumGroups
// entries, reserved at build, so this never allocates.
void activate(CrState& st, int g) {
    auto at = std::lower_bound(st.active.begin(), st.active.end(), g, std::greater<int>());
    st.active.insert(at, g);
}

void deactivate(CrState& st, int g) {
    auto at = std::lower_bound(st.active.begin(), st.active.end(), g, std::greater<int>());
    st.active.erase(at);
}

void add_member(CrState& st, int rxn, int g, double a) {
    CrGroup& group = st.groups[static_cast<std::size_t>(g)];
    if (group.members.empty()) {
        activate(st, g);
        group.sum = 0.0;
    }
    CrReaction& r = st.rxns[static_cast<std::size_t>(rxn)];
    r.pos = static_cast<int>(group.members.size());
    group.members.push_back(rxn);
    group.sum += a;
}

// Swap-remove: the last member takes the leaver's place.  An emptied group's
// sum is set to exactly 0, so no rounding residue of its past members stays
// in the total.
void remove_member(CrState& st, int rxn, int g) {
    CrReaction& r = st.rxns[static_cast<std::size_t>(rxn)];
    CrGroup& group = st.groups[static_cast<std::size_t>(g)];
    const int last = group.members.back();
    group.members[static_cast<std::size_t>(r.pos)] = last;
    st.rxns[static_cast<std::size_t>(last)].pos = r.pos;
    group.members.pop_back();
    if (group.members.empty()) {
        group.sum = 0.0;
        deactivate(st, g);
    } else {
        group.sum -= r.a;
    }
    r.pos = -1;
}

// ---- Firing blocks ----

struct RowEntry {
    int species;
    int change;
};

// One row under construction: "set" overwrites an entry and "add" adds to
// it, as in the dense matrix, so a product that is also a substrate ends as
// the dense row does.
struct RowBuilder {
    std::vector<RowEntry> entries;

    RowEntry& entry(int species) {
        for (RowEntry& e : entries)
            if (e.species == species) return e;
        entries.push_back(RowEntry{species, 0});
        return entries.back();
    }
    void add(int species, int v) { entry(species).change += v; }
    void set(int species, int v) { entry(species).change = v; }
};

// Row entries that net to zero change nothing and are left out.  A firing
// goes into the reaction's own line when it fits there.
void build_blocks(CrState& st, const std::vector<Reaction>& reactions, const ModelSizes& model) {
    st.blocks.clear();
    RowBuilder row;
    std::vector<int> firing;
    for (int r = 0; r < model.num_rxns; r++) {
        const Reaction& rxn = reactions[static_cast<std::size_t>(r)];
        row.entries.clear();
        apply_row_rule(rxn, model.num_subs[r], model.num_prods[r], row);
        row.entries.erase(std::remove_if(row.entries.begin(), row.entries.end(),
                                         [](const RowEntry& e) { return e.change == 0; }),
                          row.entries.end());
        firing.clear();
        for (const RowEntry& e : row.entries) {
            firing.push_back(e.species);
            firing.push_back(e.change);
        }
        firing.insert(firing.end(), rxn.dependents.begin(), rxn.dependents.end());
        CrReaction& cr = st.rxns[static_cast<std::size_t>(r)];
        if (firing.size() <= static_cast<std::size_t>(kCrInlineInts)) {
            cr.num_changes = static_cast<std::uint8_t>(row.entries.size());
            cr.num_deps = static_cast<std::uint8_t>(rxn.dependents.size());
            std::copy(firing.begin(), firing.end(), cr.firing);
            continue;
        }
        cr.num_changes = kCrInBlocks;
        cr.firing[0] = static_cast<int>(st.blocks.size());
        st.blocks.push_back(static_cast<int>(row.entries.size()));
        st.blocks.push_back(static_cast<int>(rxn.dependents.size()));
        st.blocks.insert(st.blocks.end(), firing.begin(), firing.end());
    }
}

// The mass-action types, as calc_rxn_prob_inline evaluates them: first order
// in the first substrate, pairs of the first substrate, or encounters of the
// first two.  A record without the substrates or the rate constant its
// formula reads is left to the record's own evaluation.
CrKind kind_of(const Reaction& rxn, int num_cmpds) {
    CrKind kind = kCrGeneral;
    std::size_t subs = 1;
    switch (rxn.rxn_index) {
        case kUniUni:
        case kUniMulti:
        case kUnbinding:
            kind = kCrFirstOrder;
            break;
        case kHomoLtor:
            kind = kCrDimerisation;
            break;
        case kBinding:
        case kUniqueBiBi:
            kind = kCrBimolecular;
            subs = 2;
            break;
        default:
            return kCrGeneral;
    }
    if (rxn.rates.empty() || rxn.subs_index.size() < subs) return kCrGeneral;
    for (std::size_t k = 0; k < subs; k++)
        if (rxn.subs_index[k] < 0 || rxn.subs_index[k] >= num_cmpds) return kCrGeneral;
    return kind;
}

void build_inputs(CrState& st, const std::vector<Reaction>& reactions, const ModelSizes& model,
                  const std::vector<Compound>& species) {
    st.own_counts = true;
    for (int r = 0; r < model.num_rxns; r++) {
        const Reaction& rxn = reactions[static_cast<std::size_t>(r)];
        CrReaction& cr = st.rxns[static_cast<std::size_t>(r)];
        const CrKind kind = kind_of(rxn, model.num_cmpds);
        cr.kind = kind;
        if (kind == kCrGeneral) {
            st.own_counts = false;
            continue;
        }
        cr.k0 = rxn.rates[0].value;
        cr.s0 = rxn.subs_index[0];
        cr.s1 = kind == kCrBimolecular ? rxn.subs_index[1] : cr.s0;
    }
    st.counts.clear();
    if (st.own_counts)
        for (int s = 0; s < model.num_cmpds; s++)
            st.counts.push_back(species[static_cast<std::size_t>(s)].count);
    st.fired.clear();
    st.fired.reserve(static_cast<std::size_t>(model.num_rxns));
}

// 2^-e for the members' acceptance test a * 2^-e < u; exact wherever it is a
// finite double (a power of two), left 0 for the few smallest exponents.
double unscale_of(int g) {
    const double u = std::ldexp(1.0, -(g + kCrMinExponent));
    return std::isfinite(u) ? u : 0.0;
}

}  // namespace

constexpr std::size_t kHugePage = std::size_t{2} << 20;

void* cr_allocate(std::size_t bytes, std::size_t align) {
    if (bytes < kHugePage) return ::operator new(bytes, std::align_val_t{align});
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(p, rounded, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
#endif
    return p;
}

void cr_deallocate(void* p, std::size_t bytes, std::size_t align) {
    if (bytes < kHugePage) {
        ::operator delete(p, std::align_val_t{align});
        return;
    }
    std::free(p);
}

void cr_build(CrState& st, const std::vector<Reaction>& reactions, const ModelSizes& model,
              const std::vector<Compound>& species) {
    st.rxns.assign(static_cast<std::size_t>(model.num_rxns), CrReaction{});
    st.prefetch = model.num_rxns >= kCrPrefetchFrom;
    build_blocks(st, reactions, model);
    build_inputs(st, reactions, model, species);
    st.groups.resize(static_cast<std::size_t>(kCrNumGroups));
    for (int g = 0; g < kCrNumGroups; g++) {
        CrGroup& group = st.groups[static_cast<std::size_t>(g)];
        group.members.clear();  // keeps the storage of an earlier run
        group.sum = 0.0;
        group.unscale = unscale_of(g);
    }
    st.active.clear();
    st.active.reserve(static_cast<std::size_t>(kCrNumGroups));
    for (int r = 0; r < model.num_rxns; r++) cr_set_propensity(st, r, reactions[r].ai);
    cr_resum(st);
    st.firings_checked = 0;
}

void cr_set_propensity(CrState& st, int rxn, double a) {
    CrReaction& r = st.rxns[static_cast<std::size_t>(rxn)];
    const int g = cr_group_of(a);
    const int old = cr_group_of(r.a);
    if (g >= 0 && g == old) {
        st.groups[static_cast<std::size_t>(g)].sum += a - r.a;
    } else {
        if (old >= 0) remove_member(st, rxn, old);
        if (g >= 0) add_member(st, rxn, g, a);
    }
    r.a = a;
}

// Each group's members are summed in member order, from their own
// propensities; the total follows from the group sums.
void cr_resum(CrState& st) {
    for (int g : st.active) {
        CrGroup& group = st.groups[static_cast<std::size_t>(g)];
        double sum = 0.0;
        for (int m : group.members) sum += st.rxns[static_cast<std::size_t>(m)].a;
        group.sum = sum;
    }
    st.firings_since_resum = 0;
    st.total_at_resum = cr_total(st);
    st.resums += 1;
}

void cr_sync_propensities(const CrState& st, std::vector<Reaction>& reactions) {
    for (std::size_t r = 0; r < st.rxns.size(); r++) reactions[r].ai = st.rxns[r].a;
}

double cr_total(const CrState& st) {
    double a0 = 0.0;
    for (int g : st.active) a0 += st.groups[static_cast<std::size_t>(g)].sum;
    return a0;
}

}  // namespace plenta

// The next reaction event by composition-rejection (Slepoy, Thompson and
// Plimpton 2008): an exponential waiting time with rate a0, a group chosen
// with probability proportional to its sum, and a member of the group chosen
// by rejection against the group's bound.  The expected work does not depend
// on the number of reactions: the groups are few (one per binary exponent in
// use) and at least half of the candidates are accepted.
#include <cmath>
#include <limits>

#include "engine.h"
#include "random/ranf_ahead.h"

namespace plenta {

namespace {

// Group sums are kept by differences, so rounding error accumulates; they
// are summed afresh every kCrResumInterval firings, and at once when the
// total has fallen far below its last fresh value, where the accumulated
// error of the large terms that left would weigh most on what remains.
void control_drift(CrState& st, double& a0) {
    if (st.firings_since_resum >= kCrResumInterval) {
        cr_resum(st);
        a0 = st.total_at_resum;
        return;
    }
    a0 = cr_total(st);
    if (a0 < kCrResumFall * st.total_at_resum) {
        cr_resum(st);
        a0 = st.total_at_resum;
    }
}

// The first group, highest exponent first, whose running sum exceeds r;
// when rounding (or u2 = 1.0) leaves none, the last group in use.
int select_group(const CrState& st, double r) {
    double sum = 0.0;
    for (int g : st.active) {
        sum = sum + st.groups[static_cast<std::size_t>(g)].sum;
        if (sum > r) return g;
    }
    return st.active.back();
}

// A member's acceptance probability, its propensity scaled into the group:
// a / 2^e in [0.5, 1), the mantissa of a, exact (scaling by a power of two).
double scaled_propensity(const CrState& st, const CrGroup& group, int g, int rxn) {
    const double a = st.rxns[static_cast<std::size_t>(rxn)].a;
    if (group.unscale != 0.0) return a * group.unscale;
    return std::ldexp(a, -(g + kCrMinExponent));
}

// Candidates are drawn uniformly from the group's members (u3 gives the
// position) and accepted with probability a / 2^e (u4 < the scaled
// propensity; this is u4 * 2^e < a without the overflow of 2^1024).  Two
// uniforms per candidate rather than the integer and fractional parts of
// one: a single-precision uniform has too few bits to carry both for large
// groups.  u3 = 1.0, which ranf can return, names no member and is rejected
// like a refused candidate.  A group of one member needs no draw: choosing
// the group with probability a / a0 has already chosen its member with that
// probability.
int select_member(const CrState& st, int g, RanfAhead& draws) {
    const CrGroup& group = st.groups[static_cast<std::size_t>(g)];
    const std::vector<int>& members = group.members;
    const int n = static_cast<int>(members.size());
    if (n == 1) return members[0];
    const double dn = static_cast<double>(n);
    for (;;) {
        const double u3 = static_cast<double>(draws.take());
        const int k = static_cast<int>(u3 * dn);
        if (k >= n) continue;
        const double u4 = static_cast<double>(draws.take());
        const int rxn = members[static_cast<std::size_t>(k)];
        if (u4 < scaled_propensity(st, group, g, rxn)) return rxn;
    }
}

// The members of the group a u_group would pick over the groups as they
// are now, and the entry a candidate drawn with u_position in it would be
// (null for a position past the end).
const std::vector<int>& guessed_group(const CrState& st, double a0, float u_group) {
    const int g = select_group(st, static_cast<double>(u_group) * a0);
    return st.groups[static_cast<std::size_t>(g)].members;
}

const int* guessed_member(const std::vector<int>& members, float u_position) {
    const std::size_t n = members.size();
    if (n == 1) return members.data();
    const auto k = static_cast<std::size_t>(static_cast<double>(u_position) * static_cast<double>(n));
    return k < n ? &members[k] : nullptr;
}

}  // namespace

// The next event's draws can be seen before they are drawn: the group its
// u2 picks over the current sums, and the candidates its u3 (and, after a
// rejection, its u5) pick in that group, are good guesses of the reaction
// that fires next (the firing in between changes the sums a little).
// Fetching those reactions' lines now overlaps their memory latency with
// the firing.  One event further on (if the next accepts its first
// candidate, its draws are u5 to u8) only the member entry is fetched: the
// next call reads it to fetch the line.  Only a hint: nothing is drawn or
// changed.
void cr_prefetch_next(const CrState& st, const RanfAhead& draws, double a0,
                      const int* fire_count) {
    if (st.active.empty()) return;
    const std::vector<int>& next = guessed_group(st, a0, draws.peek(1));
    for (int position : {2, 4}) {
        const int* member = guessed_member(next, draws.peek(position));
        if (member == nullptr) continue;
        __builtin_prefetch(&st.rxns[static_cast<std::size_t>(*member)]);
        __builtin_prefetch(&fire_count[*member], 1);
    }
    if (const int* member = guessed_member(guessed_group(st, a0, draws.peek(5)), draws.peek(6)))
        __builtin_prefetch(member);
}

void find_next_reaction_cr(double& next_time, int& next_rxn, double& a0, CrState& st,
                           double t) {
    RanfAhead draws;
    find_next_reaction_cr(next_time, next_rxn, a0, st, t, draws);
}

void find_next_reaction_cr(double& next_time, int& next_rxn, double& a0, CrState& st,
                           double t, RanfAhead& draws) {
    control_drift(st, a0);
    if (st.active.empty()) {
        // Nothing can fire: as under the direct method the next time is
        // infinite and the reaction 0, but no deviate is spent on it.
        next_time = std::numeric_limits<double>::infinity();
        next_rxn = 0;
        return;
    }
    // Draw order: the waiting time's deviate, the group's, then the
    // (position, acceptance) pairs (none for a group of one member).
    const double u1 = static_cast<double>(draws.take());
    next_time = t + (1.0 / a0) * std::log(1.0 / u1);
    const double u2 = static_cast<double>(draws.take());
    const int g = select_group(st, u2 * a0);
    next_rxn = select_member(st, g, draws);
}

}  // namespace plenta

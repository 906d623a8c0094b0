// cr_test_util.h - runs of the composition-rejection method over the engine
// tests' networks, and a check of the method's state against its definition.
#ifndef PLENTA_TESTS_ENGINE_CR_TEST_UTIL_H
#define PLENTA_TESTS_ENGINE_CR_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine_test_util.h"

namespace plenta {
namespace crtest {

// Start of a run at time t0: every propensity, the state from them, and the
// first event drawn by composition-rejection into the kept state.
inline void start_run(testutil::Network& net, CrState& st, double t0 = 0.0) {
    net.t = t0;
    update_rxn_prob_all(net.reactions, net.species, net.params, net.model, t0);
    cr_build(st, net.reactions, net.model, net.species);
    find_next_reaction_cr(net.params.next_time, net.params.next_rxn, net.params.total_prob, st,
                          t0);
}

// The records' ai are brought up to date after every call, as a front end
// that reads them does.
inline void run_interval(testutil::Network& net, CrState& st) {
    vesk_cr(st, net.reactions, net.model, net.species, net.params, net.event_log(),
            net.event_count, net.fire_count, net.t);
    cr_sync_propensities(st, net.reactions);
}

// Every reaction that can fire sits in the group of its exponent, at the
// position it records, and the group's factor scales it exactly to its
// mantissa; the active list holds exactly the non-empty groups, highest
// first; every group sum lies within rel_tol of a fresh summation of its
// members.
inline void expect_consistent(const CrState& st, const std::vector<Reaction>& reactions,
                              double rel_tol) {
    ASSERT_EQ(st.rxns.size(), reactions.size());
    std::size_t fireable = 0;
    for (std::size_t r = 0; r < reactions.size(); r++) {
        const double a = reactions[r].ai;
        const CrReaction& cr = st.rxns[r];
        EXPECT_TRUE(cr.a == a || (std::isnan(a) && std::isnan(cr.a))) << "reaction " << r;
        if (!(a > 0.0 && std::isfinite(a))) {
            EXPECT_EQ(cr_group_of(a), -1) << "reaction " << r << " with a = " << a;
            EXPECT_EQ(cr.pos, -1) << "reaction " << r << " with a = " << a;
            continue;
        }
        fireable++;
        int e = 0;
        const double m = std::frexp(a, &e);
        ASSERT_EQ(cr_group_of(a), e - kCrMinExponent) << "reaction " << r;
        const CrGroup& group = st.groups[e - kCrMinExponent];
        EXPECT_EQ(group.members.at(cr.pos), static_cast<int>(r));
        // The acceptance probability the selection uses is the mantissa.
        if (group.unscale != 0.0) {
            EXPECT_EQ(a * group.unscale, m) << "reaction " << r;
        }
    }
    std::vector<int> nonempty;
    std::size_t members = 0;
    for (int g = kCrNumGroups - 1; g >= 0; g--) {
        const CrGroup& group = st.groups[g];
        members += group.members.size();
        if (group.members.empty()) {
            EXPECT_EQ(group.sum, 0.0) << "empty group " << g;
            continue;
        }
        nonempty.push_back(g);
        double fresh = 0.0;
        for (int m : group.members) fresh += reactions[m].ai;
        EXPECT_NEAR(group.sum, fresh, rel_tol * fresh) << "group " << g;
    }
    EXPECT_EQ(st.active, nonempty);
    EXPECT_EQ(members, fireable) << "a reaction that cannot fire is still in a group";
}

}  // namespace crtest
}  // namespace plenta

#endif  // PLENTA_TESTS_ENGINE_CR_TEST_UTIL_H

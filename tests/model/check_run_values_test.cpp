// The values a run may start from, and the sentences that name a fault.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"

namespace plenta {
namespace {

struct SmallModel {
    ModelSizes sizes;
    std::vector<Compound> species;
    std::vector<Reaction> reactions;
    SimParams params;

    // A -> B (uni-uni, k = 1) and an "undef" reaction, volume 1, direct method.
    SmallModel() {
        sizes.num_cmpds = 2;
        sizes.num_rxns = 2;
        species.resize(2);
        std::snprintf(species[0].name, kNameLen, "A");
        std::snprintf(species[1].name, kNameLen, "B");
        species[0].count = 10;
        reactions.resize(2);
        reactions[0].rxn_index = kUniUni;
        reactions[0].rates.resize(1);
        reactions[0].rates[0].value = 1.0;
        reactions[1].rxn_index = kUndef;
        reactions[1].rates.resize(2);
        reactions[1].rates[1].value = -2.0;  // an offset of a built-in formula
        params.volume = 1.0;
        params.algorithm = kDirectMethod;
    }
    std::string check() const { return check_run_values(sizes, species, reactions, params); }
};

TEST(CheckRunValues, AModelThatCanRunPasses) { EXPECT_EQ(SmallModel().check(), ""); }

TEST(CheckRunValues, NamesTheFirstValueARunCannotTake) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    SmallModel m;
    m.species[1].count = -1;
    EXPECT_EQ(m.check(), "species 1 (B): count -1 is below 0.");

    m = SmallModel();
    m.reactions[0].rates[0].value = -1.0;
    EXPECT_EQ(m.check(), "reaction 1: rate constant 0 is -1, not a finite number >= 0.");
    m.reactions[0].rates[0].value = nan;
    EXPECT_EQ(m.check(), "reaction 1: rate constant 0 is nan, not a finite number >= 0.");

    m = SmallModel();
    m.reactions[1].rates[0].value = inf;
    EXPECT_EQ(m.check(), "reaction 2: rate constant 0 is inf, not a finite number.");

    m = SmallModel();
    for (double v : {0.0, -1.0, nan, inf}) {
        m.params.volume = v;
        EXPECT_NE(m.check().find("volume = "), std::string::npos) << v;
    }
}

TEST(CheckRunValues, TauErrorIsReadOnlyByTauLeaping) {
    SmallModel m;
    m.params.tau_error = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(m.check(), "");
    m.params.algorithm = kTauLeaping;
    EXPECT_EQ(m.check(), "tau_error = nan is not a finite number > 0.");
    m.params.tau_error = 0.03;
    EXPECT_EQ(m.check(), "");
}

TEST(CheckRunValues, SeedsAndTimes) {
    EXPECT_EQ(check_randseed(1), "");
    EXPECT_EQ(check_randseed(kMaxRandseed), "");
    EXPECT_EQ(check_randseed(0), "randseed = 0 is outside 1..2147483398.");
    EXPECT_NE(check_randseed(99999999999LL), "");
    EXPECT_NE(check_randseed(kMaxRandseed + 1), "");
    EXPECT_EQ(check_finite_time("time_end", 10.0), "");
    EXPECT_EQ(check_finite_time("time_start", std::nan("")), "time_start = nan is not a finite time.");
}

TEST(DescribeRunFault, NamesReactionTimeAndValue) {
    RunFault f;
    EXPECT_FALSE(f.raised());
    f.kind = RunFault::kBadPropensity;
    f.rxn = 2;
    f.time = 2.5;
    f.value = -1.0;
    EXPECT_TRUE(f.raised());
    EXPECT_EQ(describe_run_fault(f),
              "reaction 3 at time 2.5: propensity -1 is not a finite number >= 0.");
    f.kind = RunFault::kCountOverflow;
    f.species = 4;
    f.value = 2147483648.0;
    EXPECT_EQ(describe_run_fault(f), "reaction 3 at time 2.5: species 4 would reach 2147483648, "
                                     "beyond the largest count 2147483647.");
}

}  // namespace
}  // namespace plenta

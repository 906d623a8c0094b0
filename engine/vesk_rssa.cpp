// Interval run of the rejection-based method: candidates at the times of a
// Poisson process of rate U (the sum of the upper bounds), each chosen in
// proportion to its upper bound and fired with probability a / aU; up to
// and including the next snapshot boundary, or until a firing fills the
// event log.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/rssa.h"
#include "random/ranf_held.h"

namespace plenta {

namespace {

// Group sums and the total are kept by differences; they are summed afresh
// after as many updates as there are reactions (at least 2^16), and when
// the total has fallen far below the largest group's sum.
void control_drift(RssaState& st, int num_rxns) {
    const long long every = num_rxns > 65536 ? num_rxns : 65536;
    if (st.updates_since_resum >= every || st.total < 1e-6 * st.total_at_resum) rssa_resum(st);
}

int select_group(const RssaState& st, double r) {
    double sum = 0.0;
    for (int g : st.active) {
        sum = sum + st.groups[static_cast<std::size_t>(g)].sum;
        if (sum > r) return g;
    }
    return st.active.back();
}

// 2^-e of group g: the group's factor, or ldexp where that is not a finite double.
double scaled(const RssaGroup& group, int g, double a) {
    if (group.unscale != 0.0) return a * group.unscale;
    return std::ldexp(a, -(g + kCrMinExponent));
}

// A trial in a group whose factor 2^-e is not a finite double (bounds near
// the ends of the double range): the same steps with ldexp.
int trial_in_extreme_group(RssaState& st, RanfHeld& draws, int g,
                           const std::vector<Reaction>& reactions,
                           const std::vector<Compound>& species, const SimParams& params,
                           const ModelSizes& model) {
    const RssaGroup& group = st.groups[static_cast<std::size_t>(g)];
    const int n = static_cast<int>(group.members.size());
    const double dn = static_cast<double>(n);
    int j = 0;
    double u = 0.0;
    if (n == 1) {
        j = group.members[0];
        u = static_cast<double>(draws.take()) * scaled(group, g, st.rxns[static_cast<std::size_t>(j)].upper);
    } else {
        for (;;) {
            const int k = static_cast<int>(static_cast<double>(draws.take()) * dn);
            if (k >= n) continue;
            u = static_cast<double>(draws.take());
            j = group.members[static_cast<std::size_t>(k)];
            if (u < scaled(group, g, st.rxns[static_cast<std::size_t>(j)].upper)) break;
        }
    }
    const RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
    if (u < scaled(group, g, r.lower)) return j;
    const double a = rssa_propensity(st, j, reactions, species, params, model);
    return u < scaled(group, g, a) ? j : -1;
}

// One trial: a candidate in proportion to its upper bound, then whether it
// fires.  A member of a group is accepted as candidate when u < aU / 2^e;
// given that, u is uniform below aU / 2^e, so it fires when u < a / 2^e:
// at once when u < aL / 2^e, else after computing a.  Returns the reaction
// that fires, or -1 for a rejected candidate.  The group's factor 2^-e is
// read once; a group where it is not a finite double takes the ldexp path.
int trial(RssaState& st, RanfHeld& draws, const std::vector<Reaction>& reactions,
          const std::vector<Compound>& species, const SimParams& params,
          const ModelSizes& model) {
    const double u2 = static_cast<double>(draws.take());
    const int g = select_group(st, u2 * st.total);
    const RssaGroup& group = st.groups[static_cast<std::size_t>(g)];
    const int* members = group.members.data();
    const int n = static_cast<int>(group.members.size());
    const RssaReaction* rxns = st.rxns.data();
    const double unscale = group.unscale;
    if (unscale == 0.0) return trial_in_extreme_group(st, draws, g, reactions, species, params, model);
    int j = 0;
    double u = 0.0;
    if (n == 1) {
        j = members[0];
        u = static_cast<double>(draws.take()) * (rxns[j].upper * unscale);
    } else {
        const double dn = static_cast<double>(n);
        for (;;) {
            const int k = static_cast<int>(static_cast<double>(draws.take()) * dn);
            if (k >= n) continue;
            u = static_cast<double>(draws.take());
            j = members[k];
            if (u < rxns[j].upper * unscale) break;
        }
    }
    const RssaReaction& r = rxns[j];
    if (u < r.lower * unscale) return j;
    const double a = rssa_propensity(st, j, reactions, species, params, model);
    return u < a * unscale ? j : -1;
}

// The memory of the coming trials is fetched while this one's firing goes
// on.  Their draws can be seen before they are drawn: after a trial the
// generator's next value is its waiting time's, then come the next trial's
// group (u2) and, in a group of more than one member, its (position,
// acceptance) pairs, then that trial's waiting time, and so on.  Over the
// groups as they are now (a firing changes few sums, and little), the next
// trial's first and second candidates' lines are fetched, and the entry in
// its group of the first candidate of the trial after, guessing that the
// next accepts its first (the entry is then present when the next trial
// fetches its line).  In networks whose lines outgrow the caches each of
// these is a miss otherwise, one after the other.  Only fetches and loads of
// entries: a load of a line not yet present would wait on memory here (the
// species of the next candidate, through its line, measured slower).
// Nothing is drawn or changed.
const int* guessed_member(const RssaState& st, int g, float u_position) {
    const std::vector<int>& members = st.groups[static_cast<std::size_t>(g)].members;
    const std::size_t n = members.size();
    if (n == 1) return members.data();
    const auto k = static_cast<std::size_t>(static_cast<double>(u_position) * static_cast<double>(n));
    return k < n ? &members[k] : nullptr;
}

// From how many reactions the fetching pays: their lines (64 bytes each)
// then fill several MiB, far more than the core's cache, and the trials'
// misses dominate.  Below, the lines mostly stay in the shared cache and the
// two extra scans of the groups cost more than the fetches save (on the
// B-cell receptor network, 24,388 reactions, a third more time; on a ring
// of 10^4 reactions, nothing either way).
constexpr int kRssaPrefetchFrom = 1 << 16;

// Inlined into the loop: as a function of its own that writes nothing, it
// would be found free of effects (a fetch is not one) and its calls dropped.
[[gnu::always_inline]] inline void prefetch_ahead(const RssaState& st, const RanfHeld& draws) {
    if (st.active.empty()) return;
    static_assert(RanfHeld::kAhead > 6, "the next two trials' first draws are visible");
    const int g = select_group(st, static_cast<double>(draws.peek(1)) * st.total);
    const bool single = st.groups[static_cast<std::size_t>(g)].members.size() == 1;
    if (const int* first = guessed_member(st, g, draws.peek(2)))
        __builtin_prefetch(&st.rxns[static_cast<std::size_t>(*first)]);
    if (!single)
        if (const int* second = guessed_member(st, g, draws.peek(4)))
            __builtin_prefetch(&st.rxns[static_cast<std::size_t>(*second)]);
    // After u2, k, u and the waiting time (u2, u and the waiting time in a group of one).
    const int after = single ? 4 : 5;
    const int g2 = select_group(st, static_cast<double>(draws.peek(after)) * st.total);
    if (const int* entry = guessed_member(st, g2, draws.peek(after + 1))) __builtin_prefetch(entry);
}

// The counts after reaction j fired, new intervals and bounds for the
// species that left theirs, exact values for the readers through records.
// A rebound reads only the intervals, so it can follow each count at once;
// the record readers read every count of their reaction, so they come after
// all of them.  kRecords: some reaction reads the species records, which
// then follow every count.
template <bool kRecords>
inline void apply_change(RssaState& st, int s, int d, std::vector<Compound>& species) {
    RssaSpecies& f = st.sp[static_cast<std::size_t>(s)];
    const int x = f.count + d;
    const int down = f.down + d;
    const int up = f.up - d;
    f.count = x;
    if (kRecords) species[static_cast<std::size_t>(s)].count = x;
    if (down < 0 || up < 0) {
        rssa_rebound(st, s);
    } else {
        f.down = static_cast<std::uint16_t>(down);
        f.up = static_cast<std::uint16_t>(up);
    }
}

template <bool kRecords>
void fire(RssaState& st, int j, std::vector<Reaction>& reactions,
          std::vector<Compound>& species, const SimParams& params, const ModelSizes& model) {
    RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
    if (r.fired++ == 0) st.fired.push_back(j);  // at most one entry a reaction: reserved at build
    const int* pairs = nullptr;
    int m = r.num_changes;
    if (m != kRssaChangesOutside) {
        for (int q = 0; q < m; q++) apply_change<kRecords>(st, r.change_species[q], r.change_delta[q], species);
    } else {
        pairs = st.changes.data() + r.change_species[0] + 1;
        m = st.changes[static_cast<std::size_t>(r.change_species[0])];
        for (int q = 0; q < m; q++) apply_change<kRecords>(st, pairs[2 * q], pairs[2 * q + 1], species);
    }
    if (!kRecords) return;
    for (int q = 0; q < m; q++) {
        const int s = pairs != nullptr ? pairs[2 * q] : r.change_species[q];
        const std::size_t su = static_cast<std::size_t>(s);
        const int* rd = st.readers.data();
        for (int p = st.record_start[su]; p < st.reader_start[su + 1]; p++) {
            const int k = rd[p];
            const int rxn = st.rxns[static_cast<std::size_t>(k)].rxn;
            const double a = calc_rxn_prob_vesk(reactions[static_cast<std::size_t>(rxn)], species,
                                                params, model, rxn);
            st.rxns[static_cast<std::size_t>(k)].lower = a;
            rssa_set_upper(st, k, a);
        }
    }
}

// The fire counts, and the species records' counts from the method's own
// (when nothing else keeps them current), of the reactions fired since the
// last write: no other count can differ.
void write_back(RssaState& st, std::vector<Compound>& species, std::vector<int>& fire_count) {
    for (int j : st.fired) {
        RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
        fire_count[static_cast<std::size_t>(r.rxn)] += r.fired;
        r.fired = 0;
        if (st.records) continue;
        const int* pairs = r.change_species;
        int stride = 1;
        int m = r.num_changes;
        if (m == kRssaChangesOutside) {
            pairs = st.changes.data() + r.change_species[0] + 1;
            stride = 2;
            m = st.changes[static_cast<std::size_t>(r.change_species[0])];
        }
        for (int q = 0; q < m; q++) {
            const int s = pairs[stride * q];
            species[static_cast<std::size_t>(s)].count = st.sp[static_cast<std::size_t>(s)].count;
        }
    }
    st.fired.clear();
}

}  // namespace

void vesk_rssa(RssaState& st, std::vector<Reaction>& reactions, const ModelSizes& model,
               std::vector<Compound>& species, SimParams& params, EventLog evlog,
               int& event_count, std::vector<int>& fire_count, double& t) {
    int c = event_count;
    const double boundary = interval_end(t, params);
    const bool checking = params.event_check != nullptr;
    const bool logging = params.eventlog_flag == 1;
    const int capacity = params.eventlog_arraysize;
    double tau = params.next_time;
    RanfHeld draws;  // nothing else draws during the call; written back on return
    const bool prefetch = model.num_rxns >= kRssaPrefetchFrom;
    bool log_full = false;  // a firing just filled the event log
    const bool records = st.records;
    while (boundary >= tau) {
        st.trials += 1;
        const int j = trial(st, draws, reactions, species, params, model);
        if (prefetch) prefetch_ahead(st, draws);
        if (j >= 0) {
            const long long updates = st.updates_since_resum;
            if (records)
                fire<true>(st, j, reactions, species, params, model);
            else
                fire<false>(st, j, reactions, species, params, model);
            const int rxn = st.rxns[static_cast<std::size_t>(j)].rxn;
            // The sums moved only if some bound did.
            if (st.updates_since_resum != updates) control_drift(st, model.num_rxns);
            if (logging) {
                if (c < capacity) {
                    evlog.times[c] = tau;
                    evlog.rxns[c] = static_cast<double>(rxn + 1);
                    c = c + 1;
                }
                log_full = c >= capacity;
            }
        }
        const double at = tau;
        if (st.active.empty()) {
            tau = std::numeric_limits<double>::infinity();
        } else {
            if (!(st.total > 0.0)) rssa_resum(st);
            const double u1 = static_cast<double>(draws.take());
            tau = at + (1.0 / st.total) * std::log(1.0 / u1);
        }
        if (log_full) {
            write_back(st, species, fire_count);
            params.next_time = tau;
            event_count = c;
            t = at;
            return;
        }
        // Events' conditions read the species records: current after each firing.
        if (j >= 0 && checking) {
            write_back(st, species, fire_count);
            if (params.event_check(params.event_check_context, at)) {
                params.next_time = tau;
                event_count = c;
                t = at;
                return;
            }
        }
    }
    write_back(st, species, fire_count);
    params.next_time = tau;
    t = boundary;
    event_count = c;
}

}  // namespace plenta

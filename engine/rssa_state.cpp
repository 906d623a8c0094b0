// The rejection-based method's state: reaction kinds and sparse rows, the
// index from species to the reactions that read them, fluctuation
// intervals, propensity bounds and the groups of the upper bounds.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/rssa.h"
#include "model/rate_law.h"
#include "model/row_rule.h"
#include "random/ranlib.h"

namespace plenta {

namespace {

// 2^-e of group g, or 0 where it is not a finite double.
double group_unscale(int g) {
    const double u = std::ldexp(1.0, -(g + kCrMinExponent));
    return std::isfinite(u) ? u : 0.0;
}

// (species, change) pairs of one firing, by the rules of the stoichiometry
// matrix: the same net change of every species.
struct Row {
    std::vector<std::pair<int, int>> entries;
    int& at(int s) {
        for (auto& e : entries)
            if (e.first == s) return e.second;
        entries.emplace_back(s, 0);
        return entries.back().second;
    }
    void add(int s, int v) { at(s) += v; }
    void set(int s, int v) { at(s) = v; }
};

// The species whose counts a reaction evaluated through its record reads,
// each once: a formula's law reads the species it names, substrate or not;
// every other type reads its substrates.
std::vector<int> record_reads(const Reaction& rec, int num_subs) {
    std::vector<int> reads;
    if (static_cast<bool>(rec.law))
        reads = rec.law->species_read();
    else
        reads.assign(rec.subs_index.begin(), rec.subs_index.begin() + num_subs);
    std::sort(reads.begin(), reads.end());
    reads.erase(std::unique(reads.begin(), reads.end()), reads.end());
    return reads;
}

// A formula's rate constants are the parameters its law reads, and a law
// may read none; every other type needs its constants.
RssaKind kind_of(const Reaction& r) {
    if (r.rates.empty() && !r.law) return kRssaNone;
    switch (r.rxn_index) {
        case kUniUni:
        case kUniMulti:
        case kUnbinding:
            return kRssaFirstOrder;
        case kBinding:
        case kUniqueBiBi:
            return kRssaBimolecular;
        case kHomoLtor:
            return kRssaPairs;
        case kMassAction:
            return kRssaFactorial;
        default:
            return kRssaRecord;
    }
}

}  // namespace

// Where in its interval a species' value is read.
enum RssaAt { kAtCount, kAtLow, kAtHigh };

template <RssaAt kAt>
inline double value_at(const RssaSpecies& f) {
    if (kAt == kAtLow) return static_cast<double>(rssa_low(f));
    if (kAt == kAtHigh) return static_cast<double>(rssa_high(f));
    return static_cast<double>(f.count);
}

// The mass-action kinds at the counts, or at the intervals' low or high
// ends: each grows with every count it reads, so the high ends give an upper
// bound and the low ends a lower one over the whole box, in the same
// arithmetic.
template <RssaAt kAt>
static inline double kind_propensity(const RssaState& st, const RssaReaction& r) {
    const RssaSpecies* x = st.sp.data();
    switch (r.kind) {
        case kRssaFirstOrder:
            return r.k * value_at<kAt>(x[r.s0]);
        case kRssaBimolecular:
            return (r.k * value_at<kAt>(x[r.s0])) * value_at<kAt>(x[r.s1]);
        case kRssaPairs: {
            const double v = value_at<kAt>(x[r.s0]);
            return ((r.k * v) * (v - 1.0)) / 2.0;
        }
        case kRssaFactorial: {
            double a = r.k;
            const int* p = st.reads.data() + r.s0;
            for (int q = 0; q < r.num_reads; q++) {
                const int n = p[2 * q + 1];
                const double v = value_at<kAt>(x[p[2 * q]]);
                if (v < static_cast<double>(n)) return 0.0;
                for (int m = 0; m < n; m++) a = a * (v - static_cast<double>(m));
            }
            return a;
        }
        default:
            return 0.0;
    }
}

double rssa_propensity(const RssaState& st, int j, const std::vector<Reaction>& reactions,
                       const std::vector<Compound>& species, const SimParams& params,
                       const ModelSizes& model) {
    const RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
    if (r.kind == kRssaRecord)
        return calc_rxn_prob_vesk(reactions[static_cast<std::size_t>(r.rxn)], species, params,
                                  model, r.rxn);
    return kind_propensity<kAtCount>(st, r);
}

void rssa_sync_propensities(const RssaState& st, std::vector<Reaction>& reactions,
                            const std::vector<Compound>& species, const SimParams& params,
                            const ModelSizes& model) {
    for (int i = 0; i < model.num_rxns; i++)
        reactions[static_cast<std::size_t>(st.rxns[static_cast<std::size_t>(i)].rxn)].ai =
            rssa_propensity(st, i, reactions, species, params, model);
}

void rssa_resum(RssaState& st) {
    double total = 0.0;
    for (int g : st.active) {
        RssaGroup& group = st.groups[static_cast<std::size_t>(g)];
        double sum = 0.0;
        for (int j : group.members) sum += st.rxns[static_cast<std::size_t>(j)].upper;
        group.sum = sum;
        total += sum;
    }
    st.total = total;
    st.total_at_resum = total;
    st.updates_since_resum = 0;
}

void rssa_set_upper(RssaState& st, int j, double upper) {
    RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
    const int old_g = r.pos >= 0 ? cr_group_of(r.upper) : -1;
    const int new_g = cr_group_of(upper);
    if (old_g == new_g) {
        if (new_g >= 0) {
            st.groups[static_cast<std::size_t>(new_g)].sum += upper - r.upper;
            st.total += upper - r.upper;
        }
        r.upper = upper;
        return;
    }
    if (old_g >= 0) {
        RssaGroup& g = st.groups[static_cast<std::size_t>(old_g)];
        const int last = g.members.back();
        g.members[static_cast<std::size_t>(r.pos)] = last;
        st.rxns[static_cast<std::size_t>(last)].pos = r.pos;
        g.members.pop_back();
        g.sum -= r.upper;
        st.total -= r.upper;
        if (g.members.empty()) {
            g.sum = 0.0;
            st.active.erase(std::find(st.active.begin(), st.active.end(), old_g));
        }
        r.pos = -1;
    }
    r.upper = upper;
    if (new_g >= 0) {
        RssaGroup& g = st.groups[static_cast<std::size_t>(new_g)];
        if (g.members.empty()) {
            // Highest exponent first.
            auto at = std::find_if(st.active.begin(), st.active.end(),
                                   [new_g](int a) { return a < new_g; });
            st.active.insert(at, new_g);
        }
        r.pos = static_cast<int>(g.members.size());
        g.members.push_back(j);
        g.sum += upper;
        st.total += upper;
    }
    st.updates_since_resum += 1;
}

// New bounds of a mass-action reaction from the intervals of what it reads.
void rssa_bound(RssaState& st, int j) {
    RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
    r.lower = kind_propensity<kAtLow>(st, r);
    rssa_set_upper(st, j, kind_propensity<kAtHigh>(st, r));
}

// A sixteenth of the count: a bound then errs by some 6% per reactant, and
// a species changes a sixteenth of its count between rebounds.  The
// published choice, a tenth, rejected one candidate in five on the B-cell
// receptor network, whose species leave their intervals once in thousands
// of firings; a sixteenth cut its instructions by 5% and left the others
// within 1% (multisite phosphorylation, whose few species change fast,
// took 10% more, at 0.05 s).  Below sixteen molecules the interval is the
// count itself, exact:
// loose bounds on the many reactions of rare complexes would cost more
// rejected candidates than their rebounds cost.  Only species read by very
// many reactions (kinases and adaptors, read by thousands) get at least
// one molecule of width per kRssaReadersPerWidth readers: each rebound of
// theirs touches all of those.
int rssa_width(int x, int least) {
    const int w = x / kRssaCountsPerWidth;
    return w > least ? w : least;
}

void rssa_set_interval(RssaSpecies& f, int least) {
    const int x = f.count;
    if (x < 0) {
        f.down = 0;
        f.up = 0;
        return;
    }
    const int w = std::min(rssa_width(x, least), kRssaMaxWidth);
    f.down = static_cast<std::uint16_t>(std::min(w, x));
    f.up = static_cast<std::uint16_t>(std::min(w, std::numeric_limits<int>::max() - x));
}

// The readers' lines are fetched a few reactions ahead: a rebound's cost is
// the memory latency of lines that the firings in between have evicted.
void rssa_rebound(RssaState& st, int s) {
    const std::size_t su = static_cast<std::size_t>(s);
    rssa_set_interval(st.sp[su], st.least[su]);
    const int* rd = st.readers.data();
    const int end = st.record_start[su];
    st.rebounds += end - st.reader_start[su];
    constexpr int kAhead = 6;
    for (int p = st.reader_start[su]; p < end; p++) {
        if (p + kAhead < end) __builtin_prefetch(&st.rxns[static_cast<std::size_t>(rd[p + kAhead])]);
        rssa_bound(st, rd[p]);
    }
}

void rssa_build(RssaState& st, const std::vector<Reaction>& reactions, const ModelSizes& model,
                const std::vector<Compound>& species, const SimParams& params) {
    const int nr = model.num_rxns;
    const int ns = model.num_cmpds;
    st.volume = params.volume;
    st.rxns.assign(static_cast<std::size_t>(nr), RssaReaction{});
    st.changes.clear();
    st.reads.clear();
    st.fired.clear();
    st.fired.reserve(static_cast<std::size_t>(nr));
    st.sp.assign(static_cast<std::size_t>(ns), RssaSpecies{});
    st.least.assign(static_cast<std::size_t>(ns), 0);
    for (int s = 0; s < ns; s++)
        st.sp[static_cast<std::size_t>(s)].count = species[static_cast<std::size_t>(s)].count;
    st.records = false;

    // Kinds, constants, rows; the readers counted per species.
    std::vector<int> bounded(static_cast<std::size_t>(ns) + 1, 0), record(static_cast<std::size_t>(ns), 0);
    Row row;
    for (int j = 0; j < nr; j++) {
        const Reaction& rec = reactions[static_cast<std::size_t>(j)];
        RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
        r.kind = kind_of(rec);
        // The line counts a factorial's reactants in 16 bits; a longer list
        // (no real network has one) goes through the record, exactly.
        if (r.kind == kRssaFactorial && model.num_subs[static_cast<std::size_t>(j)] > 32767)
            r.kind = kRssaRecord;
        const double v = params.volume;
        switch (r.kind) {
            case kRssaFirstOrder:
                r.k = rec.rates[0].value;
                r.s0 = rec.subs_index[0];
                bounded[static_cast<std::size_t>(r.s0)] += 1;
                break;
            case kRssaBimolecular:
                r.k = rec.rates[0].value / v;
                r.s0 = rec.subs_index[0];
                r.s1 = rec.subs_index[1];
                bounded[static_cast<std::size_t>(r.s0)] += 1;
                if (r.s1 != r.s0) bounded[static_cast<std::size_t>(r.s1)] += 1;
                break;
            case kRssaPairs:
                r.k = rec.rates[0].value / v;
                r.s0 = rec.subs_index[0];
                bounded[static_cast<std::size_t>(r.s0)] += 1;
                break;
            case kRssaFactorial: {
                const int m = model.num_subs[static_cast<std::size_t>(j)];
                int order = 0;
                r.s0 = static_cast<int>(st.reads.size());
                for (int q = 0; q < m; q++) {
                    order += rec.subs_coef[static_cast<std::size_t>(q)];
                    st.reads.push_back(rec.subs_index[static_cast<std::size_t>(q)]);
                    st.reads.push_back(rec.subs_coef[static_cast<std::size_t>(q)]);
                    bounded[static_cast<std::size_t>(rec.subs_index[static_cast<std::size_t>(q)])] += 1;
                }
                r.num_reads = static_cast<std::int16_t>(m);
                r.k = rec.rates[0].value;
                if (order != 1) r.k = r.k / std::pow(v, static_cast<double>(order - 1));
                break;
            }
            case kRssaRecord:
                st.records = true;
                for (int s : record_reads(rec, model.num_subs[static_cast<std::size_t>(j)]))
                    record[static_cast<std::size_t>(s)] += 1;
                break;
            default:
                break;
        }
        row.entries.clear();
        apply_row_rule(rec, model.num_subs[static_cast<std::size_t>(j)],
                  model.num_prods[static_cast<std::size_t>(j)], row);
        int n = 0;
        bool fits = true;
        for (const auto& e : row.entries)
            if (e.second != 0) {
                n++;
                if (n > kRssaInlineChanges || e.second < -127 || e.second > 127) fits = false;
            }
        if (fits) {
            r.num_changes = static_cast<std::uint8_t>(n);
            int q = 0;
            for (const auto& e : row.entries)
                if (e.second != 0) {
                    r.change_species[q] = e.first;
                    r.change_delta[q] = static_cast<std::int8_t>(e.second);
                    q++;
                }
        } else {
            r.num_changes = kRssaChangesOutside;
            r.change_species[0] = static_cast<int>(st.changes.size());
            st.changes.push_back(n);
            for (const auto& e : row.entries)
                if (e.second != 0) {
                    st.changes.push_back(e.first);
                    st.changes.push_back(e.second);
                }
        }
    }

    // The readers index: per species its bounded readers, then its record readers.
    st.reader_start.assign(static_cast<std::size_t>(ns) + 1, 0);
    st.record_start.assign(static_cast<std::size_t>(ns), 0);
    for (int s = 0; s < ns; s++)
        st.reader_start[static_cast<std::size_t>(s) + 1] =
            st.reader_start[static_cast<std::size_t>(s)] + bounded[static_cast<std::size_t>(s)] +
            record[static_cast<std::size_t>(s)];
    st.readers.assign(static_cast<std::size_t>(st.reader_start[static_cast<std::size_t>(ns)]), 0);
    std::vector<int> fill_b(st.reader_start.begin(), st.reader_start.end() - 1);
    std::vector<int> fill_r(static_cast<std::size_t>(ns));
    for (int s = 0; s < ns; s++) {
        st.record_start[static_cast<std::size_t>(s)] =
            st.reader_start[static_cast<std::size_t>(s)] + bounded[static_cast<std::size_t>(s)];
        fill_r[static_cast<std::size_t>(s)] = st.record_start[static_cast<std::size_t>(s)];
    }
    auto add_bounded = [&](int s, int j) { st.readers[static_cast<std::size_t>(fill_b[static_cast<std::size_t>(s)]++)] = j; };
    for (int j = 0; j < nr; j++) {
        const RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
        const Reaction& rec = reactions[static_cast<std::size_t>(j)];
        switch (r.kind) {
            case kRssaFirstOrder:
            case kRssaPairs:
                add_bounded(r.s0, j);
                break;
            case kRssaBimolecular:
                add_bounded(r.s0, j);
                if (r.s1 != r.s0) add_bounded(r.s1, j);
                break;
            case kRssaFactorial:
                for (int q = 0; q < r.num_reads; q++) add_bounded(st.reads[static_cast<std::size_t>(r.s0 + 2 * q)], j);
                break;
            case kRssaRecord:
                for (int s : record_reads(rec, model.num_subs[static_cast<std::size_t>(j)]))
                    st.readers[static_cast<std::size_t>(fill_r[static_cast<std::size_t>(s)]++)] = j;
                break;
            default:
                break;
        }
    }

    for (int s = 0; s < ns; s++) {
        const std::size_t su = static_cast<std::size_t>(s);
        st.least[su] = bounded[su] / kRssaReadersPerWidth;
        rssa_set_interval(st.sp[su], st.least[su]);
    }

    // The method's order of the reactions: by the reactant with the fewest
    // readers (a counting sort, stable), then the readers index renumbered
    // and each species' slices sorted, so that a rebound walks memory in order.
    {
        std::vector<int> key(static_cast<std::size_t>(nr), ns);
        for (int s = 0; s < ns; s++) {
            const std::size_t su = static_cast<std::size_t>(s);
            for (int p = st.reader_start[su]; p < st.reader_start[su + 1]; p++) {
                int& k = key[static_cast<std::size_t>(st.readers[static_cast<std::size_t>(p)])];
                if (k == ns || st.reader_start[su + 1] - st.reader_start[su] <
                                   st.reader_start[static_cast<std::size_t>(k) + 1] -
                                       st.reader_start[static_cast<std::size_t>(k)])
                    k = s;
            }
        }
        std::vector<int> start(static_cast<std::size_t>(ns) + 2, 0);
        for (int j = 0; j < nr; j++) start[static_cast<std::size_t>(key[static_cast<std::size_t>(j)]) + 1] += 1;
        for (int s = 0; s <= ns; s++) start[static_cast<std::size_t>(s) + 1] += start[static_cast<std::size_t>(s)];
        std::vector<int> internal(static_cast<std::size_t>(nr));
        for (int j = 0; j < nr; j++)
            internal[static_cast<std::size_t>(j)] = start[static_cast<std::size_t>(key[static_cast<std::size_t>(j)])]++;
        std::vector<RssaReaction> sorted(static_cast<std::size_t>(nr));
        for (int j = 0; j < nr; j++) {
            RssaReaction& r = sorted[static_cast<std::size_t>(internal[static_cast<std::size_t>(j)])];
            r = st.rxns[static_cast<std::size_t>(j)];
            r.rxn = j;
        }
        st.rxns.swap(sorted);
        for (int& j : st.readers) j = internal[static_cast<std::size_t>(j)];
        for (int s = 0; s < ns; s++) {
            const std::size_t su = static_cast<std::size_t>(s);
            std::sort(st.readers.begin() + st.reader_start[su], st.readers.begin() + st.record_start[su]);
            std::sort(st.readers.begin() + st.record_start[su], st.readers.begin() + st.reader_start[su + 1]);
        }
    }

    // Bounds and groups.
    st.groups.resize(static_cast<std::size_t>(kCrNumGroups));
    for (int g = 0; g < kCrNumGroups; g++) {
        st.groups[static_cast<std::size_t>(g)].sum = 0.0;
        st.groups[static_cast<std::size_t>(g)].members.clear();
        st.groups[static_cast<std::size_t>(g)].unscale = group_unscale(g);
    }
    st.active.clear();
    st.total = 0.0;
    for (int j = 0; j < nr; j++) {
        RssaReaction& r = st.rxns[static_cast<std::size_t>(j)];
        r.pos = -1;
        r.upper = 0.0;
        if (r.kind == kRssaRecord) {
            const double a = calc_rxn_prob_vesk(reactions[static_cast<std::size_t>(r.rxn)],
                                                species, params, model, r.rxn);
            r.lower = a;
            rssa_set_upper(st, j, a);
        } else if (r.kind != kRssaNone) {
            rssa_bound(st, j);
        }
    }
    rssa_resum(st);
    st.trials = 0;
    st.rebounds = 0;
}

double rssa_next_time(RssaState& st, double t) {
    if (st.active.empty() || !(st.total > 0.0)) return std::numeric_limits<double>::infinity();
    const double u = static_cast<double>(ranf());
    return t + (1.0 / st.total) * std::log(1.0 / u);
}

}  // namespace plenta

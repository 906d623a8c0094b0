// Interval run of the exact methods: fire reactions one at a time, in time
// order, up to and including the next snapshot boundary, or until a firing
// fills the event log.
//
// The run is the defined step - fire the kept event, refresh its
// dependents' propensities (and, under first-reaction selection, their
// tentative times), draw the next event - written for the machine: for the
// length of the call the counts, propensities and tentative times sit in
// contiguous arrays, each reaction's propensity inputs in a small record,
// each row as its non-zero entries and the generator's seeds in locals; the
// reaction and species records and the generator are written back when the
// call ends.  The arithmetic and the draws are those of update_rxn_prob_vesk
// and find_next_reaction_vesk, through the same step functions.
//
// First-reaction selection draws every tentative time as before but puts
// its logarithm off: a time is kept as its inputs and a lower bound, and
// made exact only when it may be the earliest (settle_earliest) or when the
// call ends, so a firing takes about one logarithm instead of one per
// dependent.
//
// A firing that would take a count below 0 or beyond 2^31 - 1, a firing
// total beyond 2^31 - 1, or a propensity that is negative, NaN or infinite
// (also among those handed in) raises params.fault and ends the call.
#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>

#include "engine.h"
#include "hot_path.h"
#include "random/ranf_local.h"

namespace plenta {

namespace {

// Unrolls the next loop of a fixed trip count (the small loop's).
#if defined(__clang__)
#define PLENTA_UNROLL _Pragma("unroll")
#elif defined(__GNUC__)
#define PLENTA_UNROLL _Pragma("GCC unroll 32")
#else
#define PLENTA_UNROLL
#endif

void keep_state(SimParams& params, double a0, double next_time, int next_rxn) {
    params.total_prob = a0;
    params.next_time = next_time;
    params.next_rxn = next_rxn;
}

// First-reaction selection on a larger network: the tentative times in an
// indexed binary heap ordered by (time, index), so that the earliest is at
// the root and a changed time moves in log n steps instead of a scan over
// all n per firing.  The root is the scan's choice (earliest_reaction): the
// earliest time, ties to the lower index, and reaction 0 at kNeverTime when
// none is earlier.  The order needs times that compare (no NaN).
constexpr int kHeapReactions = 32;

struct TimeHeap {
    std::vector<int> heap;  // reactions
    std::vector<int> pos;   // reaction j sits at heap[pos[j]]
    const double* times = nullptr;

    bool before(int i, int j) const {
        return times[i] < times[j] || (times[i] == times[j] && i < j);
    }
    void place(int k, int j) {
        heap[static_cast<std::size_t>(k)] = j;
        pos[static_cast<std::size_t>(j)] = k;
    }
    int sift_up(int k) {
        const int j = heap[static_cast<std::size_t>(k)];
        while (k > 0) {
            const int parent = (k - 1) / 2;
            const int p = heap[static_cast<std::size_t>(parent)];
            if (!before(j, p)) break;
            place(k, p);
            k = parent;
        }
        place(k, j);
        return k;
    }
    void sift_down(int k) {
        const int n = static_cast<int>(heap.size());
        const int j = heap[static_cast<std::size_t>(k)];
        for (;;) {
            int child = 2 * k + 1;
            if (child >= n) break;
            if (child + 1 < n && before(heap[static_cast<std::size_t>(child) + 1], heap[static_cast<std::size_t>(child)])) ++child;
            const int c = heap[static_cast<std::size_t>(child)];
            if (!before(c, j)) break;
            place(k, c);
            k = child;
        }
        place(k, j);
    }
    void build(const double* t, int n) {
        times = t;
        heap.resize(static_cast<std::size_t>(n));
        pos.resize(static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j) place(j, j);
        for (int k = n / 2 - 1; k >= 0; --k) sift_down(k);
    }
    // Reaction j's time has changed.
    void update(int j) { sift_down(sift_up(pos[static_cast<std::size_t>(j)])); }
    // The root's time has grown.
    void root_grown() { sift_down(0); }
    int earliest(double& best) const {
        const int r = heap[0];
        if (times[r] < kNeverTime) {
            best = times[r];
            return r;
        }
        best = kNeverTime;
        return 0;
    }
};

// The hot state of one call.
struct ExactCall {
    int n = 0;
    std::vector<double> a;        // propensities, by reaction
    // First-reaction selection: the tentative times, each exact or, while
    // its logarithm is put off (settled 0), a lower bound of it, the time
    // itself in pending (see settle_earliest).
    std::vector<double> time;
    std::vector<PendingTime> pending;
    std::vector<char> settled;
    std::vector<double> prefix;   // running sums of a in index order (direct method, large)
    std::vector<HotReaction> rec;
    std::vector<int> counts;
    SparseRows rows;
    std::vector<int> dep_start;   // reaction j's dependents: deps[dep_start[j] .. dep_start[j+1])
    std::vector<int> deps;
    std::vector<char> own_dep;    // reaction j is among its own dependents
    bool general = false;         // some reaction is evaluated through its record
    // The small loop's records (see kSmallReactions), padded to its sizes.
    std::vector<SmallReaction> small;
    std::vector<std::int32_t> small_rows;  // dense rows, pad_m entries each
    // First-reaction selection: propensities by the SmallReaction records
    // (every reaction of a mass-action type), the earliest time by the heap.
    bool by_small = false;
    bool by_heap = false;
    // The small first-reaction loop: each reaction's dependents as bits.
    std::vector<std::uint32_t> dep_mask;
    TimeHeap heap;
};

void build_call(ExactCall& c, const std::vector<Reaction>& reactions, const ModelSizes& model,
                const std::vector<Compound>& species, const StoichMatrix& matrix,
                double volume, bool first_reaction) {
    const int n = model.num_rxns;
    c.n = n;
    c.general = false;
    c.a.resize(static_cast<std::size_t>(n));
    c.rec.resize(static_cast<std::size_t>(n));
    c.dep_start.assign(static_cast<std::size_t>(n) + 1, 0);
    c.deps.clear();
    if (first_reaction) {
        c.time.resize(static_cast<std::size_t>(n));
        c.pending.resize(static_cast<std::size_t>(n));
        c.settled.assign(static_cast<std::size_t>(n), 1);
        c.own_dep.resize(static_cast<std::size_t>(n));
    }
    for (int j = 0; j < n; ++j) {
        const Reaction& r = reactions[static_cast<std::size_t>(j)];
        c.a[static_cast<std::size_t>(j)] = r.ai;
        c.rec[static_cast<std::size_t>(j)] = hot_reaction(r, volume);
        if (c.rec[static_cast<std::size_t>(j)].kind == HotKind::kGeneral) c.general = true;
        c.deps.insert(c.deps.end(), r.dependents.begin(), r.dependents.end());
        c.dep_start[static_cast<std::size_t>(j) + 1] = static_cast<int>(c.deps.size());
        if (first_reaction) {
            c.time[static_cast<std::size_t>(j)] = r.time;
            c.own_dep[static_cast<std::size_t>(j)] =
                std::binary_search(r.dependents.begin(), r.dependents.end(), j);
        }
    }
    c.counts.resize(species.size());
    for (std::size_t s = 0; s < species.size(); ++s) c.counts[s] = species[s].count;
    c.rows.build(matrix, n, model.num_cmpds);
}

// Makes reaction j's tentative time exact.
inline void settle(ExactCall& c, int j) {
    c.time[static_cast<std::size_t>(j)] = c.pending[static_cast<std::size_t>(j)].exact();
    c.settled[static_cast<std::size_t>(j)] = 1;
}

// settle_earliest over times[0 .. kN), for the small loop (unrolled, no
// branch on the data).  The scan keeps the runner-up too: once the least
// pair's reaction is settled, only the other keys can undercut its time, and
// the least of them is the runner-up (no other key changes), so one exact
// time usually settles the choice without a second scan.
template <int kN>
inline int settle_scan(double* times, char* settled, const PendingTime* pending, double& tau) {
    constexpr int count = kN;
    for (;;) {
        double best = kNeverTime;
        int r = 0;
        double next = kNeverTime;
        int r_next = count;
        PLENTA_UNROLL
        for (int i = 0; i < count; ++i) {
            const double ti = times[i];
            const bool first = ti < best;
            const bool second = !first && ti < next;
            next = first ? best : second ? ti : next;
            r_next = first ? r : second ? i : r_next;
            r = first ? i : r;
            best = first ? ti : best;
        }
        if (best >= kNeverTime || settled[r]) {
            tau = best;
            return r;
        }
        const double exact = pending[r].exact();
        times[r] = exact;
        settled[r] = 1;
        // r's pair still the least, its time exact and one the scan takes.
        if (exact < kNeverTime && (exact < next || (exact == next && r < r_next))) {
            tau = exact;
            return r;
        }
    }
}

// First-reaction selection: the scan's choice (earliest_reaction: the
// earliest exact time, ties to the lower index) while some times are only
// bounded below.  Each key (time[j]) is <= reaction j's exact time, so once
// the least (key, index) pair belongs to a settled reaction r, every other
// reaction j has (exact_j, j) >= (key_j, j) > (exact_r, r) in that order:
// r is the scan's choice.  While the least pair is not settled, settling it
// only raises its key, so the loop ends (in practice after one logarithm,
// now and then two: see log_recip_lower).
// Keys at or beyond kNeverTime stand for times that are too: no choice.
int settle_earliest(ExactCall& c, double& best) {
    if (c.by_heap) {
        for (;;) {
            const int r = c.heap.heap[0];
            if (c.settled[static_cast<std::size_t>(r)]) return c.heap.earliest(best);
            settle(c, r);
            c.heap.root_grown();
        }
    }
    double* times = c.time.data();
    for (;;) {
        const int r = earliest_reaction([times](int i) { return times[i]; }, c.n, best);
        if (best >= kNeverTime || c.settled[static_cast<std::size_t>(r)]) return r;
        settle(c, r);
    }
}

void write_back(ExactCall& c, std::vector<Reaction>& reactions,
                std::vector<Compound>& species, bool first_reaction) {
    for (int j = 0; j < c.n; ++j) {
        reactions[static_cast<std::size_t>(j)].ai = c.a[static_cast<std::size_t>(j)];
        if (first_reaction) {
            if (!c.settled[static_cast<std::size_t>(j)]) settle(c, j);
            reactions[static_cast<std::size_t>(j)].time = c.time[static_cast<std::size_t>(j)];
        }
    }
    for (std::size_t s = 0; s < species.size(); ++s) species[s].count = c.counts[s];
}

// A network this small, of mass-action reactions only, re-evaluates every
// propensity after a firing and adds the whole row: the same values as
// refreshing the dependents and adding the non-zero entries (a propensity
// that reads no changed count comes out as it was), but a fixed sequence of
// work that the processor predicts, where the lists would make it guess at
// every firing.  The loop is compiled for a few fixed sizes, the network
// padded up to one of them (see SmallReaction), so that its loops are
// unrolled and the row is added in a few vector operations.
constexpr int kSmallReactions = 16;
constexpr int kSmallSpecies = 32;

// The small loop's padded sizes: reactions, species.
struct SmallSize {
    int n;
    int m;
};
constexpr SmallSize kSmallSizes[] = {{4, 4}, {8, 8}, {16, 16}, {16, 32}};

// First-reaction selection runs the same small loop up to
// kSmallFirstReaction reactions (beyond, the scan of the padded times costs
// more than the lists' branches save): the row added densely, the
// dependents' propensities and times refreshed in index order (their lists
// are ascending) from a bit mask, and the earliest time found by a scan of
// fixed length (settle_scan); the padding's times stay kNeverTime, which the
// scan never takes.
constexpr int kSmallFirstReaction = 8;

// Builds the small loop's records for pad_n reactions and pad_m species:
// counts get pad_m + 1 entries, the padding species and the last entry (the
// first-order reactions' second factor, see SmallReaction) at 0;
// propensities pad_n entries, the padding at 0.
void build_small(ExactCall& c, const StoichMatrix* matrix, int num_cmpds, int pad_n, int pad_m) {
    c.small.assign(static_cast<std::size_t>(pad_n), SmallReaction{0.0, -1.0, 1.0, pad_m, pad_m});
    for (int j = 0; j < c.n; ++j) {
        const HotReaction& r = c.rec[static_cast<std::size_t>(j)];
        SmallReaction& q = c.small[static_cast<std::size_t>(j)];
        q.c = r.c;
        q.s0 = r.s0;
        if (r.kind == HotKind::kDimerisation) {
            q.s1 = r.s0;
            q.off = 1.0;
            q.half = 0.5;
        } else if (r.kind == HotKind::kBimolecular) {
            q.s1 = r.s1;
            q.off = 0.0;
        }
    }
    if (matrix != nullptr) {  // the dense rows, for the direct method's small loop
        c.small_rows.assign(static_cast<std::size_t>(pad_n) * static_cast<std::size_t>(pad_m), 0);
        for (int j = 0; j < c.n; ++j)
            std::copy(matrix->row(j), matrix->row(j) + num_cmpds,
                      c.small_rows.begin() + static_cast<std::ptrdiff_t>(j) * pad_m);
    }
    c.counts.resize(static_cast<std::size_t>(pad_m) + 1, 0);
    c.a.resize(static_cast<std::size_t>(pad_n), 0.0);
}

// Whether every propensity handed in is what its record gives for the
// current counts, as it is when update_rxn_prob_all or an earlier call set
// it; a caller may hand in others, which only the dependents' refresh keeps.
bool propensities_current(const ExactCall& c, const std::vector<Reaction>& reactions,
                          const std::vector<Compound>& species, const SimParams& params,
                          const ModelSizes& model) {
    for (int j = 0; j < c.n; ++j) {
        const double v = hot_propensity(c.rec[static_cast<std::size_t>(j)], c.counts.data(),
                                        reactions, species, params, model, j);
        if (!(v == c.a[static_cast<std::size_t>(j)])) return false;
    }
    return true;
}

// The small loop's conditions beyond its size: every rate factor >= 0 (not
// NaN), every count and firing total in [0, 2^31 - 1].  Then a firing keeps
// every count and total in that range exactly when the 32-bit sums have
// their top bit clear (a count below 0 or past 2^31 - 1 sets it), and every
// propensity comes out >= 0, +inf or NaN, so that their sum is finite exactly
// when all of them and the sum itself are sound: one test each per firing.
bool small_loop_sound(const ExactCall& c, const std::vector<int>& fire_count) {
    for (const HotReaction& r : c.rec)
        if (!(r.c >= 0.0)) return false;
    for (int x : c.counts)
        if (x < 0) return false;
    for (int x : fire_count)
        if (x < 0) return false;
    return true;
}

// The small first-reaction loop's masks: false when some reaction's
// dependents are not strictly ascending (then the lists' order is kept by
// the general loop).
bool build_dep_masks(ExactCall& c) {
    c.dep_mask.assign(static_cast<std::size_t>(c.n), 0u);
    for (int j = 0; j < c.n; ++j) {
        int last = -1;
        for (int k = c.dep_start[static_cast<std::size_t>(j)]; k < c.dep_start[static_cast<std::size_t>(j) + 1]; ++k) {
            const int d = c.deps[static_cast<std::size_t>(k)];
            if (d <= last || d >= c.n || d >= 32) return false;
            c.dep_mask[static_cast<std::size_t>(j)] |= 1u << d;
            last = d;
        }
    }
    return true;
}

// The kept event and the position in the log, in locals for the length of a
// call (the arrays the loop stores to cannot then be taken to alias them).
struct LoopState {
    double a0;        // the direct method's total
    double tau;       // the kept event's time
    int mu;           // the kept event's reaction
    double fired_at;  // time of the last firing
    int count;        // events in the log
    bool log_full;
};

// The loop of one call; kDirect: direct method, else first-reaction
// selection; kPadN > 0: the small loop for kPadN reactions and kPadM
// species (see kSmallReactions and small_loop_sound);
// kLog: the event log is on; kCheck: params.event_check after every firing
// (the species records kept current for it).  Returns false at a fault.
template <bool kDirect, bool kLog, int kPadN = 0, int kPadM = 0, bool kCheck = false>
bool run_exact(ExactCall& call, std::vector<Reaction>& reactions, const ModelSizes& model,
               std::vector<Compound>& species, SimParams& params, EventLog evlog,
               int* fired_total, double boundary, LoopState& state) {
    constexpr bool kSmall = kPadN > 0;
    const int capacity = params.eventlog_arraysize;
    const int n = call.n;
    double* a = call.a.data();
    double* times = call.time.data();
    int* counts = call.counts.data();
    const HotReaction* rec = call.rec.data();
    const int* dep_start = call.dep_start.data();
    const int* deps = call.deps.data();
    Compound* mirror = call.general || kCheck ? species.data() : nullptr;
    RanfLocal gen;
    PendingTime* pending = call.pending.data();
    char* settled = call.settled.data();
    // First-reaction selection: reaction j's tentative time from propensity
    // v and time from, as tentative_time draws it (one uniform unless v is
    // below 1e-30), its logarithm put off: the key is a lower bound.
    auto redraw = [&](int j, double v, double from) {
        if (v < kMinPropensity) {
            times[j] = kNeverTime;
            settled[j] = 1;
        } else {
            const float u = gen.draw();
            pending[j] = PendingTime::of(from, 1.0 / v, u);
            times[j] = lower_time(from, pending[j].inv_a, u);
            settled[j] = 0;
        }
        if (!kSmall && call.by_heap) call.heap.update(j);
    };
    double a0 = state.a0;
    double tau = state.tau;
    int mu = state.mu;
    double fired_at = state.fired_at;
    int c = state.count;
    bool ok = true;

    // A firing exactly on the boundary belongs to this interval.  An
    // infinite (or never) next time ends the loop at once.
    while (boundary >= tau) {
        fired_at = tau;
        // Fire mu: the counts change by its row, its firing total by one.
        if constexpr (kSmall) {
            const std::int32_t* row = call.small_rows.data() + static_cast<std::ptrdiff_t>(mu) * kPadM;
            std::uint32_t top = static_cast<std::uint32_t>(fired_total[mu]) + 1u;
            PLENTA_UNROLL
            for (int s = 0; s < kPadM; ++s) {
                const std::uint32_t v = static_cast<std::uint32_t>(counts[s]) + static_cast<std::uint32_t>(row[s]);
                top |= v;
                counts[s] = static_cast<int>(v);
            }
            if (top >> 31) {
                // A count or the total leaves its range: undo (modulo 2^32,
                // as the sums wrapped) and let the checked updates name it.
                for (int s = 0; s < kPadM; ++s)
                    counts[s] = static_cast<int>(static_cast<std::uint32_t>(counts[s]) - static_cast<std::uint32_t>(row[s]));
                if (apply_firings(call.rows, mu, 1, counts, mirror, params, tau))
                    count_firings(fired_total, mu, 1, params, tau);
                ok = false;
                break;
            }
            fired_total[mu] += 1;
        } else {
            if (!apply_firings(call.rows, mu, 1, counts, mirror, params, tau) ||
                !count_firings(fired_total, mu, 1, params, tau)) {
                ok = false;
                break;
            }
        }
        // Refresh the propensities (and tentative times) of mu's dependents,
        // in list order.
        bool bad = false;
        double sum = 0.0;  // the direct method's total, in index order (below)
        if constexpr (kSmall && !kDirect) {
            // In index order, as the list is (build_dep_masks).
            const SmallReaction* small = call.small.data();
            const std::uint32_t mask = call.dep_mask[static_cast<std::size_t>(mu)];
            PLENTA_UNROLL
            for (int j = 0; j < kPadN; ++j) {
                if ((mask >> j) & 1u) {
                    const double v = small_propensity(small[j], counts);
                    a[j] = v;
                    bad |= is_bad_propensity(v);
                    redraw(j, v, tau);
                }
            }
            if (bad) check_propensities(params, a, n, tau);
        } else if constexpr (kSmall) {
            // The padding's 0 leaves the sum as it is.
            const SmallReaction* small = call.small.data();
            PLENTA_UNROLL
            for (int j = 0; j < kPadN; ++j) {
                const double v = small_propensity(small[j], counts);
                a[j] = v;
                sum += v;
            }
            // A bad propensity makes the sum bad (small_loop_sound); a bad
            // sum of sound propensities is the total's fault, below.
            bad = !(sum <= DBL_MAX) && !check_propensities(params, a, n, tau);
        } else {
            const SmallReaction* small = call.small.data();
            const bool by_small = !kDirect && call.by_small;
            for (int k = dep_start[mu]; k < dep_start[mu + 1]; ++k) {
                const int j = deps[k];
                const double v = by_small ? small_propensity(small[j], counts)
                                          : hot_propensity(rec[j], counts, reactions, species, params, model, j);
                a[j] = v;
                bad |= is_bad_propensity(v);
                if constexpr (!kDirect) redraw(j, v, tau);
            }
            if (bad) check_propensities(params, a, n, tau);
        }
        if (bad) {
            ok = false;
            break;
        }
        // The buffer is never written past its capacity: a caller that hands
        // in a full (or zero-capacity) log gets this firing unlogged and the
        // call ends right after it, with the count still at the capacity.
        if (kLog && c < capacity) {
            evlog.times[c] = tau;
            evlog.rxns[c] = static_cast<double>(mu + 1);
            c = c + 1;
        }
        if constexpr (kDirect) {
            // The total, summed afresh in index order (no rounding error
            // accumulates; the small loop has summed it already), then the
            // next event: waiting time, selection.
            if constexpr (!kSmall) {
                // The running sums before the first dependent are those of
                // the last firing; from there on they are formed again, and
                // once past the last dependent a sum equal to the kept one
                // makes every later one equal too.  prefix[n - 1] is the
                // total; the selection's running sum is prefix[i] itself.
                int lo = n;
                int hi = -1;
                for (int k = dep_start[mu]; k < dep_start[mu + 1]; ++k) {
                    lo = std::min(lo, deps[k]);
                    hi = std::max(hi, deps[k]);
                }
                double* prefix = call.prefix.data();
                double run = lo == 0 ? 0.0 : (lo < n ? prefix[lo - 1] : 0.0);
                for (int i = lo; i < n; i++) {
                    run += a[i];
                    if (i > hi && run == prefix[i]) break;
                    prefix[i] = run;
                }
                sum = n > 0 ? prefix[n - 1] : 0.0;
            }
            a0 = sum;
            if (!(a0 <= DBL_MAX)) {  // every term is finite, their sum need not be
                raise_fault(params, RunFault::kBadPropensity, -1, -1, tau, a0);
                ok = false;
                break;
            }
            const double u1 = static_cast<double>(gen.draw());
            tau = direct_next_time(fired_at, a0, u1);
            const double u2 = static_cast<double>(gen.draw());
            if constexpr (kSmall)  // the padding's 0 is neither beyond r nor > 0
                mu = select_reaction([a](int i) { return a[i]; }, kPadN, u2 * a0);
            else
                mu = select_by_running_sums(call.prefix.data(), a, n, u2 * a0);
        } else {
            // A reaction without substrates reads nothing its firing changes,
            // so it is not among its own dependents; its spent tentative time
            // would stay the earliest.  It gets a fresh one from its
            // (unchanged) propensity, drawn after those of its dependents.
            if (!call.own_dep[static_cast<std::size_t>(mu)]) redraw(mu, a[mu], fired_at);
            if constexpr (kSmall) {
                mu = settle_scan<kPadN>(times, settled, pending, tau);
            } else {
                mu = settle_earliest(call, tau);
            }
        }
        if (kLog && c >= capacity) {
            // The log is full: stop at this firing so the caller can empty it;
            // the next call resumes toward the same boundary.
            state.log_full = true;
            break;
        }
        // An event's condition became true: stop right after this firing.
        if constexpr (kCheck) {
            if (params.event_check(params.event_check_context, fired_at)) {
                state.log_full = true;
                break;
            }
        }
    }
    gen.commit();
    state.a0 = a0;
    state.tau = tau;
    state.mu = mu;
    state.fired_at = fired_at;
    state.count = c;
    return ok;
}

}  // namespace

void vesk(std::vector<Reaction>& reactions, const ModelSizes& model,
          std::vector<Compound>& species, const StoichMatrix& matrix, SimParams& params,
          EventLog evlog, int& event_count, std::vector<int>& fire_count, double& t) {
    int c = event_count;
    const double boundary = interval_end(t, params);
    const bool direct = params.algorithm == kDirectMethod;
    double a0 = params.total_prob;
    double tau = params.next_time;
    int mu = params.next_rxn;

    // No boundary later than t (the time is too large for the snapshot grid
    // to go on): nothing is fired, so that the front end sees a call that did
    // not advance and stops, instead of every pending firing up to t being
    // replayed in an endless run of calls.
    if (!(boundary > t)) return;
    // A run that met a fault does not go on: the call neither fires nor
    // advances, and the front end stops the run.
    if (params.fault.raised()) return;

    // The call's arrays, in storage kept from the last call (every one is
    // filled again below).
    if (!params.scratch.exact) params.scratch.exact = std::make_shared<ExactCall>();
    ExactCall& call = *static_cast<ExactCall*>(params.scratch.exact.get());
    build_call(call, reactions, model, species, matrix, params.volume, !direct);
    // Propensities handed in (from update_rxn_prob_all or the caller) that
    // no waiting time exists for end the run before anything fires.
    if (!check_propensities(params, call.a.data(), call.n, t)) return;
    if (direct) {
        call.prefix.resize(static_cast<std::size_t>(call.n));
        double run = 0.0;
        for (int i = 0; i < call.n; ++i) call.prefix[static_cast<std::size_t>(i)] = run += call.a[static_cast<std::size_t>(i)];
    }
    int size = -1;  // the small loop's size, if it runs
    const bool check = params.event_check != nullptr;
    if (direct && !check && !call.general && call.n <= kSmallReactions && model.num_cmpds <= kSmallSpecies &&
        small_loop_sound(call, fire_count) &&
        propensities_current(call, reactions, species, params, model)) {
        size = 0;
        while (kSmallSizes[size].n < call.n || kSmallSizes[size].m < model.num_cmpds) ++size;
        build_small(call, &matrix, model.num_cmpds, kSmallSizes[size].n, kSmallSizes[size].m);
    }
    if (!direct) {
        // The records without padding: counts get the entry that stays 0.
        call.by_small = !call.general;
        call.by_heap = call.n >= kHeapReactions &&
                       std::none_of(call.time.begin(), call.time.end(), [](double x) { return std::isnan(x); });
        if (!check && call.by_small && !call.by_heap && call.n <= kSmallFirstReaction &&
            model.num_cmpds <= kSmallSpecies && small_loop_sound(call, fire_count) && build_dep_masks(call)) {
            size = 0;
            while (kSmallSizes[size].n < call.n || kSmallSizes[size].m < model.num_cmpds) ++size;
            const int pad_n = kSmallSizes[size].n;
            build_small(call, &matrix, model.num_cmpds, pad_n, kSmallSizes[size].m);
            call.time.resize(static_cast<std::size_t>(pad_n), kNeverTime);
            call.settled.resize(static_cast<std::size_t>(pad_n), 1);
            call.pending.resize(static_cast<std::size_t>(pad_n));
        } else if (call.by_small) {
            build_small(call, nullptr, model.num_cmpds, call.n, model.num_cmpds);
        }
        if (call.by_heap) call.heap.build(call.time.data(), call.n);
    }

    LoopState state{a0, tau, mu, t, c, false};
    bool ok;
    int* fired_total = fire_count.data();
    auto run = [&](auto log) {
        constexpr bool kLog = decltype(log)::value;
        auto loop = [&](auto method) {
            return method(call, reactions, model, species, params, evlog, fired_total, boundary, state);
        };
        static_assert(sizeof kSmallSizes / sizeof kSmallSizes[0] == 4, "one loop per size below");
        if (check) return direct ? loop(run_exact<true, kLog, 0, 0, true>) : loop(run_exact<false, kLog, 0, 0, true>);
        if (!direct) {
            if (size == 0) return loop(run_exact<false, kLog, kSmallSizes[0].n, kSmallSizes[0].m>);
            if (size == 1) return loop(run_exact<false, kLog, kSmallSizes[1].n, kSmallSizes[1].m>);
            if (size == 2) return loop(run_exact<false, kLog, kSmallSizes[2].n, kSmallSizes[2].m>);
            if (size == 3) return loop(run_exact<false, kLog, kSmallSizes[3].n, kSmallSizes[3].m>);
            return loop(run_exact<false, kLog>);
        }
        if (size == 0) return loop(run_exact<true, kLog, kSmallSizes[0].n, kSmallSizes[0].m>);
        if (size == 1) return loop(run_exact<true, kLog, kSmallSizes[1].n, kSmallSizes[1].m>);
        if (size == 2) return loop(run_exact<true, kLog, kSmallSizes[2].n, kSmallSizes[2].m>);
        if (size == 3) return loop(run_exact<true, kLog, kSmallSizes[3].n, kSmallSizes[3].m>);
        return loop(run_exact<true, kLog>);
    };
    if (params.eventlog_flag == 1)
        ok = run(std::true_type{});
    else
        ok = run(std::false_type{});
    c = state.count;
    write_back(call, reactions, species, !direct);
    if (!ok) {
        // A fault ends the run at the time it was met.
        event_count = c;
        t = params.fault.time;
        return;
    }
    keep_state(params, state.a0, state.tau, state.mu);
    event_count = c;
    t = state.log_full ? state.fired_at : boundary;
}

}  // namespace plenta

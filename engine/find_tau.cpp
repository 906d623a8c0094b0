// find_tau - the leap length of the tau-leaping run.
//
// Step-size selection after Cao, Gillespie and Petzold, "Efficient step size
// selection for the tau-leaping simulation method", J. Chem. Phys. 124,
// 044109 (2006).  For every species i that some reaction consumes, the
// expected change mu_i * tau and the variance sigma_i^2 * tau of its count over
// the leap are bounded by b_i = max(eps * x_i / g_i, 1), where g_i is the
// highest order of a reaction consuming i (the order row of the stoichiometry
// matrix).  The leap is the largest tau, at most 1000, meeting both bounds:
//
//     tau = min over i of  min( b_i / |mu_i|,  b_i^2 / sigma_i^2 ).
//
// Unlike the paper, the sums run over all reactions, not only the
// non-critical ones, and a sum that is exactly zero is replaced by 1e-6 so
// that it bounds tau by b / 1e-6 instead of dividing by zero.  The
// propensities are finite (the engine stops at any other).
#include <cmath>
#include <cstdint>

#include "engine.h"
#include "hot_path.h"

namespace plenta {

namespace {

constexpr double kMaxTau = 1000.0;       // start value and upper bound of tau
constexpr double kZeroRate = 1e-6;       // stands in for a drift or variance rate of exactly 0
constexpr double kMinAllowedChange = 1.0;  // b is never below one molecule

}  // namespace

// The sums run over the species' column of the matrix, its non-zero entries
// in reaction order: a zero entry adds 0 * ai = +0 (ai finite), which
// changes no sum, so the cost follows the entries that exist.
double find_tau_sparse(const SparseColumns& columns, const std::int32_t* order, int num_cmpds,
                       const std::vector<Reaction>& reactions,
                       const std::vector<Compound>& species, double tau_error) {
    double tau_drift = kMaxTau;     // bound from the expected change
    double tau_variance = kMaxTau;  // bound from the variance of the change

    for (int i = 0; i < num_cmpds; ++i) {
        const int g = order[i];
        if (g <= 0) continue;  // no reaction consumes species i

        double drift = 0.0;
        double variance = 0.0;
        const int end = columns.start[static_cast<std::size_t>(i) + 1];
        for (int k = columns.start[static_cast<std::size_t>(i)]; k < end; ++k) {
            const std::int32_t v = columns.change[static_cast<std::size_t>(k)];
            const double ai = reactions[static_cast<std::size_t>(columns.rxn[static_cast<std::size_t>(k)])].ai;
            // v^2 is formed as a 32-bit product and only then converted; the
            // product is taken unsigned so that a coefficient beyond 46340
            // wraps as 32-bit arithmetic does instead of being undefined.
            const std::int32_t v2 = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) *
                                                              static_cast<std::uint32_t>(v));
            drift += static_cast<double>(v) * ai;
            variance += static_cast<double>(v2) * ai;
        }
        if (drift == 0.0) drift = kZeroRate;
        if (variance == 0.0) variance = kZeroRate;

        double b = tau_error * static_cast<double>(species[static_cast<std::size_t>(i)].count) / static_cast<double>(g);
        if (b < kMinAllowedChange) b = kMinAllowedChange;

        if (b / std::fabs(drift) < tau_drift) tau_drift = b / std::fabs(drift);
        if (b * b / variance < tau_variance) tau_variance = b * b / variance;
    }
    return tau_variance < tau_drift ? tau_variance : tau_drift;
}

double find_tau(const ModelSizes& model, const std::vector<Reaction>& reactions,
                const std::vector<Compound>& species, const StoichMatrix& matrix,
                double tau_error) {
    SparseRows rows;
    rows.build(matrix, model.num_rxns, model.num_cmpds);
    SparseColumns columns;
    columns.build(rows, model.num_cmpds);
    return find_tau_sparse(columns, matrix.order_row(), model.num_cmpds, reactions, species,
                           tau_error);
}

}  // namespace plenta

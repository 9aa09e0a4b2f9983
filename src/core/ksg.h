// Kraskov-Stoegbauer-Grassberger estimates of mutual information and of
// conditional mutual information, from max-norm neighbour distances and
// strict neighbour counts.
#ifndef ARVEL_KSG_H
#define ARVEL_KSG_H

#include "CMatrix.h"

#include <cstdint>
#include <vector>

namespace arvel {

// Digamma function at the positive integers, psi(n) = -gamma + H(n - 1).
// NaN for n < 1.
double digammaInteger(long long n);

// A sum of doubles in the order they are added, with Neumaier's
// compensation: the rounding error of each addition is carried in a second
// double and added at the end, so that the sum of 10^6 terms keeps the
// accuracy of a few roundings, not of 10^6 of them.
class CompensatedSum {
public:
    void add(double x);
    double value() const;

private:
    double sum_ = 0.0;
    double carry_ = 0.0;
};

// The neighbour statistics of the estimators, for the n samples (rows) of
// samples, n >= 2, with 1 <= k < n and finite values:
// - eps[i], the max-norm distance from sample i to its k-th nearest other
//   sample over all columns;
// - counts[s][i], the number of samples j != i whose max-norm distance from
//   sample i over the columns marginals[s] (0-based) is strictly below
//   eps[i] (0 where eps[i] is 0).
// Sets with a coordinate of magnitude 2^1022 or more are searched divided by
// 4, exactly (but for the last bits of subnormal values among them), so that
// no difference overflows; eps is then in those units. The searches are
// shared among `threads` workers (workers.h); the results are the same for
// every number of threads.
void maxNormStatistics(const CMatrix& samples, int k,
                       const std::vector<std::vector<int>>& marginals,
                       unsigned threads, std::vector<double>& eps,
                       std::vector<std::vector<std::uint32_t>>& counts);

// KSG estimator 1 of I(X;Y) in nats, from the n x (dx + dy) matrix XY, whose
// first dx columns are X and the others Y:
//   I = psi(k) + psi(n) - (1/n) sum_i [psi(n_x(i) + 1) + psi(n_y(i) + 1)],
// with eps and the counts of maxNormStatistics in the spaces of X and of Y,
// the terms summed in sample order by CompensatedSum.
// NaN if any value is NaN or infinite (no tree is built). Needs n >= 2,
// 1 <= dx < XY.cols() and 1 <= k < n; otherwise std::invalid_argument.
// The threads are threadCount(n) (workers.h) unless given.
double miksg(const CMatrix& XY, int dx, int k);
double miksg(const CMatrix& XY, int dx, int k, unsigned threads);

// The conditional form, I(X;Y|Z) in nats, from the n x (dx + dy + dz)
// matrix XYZ (X, then Y, then Z, dz >= 1):
//   I = psi(k) - (1/n) sum_i [psi(n_xz(i) + 1) + psi(n_yz(i) + 1)
//                             - psi(n_z(i) + 1)],
// with eps over all columns and the counts in the spaces of (X, Z), (Y, Z)
// and Z. NaN for NaN or infinite values; std::invalid_argument unless
// n >= 2, dx, dy >= 1, dx + dy < XYZ.cols() and 1 <= k < n.
double cmiksg(const CMatrix& XYZ, int dx, int dy, int k);
double cmiksg(const CMatrix& XYZ, int dx, int dy, int k, unsigned threads);

}  // namespace arvel

#endif

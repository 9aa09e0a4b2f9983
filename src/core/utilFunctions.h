// Special functions and the neighbour statistic of the Kozachenko-Leonenko
// estimators.
#ifndef ARVEL_UTILFUNCTIONS_H
#define ARVEL_UTILFUNCTIONS_H

#include "CMatrix.h"

#include <cstddef>

namespace arvel {

// Gamma function. 1e308 for x > 171 and at the poles 0, -1, -2, ...;
// NaN for NaN and for x below the 32-bit int range.
double gammaf(double x);

// Digamma function for x > 0; NaN for x <= 0 and for NaN.
double digamma(double x);

// (d / n) * sum over the samples of log(rho_i), where rho_i is the Euclidean
// distance from sample i to its k-th nearest other sample and a distance of
// exactly 0 contributes 0. n = X.rows() >= 1 samples, d = X.cols() >= 1
// dimensions, k >= 0; otherwise std::invalid_argument. A NaN anywhere in X
// gives NaN, otherwise an infinite value gives +Inf; neither builds a tree.
// Samples of extreme magnitude (2^509 or more, below 2^-400) are searched
// scaled by a power of two, so that their squared distances neither
// overflow nor underflow. For k >= n every sample contributes log(DBL_MAX),
// as a search that finds fewer than k + 1 points leaves the initial worst
// distance in slot k. The searches are shared among threadCount(n) threads
// (workers.h); the result is the same bits for every number of threads.
double calculateMlogRho(CMatrix& X, int k);

// The same with the given number of threads (0 counts as 1, and no more
// than one per sample are used).
double calculateMlogRho(CMatrix& X, int k, unsigned threads);

// How the k + 1-th nearest distance of each sample is found: a tree search
// into k + 1 sorted slots (fastest for small k), a tree search into a
// buffer with periodic selection (O(1) per distance met, for larger k), or
// a scan of all n distances with a selection and no tree (when k + 1 is a
// large part of n). The result is the same bits whichever is used.
enum class NeighbourSearch { automatic, sortedSlots, selectedSlots, scan };

// The choice, as measured on uniform samples (arvel_bench methods): sorted
// slots while k + 1 is at most 64 in up to 4 dimensions, 256 in more; the
// scan once k + 1 is at least n / 4 in up to 4 dimensions, n / 16 in more,
// where the tree visits nearly every leaf; the buffer between.
const std::size_t kSortedUpToLow = 64;
const std::size_t kSortedUpToHigh = 256;
const std::size_t kScanFromPartLow = 4;
const std::size_t kScanFromPartHigh = 16;

// The method chosen for k, n samples and d dimensions.
NeighbourSearch neighbourSearchFor(std::size_t k, std::size_t n, std::size_t d);

// calculateMlogRho with the given method (automatic: neighbourSearchFor).
double calculateMlogRho(CMatrix& X, int k, unsigned threads,
                        NeighbourSearch method);

}  // namespace arvel

#endif

// Kozachenko-Leonenko estimate of differential entropy.
#ifndef ARVEL_HEST_CONTINUOUS_H
#define ARVEL_HEST_CONTINUOUS_H

#include "CMatrix.h"

namespace arvel {

// H = M + log(n - 1) - psi(k) + log V_d in nats, for n = X.rows() samples of
// d = X.cols() dimensions, with M = calculateMlogRho(X, k) and V_d the volume
// of the d-dimensional unit ball. Needs n >= 1, d >= 1 and k >= 1; otherwise
// std::invalid_argument. k >= n is not refused (see calculateMlogRho).
double entkl(CMatrix& X, int k);

// Volume of the m-dimensional Euclidean unit ball, 2 pi^(m/2) / (m Gamma(m/2)),
// formed in that order with gammaf: 0 from m = 341 on, NaN once pi^(m/2)
// overflows too.
double unitBallVolume(int m);

}  // namespace arvel

#endif

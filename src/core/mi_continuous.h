// Kozachenko-Leonenko estimate of mutual information.
#ifndef ARVEL_MI_CONTINUOUS_H
#define ARVEL_MI_CONTINUOUS_H

#include "CMatrix.h"

namespace arvel {

// I = H(X) + H(Y) - H(X,Y) in nats, each entropy estimated as by entkl with
// the same n and k:
//   I = log(n - 1) - psi(k) + log(V_d^2 / V_2d) + M_X + M_Y - M_XY.
// X and Y are n x d, XY is n x 2d with row i of X followed by row i of Y.
// Needs n >= 1, 1 <= d <= INT_MAX / 2, k >= 1 and those shapes; otherwise
// std::invalid_argument.
double mikl(CMatrix& X, CMatrix& Y, CMatrix& XY, int k);

}  // namespace arvel

#endif

#include "mi_continuous.h"

#include "hest_continuous.h"
#include "utilFunctions.h"

#include <climits>
#include <cmath>
#include <stdexcept>

namespace arvel {

double mikl(CMatrix& X, CMatrix& Y, CMatrix& XY, int k)
{
    const int n = X.rows();
    const int d = X.cols();
    if (k < 1)
        throw std::invalid_argument("mikl: k must be at least 1");
    if (d < 1 || d > INT_MAX / 2 || Y.rows() != n || Y.cols() != d ||
        XY.rows() != n || XY.cols() != 2 * d)
        throw std::invalid_argument(
            "mikl: X and Y must be n x d and XY n x 2d");

    // The joined samples first: the largest of the three searches then
    // starts on an empty heap, and the two smaller ones fit into what it
    // leaves, so the peak is that of the one search of X | Y.
    const double MXY = calculateMlogRho(XY, k);
    const double MX = calculateMlogRho(X, k);
    const double MY = calculateMlogRho(Y, k);
    const double psi = digamma(static_cast<double>(k));
    const double V = unitBallVolume(d);
    const double VXY = unitBallVolume(2 * d);
    const double L = std::log((V * V) / VXY);
    const double nm1 = static_cast<double>(n - 1);
    // The grouping fixes the last bits of the result.
    return ((((std::log(nm1) - psi) + L) + MX) + MY) - MXY;
}

}  // namespace arvel

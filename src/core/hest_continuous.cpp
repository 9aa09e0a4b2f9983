#include "hest_continuous.h"

#include "utilFunctions.h"

#include <cmath>
#include <stdexcept>

namespace arvel {

double unitBallVolume(int m)
{
    const double pi = 3.141592653589793;
    const double h = 0.5 * static_cast<double>(m);
    return (2.0 * std::pow(pi, h)) / (static_cast<double>(m) * gammaf(h));
}

double entkl(CMatrix& X, int k)
{
    const int n = X.rows();
    const int d = X.cols();
    if (k < 1)
        throw std::invalid_argument("entkl: k must be at least 1");

    const double M = calculateMlogRho(X, k);
    const double psi = digamma(static_cast<double>(k));
    const double V = unitBallVolume(d);
    const double nm1 = static_cast<double>(n - 1);
    // The grouping fixes the last bits of the result.
    return M + ((std::log(nm1) - psi) + std::log(V));
}

}  // namespace arvel

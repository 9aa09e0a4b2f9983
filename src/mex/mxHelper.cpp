#include "mxHelper.h"

#include <algorithm>
#include <cstddef>

namespace arvel {

// Both layouts are column-major, so element (i, j) of the array, at
// i + j * M, is element (i, j) of the matrix: the copies are block copies.

void mxToCMatrix(const mxArray* a, CMatrix& target)
{
    const double* pr = mxGetPr(a);
    const int M = static_cast<int>(mxGetM(a));
    const int N = static_cast<int>(mxGetN(a));
    target.resize(M, N);
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(M) * N;
    if (count > 0) std::copy(pr, pr + count, target.data);
}

void mxToCMatrix(const mxArray* x, const mxArray* y, CMatrix& target)
{
    const double* px = mxGetPr(x);
    const int M = static_cast<int>(mxGetM(x));
    const int N = static_cast<int>(mxGetN(x));
    const double* py = mxGetPr(y);
    target.resize(M, 2 * N);
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(M) * N;
    if (count > 0) {
        std::copy(px, px + count, target.data);
        std::copy(py, py + count, target.data + count);
    }
}

void mxJoinColumns(const mxArray* const* arrays, int count, CMatrix& target)
{
    const int M = static_cast<int>(mxGetM(arrays[0]));
    int N = 0;
    for (int a = 0; a < count; ++a) N += static_cast<int>(mxGetN(arrays[a]));
    target.resize(M, N);
    double* out = target.data;
    for (int a = 0; a < count; ++a) {
        const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(M) *
                                 static_cast<std::ptrdiff_t>(mxGetN(arrays[a]));
        if (n > 0) std::copy(mxGetPr(arrays[a]), mxGetPr(arrays[a]) + n, out);
        out += n;
    }
}

}  // namespace arvel

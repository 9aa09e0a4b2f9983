// What the test hosts share: the error report they throw through the
// module, and the core's estimate of the samples of a call.
#ifndef ARVEL_TEST_HOST_H
#define ARVEL_TEST_HOST_H

#include "CMatrix.h"
#include "hest_continuous.h"
#include "ksg.h"
#include "mi_continuous.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace arvel_test {

// The stand-in's mexErrMsgTxt hands its message to throwHostError, which
// ends the call by throwing this through the module, as Octave does.
struct HostError {
    char message[1024];
};

inline void throwHostError(const char* message)
{
    HostError e;
    std::snprintf(e.message, sizeof e.message, "%s", message);
    throw e;
}

// entkl of the m x n samples x, or with y (also m x n) mikl of x and y;
// column-major values.
inline double coreEstimate(const std::vector<double>& x,
                           const std::vector<double>* y, std::size_t m,
                           std::size_t n, int k)
{
    const int rows = static_cast<int>(m), cols = static_cast<int>(n);
    arvel::CMatrix cx, cy, cxy;
    cx.resize(rows, cols);
    std::copy(x.begin(), x.end(), cx.data);
    if (y == nullptr) return arvel::entkl(cx, k);
    cy.resize(rows, cols);
    std::copy(y->begin(), y->end(), cy.data);
    cxy.resize(rows, 2 * cols);
    std::copy(x.begin(), x.end(), cxy.data);
    std::copy(y->begin(), y->end(), cxy.data + x.size());
    return arvel::mikl(cx, cy, cxy, k);
}

// miksg of two sample sets, or cmiksg of three: m rows each, column-major,
// of columns[s] columns.
inline double coreKsg(const std::vector<const std::vector<double>*>& sets,
                      const std::vector<std::size_t>& columns, std::size_t m,
                      int k)
{
    std::size_t total = 0;
    for (std::size_t c : columns) total += c;
    arvel::CMatrix joined;
    joined.resize(static_cast<int>(m), static_cast<int>(total));
    double* out = joined.data;
    for (const std::vector<double>* s : sets)
        out = std::copy(s->begin(), s->end(), out);
    if (sets.size() == 2)
        return arvel::miksg(joined, static_cast<int>(columns[0]), k);
    return arvel::cmiksg(joined, static_cast<int>(columns[0]),
                         static_cast<int>(columns[1]), k);
}

}  // namespace arvel_test

#endif

// Copies of host arrays as sample matrices.
#ifndef ARVEL_MXHELPER_H
#define ARVEL_MXHELPER_H

#include "CMatrix.h"
#include "mexApi.h"

namespace arvel {

// target becomes an M x N copy of the real full double array a. M and N
// must fit an int with M * N <= INT_MAX (the handlers check this).
void mxToCMatrix(const mxArray* a, CMatrix& target);

// target becomes the M x 2N joined matrix of x and y: x's columns, then y's.
// Both arrays are M x N; M and N are taken from x.
void mxToCMatrix(const mxArray* x, const mxArray* y, CMatrix& target);

// target becomes the matrix of the count arrays side by side: the columns of
// the first, then those of the second, and so on. All have the first's row
// count; the joined matrix must fit an int's range as above.
void mxJoinColumns(const mxArray* const* arrays, int count, CMatrix& target);

}  // namespace arvel

#endif

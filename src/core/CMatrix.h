// Dense matrix of doubles that owns its storage.
//
// Elements are stored column-major, as in a MATLAB array: the element at row
// i, column j is data[i + j * nRows]. A sample set has one sample per row and
// one dimension per column, so a column is contiguous and a sample is strided
// by nRows.
//
// The matrix is also the point set of the kd-tree: nanoflann's
// KDTreeEigenMatrixAdaptor reads Scalar, Index, RowsAtCompileTime,
// ColsAtCompileTime, rows(), cols() and coeff(i, j).
#ifndef ARVEL_CMATRIX_H
#define ARVEL_CMATRIX_H

#include <cstddef>

namespace arvel {

class CMatrix {
public:
    using Scalar = double;
    using Index = std::size_t;  // point index type of the kd-tree built over it
    enum { RowsAtCompileTime = -1, ColsAtCompileTime = -1 };

    double* data = nullptr;  // nRows * nCols elements, or null
    int nRows = 0;
    int nCols = 0;

    CMatrix() = default;
    ~CMatrix() { delete[] data; }
    CMatrix(const CMatrix&) = delete;
    CMatrix& operator=(const CMatrix&) = delete;

    // Replaces the buffer by an uninitialised one of rows * cols elements.
    // The old contents are not kept. Negative sizes and element counts above
    // 2^31 - 1 throw std::length_error and leave the matrix unchanged; a
    // failed allocation throws std::bad_alloc and leaves no buffer.
    void resize(int rows, int cols);

    int rows() const { return nRows; }
    int cols() const { return nCols; }
    double coeff(int i, int j) const { return data[i + j * nRows]; }
};

}  // namespace arvel

#endif

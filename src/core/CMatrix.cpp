#include "CMatrix.h"

#include <climits>
#include <stdexcept>

namespace arvel {

void CMatrix::resize(int rows, int cols)
{
    if (rows < 0 || cols < 0 ||
        static_cast<long long>(rows) * cols > INT_MAX)
        throw std::length_error("CMatrix::resize: size out of range");
    delete[] data;
    data = nullptr;
    nRows = rows;
    nCols = cols;
    data = new double[static_cast<std::size_t>(rows * cols)];
}

}  // namespace arvel

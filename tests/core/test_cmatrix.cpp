#include "CMatrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

using arvel::CMatrix;

TEST(CMatrix, DefaultIsEmptyWithoutBuffer)
{
    CMatrix m;
    EXPECT_EQ(m.rows(), 0);
    EXPECT_EQ(m.cols(), 0);
    EXPECT_EQ(m.data, nullptr);
}

TEST(CMatrix, ColumnMajorPositions)
{
    CMatrix m;
    m.resize(3, 2);
    ASSERT_EQ(m.rows(), 3);
    ASSERT_EQ(m.cols(), 2);
    for (int p = 0; p < 6; ++p) m.data[p] = p;
    EXPECT_EQ(m.coeff(2, 1), 5.0);
    EXPECT_EQ(m.coeff(0, 1), 3.0);
    EXPECT_EQ(m.coeff(1, 0), 1.0);
}

TEST(CMatrix, ZeroDimensionGetsABuffer)
{
    CMatrix m;
    m.resize(5, 0);
    EXPECT_EQ(m.rows(), 5);
    EXPECT_EQ(m.cols(), 0);
    EXPECT_NE(m.data, nullptr);
}

TEST(CMatrix, SecondResizeReplacesBufferAndShape)
{
    CMatrix m;
    m.resize(2, 2);
    m.resize(4, 3);
    EXPECT_EQ(m.rows(), 4);
    EXPECT_EQ(m.cols(), 3);
    for (int p = 0; p < 12; ++p) m.data[p] = -p;  // the new buffer is whole
    EXPECT_EQ(m.coeff(3, 2), -11.0);
}

TEST(CMatrix, RefusesSizesOutsideTheIntLimit)
{
    const struct { int rows, cols; } cases[] = {
        {-1, 2}, {2, -1}, {65536, 32768}, {INT_MAX, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " x " << c.cols);
        CMatrix m;
        m.resize(2, 3);
        double* before = m.data;
        EXPECT_THROW(m.resize(c.rows, c.cols), std::length_error);
        EXPECT_EQ(m.data, before);  // unchanged
        EXPECT_EQ(m.rows(), 2);
    }
}

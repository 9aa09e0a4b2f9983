// entkl and mikl: worked examples, unit-ball volumes, the extreme-dimension
// ranges and the invariances of the estimates.
#include "hest_continuous.h"
#include "mi_continuous.h"
#include "utilFunctions.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <stdexcept>

using arvel::CMatrix;
using arvel::entkl;
using arvel::mikl;
using arvel_test::fillRows;
using arvel_test::sameBits;

namespace {

const double pi = 3.141592653589793;

double psi(int k) { return arvel::digamma(static_cast<double>(k)); }

// A column, or n samples of d dimensions, from values.
void column(CMatrix& m, std::initializer_list<double> values)
{
    m.resize(static_cast<int>(values.size()), 1);
    int i = 0;
    for (double v : values) m.data[i++] = v;
}

double miklOf(CMatrix& x, CMatrix& y, int k)
{
    CMatrix xy;
    arvel_test::join(x, y, xy);
    return mikl(x, y, xy, k);
}

// Samples with distinct coordinates in every dimension, n x d.
void spread(CMatrix& m, int n, int d)
{
    m.resize(n, d);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < d; ++j)
            m.data[i + j * n] = (i * i + 1.0) * (j + 1.0) + 0.125 * i * j;
}

}  // namespace

TEST(UnitBall, VolumesOfLowDimensions)
{
    EXPECT_NEAR(arvel::unitBallVolume(1), 2.0, 4e-16);
    EXPECT_EQ(arvel::unitBallVolume(2), pi);  // Gamma(1) = 1
    EXPECT_NEAR(arvel::unitBallVolume(3), 4.0 * pi / 3.0, 1e-15);
    EXPECT_NEAR(arvel::unitBallVolume(4), pi * pi / 2.0, 1e-15);
}

TEST(Entkl, WorkedExamples)
{
    CMatrix m;
    column(m, {0, 2, 4, 6});
    const double l2 = std::log(2.0), l3 = std::log(3.0);
    EXPECT_TRUE(sameBits(entkl(m, 1), l2 + ((l3 - psi(1)) + std::log(arvel::unitBallVolume(1)))));
    EXPECT_NEAR(entkl(m, 1), l2 + ((l3 + 0.5772156649015329) + l2), 1e-10);
    const double M2 = (std::log(16.0) + std::log(4.0) + std::log(4.0) + std::log(16.0)) / 8;
    EXPECT_NEAR(entkl(m, 2), M2 + ((l3 - psi(2)) + l2), 2e-15);

    fillRows(m, {{0, 0}, {3, 4}, {6, 8}});
    EXPECT_TRUE(sameBits(entkl(m, 1), 2 * std::log(5.0) + ((l2 - psi(1)) + std::log(pi))));

    // n = 2: log(n - 1) = 0.
    column(m, {1, 4});
    EXPECT_NEAR(entkl(m, 1), std::log(3.0) + (-psi(1) + l2), 2e-15);
    // n = 1 with k = 1: log 0 = -Inf beside a finite mean log distance.
    column(m, {1});
    EXPECT_EQ(entkl(m, 1), -HUGE_VAL);
}

TEST(Entkl, ScalingAddsDLogC)
{
    CMatrix x, scaled;
    for (int d : {1, 3}) {
        arvel_test::fillGauss(x, 300, d, 11 + d);
        scaled.resize(300, d);
        for (int p = 0; p < 300 * d; ++p) scaled.data[p] = 3.7 * x.data[p];
        for (int k : {1, 5}) {
            SCOPED_TRACE(testing::Message() << "d " << d << " k " << k);
            EXPECT_NEAR(entkl(scaled, k), entkl(x, k) + d * std::log(3.7), 1e-12);
        }
    }
}

TEST(Entkl, ExtremeDimensions)
{
    CMatrix m;
    spread(m, 3, 340);
    EXPECT_TRUE(std::isfinite(entkl(m, 1)));
#if FLT_EVAL_METHOD == 2
    // The x87 unit forms V in its 80-bit format, whose exponent range holds
    // m * gammaf(m / 2) (and gammaf's 1e308 above 171) for every m: V stays
    // finite until pi^(m/2), a double from pow, overflows: V = Inf / finite.
    spread(m, 3, 341);
    EXPECT_TRUE(std::isfinite(entkl(m, 1)));
    spread(m, 3, 1238);
    EXPECT_TRUE(std::isfinite(entkl(m, 1)));
    spread(m, 3, 1239);
    EXPECT_EQ(entkl(m, 1), HUGE_VAL);
#else
    spread(m, 3, 341);  // 341 * Gamma(170.5) overflows: V = 0
    EXPECT_EQ(entkl(m, 1), -HUGE_VAL);
    spread(m, 3, 1238);
    EXPECT_EQ(entkl(m, 1), -HUGE_VAL);
    spread(m, 3, 1239);  // 2 pi^619.5 overflows too: V = Inf / Inf
    EXPECT_TRUE(std::isnan(entkl(m, 1)));
#endif
}

TEST(Entkl, RefusesKBelowOne)
{
    CMatrix m;
    column(m, {0, 1, 2});
    EXPECT_THROW(entkl(m, 0), std::invalid_argument);
    EXPECT_THROW(entkl(m, -3), std::invalid_argument);
}

TEST(Mikl, WorkedExamples)
{
    CMatrix x, y;
    const double l2 = std::log(2.0), l3 = std::log(3.0), l5 = std::log(5.0);
    column(x, {0, 2, 4, 6});
    column(y, {0, 2, 4, 6});
    EXPECT_NEAR(miklOf(x, y, 1), l3 - psi(1) + std::log(4.0 / pi) - l2, 1e-15);
    {
        // The grouping, bit for bit: every nearest squared distance is 4 in
        // X and Y and 8 in XY.
        const double l4 = std::log(4.0), l8 = std::log(8.0);
        const double M = ((1.0 * (((l4 + l4) + l4) + l4)) / 4) * 0.5;
        const double MXY = ((2.0 * (((l8 + l8) + l8) + l8)) / 4) * 0.5;
        const double V1 = arvel::unitBallVolume(1), V2 = arvel::unitBallVolume(2);
        const double L = std::log((V1 * V1) / V2);
        const double want = ((((l3 - psi(1)) + L) + M) + M) - MXY;
        EXPECT_TRUE(arvel_test::agrees(miklOf(x, y, 1), want, 4))
            << arvel_test::ulpDistance(miklOf(x, y, 1), want) << " ulps";
    }
    column(y, {1, 0, 3, 2});
    EXPECT_NEAR(miklOf(x, y, 1), l2 - l5 + l3 - psi(1) + std::log(4.0 / pi), 1e-15);
    // n = 2: log(n - 1) = 0; n = 1: -Inf.
    column(x, {0, 2});
    column(y, {5, 1});
    EXPECT_NEAR(miklOf(x, y, 1),
                -psi(1) + std::log(4.0 / pi) + l2 + std::log(4.0) - std::log(20.0),
                1e-15);
    column(x, {0});
    column(y, {1});
    EXPECT_EQ(miklOf(x, y, 1), -HUGE_VAL);
}

TEST(Mikl, SelfInformationHasAClosedForm)
{
    // Y = X: the joint distances are sqrt(2) times those of X.
    for (int d : {1, 2, 3}) {
        CMatrix x, y;
        arvel_test::fillGauss(x, 400, d, 100 + d);
        arvel_test::copyMatrix(x, y);
        const double V = arvel::unitBallVolume(d), V2 = arvel::unitBallVolume(2 * d);
        for (int k : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "d " << d << " k " << k);
            EXPECT_NEAR(miklOf(x, y, k),
                        std::log(399.0) - psi(k) + std::log(V * V / V2) - d * std::log(2.0),
                        1e-12);
        }
    }
}

TEST(Mikl, SwappingXAndY)
{
    CMatrix x, y;
    arvel_test::fillGauss(x, 300, 2, 5);
    arvel_test::fillGauss(y, 300, 2, 6);
    for (int p = 0; p < 600; ++p) y.data[p] += 0.5 * x.data[p];
    EXPECT_NEAR(miklOf(x, y, 2), miklOf(y, x, 2), 1e-13);
}

TEST(Mikl, ExtremeDimensions)
{
    const struct { int d; double want; } cases[] = {
#if FLT_EVAL_METHOD == 2
        // The x87 unit forms V_d^2 / V_2d in its 80-bit format, whose
        // exponent range holds both volumes until pi^d, a double from pow,
        // overflows: V_2d = Inf and the ratio 0 from d = 620, and from 1239
        // V_d = Inf too: Inf / Inf.
        {170, 0.0}, {171, 0.0}, {268, 0.0}, {269, 0.0}, {619, 0.0},
        {620, -HUGE_VAL}, {1238, -HUGE_VAL}, {1239, std::nan("")},
#else
        {170, 0.0},       // finite
        {171, HUGE_VAL},  // V_2d = 0, V_d^2 > 0
        {268, HUGE_VAL},  // V_d^2 is the smallest subnormal
        {269, std::nan("")},  // 0 / 0
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.d);
        CMatrix x, y;
        spread(x, 3, c.d);
        spread(y, 3, c.d);
        for (int p = 0; p < 3 * c.d; ++p) y.data[p] = -y.data[p] + p % 7;
        const double got = miklOf(x, y, 1);
        if (c.want == 0.0)
            EXPECT_TRUE(std::isfinite(got)) << got;
        else if (std::isnan(c.want))
            EXPECT_TRUE(std::isnan(got)) << got;
        else
            EXPECT_EQ(got, c.want);
    }
}

TEST(Mikl, NonFiniteSamples)
{
    CMatrix x, y;
    column(x, {0, 1, 3, 7});
    column(y, {2, HUGE_VAL, 1, 0});
    EXPECT_TRUE(std::isnan(miklOf(x, y, 1)));  // Inf - Inf
    column(y, {2, std::nan(""), 1, 0});
    EXPECT_TRUE(std::isnan(miklOf(x, y, 1)));
}

TEST(Mikl, RefusesArgumentsOutsideTheDomain)
{
    CMatrix x, y, xy, wrong;
    column(x, {0, 1, 2});
    column(y, {2, 1, 0});
    arvel_test::join(x, y, xy);
    wrong.resize(3, 3);
    EXPECT_THROW(mikl(x, y, xy, 0), std::invalid_argument);
    EXPECT_THROW(mikl(x, y, wrong, 1), std::invalid_argument);
    EXPECT_THROW(mikl(x, wrong, xy, 1), std::invalid_argument);
    CMatrix none;
    EXPECT_THROW(mikl(none, none, none, 1), std::invalid_argument);
}

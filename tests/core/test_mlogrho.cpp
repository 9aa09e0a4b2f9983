// calculateMlogRho against a brute-force oracle and the worked examples.
#include "utilFunctions.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

using arvel::CMatrix;
using arvel::calculateMlogRho;
using arvel_test::fillRows;
using arvel_test::agrees;
using arvel_test::sameBits;

namespace {

// Squared distance grouped as nanoflann's L2 adaptor groups it (blocks of
// four, then the rest one by one), so that the oracle's values are the
// search's own to the last bit.
double squaredDistance(const CMatrix& m, int a, int b)
{
    const int d = m.cols();
    double result = 0.0;
    int j = 0;
    for (; j + 3 < d; j += 4) {
        const double d0 = m.coeff(a, j) - m.coeff(b, j);
        const double d1 = m.coeff(a, j + 1) - m.coeff(b, j + 1);
        const double d2 = m.coeff(a, j + 2) - m.coeff(b, j + 2);
        const double d3 = m.coeff(a, j + 3) - m.coeff(b, j + 3);
        result += d0 * d0 + d1 * d1 + d2 * d2 + d3 * d3;
    }
    for (; j < d; ++j) {
        const double d0 = m.coeff(a, j) - m.coeff(b, j);
        result += d0 * d0;
    }
    return result;
}

// Every pairwise distance, sorted; slot k of sample i is the (k+1)-th
// smallest, itself included.
double bruteForce(const CMatrix& m, int k)
{
    const int n = m.rows();
    double S = 0.0;
    std::vector<double> all(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) all[j] = squaredDistance(m, i, j);
        double x = DBL_MAX;
        if (k < n) {
            std::nth_element(all.begin(), all.begin() + k, all.end());
            x = all[k];
        }
        S += x == 0.0 ? 0.0 : std::log(x);
    }
    return ((static_cast<double>(m.cols()) * S) / n) * 0.5;
}

// Sample sets of the oracle table: Gaussian, a coarse integer grid (many
// ties and exact duplicates), and Gaussian rows each repeated.
enum class Kind { gauss, grid, repeated };

void makeSamples(CMatrix& m, Kind kind, int n, int d, std::uint64_t seed)
{
    arvel_test::Rng rng(seed);
    m.resize(n, d);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < d; ++j) {
            double v;
            switch (kind) {
            case Kind::gauss: v = rng.gauss(); break;
            case Kind::grid: v = static_cast<double>(rng.next() % 4); break;
            default: v = i % 3 == 0 || i < 1 ? rng.gauss() : m.coeff(i - 1, j);
            }
            m.data[i + j * n] = v;
        }
}

}  // namespace

TEST(MlogRho, MatchesBruteForceAndThePlainLoop)
{
    const Kind kinds[] = {Kind::gauss, Kind::grid, Kind::repeated};
    const int sizes[] = {1, 2, 11, 57, 400};
    std::uint64_t seed = 1;
    for (Kind kind : kinds)
        for (int d = 1; d <= 8; ++d)
            for (int n : sizes) {
                CMatrix m;
                makeSamples(m, kind, n, d, seed++);
                for (int k : {0, 1, 3, n - 1, n}) {
                    if (k < 0) continue;
                    SCOPED_TRACE(testing::Message()
                                 << "kind " << static_cast<int>(kind) << " n "
                                 << n << " d " << d << " k " << k);
                    const double got = calculateMlogRho(m, k);
                    EXPECT_TRUE(agrees(got, bruteForce(m, k), 19))
                        << got << " vs " << bruteForce(m, k);
                    if (k < n && arvel_test::libraryLoopComparable(d)) {
                        // The leaf-order search sums in sample order.
                        EXPECT_TRUE(agrees(got, arvel_test::libraryLoop(m, k), 19));
                    }
                }
            }
}

TEST(MlogRho, WorkedExamples)
{
    const double l4 = std::log(4.0), l16 = std::log(16.0);
    const struct {
        const char* name;
        std::initializer_list<std::initializer_list<double>> rows;
        int k;
        double want;
    } cases[] = {
        {"0 2 4 6", {{0}, {2}, {4}, {6}}, 1, (((l4 + l4) + l4) + l4) / 4 * 0.5},
        {"0 2 4 6 k=2", {{0}, {2}, {4}, {6}}, 2,
         (((l16 + l4) + l4) + l16) / 4 * 0.5},
        {"(0,0) (3,4) (6,8)", {{0, 0}, {3, 4}, {6, 8}}, 1,
         ((2 * ((std::log(25.0) + std::log(25.0)) + std::log(25.0))) / 3) * 0.5},
        {"(0,0) (3,4) (6,8) k=2", {{0, 0}, {3, 4}, {6, 8}}, 2,
         ((2 * ((std::log(100.0) + std::log(25.0)) + std::log(100.0))) / 3) *
             0.5},
        {"1 1 5: zero rule", {{1}, {1}, {5}}, 1, (l16 / 3) * 0.5},
        {"1 1 5 k=2", {{1}, {1}, {5}}, 2, (((l16 + l16) + l16) / 3) * 0.5},
        {"all equal", {{2, 3}, {2, 3}, {2, 3}, {2, 3}}, 2, 0.0},
        {"k=0", {{0}, {2}, {7}}, 0, 0.0},
        {"k=n-1: farthest", {{0}, {1}, {3}}, 2,
         (((std::log(9.0) + l4) + std::log(9.0)) / 3) * 0.5},
        {"one sample, k=n", {{5, 5, 5}}, 1, (3 * std::log(DBL_MAX)) * 0.5},
        {"k>n", {{0}, {1}}, 7, ((std::log(DBL_MAX) + std::log(DBL_MAX)) / 2) * 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMatrix m;
        fillRows(m, c.rows);
        EXPECT_TRUE(agrees(calculateMlogRho(m, c.k), c.want, 1))
            << calculateMlogRho(m, c.k) << " vs " << c.want;
        EXPECT_NEAR(calculateMlogRho(m, c.k), c.want, 1e-15 * std::fabs(c.want));
    }
    CMatrix m;
    fillRows(m, {{0}, {2}, {4}, {6}});
    EXPECT_DOUBLE_EQ(calculateMlogRho(m, 1), std::log(2.0));
}

TEST(MlogRho, NonFiniteValuesNeverReachTheTree)
{
    const double inf = HUGE_VAL, nan = std::nan("");
    const struct {
        const char* name;
        std::initializer_list<std::initializer_list<double>> rows;
        double want;  // NaN, +Inf
    } cases[] = {
        {"NaN", {{0, 1}, {nan, 2}, {3, 4}}, nan},
        {"NaN beats Inf", {{inf, 1}, {0, 2}, {3, nan}}, nan},
        {"+Inf", {{0, 1}, {inf, 2}, {3, 4}}, inf},
        {"-Inf", {{0, 1}, {1, -inf}, {3, 4}}, inf},
        {"two equal infinities", {{inf}, {inf}, {1}, {2}}, inf},
        {"all NaN", {{nan}, {nan}, {nan}}, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMatrix m;
        fillRows(m, c.rows);
        for (int k : {0, 1, 2, 5}) {
            const double got = calculateMlogRho(m, k);
            if (std::isnan(c.want))
                EXPECT_TRUE(std::isnan(got)) << got;
            else
                EXPECT_EQ(got, c.want);
        }
    }
}

TEST(MlogRho, RefusesArgumentsOutsideTheDomain)
{
    CMatrix empty, noCols, ok;
    empty.resize(0, 3);
    noCols.resize(4, 0);
    fillRows(ok, {{0}, {1}});
    EXPECT_THROW(calculateMlogRho(empty, 1), std::invalid_argument);
    EXPECT_THROW(calculateMlogRho(noCols, 1), std::invalid_argument);
    EXPECT_THROW(calculateMlogRho(ok, -1), std::invalid_argument);
    CMatrix unset;
    EXPECT_THROW(calculateMlogRho(unset, 1), std::invalid_argument);
}

TEST(MlogRho, DependsOnlyOnPairwiseDistances)
{
    CMatrix m, permuted, moved;
    const int n = 500, d = 3;
    arvel_test::fillGauss(m, n, d, 7);
    permuted.resize(n, d);
    moved.resize(n, d);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < d; ++j) {
            permuted.data[i + j * n] = m.coeff((i * 37 + 11) % n, j);  // 37 is coprime to 500
            // A translation by powers of two keeps every difference exact.
            moved.data[i + j * n] = m.coeff(i, j) + 0.25 * (j + 1);
        }
    for (int k : {1, 4}) {
        SCOPED_TRACE(k);
        const double base = calculateMlogRho(m, k);
        EXPECT_NEAR(calculateMlogRho(permuted, k), base, 1e-13 * std::fabs(base));
        EXPECT_NEAR(calculateMlogRho(moved, k), base, 1e-12 * std::fabs(base));
    }
}

TEST(MlogRho, ExtremeMagnitudesKeepTheirDistances)
{
    // Squared distances of such samples leave the double range; scaled by
    // c, the statistic must still grow by d log c.
    const struct { double c; int d; } cases[] = {
        {0x1p600, 1}, {1e200, 3}, {1e300, 2}, {0x1p-600, 2}, {1e-250, 1},
        {1e-310, 2},  // subnormal samples
        {0x1p500, 8}, {0x1p200, 1}, {1e-100, 2}};  // the last three need no scaling
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "c " << c.c << " d " << c.d);
        CMatrix x, scaled;
        arvel_test::fillGauss(x, 300, c.d, 21);
        scaled.resize(300, c.d);
        for (int p = 0; p < 300 * c.d; ++p) scaled.data[p] = x.data[p] * c.c;
        for (int k : {1, 4}) {
            const double want = calculateMlogRho(x, k) + c.d * std::log(c.c);
            EXPECT_NEAR(calculateMlogRho(scaled, k), want, 1e-12 * std::fabs(want));
        }
    }
    // Many dimensions lower the bound: 1000 coordinates of +-1.9 * 2^507
    // overflow a squared distance that 8 would not.
    {
        const double c = 1.9 * 0x1p507;
        CMatrix signs, scaled;
        signs.resize(300, 1000);
        scaled.resize(300, 1000);
        arvel_test::Rng rng(5);
        for (int p = 0; p < 300 * 1000; ++p) {
            signs.data[p] = (rng.next() & 1) ? 1.0 : -1.0;
            scaled.data[p] = c * signs.data[p];
        }
        const double want = calculateMlogRho(signs, 1) + 1000 * std::log(c);
        EXPECT_NEAR(calculateMlogRho(scaled, 1), want, 1e-12 * std::fabs(want));
    }
    // Duplicates among them still count 0.
    CMatrix m;
    fillRows(m, {{1e300}, {1e300}, {-1e300}});
    EXPECT_NEAR(calculateMlogRho(m, 1), std::log(2e300) / 3, 1e-13);
}

TEST(MlogRho, ManyDuplicatesEndTheirSearchEarly)
{
    // Of 5000 points, all but 50 are one point. Each search of a duplicate
    // stops at k + 1 zeros; the result is the oracle's.
    CMatrix m;
    const int n = 5000;
    m.resize(n, 2);
    arvel_test::Rng rng(3);
    for (int i = 0; i < n; ++i) {
        const bool spread = i % 100 == 0;
        m.data[i] = spread ? rng.gauss() : 0.5;
        m.data[i + n] = spread ? rng.gauss() : -1.5;
    }
    EXPECT_TRUE(agrees(calculateMlogRho(m, 3), bruteForce(m, 3), 1));
}

TEST(MlogRho, EveryNeighbourSearchGivesTheOraclesBits)
{
    // Each way of finding the k + 1-th distance, forced, on one and on three
    // threads (where the bounds carried from query to query restart at each
    // chunk), and the automatic choice at the edges of its choices: the
    // same bits from all, and the oracle's value. The grid and repeated
    // sets have many ties and duplicates, where the carried bounds miss and
    // the search or scan is repeated without them.
    using arvel::NeighbourSearch;
    const NeighbourSearch methods[] = {NeighbourSearch::sortedSlots,
                                       NeighbourSearch::selectedSlots,
                                       NeighbourSearch::scan};
    const Kind kinds[] = {Kind::gauss, Kind::grid, Kind::repeated};
    const int n = 500;
    std::uint64_t seed = 100;
    for (Kind kind : kinds)
        for (int d : {1, 2, 3, 5, 9}) {
            CMatrix m;
            makeSamples(m, kind, n, d, seed++);
            const int sortedUpTo = static_cast<int>(
                d <= 4 ? arvel::kSortedUpToLow : arvel::kSortedUpToHigh);
            const int scanFrom =
                n / static_cast<int>(d <= 4 ? arvel::kScanFromPartLow
                                            : arvel::kScanFromPartHigh);
            std::vector<int> ks = {0, 1, 7, sortedUpTo - 2, sortedUpTo - 1,
                                   sortedUpTo, scanFrom - 2, scanFrom - 1,
                                   scanFrom, n / 2, n - 2, n - 1};
            for (int k : ks) {
                if (k < 0 || k >= n) continue;
                SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind)
                                                << " d " << d << " k " << k);
                // On x87 the oracle's and the estimator's sums of 500 logs
                // round apart by up to 35 ulp on the grid, whose terms
                // repeat; elsewhere they are the same bits.
                const double want = calculateMlogRho(m, k, 1);
                EXPECT_TRUE(agrees(want, bruteForce(m, k), 64))
                    << want << " vs " << bruteForce(m, k);
                for (NeighbourSearch method : methods)
                    for (unsigned threads : {1u, 3u}) {
                        const double got = calculateMlogRho(m, k, threads, method);
                        EXPECT_TRUE(sameBits(got, want))
                            << "method " << static_cast<int>(method) << " threads "
                            << threads << ": " << got << " vs " << want;
                    }
            }
        }
}

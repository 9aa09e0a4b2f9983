// The KSG estimators: the digamma of integers against mpmath; eps and the
// strict counts against a brute-force oracle, bit for bit, on sets with
// ties, duplicates and extreme magnitudes; the same bits on every thread
// count; and the estimates of Gaussian sets against their analytic values.
#include "ksg.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <vector>

using arvel::CMatrix;
using arvel_test::Rng;
using arvel_test::ulpDistance;

namespace {

struct RefValue {
    double x;
    double ref;
};
#include "special_refs.inc"

// The oracle: every pairwise max-norm distance, the k-th smallest of each
// sample's n - 1 distances over all columns, and the strict counts in the
// columns of each marginal. The distance of one coordinate is rounded to a
// double before it is compared, as in the library.
double coordinate(double a, double b)
{
    const volatile double d = a - b;
    return std::fabs(d);
}

double maxNorm(const CMatrix& m, int i, int j, const std::vector<int>& cols)
{
    double best = 0.0;
    for (int c : cols)
        best = std::max(best, coordinate(m.coeff(i, c), m.coeff(j, c)));
    return best;
}

// Sets with a coordinate of 2^1022 or more are compared divided by 4, as
// the library searches them.
void oracle(const CMatrix& given, int k, const std::vector<std::vector<int>>& marginals,
            std::vector<double>& eps, std::vector<std::vector<std::uint32_t>>& counts)
{
    const int n = given.rows();
    CMatrix m;
    arvel_test::copyMatrix(given, m);
    double largest = 0.0;
    for (int p = 0; p < n * m.cols(); ++p) largest = std::max(largest, std::fabs(m.data[p]));
    if (largest >= 0x1p1022)
        for (int p = 0; p < n * m.cols(); ++p) m.data[p] /= 4;
    std::vector<int> all;
    for (int c = 0; c < m.cols(); ++c) all.push_back(c);
    eps.assign(n, 0.0);
    counts.assign(marginals.size(), std::vector<std::uint32_t>(n, 0));
    std::vector<double> d;
    for (int i = 0; i < n; ++i) {
        d.clear();
        for (int j = 0; j < n; ++j)
            if (j != i) d.push_back(maxNorm(m, i, j, all));
        std::nth_element(d.begin(), d.begin() + (k - 1), d.end());
        eps[i] = d[k - 1];
        for (std::size_t s = 0; s < marginals.size(); ++s)
            for (int j = 0; j < n; ++j)
                if (j != i && maxNorm(m, i, j, marginals[s]) < eps[i])
                    ++counts[s][i];
    }
}

std::vector<int> columns(int first, int count)
{
    std::vector<int> c;
    for (int j = 0; j < count; ++j) c.push_back(first + j);
    return c;
}

// The first position where two vectors differ (bit for bit), or -1.
template <class T>
int firstDifference(const std::vector<T>& a, const std::vector<T>& b)
{
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!arvel_test::sameBits(static_cast<double>(a[i]), static_cast<double>(b[i])))
            return static_cast<int>(i);
    return -1;
}

// A sample set of the oracle tests.
struct Set {
    const char* name;
    int n, d;
    enum Kind { gauss, grid, duplicates, huge, tiny, mixed } kind;
};

void makeSet(const Set& s, CMatrix& m, std::uint64_t seed)
{
    arvel_test::fillGauss(m, s.n, s.d, seed);
    Rng rng(seed + 1000);
    for (int p = 0; p < s.n * s.d; ++p) {
        double& v = m.data[p];
        switch (s.kind) {
        case Set::gauss: break;
        case Set::grid: v = std::floor(v * 2.0); break;  // many equal values
        case Set::duplicates:
            // A third of the rows are one point, the rest on a coarse grid.
            if (p % s.n < s.n / 3) v = 0.25; else v = std::round(v);
            break;
        case Set::huge:
            // Magnitudes near DBL_MAX, and sample 0 at -DBL_MAX, whose
            // differences from the others overflow unless scaled.
            v = p % s.n == 0 ? -DBL_MAX
                             : DBL_MAX * (0.5 + 0.125 * std::min(std::fabs(v), 4.0));
            break;
        case Set::tiny: v = std::floor(v * 8.0) * DBL_TRUE_MIN; break;
        case Set::mixed:
            if (rng.uniform() < 0.3) v = std::round(v * 4.0) / 4.0;
            break;
        }
    }
}

}  // namespace

TEST(DigammaInteger, AgreesWithMpmath)
{
    std::int64_t worst = 0;
    for (const RefValue& c : digammaIntegerRefs) {
        SCOPED_TRACE(testing::Message() << "digammaInteger(" << c.x << ")");
        const double got = arvel::digammaInteger(static_cast<long long>(c.x));
        const std::int64_t ulps = ulpDistance(got, c.ref);
        worst = std::max(worst, ulps);
        EXPECT_LE(ulps, c.x <= 16 ? 0 : 1) << got << " vs " << c.ref;
    }
    RecordProperty("worst_ulps", static_cast<int>(worst));
    EXPECT_TRUE(std::isnan(arvel::digammaInteger(0)));
    EXPECT_TRUE(std::isnan(arvel::digammaInteger(-5)));
}

// The compensated sum against sums that lose every addend without it.
TEST(CompensatedSum, KeepsWhatPlainSummationLoses)
{
    const struct {
        const char* name;
        std::vector<double> terms;
        double want;
    } cases[] = {
        {"ones below the last place of 1e16", {1e16, 1.0, 1.0, 1.0, 1.0}, 1e16 + 4.0},
        {"large terms cancel", {1.0, 1e100, 1.0, -1e100}, 2.0},
        {"tenths", std::vector<double>(10, 0.1), 1.0},
        {"empty", {}, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        arvel::CompensatedSum s;
        for (double t : c.terms) s.add(t);
        EXPECT_EQ(s.value(), c.want);
    }
}

TEST(MaxNormStatistics, MatchOracleBitForBit)
{
    const Set sets[] = {
        {"gauss", 300, 4, Set::gauss},
        {"grid", 300, 4, Set::grid},
        {"duplicates", 240, 4, Set::duplicates},
        {"huge", 200, 4, Set::huge},
        {"tiny", 200, 4, Set::tiny},
        {"mixed", 300, 6, Set::mixed},
    };
    // The marginals of the estimators: X | Y of several widths, and the
    // (X, Z), (Y, Z), Z of the conditional form.
    struct Split {
        const char* name;
        int cols;
        std::vector<std::vector<int>> marginals;
    };
    const Split splits[] = {
        {"1 | 1", 2, {columns(0, 1), columns(1, 1)}},
        {"1 | 3", 4, {columns(0, 1), columns(1, 3)}},
        {"2 | 2", 4, {columns(0, 2), columns(2, 2)}},
        {"3 | 3", 6, {columns(0, 3), columns(3, 3)}},
        {"1 | 1 | 1", 3, {{0, 2}, {1, 2}, {2}}},
        {"2 | 1 | 2", 5, {{0, 1, 3, 4}, {2, 3, 4}, {3, 4}}},
    };
    std::uint64_t seed = 7;
    for (const Set& s : sets) {
        CMatrix full;
        makeSet(s, full, seed++);
        for (const Split& sp : splits) {
            if (sp.cols > s.d) continue;
            CMatrix m;
            m.resize(s.n, sp.cols);
            std::copy(full.data, full.data + s.n * sp.cols, m.data);
            for (int k : {1, 3, 10, 100, s.n - 1}) {
                SCOPED_TRACE(testing::Message() << s.name << ", " << sp.name
                                                << ", k " << k);
                std::vector<double> wantEps;
                std::vector<std::vector<std::uint32_t>> wantCounts;
                oracle(m, k, sp.marginals, wantEps, wantCounts);
                for (unsigned threads : {1u, 3u}) {
                    SCOPED_TRACE(testing::Message() << threads << " threads");
                    std::vector<double> eps;
                    std::vector<std::vector<std::uint32_t>> counts;
                    arvel::maxNormStatistics(m, k, sp.marginals, threads, eps,
                                             counts);
                    const int e = firstDifference(eps, wantEps);
                    EXPECT_LT(e, 0) << "eps of sample " << e << ": " << eps[e]
                                    << " vs " << wantEps[e];
                    ASSERT_EQ(counts.size(), wantCounts.size());
                    for (std::size_t c = 0; c < counts.size(); ++c) {
                        const int i = firstDifference(counts[c], wantCounts[c]);
                        EXPECT_LT(i, 0) << "marginal " << c << ", sample " << i
                                        << ": " << counts[c][i] << " vs "
                                        << wantCounts[c][i];
                    }
                }
            }
        }
    }
}

// The estimate is the formula over the oracle's statistics, summed in
// sample order with compensation. Its steps are stored as doubles, as the
// library stores them, for the x87 unit's sake.
TEST(Ksg, EstimatesAreTheFormulaOverTheStatistics)
{
    CMatrix m;
    makeSet({"mixed", 400, 5, Set::mixed}, m, 99);
    const auto psi = arvel::digammaInteger;
    for (int k : {1, 4}) {
        SCOPED_TRACE(k);
        std::vector<double> eps;
        std::vector<std::vector<std::uint32_t>> c;
        oracle(m, k, {columns(0, 2), columns(2, 3)}, eps, c);
        arvel::CompensatedSum S;
        for (int i = 0; i < m.rows(); ++i)
            S.add(psi(c[0][i] + 1LL) + psi(c[1][i] + 1LL));
        const volatile double constant = psi(k) + psi(m.rows());
        const volatile double mean = S.value() / m.rows();
        const double mi = constant - mean;
        EXPECT_TRUE(arvel_test::agrees(arvel::miksg(m, 2, k), mi, 1));

        oracle(m, k, {{0, 3, 4}, {1, 2, 3, 4}, {3, 4}}, eps, c);
        arvel::CompensatedSum T;
        for (int i = 0; i < m.rows(); ++i) {
            const volatile double pair = psi(c[0][i] + 1LL) + psi(c[1][i] + 1LL);
            T.add(pair - psi(c[2][i] + 1LL));
        }
        const volatile double cmean = T.value() / m.rows();
        const double cmi = psi(k) - cmean;
        EXPECT_TRUE(arvel_test::agrees(arvel::cmiksg(m, 1, 2, k), cmi, 1));
    }
}

TEST(Ksg, SameBitsForEveryThreadCount)
{
    const Set sets[] = {
        {"gauss", 30000, 3, Set::gauss},
        {"duplicates", 20000, 3, Set::duplicates},
        {"huge", 20000, 3, Set::huge},
    };
    std::uint64_t seed = 300;
    for (const Set& s : sets) {
        CMatrix m;
        makeSet(s, m, seed++);
        const double mi = arvel::miksg(m, 1, 4, 1);
        const double cmi = arvel::cmiksg(m, 1, 1, 4, 1);
        for (unsigned threads : {2u, 3u, 8u}) {
            SCOPED_TRACE(testing::Message() << s.name << ", " << threads
                                            << " threads");
            EXPECT_TRUE(arvel_test::sameBits(arvel::miksg(m, 1, 4, threads), mi));
            EXPECT_TRUE(arvel_test::sameBits(arvel::cmiksg(m, 1, 1, 4, threads), cmi));
        }
    }
}

// Gaussian sets of known information, n = 20000. The estimates lie within
// 0.022 of the truth for this seed (largest at rho = 0.9, k = 3); they
// agree with scipy's estimate of the same samples to 1e-14 (bench/), and
// their spread over seeds is about 0.01 nats.
TEST(Ksg, GaussianSetsNearTheirAnalyticValues)
{
    const int n = 20000;
    struct Case {
        const char* name;
        double rho;  // correlation of X and Y; for the conditional cases see below
        bool conditional;
        double truth;
    };
    const Case cases[] = {
        {"independent", 0.0, false, 0.0},
        {"rho 0.5", 0.5, false, -0.5 * std::log(1 - 0.25)},
        {"rho 0.9", 0.9, false, -0.5 * std::log(1 - 0.81)},
        // X -> Z -> Y: X and Y independent given Z.
        {"chain", 0.0, true, 0.0},
        // X = Z + U, Y = X + V: partial correlation 1/sqrt(2) given Z.
        {"common part", 0.0, true, -0.5 * std::log(0.5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rng rng(2024);
        CMatrix m;
        if (!c.conditional) {
            m.resize(n, 2);
            for (int i = 0; i < n; ++i) {
                const double x = rng.gauss();
                const double e = rng.gauss();
                m.data[i] = x;
                m.data[n + i] = c.rho * x + std::sqrt(1 - c.rho * c.rho) * e;
            }
            for (int k : {3, 6})
                EXPECT_NEAR(arvel::miksg(m, 1, k), c.truth, 0.03) << "k " << k;
        } else {
            m.resize(n, 3);
            const bool chain = c.truth == 0.0;
            for (int i = 0; i < n; ++i) {
                double x, y, z;
                if (chain) {
                    x = rng.gauss();
                    z = x + rng.gauss();
                    y = z + rng.gauss();
                } else {
                    z = rng.gauss();
                    x = z + rng.gauss();
                    y = x + rng.gauss();
                }
                m.data[i] = x;
                m.data[n + i] = y;
                m.data[2 * n + i] = z;
            }
            for (int k : {3, 6})
                EXPECT_NEAR(arvel::cmiksg(m, 1, 1, k), c.truth, 0.03) << "k " << k;
        }
    }
}

TEST(Ksg, NonFiniteValuesAndBadArguments)
{
    CMatrix m;
    arvel_test::fillGauss(m, 50, 3, 5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf}) {
        SCOPED_TRACE(bad);
        for (int at : {0, 49, 149}) {
            const double kept = m.data[at];
            m.data[at] = bad;
            EXPECT_TRUE(std::isnan(arvel::miksg(m, 2, 3)));
            EXPECT_TRUE(std::isnan(arvel::cmiksg(m, 1, 1, 3)));
            m.data[at] = kept;
        }
    }
    const struct { int dx, k; } miBad[] = {{0, 3}, {3, 3}, {1, 0}, {1, 50}};
    for (const auto& c : miBad) {
        SCOPED_TRACE(testing::Message() << "dx " << c.dx << ", k " << c.k);
        EXPECT_THROW(arvel::miksg(m, c.dx, c.k), std::invalid_argument);
    }
    const struct { int dx, dy, k; } cmiBad[] = {
        {0, 1, 3}, {1, 0, 3}, {2, 1, 3}, {1, 2, 3}, {1, 1, 0}, {1, 1, 50}};
    for (const auto& c : cmiBad) {
        SCOPED_TRACE(testing::Message() << "dx " << c.dx << ", dy " << c.dy
                                        << ", k " << c.k);
        EXPECT_THROW(arvel::cmiksg(m, c.dx, c.dy, c.k), std::invalid_argument);
    }
    // Two samples, k = 1: each is the other's neighbour, at eps the larger
    // of the two marginal distances, and a marginal distance counts only
    // if it is strictly below eps.
    const struct {
        const char* name;
        std::initializer_list<std::initializer_list<double>> rows;
        double want;
    } pairs[] = {
        // X at 2 < eps = 4: n_x = 1, n_y = 0, psi(1) + psi(2) - psi(2) - psi(1).
        {"one inside", {{0.0, 1.0}, {2.0, 5.0}}, 0.0},
        // Both at eps = 2: nothing inside, psi(1) + psi(2) - 2 psi(1) = 1.
        {"both at eps", {{0.0, 0.0}, {2.0, 2.0}}, 1.0},
        // Equal rows: eps = 0, nothing strictly inside.
        {"duplicates", {{3.0, 3.0}, {3.0, 3.0}}, 1.0},
    };
    for (const auto& c : pairs) {
        SCOPED_TRACE(c.name);
        CMatrix two;
        arvel_test::fillRows(two, c.rows);
        EXPECT_NEAR(arvel::miksg(two, 1, 1), c.want, 1e-15);
    }
}

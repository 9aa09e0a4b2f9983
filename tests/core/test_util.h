// Helpers shared by the core tests: matrices from literals and fixed-seed
// samples.
#ifndef ARVEL_TEST_UTIL_H
#define ARVEL_TEST_UTIL_H

#include "CMatrix.h"
#include "kdTree.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace arvel_test {

// A matrix from its rows.
inline void fillRows(arvel::CMatrix& m,
                     std::initializer_list<std::initializer_list<double>> rows)
{
    const int n = static_cast<int>(rows.size());
    const int d = n ? static_cast<int>(rows.begin()->size()) : 0;
    m.resize(n, d);
    int i = 0;
    for (const auto& row : rows) {
        int j = 0;
        for (double v : row) m.data[i + j++ * n] = v;
        ++i;
    }
}

// splitmix64: a fixed, portable stream of 64-bit values.
struct Rng {
    std::uint64_t state;
    explicit Rng(std::uint64_t seed) : state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    double gauss()  // Box-Muller
    {
        const double u = 1.0 - uniform();
        const double v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }
};

inline void fillGauss(arvel::CMatrix& m, int n, int d, std::uint64_t seed)
{
    Rng rng(seed);
    m.resize(n, d);
    for (int p = 0; p < n * d; ++p) m.data[p] = rng.gauss();
}

inline void copyMatrix(const arvel::CMatrix& from, arvel::CMatrix& to)
{
    to.resize(from.rows(), from.cols());
    if (from.rows() * from.cols() > 0)
        std::memcpy(to.data, from.data,
                    sizeof(double) * static_cast<size_t>(from.rows() * from.cols()));
}

// X | Y side by side.
inline void join(const arvel::CMatrix& x, const arvel::CMatrix& y,
                 arvel::CMatrix& xy)
{
    const int n = x.rows(), d = x.cols();
    xy.resize(n, 2 * d);
    for (int p = 0; p < n * d; ++p) {
        xy.data[p] = x.data[p];
        xy.data[n * d + p] = y.data[p];
    }
}

// Distance in units in the last place between two finite doubles.
inline std::int64_t ulpDistance(double a, double b)
{
    auto key = [](double x) {
        std::int64_t i;
        std::memcpy(&i, &x, sizeof i);
        return i < 0 ? INT64_MIN - i : i;
    };
    const std::int64_t d = key(a) - key(b);
    return d < 0 ? -d : d;
}

inline bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Two evaluations of a value, in the library and in the test, agree to the
// bit; on the x87 unit (FLT_EVAL_METHOD 2, the 32-bit builds) only to
// x87Ulps units in the last place, since sums and logarithms stay in its
// 80-bit registers and are rounded to double wherever the compiler spills
// them, which differs between the two. The bounds passed are the largest
// differences measured there.
inline bool agrees(double a, double b, std::int64_t x87Ulps)
{
#if FLT_EVAL_METHOD == 2
    return ulpDistance(a, b) <= x87Ulps;
#else
    (void)x87Ulps;
    return sameBits(a, b);
#endif
}

// Whether the library's own tree and search, run as a plain loop, give the
// neighbour statistic to the bit with the release in use (its build is
// sound on every point set, and it groups the squared distance as Arvel
// does in d dimensions).
inline bool libraryLoopComparable(int d)
{
    return ARVEL_NANOFLANN_BUILD_SOUND &&
           (ARVEL_NANOFLANN_DISTANCES_AS_OURS || d < 3);
}

// The neighbour statistic by the plain loop: the library's buildIndex over
// the samples, then one findNeighbors per sample in sample order, with the
// library's own result set.
inline double libraryLoop(const arvel::CMatrix& m, int k)
{
    namespace kd = arvel::kd;
    const int n = m.rows(), d = m.cols();
    const std::size_t rows = static_cast<std::size_t>(n);
    const std::size_t dims = static_cast<std::size_t>(d);
    const std::size_t slots = static_cast<std::size_t>(k) + 1;
    std::vector<double> points(rows * dims);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < dims; ++j)
            points[i * dims + j] = m.data[i + j * rows];
    kd::Tree<-1> tree(points.data(), rows, dims, 10);
    tree.index.buildIndex();
    std::vector<std::size_t> idx(slots);
    std::vector<double> dist(slots);
    nanoflann::KNNResultSet<double, std::size_t, std::size_t> rs(slots);
    double S = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        rs.init(idx.data(), dist.data());
        tree.index.findNeighbors(rs, points.data() + i * dims,
                                 kd::release::exactSearch());
        const double x = dist[slots - 1];
        S = S + (x == 0.0 ? 0.0 : std::log(x));
    }
    return ((static_cast<double>(d) * S) / static_cast<double>(n)) * 0.5;
}

}  // namespace arvel_test

#endif

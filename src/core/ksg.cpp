#include "ksg.h"

#include "kdTree.h"
#include "kthDistance.h"
#include "maxNorm.h"
#include "utilFunctions.h"
#include "workers.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <utility>

namespace arvel {

namespace {

// v rounded to a double. On the x87 unit (FLT_EVAL_METHOD 2) a value may
// be held in 80 bits, and rounded or not wherever the compiler spills it,
// which differs between builds of the same code; the compensated sum and
// the terms are stored at each step, so that every build rounds alike.
inline double rounded(double v)
{
#if FLT_EVAL_METHOD == 2
    const volatile double r = v;
    return r;
#else
    return v;
#endif
}

}  // namespace

// Digamma function at the positive integers.
// Method: psi(1) ... psi(16) from a table of the values rounded once to
// double (mpmath, 50 digits); from 17 on the asymptotic series
//   psi(x) ~ log x - 1/(2x) - 1/(12x^2) + 1/(120x^4) - 1/(252x^6)
//            + 1/(240x^8) - 1/(132x^10),
// whose next term is below 4e-17 at x = 17, with the terms after log x
// summed by Horner's rule in 1/x^2 and subtracted from it once.
// Domain: n >= 1 (every count and sample count); NaN below.
// Accuracy, measured against mpmath at 50 digits (tests/core): exact in
// the table, within 1 ulp from 17 to 2^31 - 1.
double digammaInteger(long long n)
{
    static const double table[16] = {
        -0.5772156649015329,  // psi(1) = -gamma
        0.42278433509846713,  0.9227843350984671,  1.2561176684318005,
        1.5061176684318005,   1.7061176684318005,  1.8727843350984672,
        2.01564147795561,     2.14064147795561,    2.251752589066721,
        2.351752589066721,    2.442661679975812,   2.5259950133091453,
        2.6029180902322224,   2.6743466616607936,  2.7410133283274605,
    };
    if (n < 1) return std::numeric_limits<double>::quiet_NaN();
    if (n <= 16) return table[n - 1];
    const double x = static_cast<double>(n);
    const double t = 1.0 / x;
    const double t2 = t * t;
    double s = 1.0 / 132.0;
    s = 1.0 / 240.0 - t2 * s;
    s = 1.0 / 252.0 - t2 * s;
    s = 1.0 / 120.0 - t2 * s;
    s = 1.0 / 12.0 - t2 * s;
    const double tail = rounded(0.5 * t + t2 * s);
    return rounded(std::log(x) - tail);
}

namespace {

// The chunk of consecutive queries a worker takes at a time.
std::size_t chunkSize(std::size_t n, unsigned threads)
{
    return std::min<std::size_t>(
        4096, std::max<std::size_t>(64, n / (32 * std::size_t{threads})));
}

// The columns of samples, sample by sample: point i at [i * c, i * c + c),
// each value times 2^shift.
std::vector<double> gather(const CMatrix& samples,
                           const std::vector<int>& columns, int shift)
{
    const std::size_t n = static_cast<std::size_t>(samples.rows());
    const std::size_t c = columns.size();
    std::vector<double> points(n * c);
    for (std::size_t j = 0; j < c; ++j) {
        const double* column =
            samples.data + static_cast<std::size_t>(columns[j]) * n;
        double* out = points.data() + j;
        for (std::size_t i = 0; i < n; ++i)
            out[i * c] = shift == 0 ? column[i] : std::ldexp(column[i], shift);
    }
    return points;
}

// eps over the d-dimensional points (D = d, or -1). The tree's build moves
// the points into leaf order; the queries run in that order, a chunk at a
// time, and each result lands in its sample's slot.
template <int D>
void kthDistances(std::vector<double>& points, std::size_t n, std::size_t d,
                  int k, unsigned threads, std::vector<double>& eps)
{
    kd::Tree<D> tree(points.data(), n, d, 10);
    kd::buildTree(tree, points.data(), threads);
    const std::vector<std::uint32_t>& sample = kd::release::order(tree.index);
    const std::size_t capacity = static_cast<std::size_t>(k) + 1;
    Chunks chunks(n, chunkSize(n, threads));
    // The k + 1 smallest max-norm distances in sorted slots for small k, in
    // a buffer with periodic selection for larger k, as for the entropy.
    // Both start at +Inf, so that a distance that overflowed to +Inf is that
    // of no neighbour found, which is what it is.
    const bool sorted =
        capacity <= (d <= 4 ? kSortedUpToLow : kSortedUpToHigh);
    const double none = std::numeric_limits<double>::infinity();
    runWorkers(threads, [&](const WorkerFailure& failure) {
        std::vector<double> slots(sorted ? capacity : 2 * capacity);
        SortedSlots few(capacity, slots.data(), none);
        SelectedSlots many(capacity, slots.data(), none);
        const kd::MaxNormSearcher<D> searcher(tree.index, points.data());
        std::size_t begin = 0, end = 0;
        while (!failure.stopped() && chunks.next(begin, end))
            for (std::size_t p = begin; p < end; ++p) {
                const double* query = points.data() + p * d;
                if (sorted) {
                    few.init();
                    searcher.search(query, few);
                    eps[sample[p]] = few.kth();
                } else {
                    many.init();
                    searcher.search(query, many);
                    eps[sample[p]] = many.kth();
                }
            }
    });
}

// The strict counts within eps over the d-dimensional points, d >= 2, by
// range counts in a tree of them. The sample itself is within any positive
// eps and is taken off.
template <int D>
void countsInTree(std::vector<double>& points, std::size_t n, std::size_t d,
                  const std::vector<double>& eps, unsigned threads,
                  std::vector<std::uint32_t>& counts)
{
    kd::Tree<D> tree(points.data(), n, d, 10);
    kd::buildTree(tree, points.data(), threads);
    const std::vector<std::uint32_t>& sample = kd::release::order(tree.index);
    Chunks chunks(n, chunkSize(n, threads));
    runWorkers(threads, [&](const WorkerFailure& failure) {
        const kd::MaxNormSearcher<D> searcher(tree.index, points.data());
        std::size_t begin = 0, end = 0;
        while (!failure.stopped() && chunks.next(begin, end))
            for (std::size_t p = begin; p < end; ++p) {
                const std::uint32_t s = sample[p];
                const std::size_t within =
                    searcher.countWithin(points.data() + p * d, eps[s]);
                counts[s] = within == 0
                                ? 0u
                                : static_cast<std::uint32_t>(within - 1);
            }
    });
}

// The strict counts within eps in one dimension, from a sorted copy of the
// column. The computed distance |v - x| only grows as v moves away from x
// in sorted order, so the values within eps of the value at position p are
// a run of positions around p; its ends are found by galloping out from p
// and then bisecting.
void countsInLine(const double* column, std::size_t n, int shift,
                  const std::vector<double>& eps, unsigned threads,
                  std::vector<std::uint32_t>& counts)
{
    std::vector<std::pair<double, std::uint32_t>> sorted(n);
    for (std::size_t i = 0; i < n; ++i)
        sorted[i] = {shift == 0 ? column[i] : std::ldexp(column[i], shift),
                     static_cast<std::uint32_t>(i)};
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = sorted[i].first;

    Chunks chunks(n, chunkSize(n, threads));
    runWorkers(threads, [&](const WorkerFailure& failure) {
        std::size_t begin = 0, end = 0;
        while (!failure.stopped() && chunks.next(begin, end))
            for (std::size_t p = begin; p < end; ++p) {
                const std::uint32_t s = sorted[p].second;
                const double e = eps[s];
                if (!(0.0 < e)) {
                    counts[s] = 0;
                    continue;
                }
                const double x = values[p];
                const auto within = [&](std::size_t q) {
                    return kd::coordinateDistance(values[q], x) < e;
                };
                // Lowest position within: within(lo) holds, within(out)
                // fails, or out is "before 0".
                std::size_t lo = p, step = 1;
                bool bounded = false;
                std::size_t out = 0;
                while (lo > 0) {
                    const std::size_t q = lo > step ? lo - step : 0;
                    if (!within(q)) {
                        out = q;
                        bounded = true;
                        break;
                    }
                    lo = q;
                    step *= 2;
                }
                if (bounded)
                    while (lo - out > 1) {
                        const std::size_t m = out + (lo - out) / 2;
                        if (within(m)) lo = m; else out = m;
                    }
                // Highest position within.
                std::size_t hi = p;
                step = 1;
                bounded = false;
                while (hi + 1 < n) {
                    const std::size_t q = n - 1 - hi > step ? hi + step : n - 1;
                    if (!within(q)) {
                        out = q;
                        bounded = true;
                        break;
                    }
                    hi = q;
                    step *= 2;
                }
                if (bounded)
                    while (out - hi > 1) {
                        const std::size_t m = hi + (out - hi) / 2;
                        if (within(m)) hi = m; else out = m;
                    }
                counts[s] = static_cast<std::uint32_t>(hi - lo);
            }
    });
}

bool allFinite(const CMatrix& m)
{
    const std::size_t count = static_cast<std::size_t>(m.rows()) *
                              static_cast<std::size_t>(m.cols());
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(m.data[i])) return false;
    return true;
}

std::vector<int> columnRange(int first, int count)
{
    std::vector<int> c(static_cast<std::size_t>(count));
    for (int j = 0; j < count; ++j) c[static_cast<std::size_t>(j)] = first + j;
    return c;
}

unsigned clampThreads(unsigned threads, int n)
{
    if (threads < 1) threads = 1;
    if (threads > static_cast<unsigned>(n)) threads = static_cast<unsigned>(n);
    return threads;
}

}  // namespace

double CompensatedSum::value() const { return rounded(sum_ + carry_); }

void CompensatedSum::add(double x)
{
    x = rounded(x);
    const double t = rounded(sum_ + x);
    if (std::fabs(sum_) >= std::fabs(x))
        carry_ = rounded(carry_ + rounded(rounded(sum_ - t) + x));
    else
        carry_ = rounded(carry_ + rounded(rounded(x - t) + sum_));
    sum_ = t;
}

void maxNormStatistics(const CMatrix& samples, int k,
                       const std::vector<std::vector<int>>& marginals,
                       unsigned threads, std::vector<double>& eps,
                       std::vector<std::vector<std::uint32_t>>& counts)
{
    const int rows = samples.rows();
    const int cols = samples.cols();
    if (rows < 2 || cols < 1 || k < 1 || k >= rows || samples.data == nullptr)
        throw std::invalid_argument(
            "maxNormStatistics: needs n >= 2 samples, a column and 1 <= k < n");
    for (const std::vector<int>& m : marginals)
        for (const int j : m)
            if (j < 0 || j >= cols)
                throw std::invalid_argument("maxNormStatistics: no such column");
    threads = clampThreads(threads, rows);
    const std::size_t n = static_cast<std::size_t>(rows);

    // Coordinates of 2^1022 or more are searched divided by 4: differences
    // then never overflow, nor do the sums and spans of the tree's build,
    // which would otherwise split such sets one point at a time. Dividing
    // by a power of two is exact and keeps every comparison of distances,
    // except in the last bits of subnormal values in such a set.
    double largest = 0.0;
    const std::size_t values = n * static_cast<std::size_t>(cols);
    for (std::size_t i = 0; i < values; ++i)
        largest = std::max(largest, std::fabs(samples.data[i]));
    const int shift = largest >= 0x1p1022 ? -2 : 0;

    eps.assign(n, 0.0);
    {
        std::vector<double> points = gather(samples, columnRange(0, cols), shift);
        const std::size_t d = static_cast<std::size_t>(cols);
        switch (cols) {
        case 1: kthDistances<1>(points, n, d, k, threads, eps); break;
        case 2: kthDistances<2>(points, n, d, k, threads, eps); break;
        case 3: kthDistances<3>(points, n, d, k, threads, eps); break;
        case 4: kthDistances<4>(points, n, d, k, threads, eps); break;
        default: kthDistances<-1>(points, n, d, k, threads, eps); break;
        }
    }

    counts.assign(marginals.size(), std::vector<std::uint32_t>());
    for (std::size_t s = 0; s < marginals.size(); ++s) {
        const std::vector<int>& m = marginals[s];
        std::vector<std::uint32_t>& c = counts[s];
        c.assign(n, 0u);
        if (m.size() == 1) {
            countsInLine(samples.data + static_cast<std::size_t>(m[0]) * n, n,
                         shift, eps, threads, c);
            continue;
        }
        std::vector<double> points = gather(samples, m, shift);
        const std::size_t d = m.size();
        switch (d) {
        case 2: countsInTree<2>(points, n, d, eps, threads, c); break;
        case 3: countsInTree<3>(points, n, d, eps, threads, c); break;
        default: countsInTree<-1>(points, n, d, eps, threads, c); break;
        }
    }
}

double miksg(const CMatrix& XY, int dx, int k)
{
    return miksg(XY, dx, k,
                 threadCount(XY.rows() > 0 ? static_cast<std::size_t>(XY.rows()) : 0));
}

double miksg(const CMatrix& XY, int dx, int k, unsigned threads)
{
    const int n = XY.rows();
    const int d = XY.cols();
    if (n < 2 || dx < 1 || dx >= d || k < 1 || k >= n)
        throw std::invalid_argument(
            "miksg: needs n >= 2, 1 <= dx < columns and 1 <= k < n");
    if (!allFinite(XY)) return std::numeric_limits<double>::quiet_NaN();

    std::vector<double> eps;
    std::vector<std::vector<std::uint32_t>> counts;
    maxNormStatistics(XY, k, {columnRange(0, dx), columnRange(dx, d - dx)},
                      threads, eps, counts);
    // Each sample's term, summed in sample order.
    CompensatedSum S;
    for (std::size_t i = 0; i < eps.size(); ++i)
        S.add(digammaInteger(counts[0][i] + 1LL) +
              digammaInteger(counts[1][i] + 1LL));
    const double N = static_cast<double>(n);
    return rounded(digammaInteger(k) + digammaInteger(n)) -
           rounded(S.value() / N);
}

double cmiksg(const CMatrix& XYZ, int dx, int dy, int k)
{
    return cmiksg(XYZ, dx, dy, k,
                  threadCount(XYZ.rows() > 0 ? static_cast<std::size_t>(XYZ.rows()) : 0));
}

double cmiksg(const CMatrix& XYZ, int dx, int dy, int k, unsigned threads)
{
    const int n = XYZ.rows();
    const int d = XYZ.cols();
    if (n < 2 || dx < 1 || dy < 1 || dx >= d - dy || k < 1 || k >= n)
        throw std::invalid_argument(
            "cmiksg: needs n >= 2, dx, dy >= 1, dx + dy < columns and "
            "1 <= k < n");
    if (!allFinite(XYZ)) return std::numeric_limits<double>::quiet_NaN();

    const int dz = d - dx - dy;
    std::vector<int> xz = columnRange(0, dx);
    std::vector<int> yz = columnRange(dx, dy);
    const std::vector<int> z = columnRange(dx + dy, dz);
    xz.insert(xz.end(), z.begin(), z.end());
    yz.insert(yz.end(), z.begin(), z.end());
    std::vector<double> eps;
    std::vector<std::vector<std::uint32_t>> counts;
    maxNormStatistics(XYZ, k, {xz, yz, z}, threads, eps, counts);
    CompensatedSum S;
    for (std::size_t i = 0; i < eps.size(); ++i)
        S.add(rounded(digammaInteger(counts[0][i] + 1LL) +
                      digammaInteger(counts[1][i] + 1LL)) -
              digammaInteger(counts[2][i] + 1LL));
    const double N = static_cast<double>(n);
    return digammaInteger(k) - rounded(S.value() / N);
}

}  // namespace arvel

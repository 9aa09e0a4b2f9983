#include "utilFunctions.h"

#include "kdTree.h"
#include "kthDistance.h"
#include "workers.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

namespace arvel {

// Gamma function, after Zhang and Jin's GAMMA routine.
// Method: for integer x, the product (x - 1)!; otherwise the argument is
// reduced into (0, 1) by the recurrence (for |x| > 1), 1/Gamma(z) is summed
// from its 25-term power series about 0 by Horner's rule, and for x < -1 the
// reflection formula is applied.
// Domain: x >= INT_MIN. 1e308 (not Inf) for x > 171 and at the poles
// 0, -1, -2, ...; gammaf(171) is 170! by 169 products. NaN for NaN and for x
// below INT_MIN, where the reduction would run for too long.
// Accuracy, measured against mpmath at 50 digits (tests/core): exact at the
// integers up to 23 and within 6 ulp at the larger ones; at non-integers
// within 2 ulp up to 20.5 and 9 ulp up to 171 (one rounding per reduction
// step); within 1 ulp on the reflection path down to -20.5.
double gammaf(double x)
{
    static const double g[25] = {
        1.0,
        0.5772156649015329,
        -0.6558780715202538,
        -0.0420026350340952,
        0.1665386113822915,
        -0.0421977345555443,
        -0.009621971527877,
        0.007218943246663,
        -0.0011651675918591,
        -0.0002152416741149,
        0.0001280502823882,
        -2.01348547807e-05,
        -1.2504934821e-06,
        1.133027232e-06,
        -2.056338417e-07,
        6.116095e-09,
        5.0020075e-09,
        -1.1812746e-09,
        1.043427e-10,
        7.7823e-12,
        -3.6968e-12,
        5.1e-13,
        -2.06e-14,
        -5.4e-15,
        1.4e-15,
    };
    const double pi = 3.141592653589793;

    if (x > 171.0) return 1e308;
    if (!(x >= static_cast<double>(INT_MIN)))
        return std::numeric_limits<double>::quiet_NaN();

    double ga;
    if (x == static_cast<double>(static_cast<int>(x))) {
        if (x > 0.0) {
            ga = 1.0;
            for (int i = 2; static_cast<double>(i) < x; ++i)
                ga = ga * static_cast<double>(i);
        } else {
            ga = 1e308;
        }
    } else {
        double r = 1.0;
        double z;
        if (std::fabs(x) > 1.0) {
            z = std::fabs(x);
            const int m = static_cast<int>(z);
            for (int j = 1; j <= m; ++j)
                r = r * (z - static_cast<double>(j));
            z = z - static_cast<double>(m);
        } else {
            z = x;
        }
        double gr = g[24];
        for (int j = 23; j >= 0; --j)
            gr = gr * z + g[j];
        ga = 1.0 / (gr * z);
        if (std::fabs(x) > 1.0) {
            ga = ga * r;
            if (x < 0.0)
                ga = -pi / ((x * ga) * std::sin(pi * x));
        }
    }
    return ga;
}

// Digamma function.
// Method: the recurrence psi(x) = psi(x + 1) - 1/x lifts x to 7 or more, then
// the asymptotic series in y = x - 1/2,
//   psi(x) ~ log y + 1/(24 y^2) - 7/(960 y^4) + 31/(8064 y^6)
//            - 127/(30720 y^8),
// is summed left to right.
// Domain: x > 0. NaN for x <= 0 (the poles and the negative axis, which the
// estimators never reach) and for NaN; +Inf for +Inf.
// Accuracy, measured against mpmath (tests/core): the truncated series is
// about 5.28e-11 below psi at every integer from 1 to 7 (all of them are
// evaluated at y = 6.5) and 2.54e-11 below at the half-integers under 7; the
// error falls to 1.3e-11 at 8 and stays below 1e-15 relative from 18 to 1e6.
double digamma(double x)
{
    const double c1 = 0.041666666666666664;   // 1/24
    const double c2 = 0.007291666666666667;   // 7/960
    const double c3 = 0.0038442460317460315;  // 31/8064
    const double c4 = 0.004134114583333333;   // 127/30720

    if (!(x > 0.0)) return std::numeric_limits<double>::quiet_NaN();

    double s = 0.0;
    while (x < 7.0) {
        s = s - 1.0 / x;
        x = x + 1.0;
    }
    x = x - 0.5;
    const double t = 1.0 / x;
    const double t2 = t * t;
    const double t4 = t2 * t2;
    double p = std::log(x) + c1 * t2;
    p = p - c2 * t4;
    p = p + (c3 * t4) * t2;
    p = p - (c4 * t4) * t4;
    return s + p;
}

namespace {

// The estimator's own copy of the samples of X, transposed: column i holds
// sample i, in the given order, its coordinates scaled by 2^shift when
// rescale is set.
void transposed(const CMatrix& X, bool rescale, int shift, CMatrix& points)
{
    const std::size_t rows = static_cast<std::size_t>(X.rows());
    const std::size_t dims = static_cast<std::size_t>(X.cols());
    const auto scaled = [rescale, shift](double v) {
        return rescale ? std::ldexp(v, shift) : v;
    };
    points.resize(X.cols(), X.rows());
    for (std::size_t j = 0; j < dims; ++j) {
        const double* column = X.data + j * rows;
        double* out = points.data + j;
        for (std::size_t i = 0; i < rows; ++i)
            out[i * dims] = scaled(column[i]);
    }
}

// The tree is built with the median split (kd::Tree) from this many
// dimensions on, where it was measured faster than the middle split (n =
// 10^5 Gaussian samples, k = 4, one thread, runs alternated: 7.3 s against
// 9.0 s on average in 10 dimensions with leaves of 32; no difference in 8,
// none in 5). The search is exact in either tree.
const std::size_t kMedianFromDims = 8;

// The most points of a leaf. In up to 4 dimensions 10; in more, where a
// search visits many leaves and each node costs more than a leaf's point,
// larger leaves are faster (measured against 10, n = 10^5, k = 4, one
// thread, runs alternated: 0.278 s against 0.307 s with 24 in 5
// dimensions, 8.12 s against 8.90 s with 64 in 10 and the middle split);
// with the median split, whose leaves are fuller, 32. The search is exact
// whatever the leaf size, so the result does not depend on it.
std::size_t leafSizeFor(std::size_t dims)
{
    return dims <= 4 ? 10 : dims <= 6 ? 24 : dims < kMedianFromDims ? 64 : 32;
}

// The k-th smallest (from 0) of the squared distances from query to all
// rows points, without a tree: the distances below low are counted, those
// in [low, high) gathered into band (rows slots), and the k-th is selected
// among them (std::nth_element) when it lies there; otherwise among all
// of them. Exact whatever the bounds: they only narrow the selection.
template <int D>
double scanKth(const double* query, const double* points, std::size_t rows,
               std::size_t dims, std::size_t k, double low, double high,
               double* band)
{
    std::size_t below = 0, m = 0;
    const double* p = points;
    for (std::size_t j = 0; j < rows; ++j, p += dims) {
        const double dist = kd::squaredDistance<D>(query, p, dims);
        band[m] = dist;
        m += (dist >= low) & (dist < high);
        below += dist < low;
    }
    if (below > k || k >= below + m) {
        p = points;
        for (std::size_t j = 0; j < rows; ++j, p += dims)
            band[j] = kd::squaredDistance<D>(query, p, dims);
        below = 0;
        m = rows;
    }
    std::nth_element(band, band + (k - below), band + m);
    return band[k - below];
}

// Fills terms[i] with log(rho_i^2) (0 for rho_i = 0) for every sample i of X,
// its coordinates scaled by 2^shift when rescale is set and logScale added
// back, with the tree and search below and the result set of method: D is
// the dimension, or -1. The searches are shared among `threads` workers.
template <int D>
void logTerms(NeighbourSearch method, const CMatrix& X, int k, bool rescale,
              int shift, double logScale, unsigned threads,
              std::vector<double>& terms)
{
    const std::size_t rows = static_cast<std::size_t>(X.rows());
    const std::size_t dims = static_cast<std::size_t>(X.cols());
    CMatrix points;
    transposed(X, rescale, shift, points);

    // The tree's build moves the points into its leaf order: a leaf's
    // points, and the leaves that consecutive queries visit, then lie
    // together in memory, and the index's point order names the sample
    // now at each position. The tree is built once and then only read.
    kd::Tree<D> tree(points.data, rows, dims, leafSizeFor(dims),
                     dims >= kMedianFromDims);
    kd::buildTree(tree, points.data, threads);
    const std::vector<std::uint32_t>& sample = kd::release::order(tree.index);

    // Samples are searched in leaf order, where consecutive queries touch
    // the same nodes, a chunk of consecutive positions at a time by
    // whichever worker is free; each worker has its own result slots and
    // bounds. Each term lands in its sample's slot and the terms are summed
    // afterwards in sample order, so the sum is that of the plain loop over
    // i = 0 ... n - 1 whatever the number of workers.
    const std::size_t capacity = static_cast<std::size_t>(k) + 1;
    const std::size_t chunk =
        std::min<std::size_t>(4096, std::max<std::size_t>(64, rows / (32 * threads)));
    Chunks chunks(rows, chunk);
    runWorkers(threads, [&](const WorkerFailure& failure) {
        const bool sorted = method == NeighbourSearch::sortedSlots;
        const bool scan = method == NeighbourSearch::scan;
        std::vector<double> slots(sorted ? capacity : scan ? rows : 2 * capacity);
        SortedSlots few(capacity, slots.data());
        SelectedSlots many(capacity, slots.data());
        kd::Searcher<D> searcher(tree.index, points.data);
        std::size_t begin = 0, end = 0;
        double previous = 0.0;
        while (!failure.stopped() && chunks.next(begin, end))
            for (std::size_t p = begin; p < end; ++p) {
                const double* query = points.data + p * dims;
                double x;
                // The previous query's distance bounds this one's on both
                // sides by the triangle inequality (with a margin for
                // rounding). The bounds only narrow the search, which is
                // repeated without them should they be wrong.
                double low = 0.0, high = DBL_MAX;
                if (p > begin && !sorted) {
                    const double step = std::sqrt(
                        kd::squaredDistance<D>(query, query - dims, dims));
                    const double r = std::sqrt(previous);
                    const double above = (r + step) * (1 + 1e-9);
                    const double under = (r - step) * (1 - 1e-9);
                    if (above * above < DBL_MAX)
                        high = std::nextafter(above * above, DBL_MAX);
                    if (under > 0.0) low = under * under;
                }
                if (sorted) {
                    few.init();
                    searcher.search(query, few);
                    x = few.kth();
                } else if (scan) {
                    x = scanKth<D>(query, points.data, rows, dims,
                                   capacity - 1, low, high, slots.data());
                    previous = x;
                } else {
                    // A search that finds fewer than k + 1 points below
                    // the bound is repeated without it.
                    const double bound = high;
                    many.init(bound);
                    searcher.search(query, many);
                    x = many.kth();
                    if (x == DBL_MAX && bound != DBL_MAX) {
                        many.init();
                        searcher.search(query, many);
                        x = many.kth();
                    }
                    previous = x;
                }
                terms[sample[p]] = (x == 0.0) ? 0.0 : std::log(x) + logScale;
            }
    });
}

}  // namespace

double calculateMlogRho(CMatrix& X, int k)
{
    return calculateMlogRho(X, k, threadCount(X.rows() > 0 ? static_cast<std::size_t>(X.rows()) : 0));
}

NeighbourSearch neighbourSearchFor(std::size_t k, std::size_t n, std::size_t d)
{
    const bool low = d <= 4;
    if (k + 1 >= n / (low ? kScanFromPartLow : kScanFromPartHigh))
        return NeighbourSearch::scan;
    if (k + 1 <= (low ? kSortedUpToLow : kSortedUpToHigh))
        return NeighbourSearch::sortedSlots;
    return NeighbourSearch::selectedSlots;
}

double calculateMlogRho(CMatrix& X, int k, unsigned threads)
{
    return calculateMlogRho(X, k, threads, NeighbourSearch::automatic);
}

double calculateMlogRho(CMatrix& X, int k, unsigned threads,
                        NeighbourSearch method)
{
    const int n = X.rows();
    const int d = X.cols();
    if (n < 1 || d < 1 || k < 0 || X.data == nullptr ||
        static_cast<long long>(n) * d > INT_MAX)
        throw std::invalid_argument(
            "calculateMlogRho: needs at least one sample, one dimension "
            "and k >= 0");

    // A kd-tree split on NaN coordinates need not terminate, and infinite
    // coordinates give infinite or NaN distances; neither reaches the tree.
    // An infinite coordinate puts a sample at infinite distance from the
    // others, so the mean log distance is +Inf.
    const std::size_t count =
        static_cast<std::size_t>(n) * static_cast<std::size_t>(d);
    bool infinite = false;
    double largest = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double v = X.data[i];
        if (std::isnan(v)) return std::numeric_limits<double>::quiet_NaN();
        if (std::isinf(v)) infinite = true;
        largest = std::max(largest, std::fabs(v));
    }
    if (infinite) return std::numeric_limits<double>::infinity();

    double S = 0.0;
    if (k >= n) {
        // Fewer than k + 1 points: slot k keeps its initial value DBL_MAX.
        const double term = std::log(DBL_MAX);
        for (int i = 0; i < n; ++i) S = S + term;
        return ((static_cast<double>(d) * S) / static_cast<double>(n)) * 0.5;
    }

    // Squared distances overflow once coordinates reach about 2^509 (less
    // in many dimensions), and lose their digits to underflow for samples
    // of very small magnitude. Such samples are searched scaled by 2^-e,
    // exactly, into [0.5, 1), and each log squared distance gets 2e log 2
    // back. Every other sample set is searched as it is.
    int e = 0;
    std::frexp(largest, &e);
    int bits = 0;
    while ((d >> bits) != 0) ++bits;
    const bool rescale = largest != 0.0 && (e > (1020 - bits) / 2 || e < -400);
    const int shift = -e;
    const double logScale =
        rescale ? static_cast<double>(2 * e) * 0.6931471805599453 : 0.0;

    if (threads < 1) threads = 1;
    if (threads > static_cast<unsigned>(n)) threads = static_cast<unsigned>(n);
    std::vector<double> terms(static_cast<std::size_t>(n));
    if (method == NeighbourSearch::automatic)
        method = neighbourSearchFor(static_cast<std::size_t>(k),
                                    static_cast<std::size_t>(n),
                                    static_cast<std::size_t>(d));
    switch (d) {
    case 1: logTerms<1>(method, X, k, rescale, shift, logScale, threads, terms); break;
    case 2: logTerms<2>(method, X, k, rescale, shift, logScale, threads, terms); break;
    case 3: logTerms<3>(method, X, k, rescale, shift, logScale, threads, terms); break;
    default: logTerms<-1>(method, X, k, rescale, shift, logScale, threads, terms); break;
    }
    for (const double term : terms) S = S + term;
    return ((static_cast<double>(d) * S) / static_cast<double>(n)) * 0.5;
}

}  // namespace arvel

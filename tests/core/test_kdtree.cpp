// The tree of buildTree against nanoflann's own buildIndex, node for node,
// and its search against a brute-force oracle and the library's
// findNeighbors, query for query.
#include "kdTree.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <nanoflann.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using arvel_test::Rng;

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Sample sets that reach the corners of the build: Gaussian; a coarse grid,
// where cuts fall on many equal coordinates; tenths, where a box's midpoint,
// rounded, is often a point; runs of repeated points; points at 2^-i, where
// every cut splits off one point; all points equal; and signed zeros among
// the coordinates.
enum class Kind { gauss, grid, tenths, repeated, halving, equal, zeros };

std::vector<double> makePoints(Kind kind, std::size_t n, std::size_t d,
                               std::uint64_t seed)
{
    Rng rng(seed);
    std::vector<double> pts(n * d);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < d; ++j) {
            double v = 0.0;
            switch (kind) {
            case Kind::gauss: v = rng.gauss(); break;
            case Kind::grid: v = static_cast<double>(rng.next() % 5); break;
            case Kind::tenths:
                v = static_cast<double>(rng.next() % 12) / 10.0;
                break;
            case Kind::repeated:
                v = i % 4 != 0 ? pts[(i - 1) * d + j] : rng.gauss();
                break;
            case Kind::halving:
                v = std::ldexp(1.0, -static_cast<int>(i % 900)) * (j + 1.0);
                break;
            case Kind::equal: v = 3.0; break;
            case Kind::zeros:
                v = rng.next() % 3 == 0 ? 1.0 : rng.next() % 2 ? 0.0 : -0.0;
                break;
            }
            pts[i * d + j] = v;
        }
    return pts;
}

template <int D>
void expectSameNodes(const typename arvel::kd::Index<D>::Node* a,
                     const typename arvel::kd::Index<D>::Node* b, int& nodes)
{
    ++nodes;
    ASSERT_EQ(a->child1 == nullptr, b->child1 == nullptr);
    ASSERT_EQ(a->child2 == nullptr, b->child2 == nullptr);
    if (a->child1 == nullptr && a->child2 == nullptr) {
        ASSERT_EQ(a->node_type.lr.left, b->node_type.lr.left);
        ASSERT_EQ(a->node_type.lr.right, b->node_type.lr.right);
        return;
    }
    ASSERT_EQ(a->node_type.sub.divfeat, b->node_type.sub.divfeat);
    ASSERT_TRUE(sameBits(a->node_type.sub.divlow, b->node_type.sub.divlow));
    ASSERT_TRUE(sameBits(a->node_type.sub.divhigh, b->node_type.sub.divhigh));
    expectSameNodes<D>(a->child1, b->child1, nodes);
    expectSameNodes<D>(a->child2, b->child2, nodes);
}

// The same point order, root box and nodes, bit for bit.
template <int D>
void expectSameTree(const arvel::kd::Tree<D>& a, const arvel::kd::Tree<D>& b,
                    std::size_t d)
{
    namespace rel = arvel::kd::release;
    ASSERT_EQ(rel::order(a.index), rel::order(b.index));
    for (std::size_t j = 0; j < d; ++j) {
        const auto& x = rel::rootBox(a.index)[j];
        const auto& y = rel::rootBox(b.index)[j];
        ASSERT_TRUE(sameBits(x.low, y.low) && sameBits(x.high, y.high));
    }
    int nodes = 0;
    expectSameNodes<D>(rel::root(a.index), rel::root(b.index), nodes);
}

// Builds both trees over one point set and compares them where the release
// in use builds the same tree, then searches every point of it with
// k + 1 = 1, 5 and 12 neighbours: against the brute-force oracle always, and
// against the library's own search where that is sound and computes the
// same distances.
template <int D>
void compareWithLibrary(const std::vector<double>& original, std::size_t n,
                        std::size_t d, std::size_t leafMax, bool median = false)
{
    using namespace arvel::kd;
    namespace rel = arvel::kd::release;
    Tree<D> theirs(original.data(), n, d, leafMax);
    const bool librarySearch =
        ARVEL_NANOFLANN_BUILD_SOUND && (ARVEL_NANOFLANN_DISTANCES_AS_OURS || d < 3);
    if (librarySearch) theirs.index.buildIndex();

    std::vector<double> moved(original);
    Tree<D> ours(moved.data(), n, d, leafMax, median);
    buildTree(ours, moved.data());
    const auto& order = rel::order(ours.index);

    // Where doubles carry excess precision (x87), the library's splits
    // depend on how its midpoints are kept, so only the search results are
    // compared there: an exact search finds the same distances in any tree.
    const bool exactDoubles = FLT_EVAL_METHOD == 0;
    const bool sameTree = ARVEL_NANOFLANN_TREE_AS_OURS && exactDoubles && !median;
    if (sameTree) {
        expectSameTree<D>(ours, theirs, d);
        ASSERT_EQ(rel::pool(ours.index).usedMemory,
                  rel::pool(theirs.index).usedMemory);
    }
    for (std::size_t p = 0; p < n; ++p)
        for (std::size_t j = 0; j < d; ++j)
            ASSERT_TRUE(sameBits(moved[p * d + j], original[order[p] * d + j]))
                << "point at " << p;

    Searcher<D> searcher(ours.index, moved.data());
    std::vector<double> all(n);
    for (std::size_t capacity : {1, 5, 12}) {
        std::vector<std::size_t> ia(capacity), ib(capacity);
        std::vector<double> da(capacity), db(capacity);
        nanoflann::KNNResultSet<double, std::size_t, std::size_t> ra(capacity);
        nanoflann::KNNResultSet<double, std::size_t, std::size_t> rb(capacity);
        // Every point of the small sets, every seventh of the large ones.
        const std::size_t stride = n > 500 ? 7 : 1;
        for (std::size_t p = 0; p < n; p += stride) {
            const double* query = moved.data() + p * d;
            ra.init(ia.data(), da.data());
            searcher.search(query, ra);

            // The oracle: every squared distance, grouped as the search
            // groups it, sorted.
            for (std::size_t q = 0; q < n; ++q)
                all[q] = squaredDistance<D>(query, moved.data() + q * d, d);
            std::sort(all.begin(), all.end());
            ASSERT_EQ(ra.size(), std::min(capacity, n)) << "query " << p;
            for (std::size_t s = 0; s < ra.size(); ++s)
                ASSERT_TRUE(sameBits(da[s], all[s]))
                    << "query " << p << " slot " << s;

            if (!librarySearch) continue;
            rb.init(ib.data(), db.data());
            theirs.index.findNeighbors(rb, query, rel::exactSearch());
            ASSERT_EQ(ra.size(), rb.size());
            for (std::size_t s = 0; s < capacity; ++s) {
                ASSERT_TRUE(sameBits(da[s], db[s]))
                    << "query " << p << " slot " << s;
                // Equal distances keep the order in which they were found.
                if (sameTree && s < ra.size()) {
                    ASSERT_EQ(order[ia[s]], ib[s])
                        << "query " << p << " slot " << s;
                }
            }
        }
    }
}

}  // namespace

TEST(KdTree, BuildsTheLibrarysTreeAndSearchesAsItDoes)
{
    const Kind kinds[] = {Kind::gauss,   Kind::grid,  Kind::tenths,
                          Kind::repeated, Kind::halving, Kind::equal,
                          Kind::zeros};
    std::uint64_t seed = 11;
    for (Kind kind : kinds)
        for (std::size_t d : {1, 2, 3, 4, 7, 12})
            for (std::size_t n : {1, 9, 10, 11, 300, 3000})
                for (std::size_t leafMax : {1, 10})
                    for (bool median : {false, true}) {
                        // The median split is used in many dimensions only.
                        if ((leafMax == 1 && n > 300) || (median && d < 4)) continue;
                        SCOPED_TRACE(testing::Message()
                                     << "kind " << static_cast<int>(kind) << " d "
                                     << d << " n " << n << " leaf " << leafMax
                                     << (median ? " median split" : ""));
                        const std::vector<double> pts =
                            makePoints(kind, n, d, seed++);
                        switch (d) {
                        case 1: compareWithLibrary<1>(pts, n, d, leafMax); break;
                        case 2: compareWithLibrary<2>(pts, n, d, leafMax); break;
                        case 3: compareWithLibrary<3>(pts, n, d, leafMax); break;
                        default: compareWithLibrary<-1>(pts, n, d, leafMax, median); break;
                        }
                        if (HasFatalFailure()) return;
                    }
}

// A point on its box's midpoint rounded to a double, where x87 arithmetic
// holds the midpoint wider: the partition's passes must agree on it.
TEST(KdTree, PointOnTheRoundedMidpoint)
{
    volatile double a = 0x1.299999999999ap+3, b = 0x1.78a3d70a3d70bp+3;
    volatile double sum = a + b;
    const double m = sum / 2;
    for (std::size_t leafMax : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "leaf " << leafMax);
        compareWithLibrary<1>({a, b, m, m, m}, 5, 1, leafMax);
        compareWithLibrary<1>({m, a, m, b, m, m, a}, 7, 1, leafMax);
    }
}

// Built on several threads, the halves of large splits apart, the tree is
// the one built on one thread: the same order, nodes and boxes.
template <int D>
void compareThreadCounts(const std::vector<double>& original, std::size_t n,
                         std::size_t d, bool median = false)
{
    using namespace arvel::kd;
    namespace rel = arvel::kd::release;
    std::vector<double> one(original);
    Tree<D> single(one.data(), n, d, 10, median);
    buildTree(single, one.data(), 1);
    for (unsigned threads : {2u, 3u, 8u}) {
        SCOPED_TRACE(testing::Message() << "threads " << threads);
        std::vector<double> moved(original);
        Tree<D> shared(moved.data(), n, d, 10, median);
        buildTree(shared, moved.data(), threads);
        ASSERT_EQ(std::memcmp(moved.data(), one.data(), n * d * sizeof(double)), 0);
        expectSameTree<D>(shared, single, d);
    }
}

TEST(KdTree, SameTreeOnEveryThreadCount)
{
    std::uint64_t seed = 90;
    for (Kind kind : {Kind::gauss, Kind::grid, Kind::repeated}) {
        SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind));
        const std::size_t n = 100000;
        compareThreadCounts<2>(makePoints(kind, n, 2, seed), n, 2);
        compareThreadCounts<-1>(makePoints(kind, n / 2, 5, seed + 1), n / 2, 5);
        compareThreadCounts<-1>(makePoints(kind, n / 2, 9, seed + 1), n / 2, 9, true);
        seed += 2;
        if (HasFatalFailure()) return;
    }
}

// The kd-tree of the neighbour search: a nanoflann index over a block of
// points, built and searched by the project's own code.
//
// The tree's algorithm is nanoflann's (BSD licence; see THIRD-PARTY-NOTICES
// at the root), and so is the index that holds it: its nodes, their pool,
// the point order and the root's bounding box. How it works:
//
// - Build. A node's points are split at the middle of the node's bounding
//   box along a dimension in which the box is (nearly) the widest and the
//   points spread the most; the cut is clamped into the points' own range,
//   so both sides get points. The points below the cut go left, those equal
//   to it are placed so that the two sides are as even as possible, and a
//   node of at most leafMax points is a leaf. Each node keeps the edges of
//   its two children's boxes facing the cut (divlow, divhigh). In many
//   dimensions the caller may ask for the median split instead (see Tree);
//   the rest is the same.
// - The points themselves are moved as they are partitioned, along with
//   their original numbers, so that every read is in order in memory, and
//   the points end in the tree's leaf order, the order in which the search
//   wants them. The two halves of a large split are independent and may be
//   built on two threads; the tree is the same.
// - Search. The k + 1 nearest points of a query are found exactly by
//   descending first into the child on the query's side of the cut, then
//   into the other child only if the box distance to it (kept incrementally,
//   one dimension's term replaced at each cut) is within the current k + 1-th
//   distance.
//
// Where doubles are computed with excess precision (x87), the midpoint is
// rounded to a double once, so that every comparison of a partition is
// against the same value.
#ifndef ARVEL_KDTREE_H
#define ARVEL_KDTREE_H

#include "kdRelease.h"
#include "kthDistance.h"
#include "workers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <system_error>
#include <vector>

#ifndef ARVEL_NO_THREADS
#include <thread>
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace arvel {
namespace kd {

// n points of d doubles, point i at data[i * d ... i * d + d - 1]: the
// dataset adaptor of the index. D > 0 fixes d when compiling, so that the
// distance loops unroll; D = -1 takes it at run time. Points are named by
// 32-bit indices: the sample counts are below 2^31.
template <int D>
struct Points {
    const double* data;
    std::size_t count;
    std::size_t dims;

    std::size_t dim() const { return D > 0 ? static_cast<std::size_t>(D) : dims; }
    std::size_t kdtree_get_point_count() const { return count; }
    double kdtree_get_pt(std::uint32_t i, std::size_t j) const
    {
        return data[j + i * dim()];
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const
    {
        return false;
    }
};

template <int D>
using Index = nanoflann::KDTreeSingleIndexAdaptor<
    nanoflann::L2_Adaptor<double, Points<D>, double, std::uint32_t>, Points<D>,
    D, std::uint32_t>;

// The index over points, not yet built; buildTree builds it, with the
// middle split described above or, when median is set, the median split:
// a node is cut in the dimension in which its points spread the most (the
// first at a tie), at the median of up to kMedianSample of its values there,
// taken at even steps through the node's points.
template <int D>
struct Tree {
    Tree(const double* data, std::size_t count, std::size_t dims,
         std::size_t leafMax, bool medianSplit = false)
        : median(medianSplit),
          points{data, count, dims},
          index(static_cast<int>(dims), points,
                nanoflann::KDTreeSingleIndexAdaptorParams(
                    leafMax,
                    nanoflann::KDTreeSingleIndexAdaptorFlags::SkipInitialBuildIndex))
    {
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    bool median;
    Points<D> points;
    Index<D> index;
    // The node pools of the subtrees built on other threads; their nodes
    // live as long as the index's own.
    std::deque<nanoflann::PooledAllocator> pools;
};

// The build over the points of a tree. Afterwards the index's point order
// names, at each position p, the original number of the point now at p.
// The points must be finite (a split on NaN need not end).
template <int D>
class Builder {
public:
    using IndexT = Index<D>;
    using Node = typename IndexT::Node;
    using Interval = typename IndexT::Interval;

    // A builder of the whole tree over points, which may hand subtrees to
    // up to threads - 1 other threads, each with a pool of pools.
    Builder(Tree<D>& tree, double* points, unsigned threads)
        : index_(tree.index),
          pool_(&release::pool(tree.index)),
          pts_(points),
          dims_(static_cast<std::size_t>(release::dim(tree.index))),
          leafMax_(release::leafMaxSize(tree.index)),
          median_(tree.median),
          spare_(&tree.pools),
          threads_(threads < 1 ? 1 : threads)
    {
    }

    void build()
    {
        try {
            buildAll();
        } catch (const Stopped&) {
            // Another thread failed: its failure is the build's.
            failure_.rethrow();
            throw std::runtime_error("tree build stopped");
        }
    }

private:
    // Thrown where a subtree's build sees that another one has failed.
    struct Stopped {};

    // A builder of one subtree on another thread, sharing the index, the
    // points and the failure, with nodes from a pool of its own.
    Builder(const Builder& parent, nanoflann::PooledAllocator* pool)
        : index_(parent.index_),
          pool_(pool),
          pts_(parent.pts_),
          dims_(parent.dims_),
          leafMax_(parent.leafMax_),
          median_(parent.median_),
          acc_(parent.acc_),
          spare_(parent.spare_),
          nextPool_(parent.nextPool_),
          failureOf_(parent.failureOf_),
          threads_(1)
    {
    }

    WorkerFailure& failure() { return failureOf_ ? *failureOf_ : failure_; }

    void buildAll()
    {
        const std::size_t n = release::pointCount(index_);
        release::order(index_).resize(n);
        for (std::size_t i = 0; i < n; ++i)
            release::order(index_)[i] = static_cast<std::uint32_t>(i);
        acc_ = release::order(index_).data();
        index_.freeIndex(index_);
        release::sizeAtBuild(index_) = n;
        if (n == 0) return;
        // One pool for each other thread, made here on the calling thread.
        if (spare_->size() < threads_ - 1) spare_->resize(threads_ - 1);
        nextPool_ = &poolsTaken_;
        failureOf_ = &failure_;

        // The bounding box of all points, in their given order.
        const std::size_t d = dim();
        boxes_.assign(d, Interval());
        for (std::size_t i = 0; i < d; ++i)
            boxes_[i].low = boxes_[i].high = at(0, i);
        for (std::size_t k = 1; k < n; ++k)
            for (std::size_t i = 0; i < d; ++i) {
                if (at(k, i) < boxes_[i].low) boxes_[i].low = at(k, i);
                if (at(k, i) > boxes_[i].high) boxes_[i].high = at(k, i);
            }
        release::root(index_) = divide(0, n, 0, threads_);
        nanoflann::resize(release::rootBox(index_), d);
        for (std::size_t i = 0; i < d; ++i) release::rootBox(index_)[i] = boxes_[i];
        boxes_.clear();
        boxes_.shrink_to_fit();
    }

    std::size_t dim() const { return D > 0 ? static_cast<std::size_t>(D) : dims_; }
    double at(std::size_t position, std::size_t j) const
    {
        return pts_[position * dim() + j];
    }
    void swapPoints(std::size_t a, std::size_t b)
    {
        std::swap(acc_[a], acc_[b]);
        double* pa = pts_ + a * dim();
        double* pb = pts_ + b * dim();
        for (std::size_t j = 0; j < dim(); ++j) std::swap(pa[j], pb[j]);
    }
    // The bounding boxes of the nodes on the path being built lie in
    // boxes_, d intervals each; they are named by offset because the
    // vector may move as it grows.
    std::size_t pushBox(std::size_t from)
    {
        const std::size_t at = boxes_.size();
        boxes_.resize(at + dim());
        std::copy(boxes_.begin() + static_cast<std::ptrdiff_t>(from),
                  boxes_.begin() + static_cast<std::ptrdiff_t>(from + dim()),
                  boxes_.begin() + static_cast<std::ptrdiff_t>(at));
        return at;
    }

    // The subtree over positions [left, right), whose box is at offset
    // box, on this thread and up to threads - 1 others.
    Node* divide(std::size_t left, std::size_t right, std::size_t box,
                 unsigned threads)
    {
        if (failure().stopped()) throw Stopped();
        Node* node = pool_->template allocate<Node>();
        const std::size_t d = dim();
        if (right - left <= leafMax_) {
            node->child1 = node->child2 = nullptr;
            node->node_type.lr.left = left;
            node->node_type.lr.right = right;
            Interval* b = &boxes_[box];
            for (std::size_t i = 0; i < d; ++i)
                b[i].low = b[i].high = at(left, i);
            for (std::size_t k = left + 1; k < right; ++k)
                for (std::size_t i = 0; i < d; ++i) {
                    if (b[i].low > at(k, i)) b[i].low = at(k, i);
                    if (b[i].high < at(k, i)) b[i].high = at(k, i);
                }
            return node;
        }

        std::size_t idx;
        std::size_t cutfeat;
        double cutval;
        middleSplit(left, right - left, idx, cutfeat, cutval, box);
        node->node_type.sub.divfeat = static_cast<int>(cutfeat);

        const std::size_t lbox = pushBox(box);
        boxes_[lbox + cutfeat].high = cutval;
        if (threads > 1 && right - left >= kForkAt) {
            // The two halves of a split are independent: the first is
            // built on another thread, with half the threads, into a
            // builder of its own, whose box comes back into lbox.
            Builder other(*this, &(*spare_)[(*nextPool_)++]);
            other.boxes_.assign(boxes_.begin() + static_cast<std::ptrdiff_t>(lbox),
                                boxes_.begin() + static_cast<std::ptrdiff_t>(lbox + d));
            const unsigned theirs = threads / 2;
            const std::size_t mid = left + idx;
            Fork fork(failure());
            fork.start([&other, left, mid, theirs] {
                other.root_ = other.divide(left, mid, 0, theirs);
            });
            const std::size_t rbox = pushBox(box);
            boxes_[rbox + cutfeat].low = cutval;
            node->child2 = divide(mid, right, rbox, threads - theirs);
            fork.finish();
            node->child1 = other.root_;
            std::copy(other.boxes_.begin(), other.boxes_.begin() +
                      static_cast<std::ptrdiff_t>(d),
                      boxes_.begin() + static_cast<std::ptrdiff_t>(lbox));
            return finishNode(node, cutfeat, lbox, rbox, box);
        }
        node->child1 = divide(left, left + idx, lbox, threads);
        const std::size_t rbox = pushBox(box);
        boxes_[rbox + cutfeat].low = cutval;
        node->child2 = divide(left + idx, right, rbox, threads);
        return finishNode(node, cutfeat, lbox, rbox, box);
    }

    // The split values of a node from its children's boxes, and its own
    // box as their union.
    Node* finishNode(Node* node, std::size_t cutfeat, std::size_t lbox,
                     std::size_t rbox, std::size_t box)
    {
        const std::size_t d = dim();

        node->node_type.sub.divlow = boxes_[lbox + cutfeat].high;
        node->node_type.sub.divhigh = boxes_[rbox + cutfeat].low;
        for (std::size_t i = 0; i < d; ++i) {
            boxes_[box + i].low =
                std::min(boxes_[lbox + i].low, boxes_[rbox + i].low);
            boxes_[box + i].high =
                std::max(boxes_[lbox + i].high, boxes_[rbox + i].high);
        }
        boxes_.resize(lbox);
        return node;
    }

    // The split of count points from position ind: the dimension and the
    // cut, and the number of points that go to the first child. The
    // candidate dimensions are those whose box extent is within a factor
    // 1 - 1e-5 of the widest; of them, the one whose points spread the most
    // (the first at a tie) is cut. The minimum and maximum of every
    // candidate are taken in one pass over the points.
    void middleSplit(std::size_t ind, std::size_t count, std::size_t& index,
                     std::size_t& cutfeat, double& cutval, std::size_t box)
    {
        if (median_) {
            medianSplit(ind, count, index, cutfeat, cutval);
            return;
        }
        const double EPS = 0.00001;
        const std::size_t d = dim();
        const Interval* b = &boxes_[box];
        double max_span = b[0].high - b[0].low;
        for (std::size_t i = 1; i < d; ++i) {
            const double span = b[i].high - b[i].low;
            if (span > max_span) max_span = span;
        }

        candidates_.clear();
        for (std::size_t i = 0; i < d; ++i) {
            const double span = b[i].high - b[i].low;
            if (span > (1 - EPS) * max_span) candidates_.push_back(i);
        }
        const std::size_t m = candidates_.size();
        minMax_.resize(2 * m);
        if (m == 1) {
            // Most often one dimension is clearly the widest.
            minMaxOf(ind, count, candidates_[0], minMax_[0], minMax_[1]);
        } else {
            for (std::size_t c = 0; c < m; ++c)
                minMax_[2 * c] = minMax_[2 * c + 1] = at(ind, candidates_[c]);
            for (std::size_t i = 1; i < count; ++i) {
                const double* p = pts_ + (ind + i) * d;
                for (std::size_t c = 0; c < m; ++c) {
                    const double val = p[candidates_[c]];
                    double& lo = minMax_[2 * c];
                    double& hi = minMax_[2 * c + 1];
                    lo = val < lo ? val : lo;
                    hi = val > hi ? val : hi;
                }
            }
        }

        double max_spread = -1;
        cutfeat = 0;
        std::size_t chosen = m;
        for (std::size_t c = 0; c < m; ++c) {
            const double spread = minMax_[2 * c + 1] - minMax_[2 * c];
            if (spread > max_spread) {
                cutfeat = candidates_[c];
                max_spread = spread;
                chosen = c;
            }
        }
        const double split_val = (b[cutfeat].low + b[cutfeat].high) / 2;
        double min_elem, max_elem;
        if (chosen < m) {
            min_elem = minMax_[2 * chosen];
            max_elem = minMax_[2 * chosen + 1];
        } else {
            // No candidate (a box of no extent): dimension 0.
            minMaxOf(ind, count, cutfeat, min_elem, max_elem);
        }

        if (split_val < min_elem)
            cutval = min_elem;
        else if (split_val > max_elem)
            cutval = max_elem;
        else
            cutval = split_val;
        // Where doubles are computed with excess precision (x87), the
        // midpoint may still be held wider than a double, and a register
        // copy and a stored copy of it could then disagree about a point
        // equal to the stored one. It is stored once here, so that every
        // comparison of the partition is against the same double. (It lies
        // in [min_elem, max_elem] either way, as rounding keeps order, so
        // both children get points.) Elsewhere this changes nothing.
        const volatile double stored = cutval;
        cutval = stored;

        splitAt(ind, count, cutfeat, cutval, index);
    }

    // Partitions the points by cutval in dimension cutfeat, and names how
    // many go to the first child: those below cutval, and as many of those
    // equal to it as make the two sides the most even. Both sides get
    // points when cutval is one of the points' values or lies strictly
    // between their least and greatest.
    void splitAt(std::size_t ind, std::size_t count, std::size_t cutfeat,
                 double cutval, std::size_t& index)
    {
        std::size_t lim1, lim2;
        planeSplit(ind, count, cutfeat, cutval, lim1, lim2);

        if (lim1 > count / 2)
            index = lim1;
        else if (lim2 < count / 2)
            index = lim2;
        else
            index = count / 2;
    }

    // The median split of count points from position ind (see Tree). In
    // many dimensions, where a node's box is cut in few of them, it gives
    // fuller leaves and a search that reads fewer of them than the middle
    // split. The cut is one of the points' values, so both children get
    // points.
    void medianSplit(std::size_t ind, std::size_t count, std::size_t& index,
                     std::size_t& cutfeat, double& cutval)
    {
        const std::size_t d = dim();
        minMax_.resize(2 * d);
        for (std::size_t j = 0; j < d; ++j)
            minMax_[2 * j] = minMax_[2 * j + 1] = at(ind, j);
        for (std::size_t i = 1; i < count; ++i) {
            const double* p = pts_ + (ind + i) * d;
            for (std::size_t j = 0; j < d; ++j) {
                double& lo = minMax_[2 * j];
                double& hi = minMax_[2 * j + 1];
                lo = p[j] < lo ? p[j] : lo;
                hi = p[j] > hi ? p[j] : hi;
            }
        }
        cutfeat = 0;
        double maxSpread = -1;
        for (std::size_t j = 0; j < d; ++j)
            if (minMax_[2 * j + 1] - minMax_[2 * j] > maxSpread) {
                maxSpread = minMax_[2 * j + 1] - minMax_[2 * j];
                cutfeat = j;
            }
        const std::size_t step = count > kMedianSample ? count / kMedianSample : 1;
        sample_.clear();
        for (std::size_t i = 0; i < count; i += step)
            sample_.push_back(at(ind + i, cutfeat));
        const auto middle = sample_.begin() + static_cast<std::ptrdiff_t>(sample_.size() / 2);
        std::nth_element(sample_.begin(), middle, sample_.end());
        cutval = *middle;
        splitAt(ind, count, cutfeat, cutval, index);
    }

    // The minimum and maximum of dimension j: the first value, then each
    // smaller or larger one in turn. (val < lo ? val : lo is if (val < lo) lo = val without a branch.)
    void minMaxOf(std::size_t ind, std::size_t count, std::size_t j,
                  double& lo, double& hi) const
    {
        const double* p = pts_ + ind * dim() + j;
        lo = hi = p[0];
        for (std::size_t i = 1; i < count; ++i) {
            const double val = p[i * dim()];
            lo = val < lo ? val : lo;
            hi = val > hi ? val : hi;
        }
    }

    // Partitions count points from position ind by dimension cutfeat: those
    // below cutval first (lim1 of them), then those equal to it (up to
    // lim2), then those above. The first pass swaps the first point from
    // the left that is not below cutval with the first from the right that
    // is, then the second pair, and so on; here the points below cutval are
    // counted first, and then the points not below it among the first lim1
    // are swapped, in order, with the points below it among the rest, from
    // the right, without the scans' unpredictable branches. The second
    // pass, over the points from lim1 on, moves those equal to cutval
    // forward; there are seldom any.
    void planeSplit(std::size_t ind, std::size_t count, std::size_t cutfeat,
                    double cutval, std::size_t& lim1, std::size_t& lim2)
    {
        const double* v = pts_ + ind * dim() + cutfeat;
        const std::size_t stride = dim();
        std::size_t below = 0, equal = 0;
        for (std::size_t i = 0; i < count; ++i) {
            below += v[i * stride] < cutval;
            equal += v[i * stride] == cutval;
        }
        lim1 = below;
        swapMisplaced(ind, count, cutfeat, cutval, lim1);
        if (equal == 0) {
            lim2 = lim1;
            return;
        }

        std::size_t left = lim1;
        std::size_t right = count - 1;
        for (;;) {
            while (left <= right && at(ind + left, cutfeat) <= cutval) ++left;
            while (right && left <= right && at(ind + right, cutfeat) > cutval)
                --right;
            if (left > right || !right) break;
            swapPoints(ind + left, ind + right);
            ++left;
            --right;
        }
        lim2 = left;
    }

    // Swaps the points of [ind, ind + lim1) not below cutval, left to
    // right, with those of [ind + lim1, ind + count) below it, right to
    // left. The two sides hold as many. Each side is scanned a block at a
    // time into a list of the block's offsets that qualify.
    void swapMisplaced(std::size_t ind, std::size_t count, std::size_t cutfeat,
                       double cutval, std::size_t lim1)
    {
        enum { block = 256 };
        std::uint16_t offL[block], offR[block];
        std::size_t nL = 0, sL = 0, nR = 0, sR = 0;
        std::size_t l = 0, r = count;  // next to scan: l up, r - 1 down
        std::size_t baseL = 0, baseR = 0;
        const std::size_t stride = dim();
        const double* v = pts_ + ind * stride + cutfeat;
        for (;;) {
            if (sL == nL) {
                if (l == lim1) return;
                const std::size_t len = std::min<std::size_t>(block, lim1 - l);
                nL = sL = 0;
                for (std::size_t t = 0; t < len; ++t) {
                    offL[nL] = static_cast<std::uint16_t>(t);
                    nL += !(v[(l + t) * stride] < cutval);
                }
                baseL = l;
                l += len;
                continue;
            }
            if (sR == nR) {
                // The two sides hold as many; should they not, the
                // partition ends rather than scan nothing for ever.
                if (r == lim1) return;
                const std::size_t len = std::min<std::size_t>(block, r - lim1);
                nR = sR = 0;
                for (std::size_t t = 0; t < len; ++t) {
                    offR[nR] = static_cast<std::uint16_t>(t);
                    nR += v[(r - 1 - t) * stride] < cutval;
                }
                baseR = r - 1;
                r -= len;
                continue;
            }
            const std::size_t pairs = std::min(nL - sL, nR - sR);
            for (std::size_t t = 0; t < pairs; ++t)
                swapPoints(ind + baseL + offL[sL + t], ind + baseR - offR[sR + t]);
            sL += pairs;
            sR += pairs;
        }
    }

    // A subtree's build on another thread. Should the thread not start,
    // the subtree is built here at once. The thread is always joined before
    // the fork is left, and its failure stops the other builds: unwinding
    // past a fork tells the others to stop, then waits for its thread.
    class Fork {
    public:
        explicit Fork(WorkerFailure& failure) : failure_(failure) {}
        Fork(const Fork&) = delete;
        Fork& operator=(const Fork&) = delete;
        ~Fork()
        {
            if (!joined_) {
                failure_.requestStop();
                join();
            }
        }
        template <class Work>
        void start(Work work)
        {
#ifndef ARVEL_NO_THREADS
            WorkerFailure& failure = failure_;
            auto body = [work, &failure]() noexcept {
                try {
                    work();
                } catch (const Stopped&) {
                    // stopped by another failure, which is recorded
                } catch (...) {
                    failure.record(std::current_exception());
                }
            };
            try {
                thread_ = std::thread(body);
                return;
            } catch (const std::system_error&) {
                // no thread: built here
            }
#endif
            work();
        }
        // Waits for the thread; a failure there stops this build too.
        void finish()
        {
            join();
            if (failure_.stopped()) throw Stopped();
        }

    private:
        void join()
        {
            joined_ = true;
#ifndef ARVEL_NO_THREADS
            if (thread_.joinable()) thread_.join();
#endif
        }
        WorkerFailure& failure_;
        bool joined_ = false;
#ifndef ARVEL_NO_THREADS
        std::thread thread_;
#endif
    };

    // Subtrees of fewer points are built on the thread that reaches them.
    static const std::size_t kForkAt = 1 << 15;
    // The most values of a node of which the median split takes the median.
    static const std::size_t kMedianSample = 1024;

    IndexT& index_;
    nanoflann::PooledAllocator* pool_;
    double* pts_;
    std::size_t dims_;
    std::size_t leafMax_;
    bool median_;
    std::uint32_t* acc_ = nullptr;
    std::deque<nanoflann::PooledAllocator>* spare_;
    std::atomic<std::size_t>* nextPool_ = nullptr;
    WorkerFailure* failureOf_ = nullptr;
    unsigned threads_;
    Node* root_ = nullptr;
    std::atomic<std::size_t> poolsTaken_{0};
    WorkerFailure failure_;
    std::vector<Interval> boxes_;
    std::vector<std::size_t> candidates_;
    std::vector<double> minMax_;
    std::vector<double> sample_;
};

// Builds tree over points, on up to threads threads: the same tree for
// every number of threads.
template <int D>
void buildTree(Tree<D>& tree, double* points, unsigned threads = 1)
{
    Builder<D>(tree, points, threads).build();
}

// The squared Euclidean distance from query a to point b, in the project's
// fixed grouping: the coordinates in blocks of four, each block's four squares
// summed left to right and the block then added, the rest one by one.
template <int D>
inline double squaredDistance(const double* a, const double* b, std::size_t d)
{
    if (D > 0) d = static_cast<std::size_t>(D);
    double result = 0.0;
    std::size_t j = 0;
    for (; j + 4 <= d; j += 4) {
        const double d0 = a[j] - b[j];
        const double d1 = a[j + 1] - b[j + 1];
        const double d2 = a[j + 2] - b[j + 2];
        const double d3 = a[j + 3] - b[j + 3];
        result += d0 * d0 + d1 * d1 + d2 * d2 + d3 * d3;
    }
    for (; j < d; ++j) {
        const double d0 = a[j] - b[j];
        result += d0 * d0;
    }
    return result;
}

// Where doubles are SSE2 doubles (x86-64, or x86 with -mfpmath=sse), two
// points' squared distances are computed at once, one in each lane of a
// vector: each lane does the operations of squaredDistance above in the same
// order, so each is the same double. Not where doubles are x87 ones, whose
// excess precision the scalar code would have and the lanes would not.
#if (defined(__SSE2_MATH__) || defined(_M_X64)) && \
    !(defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0)
#define ARVEL_DISTANCE_PAIRS 1

// The squared distances from query a to points b and c, b's in the low lane.
template <int D>
inline __m128d squaredDistancePair(const double* a, const double* b,
                                   const double* c, std::size_t d)
{
    if (D > 0) d = static_cast<std::size_t>(D);
    __m128d result = _mm_setzero_pd();
    std::size_t j = 0;
    for (; j + 4 <= d; j += 4) {
        // (b[j], c[j]) and so on, from two unaligned loads of each point.
        const __m128d b01 = _mm_loadu_pd(b + j), c01 = _mm_loadu_pd(c + j);
        const __m128d b23 = _mm_loadu_pd(b + j + 2), c23 = _mm_loadu_pd(c + j + 2);
        const __m128d d0 = _mm_sub_pd(_mm_set1_pd(a[j]), _mm_unpacklo_pd(b01, c01));
        const __m128d d1 = _mm_sub_pd(_mm_set1_pd(a[j + 1]), _mm_unpackhi_pd(b01, c01));
        const __m128d d2 = _mm_sub_pd(_mm_set1_pd(a[j + 2]), _mm_unpacklo_pd(b23, c23));
        const __m128d d3 = _mm_sub_pd(_mm_set1_pd(a[j + 3]), _mm_unpackhi_pd(b23, c23));
        __m128d block = _mm_add_pd(_mm_mul_pd(d0, d0), _mm_mul_pd(d1, d1));
        block = _mm_add_pd(block, _mm_mul_pd(d2, d2));
        block = _mm_add_pd(block, _mm_mul_pd(d3, d3));
        result = _mm_add_pd(result, block);
    }
    for (; j < d; ++j) {
        const __m128d d0 = _mm_sub_pd(_mm_set1_pd(a[j]), _mm_set_pd(c[j], b[j]));
        result = _mm_add_pd(result, _mm_mul_pd(d0, d0));
    }
    return result;
}
#endif

// The exact k-nearest-neighbour search over a tree made by buildTree, for
// a query that is a point of the tree, with one bounds buffer kept from one
// query to the next. A leaf's points are read at their positions, which
// are in leaf order. Searchers of one tree may run on several threads: the
// tree is only read.
//
// ResultSet has worstDist(), the distance a point must be below to enter,
// and addPoint(dist, position), which returns false when the search is to
// stop. The positions it is given are positions in the points; the index's
// point order names their samples.
template <int D>
class Searcher {
public:
    using IndexT = Index<D>;
    using Node = typename IndexT::Node;

    Searcher(const IndexT& index, const double* points)
        : index_(index),
          pts_(points),
          dims_(static_cast<std::size_t>(release::dim(index)))
    {
        nanoflann::assign(bounds_, dims_, 0.0);
    }

    template <class ResultSet>
    void search(const double* query, ResultSet& result)
    {
        // A point of the tree lies in the root's bounding box, so every
        // bound, and their sum, starts at 0.
        for (std::size_t i = 0; i < dim(); ++i) bounds_[i] = 0.0;
        level(query, release::root(index_), 0.0, result);
    }

private:
    // The subtree of node, whose box is at squared distance mindistsq. One
    // call of level covers kUnrolled + 1 levels of the tree: step<U> has the
    // children's step<U - 1> inlined, and at step<0> the children are calls
    // of level again. The compiler inlines a recursive function into itself
    // only while the translation unit's growth allows it; in the unit that
    // holds every estimator it stopped, and a 1-d search took 1.3 times as
    // long (measured), so the unrolling is written out here.
    static constexpr int kUnrolled = 2;

    template <class ResultSet>
    bool level(const double* query, const Node* node, double mindistsq,
               ResultSet& result)
    {
        return step<kUnrolled>(query, node, mindistsq, result);
    }

    template <int U, class ResultSet>
    ARVEL_ALWAYS_INLINE bool child(const double* query, const Node* node,
                                   double mindistsq, ResultSet& result)
    {
        if constexpr (U > 0)
            return step<U - 1>(query, node, mindistsq, result);
        else
            return level(query, node, mindistsq, result);
    }

    template <int U, class ResultSet>
    ARVEL_ALWAYS_INLINE bool step(const double* query, const Node* node,
                                  double mindistsq, ResultSet& result)
    {
        if (node->child1 == nullptr && node->child2 == nullptr) {
            // The worst distance as the leaf is entered: a leaf's points are
            // compared with it, as it stood then.
            const double worst = result.worstDist();
            const std::size_t right = node->node_type.lr.right;
            std::size_t i = node->node_type.lr.left;
            const double* p = pts_ + i * dim();
#ifdef ARVEL_DISTANCE_PAIRS
            // Two points at a time, those below worst taken in order; not in
            // 1 to 3 dimensions, where it gains nothing (measured).
            const __m128d bound = _mm_set1_pd(worst);
            for (; (D < 0 || D > 3) && i + 2 <= right; i += 2, p += 2 * dim()) {
                const __m128d dist =
                    squaredDistancePair<D>(query, p, p + dim(), dim());
                const int below = _mm_movemask_pd(_mm_cmplt_pd(dist, bound));
                if (below == 0) continue;
                double two[2];
                _mm_storeu_pd(two, dist);
                if ((below & 1) && !result.addPoint(two[0], i)) return false;
                if ((below & 2) && !result.addPoint(two[1], i + 1)) return false;
            }
#endif
            for (; i < right; ++i, p += dim()) {
                const double dist = squaredDistance<D>(query, p, dim());
                if (dist < worst && !result.addPoint(dist, i)) return false;
            }
            return true;
        }
        const std::size_t idx =
            static_cast<std::size_t>(node->node_type.sub.divfeat);
        const double val = query[idx];
        const double diff1 = val - node->node_type.sub.divlow;
        const double diff2 = val - node->node_type.sub.divhigh;
        const Node* best;
        const Node* other;
        double cut;
        if ((diff1 + diff2) < 0) {
            best = node->child1;
            other = node->child2;
            cut = (val - node->node_type.sub.divhigh) *
                  (val - node->node_type.sub.divhigh);
        } else {
            best = node->child2;
            other = node->child1;
            cut = (val - node->node_type.sub.divlow) *
                  (val - node->node_type.sub.divlow);
        }
        if (!child<U>(query, best, mindistsq, result)) return false;
        const double dst = bounds_[idx];
        mindistsq = mindistsq + cut - dst;
        bounds_[idx] = cut;
        if (mindistsq <= result.worstDist() &&
            !child<U>(query, other, mindistsq, result))
            return false;
        bounds_[idx] = dst;
        return true;
    }

    std::size_t dim() const { return D > 0 ? static_cast<std::size_t>(D) : dims_; }

    const IndexT& index_;
    const double* pts_;
    std::size_t dims_;
    typename IndexT::distance_vector_t bounds_;
};

}  // namespace kd
}  // namespace arvel

#endif

// Searches under the max-norm (the largest coordinate difference) over a
// kd-tree made by kd::buildTree (kdTree.h): the k + 1 nearest points of a
// query, and the number of points strictly within a radius of it.
//
// Both descend as the Euclidean search does, first into the child on the
// query's side of the cut. The other child is visited only if a lower bound
// of its points' distances lies below the current limit. Its points lie
// beyond that child's edge on the cut's dimension (divlow, divhigh), so the
// query's gap to the edge bounds their distance; the bound that led into
// the node bounds them too, as they lie inside it, and the larger of the
// two is the child's bound. Under the max-norm a bound grows as a maximum,
// not as a sum.
//
// The bounds are exact in floating point: rounding is monotone, so a point
// beyond the edge is at a computed distance no smaller than the computed
// gap, and no point is skipped whose computed distance passes the test.
#ifndef ARVEL_MAXNORM_H
#define ARVEL_MAXNORM_H

#include "kdTree.h"

#include <cfloat>
#include <cmath>
#include <cstddef>

namespace arvel {
namespace kd {

// |a - b| rounded to a double. On the x87 unit (FLT_EVAL_METHOD 2) the
// difference is stored first, so that every comparison of a distance, in a
// search, a count or a bound, sees the same double.
inline double coordinateDistance(double a, double b)
{
#if FLT_EVAL_METHOD == 2
    const volatile double d = a - b;
    return std::fabs(d);
#else
    return std::fabs(a - b);
#endif
}

// The max-norm distance between a and b, of d coordinates (D if D > 0).
template <int D>
inline double maxNormDistance(const double* a, const double* b, std::size_t d)
{
    if (D > 0) d = static_cast<std::size_t>(D);
    double m = 0.0;
    for (std::size_t j = 0; j < d; ++j) {
        const double t = coordinateDistance(a[j], b[j]);
        m = t > m ? t : m;
    }
    return m;
}

// Searches of one tree for queries that are points of the tree, or any
// finite points. Searchers of one tree may run on several threads.
//
// ResultSet has worstDist(), the distance a point must be below to enter,
// and addPoint(dist, position), which returns false when the search is to
// stop; the positions are positions in the points, which the index's point
// order names.
template <int D>
class MaxNormSearcher {
public:
    using IndexT = Index<D>;
    using Node = typename IndexT::Node;

    MaxNormSearcher(const IndexT& index, const double* points)
        : index_(index),
          pts_(points),
          dims_(static_cast<std::size_t>(release::dim(index)))
    {
    }

    template <class ResultSet>
    void search(const double* query, ResultSet& result) const
    {
        level(query, release::root(index_), 0.0, result);
    }

    // The number of points at distance strictly below radius.
    std::size_t countWithin(const double* query, double radius) const
    {
        std::size_t count = 0;
        if (0.0 < radius)
            countLevel(query, release::root(index_), 0.0, radius, count);
        return count;
    }

private:
    std::size_t dim() const { return D > 0 ? static_cast<std::size_t>(D) : dims_; }

    // The child nearer the query and the farther one, with the gap from
    // the query to the farther one's edge.
    void split(const double* query, const Node* node, const Node*& best,
               const Node*& other, double& gap) const
    {
        const double val =
            query[static_cast<std::size_t>(node->node_type.sub.divfeat)];
        const double low = node->node_type.sub.divlow;
        const double high = node->node_type.sub.divhigh;
        if ((val - low) + (val - high) < 0) {
            best = node->child1;
            other = node->child2;
            gap = val < high ? coordinateDistance(high, val) : 0.0;
        } else {
            best = node->child2;
            other = node->child1;
            gap = val > low ? coordinateDistance(val, low) : 0.0;
        }
    }

    // The subtree of node, whose points are at distance mindist or more.
    template <class ResultSet>
    bool level(const double* query, const Node* node, double mindist,
               ResultSet& result) const
    {
        if (node->child1 == nullptr && node->child2 == nullptr) {
            // A leaf's points are compared with the worst distance as it
            // stood when the leaf was entered.
            const double worst = result.worstDist();
            const double* p = pts_ + node->node_type.lr.left * dim();
            for (std::size_t i = node->node_type.lr.left;
                 i < node->node_type.lr.right; ++i, p += dim()) {
                const double dist = maxNormDistance<D>(query, p, dim());
                if (dist < worst && !result.addPoint(dist, i)) return false;
            }
            return true;
        }
        const Node* best;
        const Node* other;
        double gap;
        split(query, node, best, other, gap);
        if (!level(query, best, mindist, result)) return false;
        const double far = gap > mindist ? gap : mindist;
        if (far < result.worstDist() && !level(query, other, far, result))
            return false;
        return true;
    }

    void countLevel(const double* query, const Node* node, double mindist,
                    double radius, std::size_t& count) const
    {
        if (node->child1 == nullptr && node->child2 == nullptr) {
            const double* p = pts_ + node->node_type.lr.left * dim();
            for (std::size_t i = node->node_type.lr.left;
                 i < node->node_type.lr.right; ++i, p += dim())
                if (maxNormDistance<D>(query, p, dim()) < radius) ++count;
            return;
        }
        const Node* best;
        const Node* other;
        double gap;
        split(query, node, best, other, gap);
        countLevel(query, best, mindist, radius, count);
        const double far = gap > mindist ? gap : mindist;
        if (far < radius) countLevel(query, other, far, radius, count);
    }

    const IndexT& index_;
    const double* pts_;
    std::size_t dims_;
};

}  // namespace kd
}  // namespace arvel

#endif

// The k + 1-th smallest of the squared distances that one query's search
// meets, kept in one of two ways, chosen by k; and, when k + 1 is a large
// part of the sample, the same distance selected from all of them without
// a tree.
//
// Both result sets take a distance only if it is below worstDist(), start
// with worstDist() = empty (DBL_MAX unless the caller names another, such
// as +Inf), and tell the search to stop once their k + 1
// smallest distances are all 0: the k + 1-th smallest can then become no
// smaller, and a sample with k or more exact duplicates would otherwise
// visit every leaf of its duplicates, which makes a set of many equal
// points quadratic. Point indices are not kept: the estimators never read
// them. Whatever the structure, kth() is the k + 1-th smallest distance
// met, the same bits, since it does not depend on the order in which the
// distances came or on which of them were kept.
#ifndef ARVEL_KTHDISTANCE_H
#define ARVEL_KTHDISTANCE_H

#include <algorithm>
#include <cfloat>
#include <cstddef>

// The result sets' addPoint is called for every distance below the bound,
// from the innermost loop of the search, and must be inlined there; the
// compiler's own choice leaves it out of line in a search grown larger.
#if defined(__GNUC__)
#define ARVEL_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define ARVEL_ALWAYS_INLINE __forceinline
#else
#define ARVEL_ALWAYS_INLINE inline
#endif

namespace arvel {

// The k + 1 smallest distances in ascending order in capacity = k + 1 slots
// of the caller's: a new distance goes below every slot it is smaller than
// (after those it equals). An insertion shifts up to k slots, which for k
// up to a few tens is faster than any heap.
class SortedSlots {
public:
    SortedSlots(std::size_t capacity, double* slots, double empty = DBL_MAX)
        : capacity_(capacity), empty_(empty), dists_(slots)
    {
    }

    void init()
    {
        count_ = 0;
        dists_[capacity_ - 1] = empty_;
    }
    double worstDist() const { return dists_[capacity_ - 1]; }
    double kth() const { return dists_[capacity_ - 1]; }

    ARVEL_ALWAYS_INLINE bool addPoint(double dist, std::size_t /*position*/)
    {
        std::size_t i = count_;
        for (; i > 0 && dists_[i - 1] > dist; --i)
            if (i < capacity_) dists_[i] = dists_[i - 1];
        if (i < capacity_) dists_[i] = dist;
        if (count_ < capacity_) ++count_;
        return dists_[capacity_ - 1] != 0.0;
    }

private:
    std::size_t capacity_;
    std::size_t count_ = 0;
    double empty_;
    double* dists_;
};

// The distances in a buffer of 2 * capacity slots of the caller's, in the
// order they come. When capacity of them are in, worstDist() becomes their
// largest; when the buffer is full, a selection (std::nth_element, linear
// on average) keeps the capacity smallest in front and worstDist() becomes
// the largest of them. Each distance then costs O(1) on average, where an
// insertion into sorted slots costs O(k).
class SelectedSlots {
public:
    SelectedSlots(std::size_t capacity, double* buffer, double empty = DBL_MAX)
        : capacity_(capacity), empty_(empty), buf_(buffer)
    {
    }

    // Only distances below bound are taken.
    void init() { init(empty_); }
    void init(double bound)
    {
        count_ = 0;
        worst_ = bound;
        filled_ = false;
    }
    double worstDist() const { return worst_; }

    ARVEL_ALWAYS_INLINE bool addPoint(double dist, std::size_t /*position*/)
    {
        buf_[count_++] = dist;
        if (count_ == capacity_ && !filled_) {
            filled_ = true;
            worst_ = *std::max_element(buf_, buf_ + count_);
        }
        else if (count_ == 2 * capacity_)
            select();
        return worst_ != 0.0;
    }

    // The k + 1-th smallest distance met; empty if fewer were met.
    double kth()
    {
        if (count_ < capacity_) return empty_;
        if (count_ > capacity_) select();
        return worst_;
    }

private:
    void select()
    {
        std::nth_element(buf_, buf_ + (capacity_ - 1), buf_ + count_);
        worst_ = buf_[capacity_ - 1];
        count_ = capacity_;
    }

    std::size_t capacity_;
    std::size_t count_ = 0;
    double empty_;
    double worst_ = DBL_MAX;
    bool filled_ = false;
    double* buf_;
};

}  // namespace arvel

#endif

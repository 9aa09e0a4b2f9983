// Every difference between the nanoflann releases that Arvel builds with,
// from 1.4 on, in one place. Nothing else in the project names a release.
//
// - The version macro NANOFLANN_VERSION is 0xMmP up to 1.9 (1.4.3 says
//   0x142) and 0x0MMmmPP from 1.10 (1.12.1 says 0x010C01).
//   ARVEL_NANOFLANN_RELEASE is it as major * 10000 + minor * 100 + patch.
// - 1.5 renamed the index's members with a trailing underscore (vAcc became
//   vAcc_, root_node root_node_, m_size size_, ...) and SearchParams became
//   SearchParameters, without its ignored first field. The functions below
//   reach the members under either spelling.
// - From 1.6 the library's findNeighbors calls sort() on the result set it
//   is given; Arvel's own search needs no such member.
// - From 1.9 the library's L2 distance groups its sum otherwise (from three
//   dimensions on), and its tree's build breaks ties otherwise. Arvel's build and distances are its
//   own, so its results are the same with every release; only the tests
//   that compare with the library's own tree or search need to know.
// - 1.5.3 to 1.6.1 read past the end of their index array when they build
//   a tree over many identical points; Arvel never calls their build.
#ifndef ARVEL_KDRELEASE_H
#define ARVEL_KDRELEASE_H

#include <nanoflann.hpp>

#if NANOFLANN_VERSION >= 0x10000
#define ARVEL_NANOFLANN_RELEASE                                     \
    ((NANOFLANN_VERSION >> 16) * 10000 +                            \
     ((NANOFLANN_VERSION >> 8) & 0xFF) * 100 + (NANOFLANN_VERSION & 0xFF))
#else
#define ARVEL_NANOFLANN_RELEASE                                     \
    ((NANOFLANN_VERSION >> 8) * 10000 +                             \
     ((NANOFLANN_VERSION >> 4) & 0xF) * 100 + (NANOFLANN_VERSION & 0xF))
#endif

static_assert(ARVEL_NANOFLANN_RELEASE >= 10400,
              "Arvel needs nanoflann 1.4 or later");

// What the tests may compare with the library itself: whether its
// buildIndex is sound on every point set, whether it makes, node for node,
// the tree that Arvel's build makes, and whether its findNeighbors computes
// Arvel's squared distances to the bit in any dimension (from 1.9 the
// library adds each block of four as two pairs and the last coordinates
// from the last; in one or two dimensions that is still the same sum).
#define ARVEL_NANOFLANN_BUILD_SOUND \
    (ARVEL_NANOFLANN_RELEASE < 10503 || ARVEL_NANOFLANN_RELEASE >= 10602)
#define ARVEL_NANOFLANN_TREE_AS_OURS \
    (ARVEL_NANOFLANN_BUILD_SOUND && ARVEL_NANOFLANN_RELEASE < 10900)
#define ARVEL_NANOFLANN_DISTANCES_AS_OURS (ARVEL_NANOFLANN_RELEASE < 10900)

namespace arvel {
namespace kd {
namespace release {

#if ARVEL_NANOFLANN_RELEASE >= 10500
using SearchParameters = nanoflann::SearchParameters;
// An exact search (eps 0) whose results are sorted.
inline SearchParameters exactSearch() { return SearchParameters(0.0f, true); }

template <class I> auto& order(I& index) { return index.vAcc_; }
template <class I> auto& root(I& index) { return index.root_node_; }
template <class I> auto& rootBox(I& index) { return index.root_bbox_; }
template <class I> auto& pool(I& index) { return index.pool_; }
template <class I> auto leafMaxSize(const I& index) { return index.leaf_max_size_; }
template <class I> auto pointCount(const I& index) { return index.size_; }
template <class I> auto dim(const I& index) { return index.dim_; }
template <class I> auto& sizeAtBuild(I& index) { return index.size_at_index_build_; }
#else
using SearchParameters = nanoflann::SearchParams;
inline SearchParameters exactSearch() { return SearchParameters(10, 0.0f, true); }

template <class I> auto& order(I& index) { return index.vAcc; }
template <class I> auto& root(I& index) { return index.root_node; }
template <class I> auto& rootBox(I& index) { return index.root_bbox; }
template <class I> auto& pool(I& index) { return index.pool; }
template <class I> auto leafMaxSize(const I& index) { return index.m_leaf_max_size; }
template <class I> auto pointCount(const I& index) { return index.m_size; }
template <class I> auto dim(const I& index) { return index.dim; }
template <class I> auto& sizeAtBuild(I& index) { return index.m_size_at_index_build; }
#endif

}  // namespace release
}  // namespace kd
}  // namespace arvel

#endif

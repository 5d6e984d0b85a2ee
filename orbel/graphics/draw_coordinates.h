// Coordinates a public draw can place. A draw works out edges from what it is given (a position plus
// a size, the corners of a stretch, a part's scaled offsets), and the back-ends add the draw origin to
// those edges and subtract them from one another in int. With every edge within +-2^29 pixels the
// difference of two edges stays within 2^30, leaving room for the origin and a graph's size; an edge
// beyond that, or a coordinate that is not finite, lies outside every draw area. The entries test their
// edges here, in 64 bits or in double, before any cast or int arithmetic.
#pragma once

#include <cstdint>

namespace orbel {

inline constexpr int64_t kPlaceableEdgeLimit = int64_t{1} << 29;  // pixels either side of 0

inline bool PlaceableEdge(int64_t edge) { return edge >= -kPlaceableEdgeLimit && edge <= kPlaceableEdgeLimit; }
inline bool PlaceableEdge(int edge) { return PlaceableEdge(int64_t{edge}); }

// False for NaN and the infinities too.
inline bool PlaceableEdge(double edge) {
  return edge >= -static_cast<double>(kPlaceableEdgeLimit) && edge <= static_cast<double>(kPlaceableEdgeLimit);
}

}  // namespace orbel

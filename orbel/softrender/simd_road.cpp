// The renderer's vector road: SSE2 wherever the build has it (the x86-64 baseline), else portable.
#include "orbel/softrender/simd_road.h"

namespace orbel {

SimdRoad BestSimdRoad() {
#if defined(__SSE2__)
  return SimdRoad::kSse2;
#else
  return SimdRoad::kPortable;
#endif
}

namespace simd_road_detail {
SimdRoad gRoad = BestSimdRoad();
}

SimdRoad SetSimdRoad(SimdRoad road) {
  simd_road_detail::gRoad = road == SimdRoad::kPortable ? road : BestSimdRoad();
  return simd_road_detail::gRoad;
}

}  // namespace orbel

// The renderer's vector road: AVX2 where the processor runs it, else SSE2 wherever the build has it
// (the x86-64 baseline), else portable.
#include "orbel/softrender/simd_road.h"

#include "orbel/softrender/plain_blit_avx2.h"

namespace orbel {

SimdRoad BestSimdRoad() {
#if defined(__SSE2__)
  return avx2::Supported() ? SimdRoad::kAvx2 : SimdRoad::kSse2;
#else
  return SimdRoad::kPortable;
#endif
}

namespace simd_road_detail {
SimdRoad gRoad = BestSimdRoad();
}

SimdRoad SetSimdRoad(SimdRoad road) {
  const SimdRoad best = BestSimdRoad();
  simd_road_detail::gRoad = static_cast<int>(road) <= static_cast<int>(best) ? road : best;
  return simd_road_detail::gRoad;
}

}  // namespace orbel

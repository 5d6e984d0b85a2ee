// Which vector road the software renderer's pixel loops take. Every road gives the same pixels; the
// portable one exists so tests can hold the vector loops against the per-pixel rules on any machine.
#pragma once

namespace orbel {

enum class SimdRoad { kPortable, kSse2, kAvx2 };

namespace simd_road_detail {
extern SimdRoad gRoad;
}

inline SimdRoad ActiveSimdRoad() { return simd_road_detail::gRoad; }
inline bool SimdRoadOpen() { return simd_road_detail::gRoad != SimdRoad::kPortable; }
// The best road this build and processor offer.
SimdRoad BestSimdRoad();
// Tests: take `road`, or the best one below it when the machine cannot. Returns the road taken.
SimdRoad SetSimdRoad(SimdRoad road);

}  // namespace orbel

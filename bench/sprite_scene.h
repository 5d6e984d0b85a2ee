// The sprite scene the frame benches share: where the sprites go, and a sprite-like picture (an opaque
// body, a soft edge, a clear surround), so every road and every peer draws the same pixels.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace bench {

struct SpritePoint {
  int x, y;
};

// `count` positions of whole `side` x `side` sprites inside a `width` x `height` frame, the same every run.
inline std::vector<SpritePoint> SpritePositions(int count, int side, int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<SpritePoint> points(static_cast<size_t>(count));
  for (SpritePoint& p : points) {
    p.x = static_cast<int>(rng() % static_cast<uint32_t>(width - side));
    p.y = static_cast<int>(rng() % static_cast<uint32_t>(height - side));
  }
  return points;
}

// 0xAARRGGBB of the sprite's pixel (x, y): a colour ramp, opaque out to `inner` pixels from the centre,
// fading to clear at `outer`.
inline uint32_t SoftDiscPixel(int x, int y, int side, int inner, int outer) {
  const int cx = 2 * x - side + 1, cy = 2 * y - side + 1;  // doubled, centred
  const int r2 = cx * cx + cy * cy;
  const int o2 = 4 * outer * outer, i2 = 4 * inner * inner;
  const uint32_t a = r2 >= o2 ? 0 : r2 <= i2 ? 255 : static_cast<uint32_t>(255 * (o2 - r2) / (o2 - i2));
  const uint32_t step = 256 / static_cast<uint32_t>(side);
  return a << 24 | (static_cast<uint32_t>(x) * step) << 16 | (static_cast<uint32_t>(y) * step) << 8 | 0x80;
}

}  // namespace bench

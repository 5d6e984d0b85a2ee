// The sprite scene the frame benches share: where the sprites go, and a sprite-like picture (an opaque
// body, a soft edge, a clear surround), so every road and every peer draws the same pixels. Also the
// turned quads (the same sprite about its centre) and the opaque picture of the stretch scenes.
#pragma once

#include <cmath>
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

// The whole sprite, row by row, as 0xAARRGGBB (straight alpha).
inline std::vector<uint32_t> SoftDiscPicture(int side, int inner, int outer) {
  std::vector<uint32_t> pixels(static_cast<size_t>(side) * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) pixels[static_cast<size_t>(y) * side + x] = SoftDiscPixel(x, y, side, inner, outer);
  return pixels;
}

// The same pixels with the colour multiplied by the alpha, as compositors that work premultiplied take them.
inline std::vector<uint32_t> Premultiplied(const std::vector<uint32_t>& straight) {
  std::vector<uint32_t> out(straight.size());
  for (size_t i = 0; i < straight.size(); ++i) {
    const uint32_t v = straight[i], a = v >> 24;
    uint32_t pre = a << 24;
    for (int s = 0; s < 24; s += 8) pre |= (((v >> s) & 0xFF) * a + 127) / 255 << s;
    out[i] = pre;
  }
  return out;
}

// The turn of quad `i` of the turned-quad scene, in radians: spread over the whole circle.
inline double QuadAngle(int i) { return 0.3707 * i; }

// The four corners (top-left, top-right, bottom-right, bottom-left of the sprite) of a `side` x `side`
// sprite at `p` turned by `angle` about its centre, as x, y pairs.
inline void TurnedCorners(const SpritePoint& p, int side, double angle, float out[8]) {
  const double c = std::cos(angle), s = std::sin(angle), h = side / 2.0;
  const double cx = p.x + h, cy = p.y + h;
  const double corners[4][2] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
  for (int k = 0; k < 4; ++k) {
    out[2 * k] = static_cast<float>(cx + corners[k][0] * c - corners[k][1] * s);
    out[2 * k + 1] = static_cast<float>(cy + corners[k][0] * s + corners[k][1] * c);
  }
}

// The opaque picture the stretch scenes enlarge: smooth ramps (so bilinear filtering shows) with a
// fine check over them (so it costs what a real picture costs), 0xFFRRGGBB.
inline uint32_t StretchPicturePixel(int x, int y, int width, int height) {
  const uint32_t r = static_cast<uint32_t>(x * 255 / (width - 1)), g = static_cast<uint32_t>(y * 255 / (height - 1));
  const uint32_t b = ((x >> 2) ^ (y >> 2)) & 1 ? 0x60 : 0x20;
  return 0xFF000000u | r << 16 | g << 8 | b;
}

}  // namespace bench

// Golden scene of the software triangle: a fan of quads, each drawn as the four-corner draw does (two
// triangles, corners 1-2-3 then 2-3-4 with texture corners (0, 0), (w, 0), (0, h), (w, h)), turned and
// skewed, in every blend mode with and without transparency, source alpha, a paletted source,
// brightness and a blend image, at 16 and 32 bits, compared exactly with the checked-in PNGs
// (ORBEL_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/triangle.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::Color;
using testing::TestImage;

constexpr int kCanvasW = 192;
constexpr int kCanvasH = 128;

// The quad's four corners in the four-corner draw's internal order: top-left, top-right, bottom-left,
// bottom-right of the picture.
void DrawQuad(TestImage& dst, const TestImage& src, const int x[4], const int y[4], int trans,
              const TestImage* blend) {
  const int w = src.width();
  const int h = src.height();
  const int first[12] = {x[0], y[0], 0, 0, x[1], y[1], w, 0, x[2], y[2], 0, h};
  const int second[12] = {x[1], y[1], w, 0, x[2], y[2], 0, h, x[3], y[3], w, h};
  DrawTriangleMemImg(dst.img(), src.img(), first, trans, blend ? blend->img() : nullptr, 0);
  DrawTriangleMemImg(dst.img(), src.img(), second, trans, blend ? blend->img() : nullptr, 0);
}

class TriangleGolden : public testing::SoftDrawTest {
 protected:
  std::vector<uint32_t> Render(int type) {
    const int alphaShift = type == kMemImgR5G6B5 ? 16 : 24;
    TestImage canvas(kCanvasW, kCanvasH, type);
    for (int y = 0; y < kCanvasH; ++y)
      for (int x = 0; x < kCanvasW; ++x) canvas.Set(x, y, Color(type, x, y * 2, ((x ^ y) & 8) ? 190 : 70));

    // Opaque picture with a transparent key in one corner, an alpha picture and a paletted one.
    const uint32_t key = Color(type, 255, 0, 255);
    TestImage plain(24, 24, type, 0, 0, key);
    TestImage alpha(24, 24, type, 0, 1);
    TestImage pal(24, 24, type, 1, 0, 0);
    for (int i = 0; i < 8; ++i) pal.SetPalette(i, Color(type, i * 32, 255 - i * 32, 128));
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 24; ++x) {
        plain.Set(x, y, x + y < 8 ? key : Color(type, 255 - x * 10, y * 10, 100 + x * 6));
        alpha.Set(x, y, Color(type, 240 - y * 8, 40 + x * 8, 200) | static_cast<uint32_t>(x * 11) << alphaShift);
        pal.Set(x, y, static_cast<uint32_t>((x / 3 + y / 3) % 8));
      }
    }
    // Blend image: a diagonal ramp.
    TestImage blend(24, 24, kMemImgSingle8);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) blend.Set(x, y, static_cast<uint32_t>((x + y) * 5));

    struct Draw {
      int mode, param;
      const TestImage* src;
      int trans;
      bool useBlend;
      uint32_t bright;
    };
    const Draw draws[] = {
        {0, 255, &plain, 1, false, 0xFFFFFF}, {1, 128, &plain, 0, false, 0xFFFFFF}, {2, 160, &plain, 1, false, 0xFFFFFF},
        {3, 160, &plain, 0, false, 0xFFFFFF}, {4, 255, &plain, 1, false, 0xFFFFFF}, {10, 200, &plain, 0, false, 0xFFFFFF},
        {11, 200, &plain, 1, false, 0xFFFFFF}, {0, 255, &alpha, 1, false, 0xFFFFFF}, {1, 100, &alpha, 1, false, 0xFFFFFF},
        {2, 255, &alpha, 0, false, 0x80C0FF}, {0, 255, &pal, 1, false, 0xFFFFFF}, {3, 0, &pal, 0, false, 0xFFFFFF},
        {0, 255, &plain, 0, true, 0xFFFFFF}, {1, 200, &alpha, 1, true, 0xFFFFFF}, {4, 255, &alpha, 0, true, 0xC08040},
        {10, 128, &pal, 1, true, 0xFFFFFF}, {11, 255, &alpha, 0, false, 0xFFFFFF}, {0, 255, &plain, 1, false, 0x606060},
    };
    // Quads on a 6 x 3 grid, each turned by its own angle and one corner pulled outwards; the last
    // column reaches past the draw area.
    SetArea(2, 2, kCanvasW - 2, kCanvasH - 2);
    for (int i = 0; i < 18; ++i) {
      const Draw& d = draws[i];
      SetBlend(d.mode, d.param);
      SetBright(d.bright);
      const double cx = 16 + (i % 6) * 32;
      const double cy = 20 + (i / 6) * 42;
      const double angle = i * 0.37;
      const double r = 15;
      int x[4];
      int y[4];
      const double offsets[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1.4, 1.2}};
      for (int k = 0; k < 4; ++k) {
        const double ox = offsets[k][0] * r;
        const double oy = offsets[k][1] * r;
        x[k] = static_cast<int>(std::lround(cx + ox * std::cos(angle) - oy * std::sin(angle)));
        y[k] = static_cast<int>(std::lround(cy + ox * std::sin(angle) + oy * std::cos(angle)));
      }
      DrawQuad(canvas, *d.src, x, y, d.trans, d.useBlend ? &blend : nullptr);
    }
    return testing::ToRgb(canvas);
  }
};

TEST_F(TriangleGolden, FanOfQuadsAt16Bits) {
  EXPECT_TRUE(testing::MatchesGolden("triangle_scene_16", kCanvasW, kCanvasH, Render(kMemImgR5G6B5)));
}

TEST_F(TriangleGolden, FanOfQuadsAt32Bits) {
  EXPECT_TRUE(testing::MatchesGolden("triangle_scene_32", kCanvasW, kCanvasH, Render(kMemImgX8R8G8B8)));
}

}  // namespace
}  // namespace orbel

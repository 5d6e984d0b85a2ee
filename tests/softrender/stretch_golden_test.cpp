// Golden scenes of the stretched blit, the box fill and the lines: one fixed scene drawn at 16 and at
// 32 bits (every blend mode, enlarged, shrunk and mirrored, with brightness, transparency, source
// alpha, a blend image and paletted sources, clipped by the draw area) and compared pixel for pixel
// with tests/softrender/golden/stretch_scene_{16,32}.png through MatchesGolden (ORBEL_UPDATE_GOLDEN=1
// rewrites them). Byte 3 of 32-bit pixels is pinned by the pixel tests, not here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/line_draw.h"
#include "orbel/softrender/stretch_blit.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

constexpr int kSceneWidth = 128;
constexpr int kSceneHeight = 96;

struct Draw {
  int mode;
  int param;
  uint32_t bright;
  int source;      // 0 plain, 1 alpha, 2 paletted
  int trans;
  bool blend;
  plat::RECT rect;
};

void DrawScene(TestImage& scene, int type) {
  const bool is16 = type == kMemImgR5G6B5;
  for (int y = 0; y < kSceneHeight; ++y) {
    for (int x = 0; x < kSceneWidth; ++x) {
      scene.Set(x, y, Color(type, x * 2, y * 2 + 40, 160 - x, (x + y) & 3));
    }
  }

  // Sources 16x12: a colour ramp with a transparent dot grid, the same with an alpha ramp, a paletted
  // pattern of 16 entries, and a weight image.
  TestImage plain(16, 12, type, 0, 0, Color(type, 255, 0, 255));
  TestImage alpha(16, 12, type, 0, 1);
  TestImage paletted(16, 12, type, 1, 0, 5);
  TestImage weights(16, 12, kMemImgSingle8);
  for (int i = 0; i < 16; ++i) paletted.SetPalette(i, Color(type, i * 16, 255 - i * 12, (i * 40) & 255, i * 3));
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint32_t c = (x % 4 == 1 && y % 3 == 1) ? Color(type, 255, 0, 255) : Color(type, x * 16, y * 20, 255 - x * 8, y);
      const uint32_t a = static_cast<uint32_t>(x * 17);
      plain.Set(x, y, c);
      alpha.Set(x, y, (c & 0xFFFFFF) | a << (is16 ? 16 : 24));
      paletted.Set(x, y, static_cast<uint32_t>((x + y * 3) & 15));
      weights.Set(x, y, static_cast<uint32_t>((x * 16 + y * 9) & 255));
    }
  }
  const TestImage* sources[] = {&plain, &alpha, &paletted};

  const Draw draws[] = {
      {0, 255, 0xFFFFFF, 0, 1, false, {0, 0, 32, 24}},        // copy, enlarged, transparent dots
      {0, 255, 0xFFFFFF, 2, 1, false, {32, 0, 40, 6}},        // paletted copy, shrunk (fast loop)
      {0, 255, 0xC08040, 0, 0, false, {40, 0, 56, 6}},        // copy under brightness, shrunk (general)
      {1, 128, 0xFFFFFF, 0, 0, false, {88, 24, 56, 0}},       // alpha, mirrored both ways
      {1, 200, 0xFFFFFF, 1, 1, false, {88, 0, 120, 24}},      // alpha source under TransFlag
      {2, 200, 0xFFFFFF, 0, 0, true, {0, 24, 24, 42}},        // add with a blend image
      {2, 255, 0xA0A0FF, 2, 0, false, {24, 24, 48, 42}},      // paletted add under brightness
      {3, 255, 0xFFFFFF, 0, 0, false, {48, 24, 56, 30}},      // full-strength subtract, shrunk
      {3, 160, 0xFFFFFF, 1, 0, false, {56, 24, 80, 42}},      // subtract of an alpha source
      {3, 0, 0xFFFFFF, 2, 1, false, {80, 24, 104, 42}},       // paletted subtract at p 0 (drawn)
      {4, 0, 0xFFFFFF, 0, 1, false, {128, 42, 104, 60}},      // multiply, mirrored left-right
      {4, 0, 0xFFFFFF, 1, 0, true, {0, 42, 24, 60}},          // multiply, alpha and blend image
      {10, 200, 0xFFFFFF, 0, 1, false, {24, 42, 48, 78}},     // invert, tall
      {10, 90, 0x80FF80, 2, 0, true, {48, 60, 72, 42}},       // paletted invert, mirrored top-bottom
      {11, 180, 0xFFFFFF, 0, 0, false, {72, 42, 104, 60}},    // multiply then alpha
      {11, 255, 0xFFFFFF, 1, 1, false, {104, 60, 128, 78}},   // multiply then alpha, alpha source
      {11, 100, 0xFFC0C0, 2, 0, true, {0, 60, 24, 78}},       // paletted mode 11 with blend image
      {0, 255, 0xFFFFFF, 1, 0, true, {48, 78, 80, 96}},       // alpha copy with a blend image
      {1, 255, 0xFFFFFF, 2, 0, false, {-8, 78, 24, 100}},     // mode 1 p255 = copy, clipped
      {2, 128, 0xFFFFFF, 1, 1, false, {120, 80, 140, 96}},    // add, clipped on the right
  };
  for (const Draw& d : draws) {
    gDrawState.blendMode = static_cast<uint32_t>(d.mode);
    gDrawState.blendParam = static_cast<uint32_t>(d.param);
    gDrawState.brightColor = d.bright;
    DrawExtendMemImgMmx(scene.img(), sources[d.source]->img(), &d.rect, d.trans, d.blend ? weights.img() : nullptr, 1);
  }
  // A draw area that cuts a stretched draw on all four sides.
  gDrawState.drawArea = {84, 82, 100, 92};
  gDrawState.blendMode = 0;
  gDrawState.brightColor = 0xFFFFFF;
  const plat::RECT cut = {80, 78, 104, 96};
  DrawExtendMemImgMmx(scene.img(), plain.img(), &cut, 0, nullptr, 1);
  gDrawState.drawArea = {0, 0, kSceneWidth, kSceneHeight};

  // Boxes and lines in several modes.
  struct Fill {
    int mode;
    int param;
    uint32_t bright;
    plat::RECT rect;
    uint32_t color;
  };
  const Fill boxes[] = {
      {0, 0, 0xFFFFFF, {100, 0, 108, 6}, Color(type, 250, 200, 10, 9)},
      {1, 100, 0xFFFFFF, {108, 0, 128, 10}, Color(type, 0, 0, 255)},
      {2, 150, 0x80C0FF, {104, 4, 112, 14}, Color(type, 90, 60, 30)},
      {3, 255, 0xFFFFFF, {0, 90, 40, 96}, Color(type, 40, 40, 40)},
      {4, 0, 0xFFFFFF, {112, 14, 128, 24}, Color(type, 128, 255, 64)},
      {10, 160, 0xFFFFFF, {96, 10, 104, 24}, Color(type, 30, 60, 90)},
      {11, 200, 0xFFFFFF, {80, 90, 100, 96}, Color(type, 200, 100, 50)},
  };
  for (const Fill& b : boxes) {
    gDrawState.blendMode = static_cast<uint32_t>(b.mode);
    gDrawState.blendParam = static_cast<uint32_t>(b.param);
    gDrawState.brightColor = b.bright;
    DrawBoxMemImg(scene.img(), &b.rect, b.color);
  }
  const MemImgLine lines[] = {
      {-20, 95, 140, 10, Color(type, 255, 255, 255), 0}, {5, -5, 60, 120, Color(type, 255, 0, 0), 0},
      {127, 0, 0, 95, Color(type, 0, 255, 0), 0},        {30, 50, 90, 52, Color(type, 0, 0, 0), 0},
      {64, 40, 64, 90, Color(type, 255, 255, 0), 0},
  };
  gDrawState.blendMode = 0;
  gDrawState.brightColor = 0xFFFFFF;
  DrawLineSetMemImg(scene.img(), lines, 3);
  gDrawState.blendMode = 2;
  gDrawState.blendParam = 120;
  DrawLineSetMemImg(scene.img(), lines + 3, 2);
}

class StretchGolden : public SoftDrawTest {
 protected:
  void Check(int type, const char* golden) {
    TestImage scene(kSceneWidth, kSceneHeight, type);
    SetArea(0, 0, kSceneWidth, kSceneHeight);
    DrawScene(scene, type);
    EXPECT_TRUE(MatchesGolden(golden, kSceneWidth, kSceneHeight, ToRgb(scene)));
  }
};

TEST_F(StretchGolden, Scene16) { Check(kMemImgR5G6B5, "stretch_scene_16"); }

TEST_F(StretchGolden, Scene32) { Check(kMemImgX8R8G8B8, "stretch_scene_32"); }

}  // namespace
}  // namespace orbel::testing

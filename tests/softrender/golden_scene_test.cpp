// Golden scene: a fixed set of plain draws in every blend mode, with transparency, source alpha,
// paletted sources, brightness, a blend image and clipping, rendered at 16 and 32 bits and compared
// exactly with the checked-in PNGs (ORBEL_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/plain_blit.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::Color;
using testing::TestImage;

constexpr int kCanvasW = 128;
constexpr int kCanvasH = 96;
constexpr int kCellW = 32;
constexpr int kCellH = 24;

class GoldenScene : public testing::PlainBlitTest {
 protected:
  std::vector<uint32_t> Render(int type) {
    const uint32_t key = Color(type, 255, 0, 255);
    TestImage canvas(kCanvasW, kCanvasH, type);
    for (int y = 0; y < kCanvasH; ++y)
      for (int x = 0; x < kCanvasW; ++x) canvas.Set(x, y, Color(type, x * 2, y * 2 + 40, ((x ^ y) & 8) ? 200 : 60));

    // Opaque picture with a keyed disc in the middle.
    TestImage keyed(kCellW, kCellH, type, 0, 0, key);
    std::vector<uint32_t> px;
    for (int y = 0; y < kCellH; ++y) {
      for (int x = 0; x < kCellW; ++x) {
        const int dx = x - 16, dy = y - 12;
        px.push_back(dx * dx + dy * dy < 36 ? key : Color(type, 255 - x * 8, y * 10, 128 + x * 4));
      }
    }
    EXPECT_GE(keyed.Load(px), 0);

    // Alpha picture: alpha rises left to right from 0 to 255, colour changes down the rows.
    TestImage alpha(kCellW, kCellH, type, 0, 1);
    px.clear();
    for (int y = 0; y < kCellH; ++y) {
      for (int x = 0; x < kCellW; ++x) {
        const uint32_t a = x == 0 ? 0 : (x == kCellW - 1 ? 255 : static_cast<uint32_t>(x * 8));
        px.push_back(Color(type, 250 - y * 10, 60 + y * 8, 240) | a << (type == kMemImgR5G6B5 ? 16 : 24));
      }
    }
    EXPECT_GE(alpha.Load(px), 0);

    // Paletted picture: stripes of 16 palette colours, index 0 transparent.
    TestImage pal(16, 16, type, 1, 0, 0);
    for (int i = 0; i < 16; ++i) pal.SetPalette(i, Color(type, i * 16, 255 - i * 16, (i * 40) & 255));
    px.clear();
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) px.push_back(((x + y) / 2) % 16);
    EXPECT_GE(pal.Load(px), 0);

    // Blend image: a diagonal ramp, through a soft weight table.
    TestImage blend(kCellW, kCellH, kMemImgSingle8);
    for (int y = 0; y < kCellH; ++y)
      for (int x = 0; x < kCellW; ++x) blend.Set(x, y, static_cast<uint32_t>((x + y) * 5));
    MakeBlendGraphWeightTable(96, 64);

    struct Step {
      int mode, param;
    };
    const Step steps[] = {{0, 255}, {1, 128}, {1, 90}, {2, 200}, {3, 150}, {4, 0}, {10, 180}, {11, 200}};
    // Row 0-1: keyed picture per mode (run-code path); rows 2-3: alpha picture per mode.
    for (int i = 0; i < 8; ++i) {
      SetBlendState(steps[i].mode, steps[i].param);
      DrawMemImgWithMmxFlag(canvas.img(), keyed.img(), (i % 4) * kCellW, (i / 4) * kCellH, 1, nullptr, i & 1);
      DrawMemImgWithMmxFlag(canvas.img(), alpha.img(), (i % 4) * kCellW, (2 + i / 4) * kCellH, 1, nullptr, 0);
    }
    // Overlays: brightness, a blend image, a clipped normal-path keyed draw, alpha without the flag,
    // paletted sources and an area clip.
    SetDrawBrightColorValue(0xFF8040);
    SetBlendState(1, 200);
    DrawMemImg(canvas.img(), keyed.img(), 16, 12, 1, nullptr);
    SetDrawBrightColorValue(0xFFFFFF);
    SetBlendState(0, 255);
    DrawMemImg(canvas.img(), keyed.img(), 80, 60, 1, blend.img());
    SetBlendState(2, 255);
    DrawMemImgWithMmxFlag(canvas.img(), keyed.img(), -10, 80, 1, nullptr, 1);
    SetBlendState(1, 160);
    DrawMemImg(canvas.img(), alpha.img(), 112, 40, 0, nullptr);
    SetBlendState(0, 255);
    DrawMemImg(canvas.img(), pal.img(), 56, 4, 1, nullptr);
    SetBlendState(3, 255);
    DrawMemImgWithMmxFlag(canvas.img(), pal.img(), 60, 70, 0, nullptr, 0);
    SetDrawClipArea(40, 30, 90, 66);
    SetBlendState(11, 255);
    SetDrawBrightColorValue(0x80FFC0);
    DrawMemImg(canvas.img(), alpha.img(), 30, 40, 1, blend.img());
    return testing::ToRgb(canvas);
  }
};

TEST_F(GoldenScene, Scene32) { EXPECT_TRUE(testing::MatchesGolden("plain_scene_32", kCanvasW, kCanvasH, Render(kMemImgX8R8G8B8))); }

TEST_F(GoldenScene, Scene16) { EXPECT_TRUE(testing::MatchesGolden("plain_scene_16", kCanvasW, kCanvasH, Render(kMemImgR5G6B5))); }

}  // namespace
}  // namespace orbel

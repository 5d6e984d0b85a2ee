// Software drawing onto DirectDraw surfaces: the plain-blit road, prepared views, nothing locked for a
// destination outside the draw area, blends read in place, and a 5-5-5 display converted on the way
// in and out, for every kind of draw as on a 5-6-5 display.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using testing::BackPixel;
using testing::GraphRoad;
using testing::Picture;

Picture Solid(uint32_t argb, int w, int h) {
  Picture p;
  p.width = w;
  p.height = h;
  p.pixels.assign(static_cast<size_t>(w) * h, argb);
  return p;
}

class SoftDrawTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordDisplayCalls(true);
  }
  void StartDirectDraw(int depth) {
    testing::WritePng("solid.png", Solid(0xFF20A0E0, 8, 8), false);
    testing::WritePng("glass.png", Solid(0x8020A0E0, 8, 8), true);
    ASSERT_EQ(Start(GraphRoad{0, depth}), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  }
};

TEST_F(SoftDrawTest, APlainUnbrightenedCopyOfLikeSurfacesIsABlitAndBrightnessPreparesViews) {
  StartDirectDraw(32);
  const int g = LoadGraphFile("solid.png", 1);
  ASSERT_NE(g, -1);
  const Surface2DRecord* r = GetSurface2DRecord(GetGraphRecord(g)->parts[0]);
  ASSERT_EQ(GetSurfaceDataRecord(r->surfaceData)->memImgUse, 0u);  // a DirectDraw surface

  const plat::RECT src = {1, 2, 5, 6};
  const plat::RECT dest = {101, 102, 105, 106};
  const int locks = plat::test::DisplayCallCount("Lock");
  ASSERT_EQ(BeginSurfaceSoftDraw(r, 1, &src, &dest, 1, nullptr, nullptr), 0);
  EXPECT_EQ(gSoftDraw.blit, 1u);
  EXPECT_EQ(gSoftDraw.blitSourceRect.left, 1 + r->offsetX);
  EXPECT_EQ(gSoftDraw.blitTargetRect.left, 101);
  EXPECT_EQ(gSoftDraw.blitTargetRect.bottom, 106);
  EXPECT_EQ(plat::test::DisplayCallCount("Lock"), locks);

  SetDrawBrightness(255, 128, 128);
  ASSERT_EQ(BeginSurfaceSoftDraw(r, 1, &src, &dest, 1, nullptr, nullptr), 0);
  EXPECT_EQ(gSoftDraw.blit, 0u);
  ASSERT_NE(gSoftDraw.destView, nullptr);
  ASSERT_NE(gSoftDraw.sourceView, nullptr);
  EXPECT_EQ(gSoftDraw.destView->width, 4);
  EXPECT_EQ(gSoftDraw.sourceView->width, 8);
  EXPECT_GT(plat::test::DisplayCallCount("Lock"), locks);
  EXPECT_EQ(EndSurfaceSoftDraw(), 0);

  // A destination wholly outside the draw area prepares and locks nothing.
  const int before = plat::test::DisplayCallCount("Lock");
  const plat::RECT outside = {700, 10, 720, 20};
  EXPECT_EQ(BeginSurfaceSoftDraw(r, 1, &src, &outside, 1, nullptr, nullptr), -1);
  EXPECT_EQ(plat::test::DisplayCallCount("Lock"), before);
}

// Surfaces live in memory: blended draws lock the target and the source where they are, in the
// display's own format, and no region goes through a work surface.
TEST_F(SoftDrawTest, BlendedDrawsReadTheDisplaysOwnFormatInPlace) {
  StartDirectDraw(32);
  const int solid = LoadGraphFile("solid.png", 1);
  const int glass = LoadGraphFile("glass.png", 1);
  plat::test::ResetDDraw();
  const int blits = plat::test::DisplayCallCount("BltFast");
  const int dcs = plat::test::DisplayCallCount("GetDC");
  for (int mode : {kBlendNone, kBlendAlpha, kBlendAdd, kBlendSub, kBlendMul}) {
    SetBlendState(mode, 128);
    DrawGraphAt(10, 10, solid, 1);
    DrawGraphAt(20, 10, glass, 1);
    DrawStretchGraph(30, 10, 50, 30, solid, 0);
    DrawRectangle(60, 10, 80, 30, MakeColor(255, 0, 0), 1);
    DrawRectangle(60, 40, 80, 60, MakeColor(255, 0, 0), 0);
  }
  // The one plain copy (no blend, opaque graph) is a blit; nothing else copies.
  EXPECT_EQ(plat::test::DisplayCallCount("BltFast") - blits, 1);
  EXPECT_EQ(plat::test::DisplayCallCount("GetDC") - dcs, 0);
  EXPECT_GT(plat::test::GetDDrawCounters().videoMemoryReadLocks, 0);
}

// On a 5-5-5 display the region is converted into the renderer's 5-6-5 and back.
TEST_F(SoftDrawTest, AFiveFiveFiveDisplayIsConvertedInAndOut) {
  plat::test::SetDisplay16BitLayout555(true);
  StartDirectDraw(16);
  ASSERT_EQ(gScreen.colorType, kScreenColorX1R5G5B5);
  DrawRectangle(0, 0, 640, 480, MakeColor(0, 0, 255), 1);
  SetBlendState(kBlendAlpha, 255);
  DrawRectangle(10, 10, 20, 20, MakeColor(255, 0, 0), 1);
  SetBlendState(kBlendAdd, 255);
  DrawRectangle(30, 10, 40, 20, MakeColor(0, 255, 0), 1);
  SetBlendState(kBlendNone, 0);
  const uint32_t red = plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 15, 15);
  const uint32_t cyan = plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 35, 15);
  const uint32_t blue = plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 5, 5);
  EXPECT_EQ(red, 0x7C00u);
  EXPECT_EQ(cyan, 0x03FFu);
  EXPECT_EQ(blue, 0x001Fu);
}

// Keyed pictures (black is the transparent colour) whose channels a 5-5-5 and a 5-6-5 display hold
// alike: every green a multiple of 8.
Picture KeyedRamp(int w, int h) {
  Picture p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool hole = (x / 3 + y / 3) % 4 == 0;
      p.pixels.push_back(hole ? 0xFF000000u : 0xFF000000u | (x % 32 * 8u) << 16 | (y % 32 * 8u) << 8 | 0x90u);
    }
  }
  return p;
}

// A 16-bit back surface as 5-5-5 values (a 5-6-5 pixel loses its lowest green bit), without the
// unused top bit.
std::vector<uint16_t> BackAs555() {
  const plat::test::SurfacePixels all = plat::test::ReadSurface(gScreen.backSurface);
  const bool six = all.format.dwGBitMask == 0x07E0;
  std::vector<uint16_t> out;
  for (int y = 0; y < all.height; ++y) {
    for (int x = 0; x < all.width; ++x) {
      uint16_t v = 0;
      memcpy(&v, all.bytes.data() + static_cast<size_t>(y) * all.pitch + static_cast<size_t>(x) * 2, 2);
      out.push_back(six ? static_cast<uint16_t>((v >> 11) << 10 | ((v >> 6) & 0x1F) << 5 | (v & 0x1F))
                        : static_cast<uint16_t>(v & 0x7FFF));
    }
  }
  return out;
}

// Every draw that goes through the software renderer gives on a 5-5-5 display the picture of a 5-6-5
// display: the target region and the source are both converted, a source larger than the screen
// included, and text rendered through the font's work surface takes its colours in the renderer's
// format. Each kind draws into its own band of rows over a grey ground.
TEST_F(SoftDrawTest, AFiveFiveFiveDisplayDrawsEveryKindAsAFiveSixFiveDisplay) {
  testing::WritePng("ramp.png", KeyedRamp(16, 16), false);
  testing::WritePng("wide.png", KeyedRamp(700, 12), false);
  struct Assets {
    int ramp, memRamp, wide, wideTarget, antialiased, gameFont, plainFont;
  };
  const uint32_t kBand = 60;
  struct DrawKind {
    const char* name;
    std::function<void(const Assets&, int top)> draw;
  };
  const DrawKind kinds[] = {
      {"stretched", [](const Assets& a, int top) { DrawStretchGraph(10, top + 5, 50, top + 33, a.ramp, 1); }},
      {"four corners",
       [](const Assets& a, int top) {
         DrawQuadGraph(80.f, top + 5.f, 130.f, top + 9.f, 126.f, top + 45.f, 84.f, top + 41.f, a.ramp, 1);
       }},
      {"memory-image graph at a point", [](const Assets& a, int top) { DrawGraphAt(150, top + 5, a.memRamp, 1); }},
      {"opaque graph wider than the screen", [](const Assets& a, int top) { DrawGraphAt(-30, top + 5, a.wide, 0); }},
      {"onto a graph wider than the screen",
       [](const Assets& a, int top) {
         SelectDrawScreen(a.wideTarget);
         DrawRectangle(0, 0, 700, 40, MakeColor(64, 128, 192), 1);
         DrawStretchGraph(0, 4, 700, 36, a.ramp, 1);
         SelectDrawScreen(kDrawScreenBack);
         DrawGraphAt(-30, top + 5, a.wideTarget, 0);
       }},
      {"antialiased text",
       [](const Assets& a, int top) {
         DrawTextToFontHandle(10, top + 5, "Blue 青", MakeColor(0, 0, 255), a.antialiased, 0, 0);
       }},
      {"edged antialiased text (the game's)",
       [](const Assets& a, int top) {
         DrawTextToFontHandle(10, top + 5, "Stage 打鍵", MakeColor(0, 0, 255), a.gameFont, MakeColor(0, 0, 0), 0);
       }},
      {"plain text under a blend",
       [](const Assets& a, int top) {
         SetBlendState(kBlendAlpha, 128);
         DrawTextToFontHandle(10, top + 5, "Blend 半", MakeColor(0, 0, 255), a.plainFont, 0, 0);
         SetBlendState(kBlendNone, 0);
       }},
  };

  std::vector<uint16_t> screens[2];
  for (const bool fiveFiveFive : {false, true}) {
    SCOPED_TRACE(fiveFiveFive ? "5-5-5" : "5-6-5");
    plat::test::SetDisplay16BitLayout555(fiveFiveFive);
    StartDirectDraw(16);
    ASSERT_EQ(gScreen.colorType, fiveFiveFive ? kScreenColorX1R5G5B5 : kScreenColorR5G6B5);
    Assets a{};
    a.ramp = LoadGraphFile("ramp.png", 1);
    SetNewGraphMemImgFlag(1);
    a.memRamp = LoadGraphFile("ramp.png", 1);
    SetNewGraphMemImgFlag(0);
    a.wide = LoadGraphFile("wide.png", 1);
    SetNewGraphDrawValidFlag(1);
    a.wideTarget = MakeEmptyGraph(700, 40, 1);
    SetNewGraphDrawValidFlag(0);
    a.antialiased = CreateFontToHandle(nullptr, 24, 6, 2, -1, -1, 0, -1, -1);
    a.gameFont = CreateFontToHandle(nullptr, 24, 6, 3, -1, -1, 0, -1, -1);
    a.plainFont = CreateFontToHandle(nullptr, 24, 6, 0, -1, -1, 0, -1, -1);
    for (int handle : {a.ramp, a.memRamp, a.wide, a.wideTarget, a.antialiased, a.gameFont, a.plainFont}) {
      ASSERT_NE(handle, -1);
    }
    const auto data = [](int graph) {
      return GetSurfaceDataRecord(GetSurface2DRecord(GetGraphRecord(graph)->parts[0])->surfaceData);
    };
    ASSERT_EQ(data(a.memRamp)->memImgUse, 1u);
    ASSERT_EQ(data(a.wide)->memImgUse, 0u);  // surfaces, too wide for the work surfaces
    ASSERT_EQ(data(a.wideTarget)->memImgUse, 0u);

    DrawRectangle(0, 0, 640, 480, MakeColor(128, 128, 128), 1);
    for (size_t i = 0; i < std::size(kinds); ++i) kinds[i].draw(a, static_cast<int>(i * kBand));
    screens[fiveFiveFive] = BackAs555();
    EndLibrarySystem();
  }
  plat::test::SetDisplay16BitLayout555(false);

  const std::vector<uint16_t>& wanted = screens[0];
  const std::vector<uint16_t>& got = screens[1];
  ASSERT_EQ(got.size(), wanted.size());
  ASSERT_EQ(got.size(), 640u * 480u);
  const uint16_t grey = 0x4210;
  for (size_t i = 0; i < std::size(kinds); ++i) {
    SCOPED_TRACE(kinds[i].name);
    int drawn = 0;
    int differing = 0;
    size_t first = 0;
    for (size_t p = i * kBand * 640; p < (i + 1) * kBand * 640; ++p) {
      if (wanted[p] != grey) ++drawn;
      if (got[p] != wanted[p] && differing++ == 0) first = p;
    }
    EXPECT_GT(drawn, 40) << "the draw left the ground as it was";
    const auto rgb = [](uint16_t v) {
      char text[16];
      snprintf(text, sizeof text, "%02X%02X%02X", (v >> 10 & 0x1F) << 3, (v >> 5 & 0x1F) << 3, (v & 0x1F) << 3);
      return std::string(text);
    };
    EXPECT_EQ(differing, 0) << "first at (" << first % 640 << ", " << first / 640 << "): 5-5-5 display "
                            << rgb(got[first]) << ", 5-6-5 display " << rgb(wanted[first]);
  }
}

// An 8-bit display: the renderer draws on a converted copy of the region, which is mapped back onto
// the palette; nothing is written past the 8-bit pixels.
TEST_F(SoftDrawTest, AnEightBitDisplayIsDrawnThroughAConvertedCopy) {
  StartDirectDraw(8);
  const uint32_t blue = MakeColor(0, 0, 255);
  const uint32_t red = MakeColor(255, 0, 0);
  DrawRectangle(0, 0, 640, 480, blue, 1);
  SetBlendState(kBlendAlpha, 255);
  DrawRectangle(10, 10, 20, 20, red, 1);
  DrawRectangle(30, 10, 40, 20, red, 0);
  SetBlendState(kBlendNone, 0);
  const int glass = LoadGraphFile("solid.png", 1);
  SetDrawBrightness(255, 255, 255);
  SetBlendState(kBlendAlpha, 255);
  DrawGraphAt(50, 10, glass, 0);
  SetBlendState(kBlendNone, 0);
  EXPECT_EQ(plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 15, 15), red);
  EXPECT_EQ(plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 30, 15), red);
  EXPECT_EQ(plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 35, 15), blue);
  EXPECT_EQ(plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 5, 5), blue);
  EXPECT_EQ(plat::test::ReadSurfacePixelRaw(gScreen.backSurface, 52, 12), MakeColor(0x20, 0xA0, 0xE0));
}

}  // namespace
}  // namespace orbel

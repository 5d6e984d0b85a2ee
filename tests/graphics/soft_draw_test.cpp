// Software drawing onto DirectDraw surfaces: the plain-blit road, prepared views, nothing locked for a
// destination outside the draw area, blends read in place, and a 5-5-5 display converted on the way
// in and out.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
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

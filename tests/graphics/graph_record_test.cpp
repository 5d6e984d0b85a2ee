// Graph records, surface data and 2D surfaces on both roads: creation and deletion, notify ints,
// slot hygiene after failures, derived windows, locks and fills.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using testing::GraphLibraryTest;
using testing::GraphRoad;

class GraphRecordTest : public GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    ASSERT_EQ(Start(GetParam()), 0);
  }
};

TEST_P(GraphRecordTest, EmptyGraphHasItsSizeAndDeletesWithItsNotify) {
  // The fonts made at start-up hold surfaces of their own.
  const uint32_t surfaces = gSurface2DTable.count;
  const uint32_t data = gSurfaceDataTable.count;
  const int g = MakeEmptyGraph(40, 30, 1);
  ASSERT_NE(g, -1);
  int w = 0;
  int h = 0;
  EXPECT_EQ(GetGraphExtent(g, &w, &h), 0);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
  EXPECT_EQ(GetGraphExtent(kDrawScreenBack, &w, nullptr), 0);
  EXPECT_EQ(w, 640);

  int32_t notify = 7;
  EXPECT_EQ(SetGraphDeleteNotify(g, &notify), 0);
  EXPECT_EQ(notify, 0);
  EXPECT_EQ(DeleteGraphHandle(g, 0), 0);
  EXPECT_EQ(notify, 1);
  EXPECT_EQ(DeleteGraphHandle(g, 0), -1);
  EXPECT_EQ(GetGraphExtent(g, &w, &h), -1);
  EXPECT_EQ(gSurface2DTable.count, surfaces);
  EXPECT_EQ(gSurfaceDataTable.count, data);
}

TEST_P(GraphRecordTest, SoftwareRenderingHoldsEveryGraphInAMemoryImage) {
  const int plain = MakeEmptyGraph(8, 8, 1);
  SetNewGraphAlphaFlag(1);
  const int alpha = MakeEmptyGraph(8, 8, 1);
  SetNewGraphAlphaFlag(0);
  for (int g : {plain, alpha}) {
    const Surface2DRecord* r = GetSurface2DRecord(GetGraphRecord(g)->parts[0]);
    ASSERT_NE(r, nullptr);
    const SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
    // Alpha graphs are memory images on either road; the rest only under software rendering.
    const bool expectMemImg = GetParam().software || g == alpha;
    EXPECT_EQ(d->memImgUse != 0, expectMemImg) << g;
    EXPECT_EQ(d->surface == nullptr, expectMemImg) << g;
  }
}

TEST_P(GraphRecordTest, DrawValidGraphsNeverAlphaTest) {
  SetNewGraphAlphaTestFlag(1);
  SetNewGraphDrawValidFlag(1);
  const int g = MakeEmptyGraph(4, 4, 1);
  SetNewGraphDrawValidFlag(0);
  ASSERT_NE(g, -1);
  EXPECT_EQ(GetGraphRecord(g)->format.drawValid, 1);
  EXPECT_EQ(GetGraphRecord(g)->format.alphaTest, 0);
}

TEST_P(GraphRecordTest, SecondLockGivesMinusTwoAndTheSamePointer) {
  const int g = MakeEmptyGraph(16, 16, 1);
  const int data = GetSurface2DRecord(GetGraphRecord(g)->parts[0])->surfaceData;
  void* first = nullptr;
  void* second = nullptr;
  int pitch = 0;
  ASSERT_EQ(LockGraphSurface(data, &pitch, &first, 0, nullptr, nullptr), 0);
  EXPECT_EQ(LockGraphSurface(data, nullptr, &second, 0, nullptr, nullptr), -2);
  EXPECT_EQ(first, second);
  EXPECT_EQ(UnlockSurfaceData(data, nullptr), 0);
  EXPECT_EQ(UnlockSurfaceData(data, nullptr), 0);
  EXPECT_EQ(UnlockSurfaceData(data, nullptr), -1);
}

// A derived window must lie inside its parent; one reaching past the edges is narrowed.
TEST_P(GraphRecordTest, DeriveGraphRefusesWindowsOutsideTheParent) {
  const uint32_t data = gSurfaceDataTable.count;  // the start-up fonts' surfaces
  const int parent = MakeEmptyGraph(32, 16, 1);
  const uint32_t before = gGraphTable.count;
  struct Case {
    int x, y, w, h;
  };
  for (const Case c : {Case{32, 0, 4, 4}, Case{0, 16, 4, 4}, Case{-1, 0, 4, 4}, Case{0, -1, 4, 4},
                       Case{40, 0, 4, 4}, Case{0, 0, 0, 4}, Case{0, 0, 4, -2}}) {
    EXPECT_EQ(DeriveGraph(c.x, c.y, c.w, c.h, parent), -1) << c.x << "," << c.y << " " << c.w << "x" << c.h;
  }
  EXPECT_EQ(gGraphTable.count, before);
  const int narrow = DeriveGraph(24, 10, 20, 20, parent);
  ASSERT_NE(narrow, -1);
  int w = 0;
  int h = 0;
  GetGraphExtent(narrow, &w, &h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 6);
  // The window shares the parent's pixels: deleting the parent keeps them alive for the child.
  EXPECT_EQ(DeleteGraphHandle(parent, 0), 0);
  EXPECT_EQ(gSurfaceDataTable.count, data + 1);
  EXPECT_EQ(DeleteGraphHandle(narrow, 0), 0);
  EXPECT_EQ(gSurfaceDataTable.count, data);
}

// A fill reaches the graph's own window only, never its siblings' cells.
TEST_P(GraphRecordTest, FillGraphColorFillsOnlyTheGraphsWindow) {
  SetNewGraphAlphaFlag(1);  // a memory image on both roads
  const int parent = MakeEmptyGraph(8, 4, 1);
  SetNewGraphAlphaFlag(0);
  const int left = DeriveGraph(0, 0, 4, 4, parent);
  const int right = DeriveGraph(4, 0, 4, 4, parent);
  ASSERT_EQ(FillGraphColor(left, 255, 0, 0, 255), 0);
  ASSERT_EQ(FillGraphColor(right, 0, 0, 255, 255), 0);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(testing::GraphPixel(left, x, 3), 0xFF0000u) << x;
    EXPECT_EQ(testing::GraphPixel(right, x, 3), 0x0000FFu) << x;
  }
  // A plain graph (a DirectDraw surface on that road) is filled too.
  const int plain = MakeEmptyGraph(4, 4, 1);
  ASSERT_EQ(FillGraphColor(plain, 0, 255, 0, 255), 0);
  EXPECT_EQ(testing::GraphPixel(plain, 2, 2), 0x00FF00u);
}

// Failed pixel creation gives the graph slot back: repeated failures never fill the table.
TEST_P(GraphRecordTest, FailedCreationLeavesNoHalfMadeRecord) {
  if (GetParam().software) GTEST_SKIP() << "memory images do not go through CreateSurface";
  const uint32_t graphs = gGraphTable.count;
  const uint32_t data = gSurfaceDataTable.count;
  const uint32_t surfaces = gSurface2DTable.count;
  plat::test::FailDisplayCall("CreateSurface", 2);  // video memory, then the system-memory retry
  EXPECT_EQ(MakeEmptyGraph(16, 16, 1), -1);
  EXPECT_EQ(gGraphTable.count, graphs);
  EXPECT_EQ(gSurfaceDataTable.count, data);
  EXPECT_EQ(gSurface2DTable.count, surfaces);
  EXPECT_NE(LogText().find("標準サーフェスの作成に失敗しました"), std::string::npos);
  EXPECT_NE(LogText().find("グラフィックの作成に失敗しました"), std::string::npos);
}

TEST_P(GraphRecordTest, SurfaceHandlesRepeatTheirCheckAfter2048AndTheAreaEndShrinks) {
  GraphFormatBlock format{};
  format.memImg = 1;
  format.colorBitDepth = static_cast<uint8_t>(GetParam().depth);
  const uint32_t base = gSurface2DTable.areaEnd;  // the start-up fonts' surfaces
  const int first = AddSurface2D(2, 2, 0, 0, -1, nullptr, 0, 0, &format);
  ASSERT_NE(first, -1);
  DeleteSurface2D(first);
  int last = -1;
  for (int i = 0; i < 2048; ++i) {
    last = AddSurface2D(2, 2, 0, 0, -1, nullptr, 0, 0, &format);
    if (i < 2047) DeleteSurface2D(last);
  }
  // 2048 creations later the same slot and check come round again: the 11-bit check aliases.
  EXPECT_EQ(last, first);
  EXPECT_NE(GetSurface2DRecord(first), nullptr);
  DeleteSurface2D(last);

  const int a = AddSurface2D(2, 2, 0, 0, -1, nullptr, 0, 0, &format);
  const int b = AddSurface2D(2, 2, 0, 0, -1, nullptr, 0, 0, &format);
  const int c = AddSurface2D(2, 2, 0, 0, -1, nullptr, 0, 0, &format);
  EXPECT_EQ(gSurface2DTable.areaEnd, base + 3);
  int32_t notify = 5;
  SetSurface2DDeleteNotify(c, &notify);
  DeleteSurface2D(b);
  DeleteSurface2D(c);
  EXPECT_EQ(notify, 1);  // the font caches rely on it
  EXPECT_EQ(gSurface2DTable.areaEnd, base + 1);
  DeleteSurface2D(a);
  EXPECT_EQ(gSurface2DTable.areaEnd, base);
}

INSTANTIATE_TEST_SUITE_P(Roads, GraphRecordTest,
                         ::testing::Values(GraphRoad{0, 16}, GraphRoad{0, 32}, GraphRoad{1, 16}, GraphRoad{1, 32}),
                         [](const ::testing::TestParamInfo<GraphRoad>& info) {
                           return std::string(info.param.software ? "Software" : "DirectDraw") +
                                  std::to_string(info.param.depth);
                         });

}  // namespace
}  // namespace orbel

// Loading pictures into graphs, cutting grids, and reloading graphs from their files after a loss, on
// both roads.
#include <gtest/gtest.h>

#include <cstring>

#include "graph_test_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/image/image_loader.h"
#include "orbel/softrender/mem_img.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using testing::GraphLibraryTest;
using testing::GraphPixel;
using testing::GraphRoad;
using testing::Picture;

// An 8 x 8 picture of four 4 x 4 quadrants: red, green / blue, white.
Picture Quadrants() {
  Picture p;
  p.width = 8;
  p.height = 8;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint32_t c = y < 4 ? (x < 4 ? 0xFF0000u : 0x00FF00u) : (x < 4 ? 0x0000FFu : 0xFFFFFFu);
      p.pixels.push_back(0xFF000000u | c);
    }
  }
  return p;
}

int g_loaderCalls = 0;
int CountingLoader(StreamData*, GraphImage*) {
  ++g_loaderCalls;
  return -1;  // counts, never accepts
}

class GraphLoadTest : public GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    testing::WritePng("quad.png", Quadrants(), false);
    ASSERT_EQ(Start(GetParam()), 0);
  }
  void TearDown() override {
    ClearUserImageLoaders();
    GraphLibraryTest::TearDown();
  }
};

TEST_P(GraphLoadTest, LoadGraphFileKeepsPixelsAndWhereTheyCameFrom) {
  const int g = LoadGraphFile("quad.png", 1);
  ASSERT_NE(g, -1);
  int w = 0;
  int h = 0;
  GetGraphExtent(g, &w, &h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 8);
  EXPECT_EQ(GraphPixel(g, 0, 0), 0xFF0000u);
  EXPECT_EQ(GraphPixel(g, 7, 0), 0x00FF00u);
  EXPECT_EQ(GraphPixel(g, 0, 7), 0x0000FFu);
  EXPECT_EQ(GraphPixel(g, 7, 7), 0xFFFFFFu);
  EXPECT_STREQ(GetGraphRecord(g)->fileName, "quad.png");
  EXPECT_NE(GetGraphRecord(g)->directory[0], '\0');
}

// A loaded picture's premultiplied layer and run table are built after the decoded picture is freed;
// they come out exactly as when the graph is made from a picture still held.
TEST_P(GraphLoadTest, LoadedAlphaPicturesGetTheirLayersOnceTheDecodedPictureIsGone) {
  Picture p = Quadrants();
  for (int x = 0; x < 8; ++x) p.pixels[x] = (p.pixels[x] & 0xFFFFFFu) | static_cast<uint32_t>(x * 32) << 24;
  testing::WritePng("alpha.png", p, true);
  auto body = [](int graph) -> const MemImgBase* {
    const Surface2DRecord* r = GetSurface2DRecord(GetGraphRecord(graph)->parts[0]);
    const SurfaceDataRecord* d = r != nullptr ? GetSurfaceDataRecord(r->surfaceData) : nullptr;
    return d != nullptr && d->memImgUse ? d->image.base : nullptr;
  };
  GraphImage image{};
  GraphImage alpha{};
  ASSERT_EQ(LoadImageFileWithAlpha("alpha.png", nullptr, 0, 0, nullptr, 0, kAlphaFromFile, &image, &alpha, 0), 1);
  const int held = CreateGraphFromImage(&image, nullptr, 0, 0, 0);
  FreeGraphImage(&image);
  int cells[1] = {-1};
  const int loaded[] = {LoadGraphFile("alpha.png", 1),
                        LoadDivGraphFile("alpha.png", 1, 1, 1, 8, 8, cells, 1) == 0 ? cells[0] : -1};
  const MemImgBase* want = body(held);
  ASSERT_NE(want, nullptr);
  ASSERT_EQ(want->runTableValid, 1);
  const size_t layerBytes = static_cast<size_t>(want->pitch) * want->height;
  for (int g : loaded) {
    ASSERT_NE(g, -1);
    const MemImgBase* got = body(g);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->layersPending, 0);
    EXPECT_EQ(got->runTableValid, 1);
    EXPECT_EQ(got->premulValid, want->premulValid);
    EXPECT_EQ(std::memcmp(got->runTable, want->runTable, static_cast<size_t>(want->width + 5) * want->height), 0);
    ASSERT_EQ(got->layer2 != nullptr, want->layer2 != nullptr);
    if (want->layer2 != nullptr) {
      EXPECT_EQ(std::memcmp(got->layer2, want->layer2, layerBytes), 0);
    }
  }
}

TEST_P(GraphLoadTest, MissingFilesAndNonPicturesFailWithTheirLogLines) {
  const uint32_t before = gGraphTable.count;
  EXPECT_EQ(LoadGraphFile("nothing.png", 1), -1);
  EXPECT_NE(LogText().find("グラフィックファイル nothing.png がありません"), std::string::npos);
  // An existing file no picture loader takes goes to the movie road, which cannot open it either.
  testing::WriteFileText("notes.txt", "not a picture");
  EXPECT_EQ(LoadGraphFile("notes.txt", 1), -1);
  EXPECT_NE(LogText().find("右記のグラフィックファイルのロードに失敗しました：notes.txt \r\n"), std::string::npos);
  EXPECT_EQ(gGraphTable.count, before);
}

TEST_P(GraphLoadTest, DivGraphFillsOnlyTheCellsItMade) {
  int handles[6] = {0x08000001, 0x08000002, 0x08000003, 0x08000004, 0x08000005, 0x08000006};
  EXPECT_EQ(LoadDivGraphFile("quad.png", 0, 2, 2, 4, 4, handles, 1), 0);
  // Six asked, the 2 x 2 grid runs out after four: the rest hold -1, never the caller's old values.
  ASSERT_EQ(LoadDivGraphFile("quad.png", 6, 2, 2, 4, 4, handles, 1), 0);
  const uint32_t colours[4] = {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(handles[i], -1) << i;
    EXPECT_EQ(GraphPixel(handles[i], 1, 1), colours[i]) << i;
    EXPECT_STREQ(GetGraphRecord(handles[i])->fileName, "quad.png");
  }
  EXPECT_EQ(handles[4], -1);
  EXPECT_EQ(handles[5], -1);
  EXPECT_EQ(gGraphTable.count, 4u);  // the base graph is gone, its cells keep the pixels
}

TEST_P(GraphLoadTest, DivGraphFailingPartWayLeavesNothingBehind) {
  const int blocks = GetMemoryBlockCount();
  const uint32_t data = gSurfaceDataTable.count;  // the start-up fonts' surfaces
  int handles[6] = {};
  // A third column starts at x = 8, outside the 8-pixel picture.
  EXPECT_EQ(LoadDivGraphFile("quad.png", 6, 3, 2, 4, 4, handles, 1), -1);
  for (int h : handles) EXPECT_EQ(h, -1);
  EXPECT_EQ(gGraphTable.count, 0u);
  EXPECT_EQ(gSurfaceDataTable.count, data);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_NE(LogText().find("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage"), std::string::npos);
}

TEST_P(GraphLoadTest, MirroredSplitsPutTheRightmostCellFirst) {
  GraphImage image{};
  GraphImage alpha{};
  ASSERT_EQ(LoadImageFileWithAlpha("quad.png", nullptr, 0, 0, nullptr, 0, kAlphaFromFile, &image, &alpha, 0), 1);
  int handles[2] = {};
  ASSERT_EQ(CreateDivGraphFromGraphImage(&image, nullptr, 2, 2, 1, 4, 4, handles, 0, 1, 0), 0);
  EXPECT_EQ(GraphPixel(handles[0], 0, 0), 0x00FF00u);
  EXPECT_EQ(GraphPixel(handles[1], 0, 0), 0xFF0000u);
  FreeGraphImage(&image);
}

// After the pixels are lost every graph comes back from its file; cells cut from one file are
// reloaded from a single load of it.
TEST_P(GraphLoadTest, LostGraphsAreReloadedFromTheirFilesWithOneLoadPerFile) {
  int cells[4] = {};
  ASSERT_EQ(LoadDivGraphFile("quad.png", 4, 2, 2, 4, 4, cells, 1), 0);
  const int whole = LoadGraphFile("quad.png", 1);
  ASSERT_NE(whole, -1);
  for (int g : {cells[0], cells[1], cells[2], cells[3], whole}) FillGraphColor(g, 0, 0, 0, 255);
  if (!GetParam().software) {
    plat::test::LoseAllSurfaces();
    RestoreAllGraphs();
  }
  const int blocks = GetMemoryBlockCount();
  g_loaderCalls = 0;
  ASSERT_EQ(AddUserImageLoader(CountingLoader), 0);
  ASSERT_EQ(RestoreGraphsAfterLoss(), 0);
  EXPECT_EQ(g_loaderCalls, 1);  // the four cells and the whole graph follow each other in the table
  EXPECT_EQ(GraphPixel(cells[1], 2, 2), 0x00FF00u);
  EXPECT_EQ(GraphPixel(cells[3], 3, 3), 0xFFFFFFu);
  EXPECT_EQ(GraphPixel(whole, 0, 7), 0x0000FFu);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_NE(LogText().find("グラフィックを復帰します"), std::string::npos);
}

// A name that does not fit its field is never reloaded (a cut name would load some other file).
TEST_P(GraphLoadTest, NamesTooLongForTheRecordAreNotReloaded) {
  const std::string longName = std::string(70, 'n') + ".png";
  testing::WritePng(longName, Quadrants(), false);
  const int g = LoadGraphFile(longName.c_str(), 1);
  ASSERT_NE(g, -1);
  EXPECT_EQ(GetGraphRecord(g)->fileName[0], '\0');
  EXPECT_EQ(GetGraphRecord(g)->unrestorable, 1u);
  FillGraphColor(g, 0, 0, 0, 255);
  RestoreGraphsAfterLoss();
  EXPECT_EQ(GraphPixel(g, 0, 0), 0u);
  EXPECT_EQ(GetGraphRecord(g)->needsRestore, 0u);
}

// On an 8-bit display pictures reach DirectDraw surfaces mapped onto the display palette.
TEST_F(GraphLibraryTest, AnEightBitDisplayTakesPicturesThroughTheDisplayPalette) {
  testing::WritePng("quad.png", Quadrants(), false);
  ASSERT_EQ(Start(GraphRoad{0, 8}), 0);
  ASSERT_EQ(GetDisplayColorBitDepth(), 8);
  const int g = LoadGraphFile("quad.png", 1);
  ASSERT_NE(g, -1);
  const SurfaceDataRecord* d = GetSurfaceDataRecord(GetSurface2DRecord(GetGraphRecord(g)->parts[0])->surfaceData);
  ASSERT_NE(d->surface, nullptr);
  // Every pixel is the palette's nearest colour to the picture's.
  for (auto [x, y, colour] : {std::tuple{0, 0, 0xFF0000u}, {7, 0, 0x00FF00u}, {0, 7, 0x0000FFu}, {7, 7, 0xFFFFFFu}}) {
    const uint32_t index = MakeColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
    EXPECT_EQ(plat::test::ReadSurfacePixelRaw(d->surface, x, y), index) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Roads, GraphLoadTest, testing::AllRoads(), testing::RoadTestName);

}  // namespace
}  // namespace orbel

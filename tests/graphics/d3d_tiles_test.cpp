// Texture tiles on the Direct3D road: a derived graph's fill stays in its own window of the shared
// texture, and image transfers that cannot write the texture (a work texture that cannot be locked,
// a texture someone else holds locked) fail having written nothing and leave the lock count as it was.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/image/color_data.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

class D3DTilesTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    ASSERT_EQ(Start(testing::GraphRoad{0, 32, 1}), 0);
  }
};

TEST_F(D3DTilesTest, ADerivedGraphsFillStaysInItsOwnWindow) {
  const int parent = MakeEmptyGraph(64, 64, 0);
  ASSERT_EQ(FillGraphColor(parent, 255, 0, 0, 255), 0);
  const int child = DeriveGraph(16, 8, 32, 16, parent);
  ASSERT_NE(child, -1);
  ASSERT_EQ(FillGraphColor(child, 0, 0, 255, 255), 0);
  EXPECT_EQ(testing::GraphPixel(child, 0, 0), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(parent, 16, 8), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(parent, 47, 23), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(parent, 15, 8), 0xFF0000u) << "left of the window";
  EXPECT_EQ(testing::GraphPixel(parent, 48, 23), 0xFF0000u) << "right of it";
  EXPECT_EQ(testing::GraphPixel(parent, 16, 24), 0xFF0000u) << "below it";
  EXPECT_EQ(testing::GraphPixel(parent, 0, 0), 0xFF0000u);
}

TEST_F(D3DTilesTest, ATransferThatCannotWriteTheTextureWritesNothing) {
  const int g = MakeEmptyGraph(16, 16, 0);
  ASSERT_EQ(FillGraphColor(g, 0, 0, 255, 255), 0);
  GraphImage image{};
  ASSERT_EQ(MakeImage32(16, 16, &image), 0);
  for (uint32_t i = 0; i < 16 * 16; ++i) static_cast<uint32_t*>(image.pixels)[i] = 0xFF0000u;
  const plat::RECT whole = {0, 0, 16, 16};
  const int data = GetSurface3DData(GetGraphRecord(g)->parts[0])->surfaceData;

  // The texture cannot be locked, and neither can the work texture taken instead.
  plat::test::FailDisplayCall("Lock", 2);
  EXPECT_EQ(TransferImageToGraph(&whole, nullptr, &whole, &image, nullptr, g, 0), -1);
  EXPECT_EQ(GetSurfaceDataRecord(data)->lockCount, 0);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0x0000FFu);

  // Someone holds the texture locked: the transfer leaves it to them, and their lock is still one.
  ASSERT_EQ(LockGraphSurface(data, nullptr, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(TransferImageToGraph(&whole, nullptr, &whole, &image, nullptr, g, 0), -1);
  EXPECT_EQ(GetSurfaceDataRecord(data)->lockCount, 1);
  ASSERT_EQ(UnlockSurfaceData(data, nullptr), 0);
  EXPECT_EQ(GetSurfaceDataRecord(data)->lockCount, 0);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0x0000FFu);

  EXPECT_EQ(TransferImageToGraph(&whole, nullptr, &whole, &image, nullptr, g, 0), 0);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0xFF0000u);
  FreeGraphImage(&image);
}

}  // namespace
}  // namespace orbel

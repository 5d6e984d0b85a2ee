// Render targets on the Direct3D road: texture graphs as draw screens (drawn into, cleared, read back)
// and the mask screen's switch of the render target and viewport, with masked drawing end to end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_state.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

std::vector<plat::test::D3DCall> CallsNamed(const std::string& name) {
  std::vector<plat::test::D3DCall> out;
  for (const auto& c : plat::test::D3DCalls()) {
    if (c.call == name) out.push_back(c);
  }
  return out;
}

class D3DTargetTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordD3DCalls(true);
  }
  void StartD3D() {
    ASSERT_EQ(Start(testing::GraphRoad{0, 32, 1}), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  }
  int MakeTarget(int width, int height) {
    SetNewGraphDrawValidFlag(1);
    const int g = MakeEmptyGraph(width, height, 0);
    SetNewGraphDrawValidFlag(0);
    EXPECT_NE(g, -1);
    EXPECT_EQ(GetGraphRecord(g)->format.texture, 1);
    return g;
  }
};

// A texture graph as draw screen: drawn into, cleared in the background colour, drawn into again
// after the clear; the back screen is untouched throughout.
TEST_F(D3DTargetTest, ATextureGraphIsDrawnIntoClearedAndReadBack) {
  StartD3D();
  const int g = MakeTarget(100, 60);
  DrawRectangle(0, 0, 640, 480, MakeColor(0, 0, 255), 1);
  ASSERT_EQ(SelectDrawScreen(g), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 100, 60, MakeColor(255, 255, 255), 1), 0);
  EXPECT_EQ(testing::GraphPixel(g, 50, 30), 0xFFFFFFu);

  gSettings.backgroundColorSet = 1;
  gSettings.backgroundRed = 10, gSettings.backgroundGreen = 20, gSettings.backgroundBlue = 30;
  ASSERT_EQ(ClearTargetScreen(), 0);
  EXPECT_EQ(testing::GraphPixel(g, 0, 0), 0x0A141Eu);
  EXPECT_EQ(testing::GraphPixel(g, 99, 59), 0x0A141Eu);

  ASSERT_EQ(DrawRectangle(10, 10, 20, 20, MakeColor(255, 0, 0), 1), 0);
  EXPECT_EQ(testing::GraphPixel(g, 15, 15), 0xFF0000u);
  EXPECT_EQ(testing::GraphPixel(g, 25, 15), 0x0A141Eu);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(testing::BackPixel(15, 15), 0x0000FFu);
  // The cleared graph draws like any other.
  ASSERT_EQ(DrawGraphAt(200, 100, g, 0), 0);
  EXPECT_EQ(testing::BackPixel(215, 115), 0xFF0000u);
  EXPECT_EQ(testing::BackPixel(250, 130), 0x0A141Eu);
}

// A graph derived from a draw target shares its texture: as a draw screen it is drawn into and cleared
// in its own window only, never over the pixels of the graph it came from.
TEST_F(D3DTargetTest, ADerivedTargetIsDrawnAndClearedInItsOwnWindow) {
  StartD3D();
  const int parent = MakeTarget(100, 60);
  ASSERT_EQ(SelectDrawScreen(parent), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 100, 60, MakeColor(255, 255, 255), 1), 0);
  const int child = DeriveGraph(50, 0, 50, 60, parent);
  ASSERT_NE(child, -1);
  ASSERT_EQ(SelectDrawScreen(child), 0);
  gSettings.backgroundColorSet = 1;
  gSettings.backgroundRed = 10, gSettings.backgroundGreen = 20, gSettings.backgroundBlue = 30;
  ASSERT_EQ(ClearTargetScreen(), 0);
  EXPECT_EQ(testing::GraphPixel(child, 0, 0), 0x0A141Eu);
  EXPECT_EQ(testing::GraphPixel(parent, 75, 30), 0x0A141Eu);
  EXPECT_EQ(testing::GraphPixel(parent, 10, 30), 0xFFFFFFu) << "the parent's own half is kept";
  EXPECT_EQ(testing::GraphPixel(parent, 49, 59), 0xFFFFFFu);
  ASSERT_EQ(DrawRectangle(0, 0, 10, 10, MakeColor(255, 0, 0), 1), 0);
  EXPECT_EQ(testing::GraphPixel(child, 5, 5), 0xFF0000u);
  EXPECT_EQ(testing::GraphPixel(parent, 5, 5), 0xFFFFFFu);
  // The viewport keeps a box larger than the window inside it.
  ASSERT_EQ(DrawRectangle(-20, -20, 200, 200, MakeColor(0, 255, 0), 1), 0);
  EXPECT_EQ(testing::GraphPixel(parent, 99, 59), 0x00FF00u);
  EXPECT_EQ(testing::GraphPixel(parent, 49, 30), 0xFFFFFFu);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 10, 10, MakeColor(0, 0, 255), 1), 0);
  EXPECT_EQ(testing::BackPixel(5, 5), 0x0000FFu) << "the back screen has no offset";
}

// Masked drawing on the Direct3D road: switching the mask screen on makes its work surface the render
// target (viewport kept on the draw area), switching it off makes the draw surface the target again;
// a box drawn meanwhile reaches the screen only where the mask lets it through.
TEST_F(D3DTargetTest, TheMaskScreenSwitchesTheRenderTargetAndMasksDraws) {
  StartD3D();
  DrawRectangle(0, 0, 640, 480, MakeColor(255, 0, 0), 1);
  D3D_EndSceneCurrent();
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_NE(GetMaskSurface(), nullptr);
  SetDrawClipArea(0, 0, 320, 240);
  plat::test::ClearD3DCalls();
  ASSERT_EQ(SetMaskScreenUse(1), 0);
  auto targets = CallsNamed("SetRenderTarget");
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].surface, GetMaskSurface());
  const D3DDeviceRecord* dev = CurrentDevice();
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(dev->renderTarget, GetMaskSurface());
  EXPECT_EQ(dev->viewport.dwX, 0u);
  EXPECT_EQ(dev->viewport.dwWidth, 320u);
  EXPECT_EQ(dev->viewport.dwHeight, 240u);

  int pitch = 0;
  uint8_t* mask = GetMaskScreenBuffer(&pitch);
  for (int y = 0; y < 100; ++y) std::memset(mask + y * pitch, 1, 50);  // hide x < 50
  ASSERT_EQ(DrawRectangle(0, 0, 100, 100, MakeColor(0, 0, 255), 1), 0);
  EXPECT_EQ(testing::BackPixel(10, 10), 0xFF0000u) << "masked";
  EXPECT_EQ(testing::BackPixel(60, 10), 0x0000FFu) << "let through";
  EXPECT_EQ(testing::BackPixel(99, 99), 0x0000FFu);
  EXPECT_EQ(testing::BackPixel(100, 10), 0xFF0000u) << "outside the box";

  plat::test::ClearD3DCalls();
  ASSERT_EQ(SetMaskScreenUse(0), 0);
  targets = CallsNamed("SetRenderTarget");
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].surface, gScreen.backSurface);
  EXPECT_EQ(CurrentDevice()->viewport.dwWidth, 320u);
  ASSERT_EQ(DrawRectangle(0, 0, 20, 20, MakeColor(0, 255, 0), 1), 0);
  EXPECT_EQ(testing::BackPixel(10, 10), 0x00FF00u) << "unmasked again";
}

// The viewport is the draw area placed as the vertices are: on the front screen of a window, both move
// by the draw origin (the client area's place on the desktop). A frame, which is not clipped on the
// CPU, shows exactly its part inside the draw area.
TEST_F(D3DTargetTest, TheViewportFollowsTheDrawOriginOnTheFrontScreen) {
  StartD3D();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(0, 0, 0), 1), 0);
  ASSERT_EQ(SetDrawClipArea(100, 100, 200, 200), 0);
  const int ox = gDrawState.drawOriginX;
  const int oy = gDrawState.drawOriginY;
  ASSERT_TRUE(ox != 0 || oy != 0) << "the client area lies away from the desktop's corner";
  const D3DDeviceRecord* dev = CurrentDevice();
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(dev->viewport.dwX, static_cast<uint32_t>(100 + ox));
  EXPECT_EQ(dev->viewport.dwY, static_cast<uint32_t>(100 + oy));
  EXPECT_EQ(dev->viewport.dwWidth, 100u);
  EXPECT_EQ(dev->viewport.dwHeight, 100u);
  ASSERT_EQ(DrawRectangle(150, 50, 160, 300, MakeColor(255, 255, 255), 0), 0);
  D3D_EndSceneCurrent();
  auto front = [&](int x, int y) { return plat::test::ReadSurfacePixelRgb(gScreen.primarySurface, x + ox, y + oy) & 0xFFFFFF; };
  EXPECT_EQ(front(150, 99), 0u);
  EXPECT_EQ(front(150, 100), 0xFFFFFFu);
  EXPECT_EQ(front(159, 199), 0xFFFFFFu);
  EXPECT_EQ(front(150, 200), 0u);
  EXPECT_EQ(front(155, 150), 0u) << "inside the frame";
}

// A windowed start draws on the front screen and tries a 256 x 256 target graph: every screen change,
// there and after it (a graph from the front screen, the back screen from the graph), asks the device
// for a viewport on the new target in the new screen's own place, so none is refused or logged.
TEST_F(D3DTargetTest, EveryScreenChangeAsksForAViewportOnTheNewTarget) {
  StartD3D();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_TRUE(gDrawState.drawOriginX != 0 || gDrawState.drawOriginY != 0);
  const int g = MakeTarget(256, 256);
  ASSERT_EQ(SelectDrawScreen(g), 0);
  EXPECT_EQ(CurrentDevice()->viewport.dwX, 0u);
  EXPECT_EQ(CurrentDevice()->viewport.dwWidth, 256u);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(CurrentDevice()->viewport.dwWidth, 640u);
  const auto viewports = CallsNamed("SetViewport");
  ASSERT_GE(viewports.size(), 3u) << "the start-up's and these screen changes";
  for (const auto& v : viewports) {
    EXPECT_EQ(v.result, plat::D3D_OK) << "refused viewport " << v.viewport.dwX << "," << v.viewport.dwY << " "
                                      << v.viewport.dwWidth << "x" << v.viewport.dwHeight;
  }
  EXPECT_EQ(LogText().find("ビューポートのセットに失敗しました"), std::string::npos) << LogText();
  EXPECT_EQ(LogText().find("ビューポートの設定に失敗しました"), std::string::npos);
}

}  // namespace
}  // namespace orbel

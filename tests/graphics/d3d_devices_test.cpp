// The Direct3D devices behind the draw screens: a draw screen the current device cannot draw into
// moves to another device with the draw state (and a lost full screen keeps no such device), the
// world, view and projection transforms, and the lookups of the device, Z-buffer format and tiles.
#include <gtest/gtest.h>

#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/rect_math.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_messages.h"

namespace orbel {
namespace {

class D3DDevicesTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordD3DCalls(true);  // the stand-in keeps its call record only when asked
  }
  int StartD3D(int depth) {
    const int result = Start(testing::GraphRoad{0, depth, 1});
    if (result == 0) SelectDrawScreen(kDrawScreenBack);
    return result;
  }
  // Devices of the driver draw only at the depth they were made on.
  static void TieDevicesToTheirDepth() {
    plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
    for (auto& d : config.devices) d.ownDepthTargetsOnly = true;
    plat::test::SetD3DConfig(config);
  }
  // A draw screen of 32 bits, whatever the screen's depth.
  static int Wide32BitTarget() {
    SetNewGraphColorBitDepth(32);
    SetNewGraphDrawValidFlag(1);
    const int target = MakeEmptyGraph(64, 64, 0);
    SetNewGraphDrawValidFlag(0);
    SetNewGraphColorBitDepth(0);
    return target;
  }
  int White() {
    testing::Picture p;
    p.width = 8;
    p.height = 8;
    p.pixels.assign(64, 0xFFFFFFFFu);
    testing::WritePng("white.png", p, false);
    return LoadGraphFile("white.png", 0);
  }
};

// On a driver whose devices draw only at the depth they were made on, a 32-bit draw screen on a
// 16-bit screen is drawn by a second device made on its texture, which takes over the draw state, the
// blend graph included; the back screen goes back to the first device; the second is used again.
TEST_F(D3DDevicesTest, ADrawScreenTheDeviceRefusesMovesToAnotherDeviceWithTheDrawState) {
  TieDevicesToTheirDepth();
  ASSERT_EQ(StartD3D(16), 0);
  const int white = White();
  const int target = Wide32BitTarget();
  plat::IDirect3DDevice7* first = D3D_GetDeviceInterface();
  const D3DDeviceRecord* from = CurrentDevice();
  SetDrawFilterMode(1);
  ASSERT_EQ(SetDrawBlendGraph(White(), 255, 0), 0);  // the top threshold: textured draws show nothing
  plat::test::ClearD3DCalls();
  ASSERT_EQ(SelectDrawScreen(target), 0);
  plat::IDirect3DDevice7* second = D3D_GetDeviceInterface();
  EXPECT_NE(second, first);
  EXPECT_EQ(plat::test::D3DCallCount("CreateDevice"), 1);
  const D3DDeviceRecord* to = CurrentDevice();
  EXPECT_EQ(to->filterMode, 1u);
  EXPECT_EQ(to->blendTexture, from->blendTexture);
  EXPECT_EQ(to->blendThreshold, 255);

  ASSERT_EQ(DrawRectangle(0, 0, 64, 64, MakeColor(255, 0, 0), 1), 0);
  ASSERT_EQ(DrawGraphAt(0, 0, white, 0), 0);
  EXPECT_EQ(testing::GraphPixel(target, 4, 4), 0xFF0000u);
  ASSERT_EQ(SetDrawBlendGraph(-1, 0, 0), 0);
  ASSERT_EQ(DrawGraphAt(0, 0, white, 0), 0);
  EXPECT_EQ(testing::GraphPixel(target, 4, 4), 0xFFFFFFu);

  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(D3D_GetDeviceInterface(), first);
  ASSERT_EQ(DrawRectangle(0, 0, 64, 64, MakeColor(0, 0, 255), 1), 0);
  EXPECT_EQ(testing::BackPixel(40, 40), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(target, 40, 40), 0xFF0000u);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  EXPECT_EQ(D3D_GetDeviceInterface(), second);
  EXPECT_EQ(plat::test::D3DCallCount("CreateDevice"), 1);
}

// A full screen losing the focus loses the devices the draw screen moved to with the current one, so
// lost devices never pile up in the four device records: every round moves and draws as the first.
TEST_F(D3DDevicesTest, ALostFullScreenKeepsNoDeviceADrawScreenMovedTo) {
  TieDevicesToTheirDepth();
  ChangeWindowMode(0);
  ASSERT_EQ(SetScreenMode(640, 480, 16, 0), 0);
  ASSERT_EQ(InitLibrarySystem(), 0);
  const int target = Wide32BitTarget();
  const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0xFFFF00, 0x00FFFF};
  for (int round = 0; round < 4; ++round) {
    const uint32_t c = colours[round];
    ASSERT_EQ(SelectDrawScreen(target), 0) << round;
    EXPECT_EQ(plat::test::GetD3DCounters().liveDevices, 2) << round;
    ASSERT_EQ(DrawRectangle(0, 0, 64, 64, MakeColor(c >> 16, c >> 8 & 0xFF, c & 0xFF), 1), 0);
    EXPECT_EQ(testing::GraphPixel(target, 10, 10), c) << round;
    plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
    plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, plat::WA_ACTIVE, 0);
    EXPECT_EQ(plat::test::GetD3DCounters().liveDevices, 1) << round;
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0) << round;
  }
}

// World matrices go to their four slots; each transform entry flushes the waiting draws first and
// writes nothing but the transform; without a device nothing is written.
TEST_F(D3DDevicesTest, TransformsFlushThenSetTheirSlotOnly) {
  ASSERT_EQ(StartD3D(32), 0);
  Matrix4 m;
  MakeIdentityMatrix(&m);
  m.m[3][1] = 7.0f;
  ASSERT_EQ(DrawGraphAt(0, 0, White(), 0), 0);
  plat::test::ClearD3DCalls();
  ASSERT_EQ(D3D_SetTransformWorld(&m, 2), 0);
  for (int index : {0, 1, 3, 4, -1}) EXPECT_EQ(D3D_SetWorldMatrix(CurrentDevice(), index, &m), 0) << index;
  ASSERT_EQ(D3D_SetTransformView(&m), 0);
  ASSERT_EQ(D3D_SetTransformProjection(&m), 0);
  EXPECT_EQ(D3D_DummyRefresh(), 0);
  const auto calls = plat::test::D3DCalls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].call, "DrawPrimitive");
  std::vector<plat::DWORD> slots;
  for (size_t i = 1; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].call, "SetTransform");
    EXPECT_EQ(calls[i].matrix._42, 7.0f);
    slots.push_back(calls[i].args[0]);
  }
  EXPECT_EQ(slots, (std::vector<plat::DWORD>{plat::D3DTRANSFORMSTATE_WORLD2, plat::D3DTRANSFORMSTATE_WORLD,
                                             plat::D3DTRANSFORMSTATE_WORLD1, plat::D3DTRANSFORMSTATE_WORLD3,
                                             plat::D3DTRANSFORMSTATE_VIEW, plat::D3DTRANSFORMSTATE_PROJECTION}));
  ASSERT_EQ(D3D_ReleaseDirect3D(), 0);
  plat::test::ClearD3DCalls();
  EXPECT_EQ(D3D_SetWorldMatrix(CurrentDevice(), 0, &m), -1);
  EXPECT_EQ(D3D_SetTransformView(&m), -1);
  EXPECT_TRUE(plat::test::D3DCalls().empty());
}

// The lookups answer for what is live only: the device interface, the Z-buffer format (the first plain
// 16-bit one the driver offers; none from a driver without one), and a tile by its handle (not by a
// deleted tile's handle whose slot a new tile took).
TEST_F(D3DDevicesTest, LookupsAnswerForWhatIsLive) {
  ASSERT_EQ(StartD3D(32), 0);
  const int g = MakeEmptyGraph(8, 8, 0);
  const int tile = GetGraphRecord(g)->parts[0];
  ASSERT_NE(GetSurface3DDataRecord(tile), nullptr);
  EXPECT_EQ(GetSurface3DDataRecord(tile)->graph, g);
  EXPECT_EQ(GetSurface3DDataRecord(g), nullptr);
  ASSERT_EQ(DeleteGraphHandle(g, 0), 0);
  const int reused = GetGraphRecord(MakeEmptyGraph(8, 8, 0))->parts[0];
  ASSERT_EQ(reused & 0xFFFF, tile & 0xFFFF) << "the same slot";
  EXPECT_EQ(GetSurface3DDataRecord(tile), nullptr);
  EXPECT_EQ(GetSurface3DDataRecord(reused), GetSurface3DData(reused));

  const plat::DDPIXELFORMAT* z = D3D_GetZBufferFormat();
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->dwZBufferBitDepth, 16u);
  EXPECT_EQ(z->dwZBitMask, 0xFFFFu);
  ASSERT_EQ(D3D_Terminate(), 0);
  EXPECT_EQ(D3D_GetZBufferFormat(), nullptr);
  EXPECT_EQ(D3D_GetDeviceInterface(), nullptr);
  plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
  config.zBufferFormats = {plat::test::MakeZBufferPixelFormat(24), plat::test::MakeZBufferPixelFormat(32)};
  plat::test::SetD3DConfig(config);
  ASSERT_EQ(D3D_Initialize(), 0);
  EXPECT_NE(D3D_GetDeviceInterface(), nullptr);
  EXPECT_EQ(D3D_GetZBufferFormat(), nullptr);
}

}  // namespace
}  // namespace orbel

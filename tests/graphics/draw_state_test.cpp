// Draw-state setters: clamping, refusals, the draw area and the blend-graph weight hand-off.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/softrender/blend_tables.h"

namespace orbel {
namespace {

class DrawStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gDrawState.screenWidth = 0;
    gDrawState.screenHeight = 0;
    InitDrawStateDefaults();
  }
};

TEST_F(DrawStateTest, DefaultsAndKeptScreenSettings) {
  EXPECT_EQ(gDrawState.brightColor, 0xFFFFFFu);
  EXPECT_EQ(gDrawState.blendGraph, -1);
  EXPECT_EQ(gDrawState.drawScreen, kDrawScreenFront);
  EXPECT_EQ(gDrawState.drawArea.right, 640);
  EXPECT_EQ(gDrawState.drawArea.bottom, 480);
  int w = 0, h = 0, d = 0;
  GetScreenSizeAndDepth(&w, &h, &d);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(d, 16);

  gDrawState.screenWidth = 800;
  gDrawState.screenHeight = 600;
  gDrawState.blendMode = 3;
  InitDrawStateDefaults();
  EXPECT_EQ(gDrawState.screenWidth, 800);  // screen settings survive the reset
  EXPECT_EQ(gDrawState.blendMode, 0u);
  EXPECT_EQ(gDrawState.drawArea.right, 800);
  EXPECT_EQ(gDrawState.drawArea.bottom, 600);
}

TEST_F(DrawStateTest, BlendStateClampsParameterAndRefusesUnknownModes) {
  EXPECT_EQ(SetBlendState(1, 300), 0);
  EXPECT_EQ(gDrawState.blendParam, 255u);
  EXPECT_EQ(SetBlendState(2, -5), 0);
  EXPECT_EQ(gDrawState.blendMode, 2u);
  EXPECT_EQ(gDrawState.blendParam, 0u);
  EXPECT_EQ(SetBlendState(12, 100), -1);
  EXPECT_EQ(SetBlendState(-1, 100), -1);
  EXPECT_EQ(gDrawState.blendMode, 2u);  // unchanged by the refusals
  EXPECT_EQ(gDrawState.blendParam, 0u);
}

TEST_F(DrawStateTest, BrightnessClampsEachChannel) {
  SetDrawBrightness(300, 128, -4);
  EXPECT_EQ(gDrawState.brightColor, 0xFF8000u);
  SetDrawBrightColorValue(0xAB123456);
  EXPECT_EQ(gDrawState.brightColor, 0x123456u);
  SetTransColor(255, 0, 256);
  int r = 0, g = 1, b = 0;
  GetTransColor(&r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 255);
}

TEST_F(DrawStateTest, ClipAreaOrdersClampsAndEmpties) {
  SetDrawClipArea(100, 100, 100, 200);
  EXPECT_EQ(gDrawState.drawAreaEmpty, 1u);
  SetDrawClipArea(300, 200, 10, 20);
  EXPECT_EQ(gDrawState.drawAreaEmpty, 0u);
  plat::RECT r;
  GetDrawAreaRect(&r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(r.bottom, 200);
  EXPECT_EQ(gDrawState.requestedDrawArea.left, 300);  // the request is kept as given
  SetDrawClipArea(-20, -30, 1000, 900);
  GetDrawAreaRect(&r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.bottom, 480);
  EXPECT_EQ(gDrawState.drawAreaF[2], 640.0f);
}

using BlendGraphTest = testing::GraphLibraryTest;

TEST_F(BlendGraphTest, BlendGraphRebuildsTheWeightTable) {
  ASSERT_EQ(Start({0, 16}), 0);
  const int graph = MakeEmptyGraph(32, 32, 1);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(SetDrawBlendGraph(graph + 1, 128, 0), -1);  // not a live graph
  EXPECT_EQ(gDrawState.blendGraph, -1);
  SetDrawBlendGraph(graph, 128, 0);
  EXPECT_EQ(gDrawState.blendGraph, graph);
  EXPECT_EQ(BlendGraphWeightTable[127], 0);
  EXPECT_EQ(BlendGraphWeightTable[129], 255);
  SetDrawBlendGraph(graph, 400, -3);  // clamped to 255, 0
  EXPECT_EQ(gDrawState.blendGraphThreshold, 255u);
  EXPECT_EQ(gDrawState.blendGraphRange, 0u);
  EXPECT_EQ(BlendGraphWeightTable[255], 1);
  SetDrawBlendGraph(-1, 0, 0);  // deselecting leaves the table as it was
  EXPECT_EQ(gDrawState.blendGraph, -1);
  EXPECT_EQ(BlendGraphWeightTable[255], 1);
}

}  // namespace
}  // namespace orbel

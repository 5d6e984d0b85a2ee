// The Direct3D road end to end on the stand-in: the start-up report and the fallback to 2D surfaces,
// the state cache and batching seen in the device's call record, the forced rewrite after the device
// is made again, screen capture methods under failure injection, and the faults the road mends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
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
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "platform/test_controls.h"
#include "platform/win/user/window_messages.h"

namespace orbel {
namespace {

using testing::GraphRoad;

std::vector<plat::test::D3DCall> CallsNamed(const std::string& name) {
  std::vector<plat::test::D3DCall> out;
  for (const auto& c : plat::test::D3DCalls()) {
    if (c.call == name) out.push_back(c);
  }
  return out;
}

int StateWrites() {
  return plat::test::D3DCallCount("SetRenderState") + plat::test::D3DCallCount("SetTextureStageState") +
         plat::test::D3DCallCount("SetTexture");
}

class D3DRoadTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordD3DCalls(true);
  }
  int StartD3D(int depth = 32) {
    const int result = Start(GraphRoad{0, depth, 1});
    if (result == 0) SelectDrawScreen(kDrawScreenBack);
    return result;
  }
  int Picture() {
    testing::Picture p;
    p.width = 8;
    p.height = 8;
    p.pixels.assign(64, 0xFFE03010u);
    testing::WritePng("red.png", p, false);
    return LoadGraphFile("red.png", 0);
  }
};

TEST_F(D3DRoadTest, StartUpLogsItsReportAndGraphsBecomeTextures) {
  ASSERT_EQ(StartD3D(), 0);
  const std::string log = LogText();
  const char* const steps[] = {
      "Direct3D 関連の初期化を行います\r\n", "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\r\n",
      "ＨＡＬデバイスを発見しました\r\n", "ハードウエアＴ＆Ｌデバイスを発見しました\r\n",
      "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました\r\n",
      "テクスチャ最大幅:2048 最小幅:1 描画制限: D_D3DPTEXTURECAPS_POW2 = 1  D_D3DPTEXTURECAPS_SQUAREONLY = 0 "
      "最大テクスチャステージ数 = 8   最大テクスチャブレンド数 = 8 テクスチャピクセルフォーマット\r\n",
      "\t\t BIT:16  RED:5  GREEN:6  BLUE:5 \t\t RED:00f800 GREEN:0007e0 BLUE:00001f \r\n",
      "\t\t BIT:32  ALPHA:8  RED:8  GREEN:8  BLUE:8 \t\t ALPHA:ff000000 RED:00ff0000 GREEN:0000ff00 BLUE:000000ff \r\n",
      "Direct3D 関連の初期化は正常に終了しました\r\n", "３Ｄグラフィック描画機能を使用します\r\n"};
  size_t at = 0;
  for (const char* step : steps) {
    const size_t found = log.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << log;
    at = found;
  }
  const int g = Picture();
  ASSERT_NE(g, -1);
  EXPECT_EQ(GetGraphRecord(g)->format.texture, 1);
  EXPECT_EQ(testing::GraphPixel(g, 3, 3), 0xE03010u);
}

// Without Direct3D, or when any step of its start fails, the library logs why and runs on 2D surfaces.
TEST_F(D3DRoadTest, ARefusedOrFailedStartRunsOnTwoDSurfaces) {
  struct Case {
    const char* failCall;  // null: the DirectDraw object refuses Direct3D
    const char* line;
  };
  const Case cases[] = {
      {nullptr, "Direct3Dオブジェクトの作成に失敗しました"},
      {"EnumDevices", "現在の画面モードで使用できる描画デバイスが見つかりませんでした"},
      {"CreateDevice", "３Ｄデバイスの作成に失敗しました"},
      {"EnumTextureFormats", "使用可能なテクスチャフォーマットが見つかりませんでした"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    if (c.failCall == nullptr) {
      plat::test::RefuseDirect3D(true);
    } else {
      plat::test::FailDisplayCall(c.failCall, 1);
    }
    ASSERT_EQ(StartD3D(), 0);
    EXPECT_NE(LogText().find(c.line), std::string::npos);
    EXPECT_NE(LogText().find("３Ｄグラフィック描画機能は使用しません"), std::string::npos);
    const int g = Picture();
    ASSERT_NE(g, -1);
    EXPECT_EQ(GetGraphRecord(g)->format.texture, 0);
    EXPECT_EQ(plat::test::GetD3DCounters().liveDevices, 0);
    ASSERT_EQ(EndLibrarySystem(), 0);
    EXPECT_EQ(plat::test::GetD3DCounters().liveObjects, 0);
    plat::test::Reset();
  }
}

// Identical draws write no state and share one DrawPrimitive; a state change flushes the batch first.
TEST_F(D3DRoadTest, TheStateCacheWritesOnlyChangesAndBatchesDraws) {
  ASSERT_EQ(StartD3D(), 0);
  const int g = Picture();
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  DrawGraphAt(10, 0, g, 0);
  DrawGraphAt(20, 0, g, 0);
  D3D_EndSceneCurrent();
  EXPECT_EQ(StateWrites(), 0);
  const auto draws = CallsNamed("DrawPrimitive");
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].args[1], kFvfTex1);
  EXPECT_EQ(draws[0].args[2], 12u);

  plat::test::ClearD3DCalls();
  DrawGraphAt(0, 20, g, 0);
  SetBlendState(kBlendAlpha, 128);
  DrawGraphAt(10, 20, g, 0);
  D3D_EndSceneCurrent();
  const auto calls = plat::test::D3DCalls();
  size_t firstDraw = calls.size();
  size_t firstState = calls.size();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].call == "DrawPrimitive" && firstDraw == calls.size()) firstDraw = i;
    if (calls[i].call == "SetRenderState" && firstState == calls.size()) firstState = i;
  }
  EXPECT_LT(firstDraw, firstState) << "the batch goes out before the blend states change";
  EXPECT_EQ(CallsNamed("DrawPrimitive").size(), 2u);
  // The second draw carries the blend parameter as its vertex alpha.
  const auto last = CallsNamed("DrawPrimitive").back();
  uint32_t diffuse = 0;
  memcpy(&diffuse, last.vertices.data() + 16, 4);
  EXPECT_EQ(diffuse >> 24, 128u);
}

// A device made again is made on the surface the first one was made on, the flip target, and
// rewrites every cached state; afterwards an unchanged draw writes nothing.
TEST_F(D3DRoadTest, ADeviceMadeAgainRewritesItsStatesOnce) {
  ASSERT_EQ(StartD3D(), 0);
  const auto made = CallsNamed("CreateDevice");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].surface, GetFlipTargetSurface());
  const int g = Picture();
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  ASSERT_EQ(D3D_ReleaseDirect3D(), 0);
  EXPECT_EQ(D3D_IsDeviceReady(), 0);
  plat::test::ClearD3DCalls();
  ASSERT_EQ(D3D_GetDirect3D(), 0);
  ASSERT_EQ(plat::test::D3DCallCount("CreateDevice"), 1);
  EXPECT_EQ(CallsNamed("CreateDevice")[0].surface, made[0].surface);
  const auto writes = CallsNamed("SetRenderState");
  std::vector<uint32_t> states;
  for (const auto& c : writes) states.push_back(c.args[0]);
  for (uint32_t s : {plat::D3DRENDERSTATE_ALPHATESTENABLE, plat::D3DRENDERSTATE_ALPHABLENDENABLE,
                     plat::D3DRENDERSTATE_TEXTUREFACTOR, plat::D3DRENDERSTATE_ZENABLE, plat::D3DRENDERSTATE_CULLMODE,
                     plat::D3DRENDERSTATE_SHADEMODE, plat::D3DRENDERSTATE_COLORKEYENABLE}) {
    EXPECT_NE(std::find(states.begin(), states.end(), s), states.end()) << "state " << s << " not rewritten";
  }
  // The tiles were given new textures; the picture comes back through the graph restore.
  RestoreGraphsAfterLoss();
  EXPECT_EQ(testing::GraphPixel(g, 3, 3), 0xE03010u);
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  EXPECT_EQ(StateWrites(), 0);
  EXPECT_EQ(plat::test::D3DCallCount("DrawPrimitive"), 1);
}

// The first capture searches from method 5; a remembered method is called directly.
TEST_F(D3DRoadTest, CaptureMethodsAreTriedInOrderAndRemembered) {
  ASSERT_EQ(StartD3D(), 0);
  DrawRectangle(0, 0, 16, 16, MakeColor(0, 255, 0), 1);
  const int g = MakeEmptyGraph(16, 16, 0);  // alpha-tested, as new graphs are by default
  ASSERT_EQ(GetGraphRecord(g)->format.texture, 1);
  EXPECT_EQ(gD3D.captureMethodAlpha, -1);
  // The work surface cannot be locked: method 5 fails, logs, and BltFast (method 1) takes over.
  plat::test::FailDisplayCall("Lock", 1);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, g, 1), 0) << LogText();
  EXPECT_NE(LogText().find("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
                           "ReturnValue:"),
            std::string::npos);
  EXPECT_EQ(gD3D.captureMethodAlpha, 1);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0x00FF00u);
  // Method 1 now fails once: the search runs again from method 5, which works.
  plat::test::FailDisplayCall("BltFast", 1);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, g, 1), 0);
  EXPECT_NE(LogText().find("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:"), std::string::npos);
  EXPECT_EQ(gD3D.captureMethodAlpha, 0);
  // An empty rectangle fails everywhere; the other kind's memory is untouched.
  EXPECT_EQ(CaptureScreenToGraph(4, 0, 4, 16, g, 1), -1);
  EXPECT_EQ(gD3D.captureMethodAlpha, -1);
  EXPECT_EQ(gD3D.captureMethodPlain, -1);
}

// A draw-valid graph cut into several tiles cannot be a draw screen: refused, not silently redirected.
TEST_F(D3DRoadTest, ADrawValidGraphOfSeveralTilesIsRefusedAsDrawScreen) {
  plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
  for (auto& d : config.devices) d.desc.dwMaxTextureWidth = d.desc.dwMaxTextureHeight = 256;
  plat::test::SetD3DConfig(config);
  ASSERT_EQ(StartD3D(), 0);
  SetNewGraphDrawValidFlag(1);
  const int wide = MakeEmptyGraph(600, 200, 0);
  const int single = MakeEmptyGraph(200, 200, 0);
  SetNewGraphDrawValidFlag(0);
  ASSERT_GT(GetGraphRecord(wide)->partCount, 1u);
  EXPECT_EQ(SelectDrawScreen(wide), -1);
  EXPECT_EQ(GetSelectedDrawScreen(), kDrawScreenBack);
  ASSERT_EQ(SelectDrawScreen(single), 0);
  DrawRectangle(0, 0, 200, 200, MakeColor(0, 0, 255), 1);
  SelectDrawScreen(kDrawScreenBack);
  EXPECT_EQ(testing::GraphPixel(single, 100, 100), 0x0000FFu);
}

// A frame with one axis reversed covers exactly its own border; it opens like the fill, so it draws
// without the previous draw's texture.
TEST_F(D3DRoadTest, AFrameOrdersEachAxisAndDrawsUntextured) {
  ASSERT_EQ(StartD3D(), 0);
  const int g = Picture();
  DrawGraphAt(100, 100, g, 0);
  const uint32_t white = MakeColor(255, 255, 255);
  ASSERT_EQ(DrawRectangle(20, 10, 10, 20, white, 0), 0);
  EXPECT_EQ(testing::BackPixel(10, 10), 0xFFFFFFu);
  EXPECT_EQ(testing::BackPixel(19, 19), 0xFFFFFFu);
  EXPECT_EQ(testing::BackPixel(15, 15), 0u);
  EXPECT_EQ(testing::BackPixel(15, 9), 0u);
  EXPECT_EQ(testing::BackPixel(20, 15), 0u);
  const auto draws = CallsNamed("DrawPrimitive");
  ASSERT_FALSE(draws.empty());
  EXPECT_EQ(draws.back().args[1], kFvfDiffuse);
}

// A device offering only 8-bit alpha fills the 16-bit alpha records too; a second Direct3D fetch ends
// its log line; the blend state reaches the draw colour.
TEST_F(D3DRoadTest, FormatFallbacksLogLineAndDrawColour) {
  plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
  config.textureFormats = {plat::test::MakeRgbPixelFormat(16, 0xF800, 0x07E0, 0x001F, 0),
                           plat::test::MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)};
  plat::test::SetD3DConfig(config);
  ASSERT_EQ(StartD3D(16), 0);
  for (int n : {2, 4}) {
    ASSERT_NE(D3D_GetTextureFormatInfo(n), nullptr) << n;
    EXPECT_EQ(D3D_GetTextureFormatInfo(n)->alphaMask, 0xFF000000u) << n;
  }
  SetNewGraphAlphaFlag(1);
  EXPECT_NE(MakeEmptyGraph(8, 8, 0), -1);
  SetNewGraphAlphaFlag(0);

  EXPECT_EQ(D3D_GetDirect3D(), 0);
  EXPECT_NE(LogText().find("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されています\r\n"), std::string::npos);

  SetBlendState(kBlendAdd, 77);
  EXPECT_EQ(gD3D.drawColor >> 24, 77u);
  SetBlendState(kBlendNone, 0);
  EXPECT_EQ(gD3D.drawColor >> 24, 255u);
}

// A start leaves nothing stale or unread: a blend and brightness set before the screen is made again
// do not reach the draws that follow the defaults, and a device of fewer than four blend stages is
// warned about and gets no texture that no draw reads.
TEST_F(D3DRoadTest, AStartLeavesNoStaleDrawColourAndNoUnreadTexture) {
  int surfaces[2] = {};
  const int stageCounts[2] = {8, 2};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(stageCounts[i]);
    plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
    for (auto& d : config.devices) d.desc.wMaxTextureBlendStages = static_cast<plat::WORD>(stageCounts[i]);
    plat::test::SetD3DConfig(config);
    ASSERT_EQ(StartD3D(), 0);
    surfaces[i] = plat::test::GetDDrawCounters().liveSurfaces;
    EXPECT_EQ(LogText().find("使用可能テクスチャステージが 4 以下なので") != std::string::npos, i == 1);
    SetDrawBrightness(64, 64, 64);
    SetBlendState(kBlendAlpha, 64);
    ASSERT_EQ(SetScreenMode(800, 600, 32, -1), 0);
    EXPECT_EQ(gDrawState.blendMode, 0u);
    EXPECT_EQ(gD3D.drawColor, 0xFFFFFFFFu);
    ASSERT_EQ(EndLibrarySystem(), 0);
    plat::test::Reset();
  }
  EXPECT_EQ(surfaces[1], surfaces[0]);
}

// The filter goes to the stages the preset uses, each once; fog follows the draw state's setting.
TEST_F(D3DRoadTest, FilterAndFogFollowTheirSettingsThroughTheCache) {
  ASSERT_EQ(StartD3D(), 0);
  const int g = Picture();
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  SetDrawFilterMode(1);
  DrawGraphAt(0, 0, g, 0);
  D3D_EndSceneCurrent();
  std::vector<uint32_t> stages;
  for (const auto& c : CallsNamed("SetTextureStageState")) {
    if (c.args[1] == plat::D3DTSS_MAGFILTER) stages.push_back(c.args[0]);
  }
  EXPECT_EQ(stages, (std::vector<uint32_t>{0}));

  // Fog as a draw asking for it sets it: on, then off with the setting (not on again), and nothing
  // more for a draw without it. No draw of the library asks yet, so the draw mode is set up here.
  plat::test::ClearD3DCalls();
  auto fogWrites = [] {
    std::vector<uint32_t> fog;
    for (const auto& c : CallsNamed("SetRenderState")) {
      if (c.args[0] == plat::D3DRENDERSTATE_FOGENABLE) fog.push_back(c.args[1]);
    }
    return fog;
  };
  gDrawState.fogEnable = 1;
  D3D_SetupDrawMode(nullptr, kDrawFog);
  EXPECT_EQ(fogWrites(), (std::vector<uint32_t>{1}));
  gDrawState.fogEnable = 0;
  D3D_SetupDrawMode(nullptr, kDrawFog);
  EXPECT_EQ(fogWrites(), (std::vector<uint32_t>{1, 0}));
  D3D_SetupDrawMode(nullptr, 0);
  EXPECT_EQ(fogWrites(), (std::vector<uint32_t>{1, 0}));
}

// A draw-state change between two draws of one graph reaches the device, although the draws set up
// their mode only when the device does not hold it already: the second draw shows what the same draw
// shows with its whole mode set afresh (after an untextured box has unbound the texture).
TEST_F(D3DRoadTest, AStateChangeBetweenTwoDrawsOfOneGraphIsNotLost) {
  ASSERT_EQ(StartD3D(), 0);
  testing::Picture p;
  p.width = 8;
  p.height = 8;
  p.pixels.assign(64, 0x80E03010u);  // half-transparent: the texture's alpha, blend modes and brightness show
  testing::WritePng("half.png", p, true);
  const int half = LoadGraphFile("half.png", 0);
  p.pixels.assign(64, 0xFF000000u);  // the transparent colour: colour-keyed away, or drawn black
  testing::WritePng("black.png", p, false);
  SetNewGraphAlphaTestFlag(0);
  const int black = LoadGraphFile("black.png", 0);
  ASSERT_NE(half, -1);
  ASSERT_NE(black, -1);
  struct Case {
    const char* name;
    int graph;
    void (*before)();
    void (*after)();
    int transBefore, transAfter;
  };
  const auto none = [] {};
  const Case cases[] = {
      {"brightness down", half, none, [] { SetDrawBrightness(128, 128, 128); }, 1, 1},
      {"brightness up", half, [] { SetDrawBrightness(128, 128, 128); }, [] { SetDrawBrightness(255, 255, 255); }, 1, 1},
      {"blend mode", half, none, [] { SetBlendState(kBlendAdd, 255); }, 1, 1},
      {"alpha blended", half, none, none, 0, 1},
      {"alpha opaque", half, none, none, 1, 0},
      {"colour keyed", black, none, none, 0, 1},
      {"colour drawn", black, none, none, 1, 0},
  };
  DrawFillBox(0, 0, 640, 480, 0x404040);  // grey: an added and a blended sprite differ on it
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const int y = 10 * static_cast<int>(i);
    SetDrawBrightness(255, 255, 255);
    SetBlendState(kBlendNone, 255);
    c.before();
    DrawGraphAt(0, y, c.graph, c.transBefore);
    c.after();
    DrawGraphAt(10, y, c.graph, c.transAfter);
    DrawFillBox(300, 300, 301, 301, 0);
    DrawGraphAt(20, y, c.graph, c.transAfter);
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int y = 10 * static_cast<int>(i) + 4;
    EXPECT_EQ(testing::BackPixel(14, y), testing::BackPixel(24, y)) << cases[i].name;
    EXPECT_NE(testing::BackPixel(14, y), testing::BackPixel(4, y)) << cases[i].name << ": the change shows";
  }
}

// Derived graphs share their parent's textures, which live until the last tile that uses them goes;
// a graph one of whose textures cannot be made leaves neither a tile nor a texture behind.
TEST_F(D3DRoadTest, TilesAreNeverLeftBehindAndSharedTexturesLiveOn) {
  plat::test::D3DConfig config = plat::test::DefaultD3DConfig();
  for (auto& d : config.devices) d.desc.dwMaxTextureWidth = d.desc.dwMaxTextureHeight = 256;
  plat::test::SetD3DConfig(config);
  ASSERT_EQ(StartD3D(), 0);
  const uint32_t before = gSurface3DTable.count;
  const int surfacesBefore = plat::test::GetDDrawCounters().liveSurfaces;
  for (int made : {0, 2}) {  // the first tile's texture fails, or the third after two were made
    plat::test::FailDisplayCall("CreateSurface", 1, static_cast<plat::HRESULT>(0x80004005u), made);
    EXPECT_EQ(MakeEmptyGraph(600, 200, 0), -1);
    EXPECT_EQ(gSurface3DTable.count, before) << made;
    EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, surfacesBefore) << made;
  }

  const int parent = MakeEmptyGraph(600, 200, 0);
  ASSERT_NE(parent, -1);
  ASSERT_EQ(GetGraphRecord(parent)->partCount, 4u);  // 256 + 256 + 64 + 32
  const int live = plat::test::GetDDrawCounters().liveSurfaces;
  const int child = DeriveGraph(200, 50, 200, 100, parent);
  ASSERT_NE(child, -1);
  // A window across the first two tiles: two tiles, no new texture.
  EXPECT_EQ(GetGraphRecord(child)->partCount, 2u);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, live);
  ASSERT_EQ(DeleteGraphHandle(parent, 0), 0);
  EXPECT_LT(plat::test::GetDDrawCounters().liveSurfaces, live);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, live - 2) << "the two shared textures stay";
  ASSERT_EQ(DeleteGraphHandle(child, 0), 0);
  EXPECT_EQ(gSurface3DTable.count, before);
}

// A quad that is no parallelogram goes out as one indexed grid of 8 x 8 vertices.
TEST_F(D3DRoadTest, AnUnevenQuadIsDrawnAsAGrid) {
  ASSERT_EQ(StartD3D(), 0);
  const int g = Picture();
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  ASSERT_EQ(DrawQuadGraph(10, 10, 60, 20, 70, 80, 5, 60, g, 0), 0);
  D3D_EndSceneCurrent();
  const auto grids = CallsNamed("DrawIndexedPrimitive");
  ASSERT_EQ(grids.size(), 1u);
  EXPECT_EQ(grids[0].args[0], plat::D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(grids[0].args[2], 64u);
  EXPECT_EQ(grids[0].indices.size(), 7u * 16 + 6 * 2);
  EXPECT_EQ(testing::BackPixel(40, 45), 0xE03010u);
}

// A full screen that loses the focus while the library is still starting gives up Direct3D; when the
// focus comes back, Direct3D comes back with it, and draws reach the screen.
TEST_F(D3DRoadTest, AFullScreenThatLosesTheFocusDuringStartUpGetsDirect3DBack) {
  ChangeWindowMode(0);
  ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
  ASSERT_EQ(InitLibrarySystem(), 0);
  ASSERT_EQ(D3D_IsDeviceReady(), 1);
  // The focus goes and comes back before start-up has finished.
  gLibrary.initialised = 0;
  plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  EXPECT_EQ(D3D_IsDeviceReady(), 0);
  plat::SendMessageA(GetMainWindowHandle(), plat::WM_ACTIVATE, plat::WA_ACTIVE, 0);
  gLibrary.initialised = 1;
  ASSERT_EQ(D3D_IsDeviceReady(), 1) << LogText();
  SelectDrawScreen(kDrawScreenBack);
  ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(0x20, 0x30, 0x40), 1), 0);
  const int g = Picture();
  EXPECT_EQ(GetGraphRecord(g)->format.texture, 1);
  ASSERT_EQ(DrawGraphAt(100, 100, g, 0), 0);
  EXPECT_EQ(testing::BackPixel(320, 240), 0x203040u);
  EXPECT_EQ(testing::BackPixel(104, 104), 0xE03010u);
}

}  // namespace
}  // namespace orbel

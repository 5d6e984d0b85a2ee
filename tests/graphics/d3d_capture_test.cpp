// Screen capture into texture graphs on the Direct3D road: the five methods tried in their order under
// failure injection, the remembered method, the device's Load retried while the texture is busy, the
// read locks, and what each method leaves of a graph the screen's edge cuts.
#include <gtest/gtest.h>

#include <string>

#include "graph_test_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace orbel {
namespace {

class D3DCaptureTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordD3DCalls(true);
    plat::test::RecordDisplayCalls(true);
  }
  void StartD3D() {
    ASSERT_EQ(Start(testing::GraphRoad{0, 32, 1}), 0);
    SelectDrawScreen(kDrawScreenBack);
    DrawRectangle(0, 0, 640, 480, MakeColor(0, 255, 0), 1);
    D3D_EndSceneCurrent();
  }
  // Counts the lines of the log that hold `text`, from `from` on.
  int LogCount(const std::string& text) const {
    const std::string log = LogText();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
};

// A capture where only the device's Load works: methods 5, 1, 3 and 2 are tried (and the last three
// logged) in that order, method 4 takes the picture and is remembered; the next capture calls it alone. A Load that
// reports a busy texture is tried again (the texture restored in between), ten times in all; after
// that the method fails with its diagnostic lines and the search finds method 5 again.
TEST_F(D3DCaptureTest, MethodsAreTriedInOrderAndLoadRetriesABusyTexture) {
  StartD3D();
  const int g = MakeEmptyGraph(16, 16, 0);
  ASSERT_EQ(GetGraphRecord(g)->format.texture, 1);
  ASSERT_EQ(gD3D.captureMethodAlpha, -1);
  const int live = plat::test::GetDDrawCounters().liveSurfaces;

  plat::test::ResetDisplay();
  plat::test::RecordDisplayCalls(true);
  // Method 5's copy (BltFast on the virtual clock) and method 1's BltFast fail; the screen DCs of
  // methods 3 and 2 cannot be had.
  plat::test::FailDisplayCall("GetDC", 2);
  plat::test::FailDisplayCall("BltFast", 2);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, g, 1), 0) << LogText();
  EXPECT_EQ(gD3D.captureMethodAlpha, 4);
  EXPECT_EQ(plat::test::D3DCallCount("Load"), 1);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0x00FF00u);
  const char* const order[] = {
      "Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:",
      "Error  G_D3D_GetDrawScreenGraphFunction3 　ＤＣ取得に失敗しました  GetDC  ReturnValue:",
      "Error  G_D3D_GetDrawScreenGraphFunction2  ＤＣ取得に失敗しました  GetDC ReturnValue:",
  };
  const std::string log = LogText();
  size_t at = 0;
  for (const char* line : order) {
    const size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found;
  }
  EXPECT_EQ(log.find("G_D3D_GetDrawScreenGraphFunction4"), std::string::npos);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, live) << "every work texture released";

  // Remembered: the next capture goes straight to the Load. A busy texture is restored and retried.
  DrawRectangle(0, 0, 16, 16, MakeColor(255, 0, 0), 1);
  D3D_EndSceneCurrent();
  plat::test::ResetDisplay();
  plat::test::RecordDisplayCalls(true);
  plat::test::ClearD3DCalls();
  plat::test::FailDisplayCall("Load", 3, plat::DDERR_SURFACEBUSY);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, g, 1), 0);
  EXPECT_EQ(plat::test::D3DCallCount("Load"), 4);
  EXPECT_EQ(plat::test::DisplayCallCount("Restore"), 3);
  EXPECT_EQ(plat::test::DisplayCallCount("BltFast"), 0) << "no other method was tried";
  EXPECT_EQ(gD3D.captureMethodAlpha, 4);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0xFF0000u);

  // Busy past ten tries: the method logs its diagnosis and fails; method 5 takes over.
  DrawRectangle(0, 0, 16, 16, MakeColor(0, 0, 255), 1);
  D3D_EndSceneCurrent();
  plat::test::ResetDisplay();
  plat::test::RecordDisplayCalls(true);
  plat::test::ClearD3DCalls();
  plat::test::FailDisplayCall("Load", 10, plat::DDERR_SURFACEBUSY);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, g, 1), 0);
  EXPECT_EQ(plat::test::D3DCallCount("Load"), 10);
  EXPECT_EQ(LogCount("AlphaCh:"), 1);
  EXPECT_EQ(LogCount("ScreenColor:"), 1);
  EXPECT_EQ(gD3D.captureMethodAlpha, 0);
  EXPECT_EQ(testing::GraphPixel(g, 8, 8), 0x0000FFu);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, live);
}

// Every method reads the screen through read locks only, writes each tile through write-only locks, and
// gives a graph that reaches past the screen's edge the screen's pixels up to the edge, leaving the
// rest of the graph as it was.
TEST_F(D3DCaptureTest, EveryMethodCopiesOnlyWhatTheScreenHolds) {
  StartD3D();
  DrawRectangle(600, 440, 640, 480, MakeColor(255, 0, 0), 1);
  D3D_EndSceneCurrent();
  for (int method = 0; method < 5; ++method) {
    SCOPED_TRACE(::testing::Message() << "method position " << method);
    const int g = MakeEmptyGraph(64, 64, 0);
    ASSERT_EQ(FillGraphColor(g, 0, 0, 255, 255), 0);
    plat::test::ResetDisplay();
    plat::test::RecordDisplayCalls(true);
    gD3D.captureMethodAlpha = method;
    ASSERT_EQ(CaptureScreenToGraph(600, 440, 640, 480, g, 1), 0);
    EXPECT_EQ(gD3D.captureMethodAlpha, method) << "the method itself worked";
    EXPECT_EQ(testing::GraphPixel(g, 0, 0), 0xFF0000u);
    EXPECT_EQ(testing::GraphPixel(g, 39, 39), 0xFF0000u);
    EXPECT_EQ(testing::GraphPixel(g, 40, 10), 0x0000FFu) << "right of the screen's edge";
    EXPECT_EQ(testing::GraphPixel(g, 10, 40), 0x0000FFu) << "below it";
    EXPECT_EQ(testing::GraphPixel(g, 63, 63), 0x0000FFu);
    int readLocks = 0;
    for (const auto& c : plat::test::DisplayCalls()) {
      if (c.call != "Lock") continue;
      EXPECT_TRUE((c.flags & plat::DDLOCK_READONLY) != 0 || (c.flags & plat::DDLOCK_WRITEONLY) != 0)
          << "a lock that neither only reads nor only writes: " << std::hex << c.flags;
      readLocks += (c.flags & plat::DDLOCK_READONLY) != 0 ? 1 : 0;
    }
    // Methods 5 and 3 read their work surface or texture through a read lock.
    EXPECT_EQ(readLocks, method == 0 || method == 2 ? 1 : 0);
    EXPECT_EQ(plat::test::GetDDrawCounters().videoMemoryReadLocks, 0);
    DeleteGraphHandle(g, 0);
  }
}

// Capture reads the draw screen where the draws put it: below the tool bar on a window's front screen,
// and in its own window of the shared texture when the draw screen is a derived graph.
TEST_F(D3DCaptureTest, CaptureReadsTheScreenWhereTheDrawsPutIt) {
  StartD3D();
  plat::WNDCLASSEXA toolBarClass{};
  toolBarClass.cbSize = sizeof toolBarClass;
  toolBarClass.lpfnWndProc = &plat::DefWindowProcA;
  toolBarClass.lpszClassName = "CaptureTestToolBar";
  ASSERT_NE(plat::RegisterClassExA(&toolBarClass), 0);
  gWindow.toolBarWindow =
      plat::CreateWindowExA(0, "CaptureTestToolBar", "", plat::WS_POPUP, 0, 0, 640, 24, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(gWindow.toolBarWindow, nullptr);
  gWindow.toolBarExists = 1;
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  DrawRectangle(0, 0, 640, 480, MakeColor(255, 0, 0), 1);
  DrawRectangle(0, 0, 16, 16, MakeColor(0, 0, 255), 1);
  const int fromFront = MakeEmptyGraph(16, 16, 0);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 16, 16, fromFront, 1), 0);
  EXPECT_EQ(testing::GraphPixel(fromFront, 0, 0), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(fromFront, 15, 15), 0x0000FFu);

  SetNewGraphDrawValidFlag(1);
  const int parent = MakeEmptyGraph(64, 64, 0);
  SetNewGraphDrawValidFlag(0);
  ASSERT_EQ(SelectDrawScreen(parent), 0);
  DrawRectangle(0, 0, 64, 64, MakeColor(255, 0, 0), 1);
  const int child = DeriveGraph(32, 16, 32, 48, parent);
  ASSERT_EQ(SelectDrawScreen(child), 0);
  DrawRectangle(0, 0, 8, 8, MakeColor(0, 0, 255), 1);
  const int fromChild = MakeEmptyGraph(8, 8, 0);
  ASSERT_EQ(CaptureScreenToGraph(0, 0, 8, 8, fromChild, 1), 0);
  EXPECT_EQ(testing::GraphPixel(fromChild, 0, 0), 0x0000FFu);
  EXPECT_EQ(testing::GraphPixel(fromChild, 7, 7), 0x0000FFu);
  SelectDrawScreen(kDrawScreenBack);
}

}  // namespace
}  // namespace orbel

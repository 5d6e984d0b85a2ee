// Screen modes: 16 and 32 bits on each road with the colour values they give, SetScreenMode's results
// (kept values, refused depths, fallbacks to the old mode and to 640 x 480 x 16), the 2-second spacing
// of display changes, a mode change that leaves the library usable and nothing leaked, the GDI-output
// switch, the display measurement, and the start-up reports.
#include <gtest/gtest.h>

#include <string>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/display_mode.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/display_settings.h"
#include "platform/win/user/display_test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

class ScreenModeTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordDisplayCalls(true);
  }
  int StartFullScreen(int depth, int software = 0) {
    ChangeWindowMode(0);
    SetScreenMode(640, 480, depth, -1);
    if (software) SetSoftwareRenderMode(1);
    const int result = InitLibrarySystem();
    if (result == 0) SelectDrawScreen(kDrawScreenBack);
    return result;
  }

  uint32_t WindowPixel(int x, int y) {
    const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
    if (x >= frame.width || y >= frame.height) return 0xDEADBEEF;
    return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
  }
};

struct ModeCase {
  const char* name;
  int software;
  int windowMode;
  int depth;
  uint32_t white;        // MakeColor(255, 255, 255)
  uint32_t red;          // MakeColor(255, 0, 0)
  int split[3];          // SplitColor(MakeColor(200, 100, 50))
};

TEST_F(ScreenModeTest, SixteenAndThirtyTwoBitScreensOnEveryRoad) {
  const ModeCase cases[] = {
      {"window 16", 0, 1, 16, 0xFFFF, 0xF800, {205, 101, 49}},
      {"window 32", 0, 1, 32, 0xFFFFFFFF, 0xFFFF0000, {200, 100, 50}},
      {"full screen 16", 0, 0, 16, 0xFFFF, 0xF800, {205, 101, 49}},
      {"full screen 32", 0, 0, 32, 0xFFFFFFFF, 0xFFFF0000, {200, 100, 50}},
      {"software 16", 1, 1, 16, 0xFFFF, 0xF800, {205, 101, 49}},
      {"software 32", 1, 1, 32, 0xFFFFFFFF, 0xFFFF0000, {200, 100, 50}},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(c.windowMode ? Start({c.software, c.depth}) : StartFullScreen(c.depth), 0);
    EXPECT_EQ(GetScreenColorBitDepth(), c.depth);
    EXPECT_EQ(GetDisplayColorBitDepth(), c.depth);
    EXPECT_EQ(IsMemImgScreen(), c.software);
    EXPECT_EQ(GetScreenColorData()->dwRGBBitCount, static_cast<plat::DWORD>(c.depth));
    EXPECT_EQ(MakeColor(255, 255, 255), c.white);
    EXPECT_EQ(MakeColor(255, 0, 0), c.red);
    int rgb[3] = {-1, -1, -1};
    EXPECT_EQ(SplitColor(MakeColor(200, 100, 50), &rgb[0], &rgb[1], &rgb[2]), 0);
    EXPECT_EQ(rgb[0], c.split[0]);
    EXPECT_EQ(rgb[1], c.split[1]);
    EXPECT_EQ(rgb[2], c.split[2]);
    int w = 0;
    int h = 0;
    GetScreenPixelSize(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

TEST_F(ScreenModeTest, DefaultsBeforeAnyModeIsSet) {
  int w = 0;
  int h = 0;
  GetScreenPixelSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(GetScreenColorBitDepth(), 16);
  EXPECT_EQ(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(IsHardwareRendering(), 1);
  // Before start-up a mode is only recorded.
  EXPECT_EQ(SetScreenMode(800, 600, 32, 60), 0);
  GetScreenPixelSize(&w, &h);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(GetScreenColorBitDepth(), 32);
  EXPECT_EQ(SetScreenMode(800, 600, 24, 60), -1);
}

TEST_F(ScreenModeTest, SetScreenModeResults) {
  ASSERT_EQ(StartFullScreen(16), 0);
  const int graph = MakeEmptyGraph(16, 16, 1);
  ASSERT_NE(graph, -1);

  struct {
    const char* name;
    int failures;  // SetDisplayMode calls made to fail
    int width, height, depth, refresh;
    int result;
    int nowWidth, nowHeight, nowDepth;
  } const cases[] = {
      {"nothing changed", 0, -1, -1, -1, -1, 0, 640, 480, 16},
      {"24 bits refused", 0, 800, 600, 24, 60, -1, 640, 480, 16},
      {"a new mode", 0, 800, 600, 32, 0, 0, 800, 600, 32},
      {"falls back to the old mode", 2, 1024, 768, 16, 0, -1, 800, 600, 32},
      {"falls back to 640 x 480 x 16", 3, 1024, 768, 32, 0, -2, 640, 480, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int modeCalls = plat::test::DisplayCallCount("SetDisplayMode");
    if (c.failures) plat::test::FailDisplayCall("SetDisplayMode", c.failures, plat::DDERR_UNSUPPORTEDMODE);
    EXPECT_EQ(SetScreenMode(c.width, c.height, c.depth, c.refresh), c.result);
    if (c.depth == 24) {
      EXPECT_EQ(plat::test::DisplayCallCount("SetDisplayMode"), modeCalls);
    }
    int w = 0;
    int h = 0;
    GetScreenPixelSize(&w, &h);
    EXPECT_EQ(w, c.nowWidth);
    EXPECT_EQ(h, c.nowHeight);
    EXPECT_EQ(GetScreenColorBitDepth(), c.nowDepth);
    // Graphs are gone whatever the result.
    EXPECT_EQ(IsValidGraphHandle(graph), 0);
  }
}

TEST_F(ScreenModeTest, DisplayChangesAreTwoSecondsApart) {
  ASSERT_EQ(StartFullScreen(16), 0);
  ASSERT_EQ(SetScreenMode(800, 600, 16, 0), 0);
  const uint32_t first = gScreen.lastModeChange;
  plat::Sleep(500);
  ASSERT_EQ(SetScreenMode(640, 480, 16, 0), 0);
  // The second change slept until 2060 ms after the first.
  EXPECT_GE(gScreen.lastModeChange - first, 2060u);
  EXPECT_LE(gScreen.lastModeChange - first, 2062u);
}

TEST_F(ScreenModeTest, ModeChangeKeepsTheLibraryUsableAndLeaksNothing) {
  struct {
    const char* name;
    int software;
  } const cases[] = {{"DirectDraw", 0}, {"software", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(Start({c.software, 32}), 0);
    ASSERT_EQ(SetScreenMode(800, 600, 32, 0), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    const int graph = MakeEmptyGraph(32, 32, 1);
    EXPECT_NE(graph, -1);
    ASSERT_EQ(DrawRectangle(0, 0, 800, 600, MakeColor(0, 255, 0), 1), 0);
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(WindowPixel(799, 599), 0x00FF00u);
    ASSERT_EQ(EndLibrarySystem(), 0);
    EXPECT_EQ(GetMemoryBlockCount(), 0);
    const plat::test::DDrawCounters counters = plat::test::GetDDrawCounters();
    EXPECT_EQ(counters.liveObjects, 0);
    EXPECT_EQ(counters.liveSurfaces, 0);
    EXPECT_EQ(counters.liveClippers, 0);
    EXPECT_EQ(counters.livePalettes, 0);
  }
}

TEST_F(ScreenModeTest, GdiOutputSwitchWorksOnceAndAgainAfterAModeChange) {
  ASSERT_EQ(StartFullScreen(16), 0);
  const int before = plat::test::DisplayCallCount("FlipToGDISurface");
  EXPECT_EQ(SwitchGdiSurfaceOutput(1), 0);
  EXPECT_EQ(SwitchGdiSurfaceOutput(1), 0);
  EXPECT_EQ(plat::test::DisplayCallCount("FlipToGDISurface"), before + 1);
  EXPECT_EQ(GetGdiSurfaceOutputRequest(), 1);
  // With GDI output shown the frame goes through the window road, not the page flip.
  const int flips = plat::test::DisplayCallCount("Flip");
  EXPECT_EQ(FlipScreen(), 0);
  EXPECT_EQ(plat::test::DisplayCallCount("Flip"), flips);

  ASSERT_EQ(SetScreenMode(800, 600, 16, 0), 0);
  EXPECT_EQ(SwitchGdiSurfaceOutput(1), 0);
  EXPECT_EQ(plat::test::DisplayCallCount("FlipToGDISurface"), before + 2);
}

TEST_F(ScreenModeTest, FrameTimeFromSamples) {
  struct {
    std::vector<int> samples;
    int frame;
    int pacing;
  } const cases[] = {
      {{16, 17, 16, 17}, 16, 9}, {{17, 16, 17, 16}, 17, 10}, {{16, 17, 18, 19}, -1, -1}, {{20, 21, 22, 21}, 21, 12},
  };
  for (const auto& c : cases) {
    const int frame = FindRepeatedFrameSample(c.samples.data(), static_cast<int>(c.samples.size()));
    EXPECT_EQ(frame, c.frame);
    EXPECT_EQ(FramePacingFromFrameTime(frame), c.pacing);
  }
}

TEST_F(ScreenModeTest, MeasurementOfA60HzDisplay) {
  ASSERT_EQ(StartFullScreen(16), 0);
  EXPECT_GE(gScreen.frameTime, 16);
  EXPECT_LE(gScreen.frameTime, 17);
  EXPECT_EQ(gScreen.framePacing, FramePacingFromFrameTime(gScreen.frameTime));
  EXPECT_NE(LogText().find("１フレーム当たりの時間は"), std::string::npos);
}

// A display that answers no scan-line or blank query ends the measurement at once with an unknown frame.
TEST_F(ScreenModeTest, DisplayWithoutScanLineDoesNotHangTheChange) {
  plat::test::FailDisplayCall("GetScanLine", -1, plat::DDERR_UNSUPPORTED);
  plat::test::FailDisplayCall("GetVerticalBlankStatus", -1, plat::DDERR_UNSUPPORTED);
  const uint32_t start = plat::timeGetTime();
  ASSERT_EQ(StartFullScreen(16), 0);
  EXPECT_LT(plat::timeGetTime() - start, 5000u);
  EXPECT_EQ(gScreen.frameTime, -1);
  EXPECT_EQ(gScreen.framePacing, -1);
  EXPECT_NE(LogText().find("１フレームの時間を正常に取得できませんでした"), std::string::npos);
  // Frames still end: the blank waits give up instead of spinning.
  EXPECT_EQ(FlipScreen(), 0);
  EXPECT_EQ(WaitVSyncFrames(2), 0);
  EXPECT_LT(plat::timeGetTime() - start, 10000u);
}

TEST_F(ScreenModeTest, StartUpReportsWithoutShift) {
  ASSERT_EQ(Start({0, 32}), 0);
  const SystemInfoBlock* info = GetSystemInfoBlock();
  EXPECT_EQ(info->videoMemoryTotal, 0x1000000u);
  EXPECT_EQ(info->videoMemoryFree, 0u);
  EXPECT_EQ(info->displayDriverName[0], '\0');
  // The stand-in offers no overlays.
  EXPECT_EQ(GetOverlayPixelFormat(), nullptr);
  EXPECT_NE(LogText().find("オーバーレイサーフェスは使用しません"), std::string::npos);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(IsHardwareRendering(), 1);

  // Under software rendering the object is still there; callers ask the rendering mode instead.
  ASSERT_EQ(EndLibrarySystem(), 0);
  ResetGraphicsStateForTest();
  ASSERT_EQ(Start({1, 32}), 0);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(IsHardwareRendering(), 0);
  EXPECT_EQ(IsSoftwareScreen(), 1);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Software rendering in a window changes no display mode: the desktop's own mode is only asked back.
TEST_F(ScreenModeTest, SoftwareWindowModeChangeTouchesNoDirectDrawMode) {
  ASSERT_EQ(Start({1, 32}), 0);
  const int settings = plat::test::DisplayCallCount("ChangeDisplaySettingsA");
  const int modes = plat::test::DisplayCallCount("SetDisplayMode");
  const int levels = plat::test::DisplayCallCount("SetCooperativeLevel");
  ASSERT_EQ(SetScreenMode(800, 600, 32, 0), 0);
  EXPECT_EQ(plat::test::DisplayCallCount("ChangeDisplaySettingsA"), settings + 1);
  EXPECT_EQ(plat::test::DisplayCallCount("SetDisplayMode"), modes);
  EXPECT_EQ(plat::test::DisplayCallCount("SetCooperativeLevel"), levels);
}

// A first display change that only reaches the fallback mode ends DirectDraw start-up; the library then
// starts again in software rendering and works.
TEST_F(ScreenModeTest, FailedDirectDrawStartFallsBackToSoftwareRendering) {
  plat::test::FailDisplayCall("SetDisplayMode", 2, plat::DDERR_UNSUPPORTEDMODE);
  ChangeWindowMode(0);
  SetScreenMode(800, 600, 32, -1);
  ASSERT_EQ(InitLibrarySystem(), 0);
  EXPECT_EQ(IsHardwareRendering(), 0);
  EXPECT_EQ(IsMemImgScreen(), 1);
  EXPECT_NE(LogText().find("ソフトウエアレンダリングモードに変更します"), std::string::npos);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(0, 0, 255), 1), 0);
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(WindowPixel(5, 5), 0x0000FFu);
  ASSERT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, 0);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Alt+Enter's road: window to full screen and back rebuilds the screen each time and keeps showing frames.
TEST_F(ScreenModeTest, SwitchingBetweenWindowAndFullScreenKeepsShowingFrames) {
  ASSERT_EQ(Start({0, 32}), 0);
  const int modes[] = {0, 1, 0, 1};
  for (const int windowMode : modes) {
    SCOPED_TRACE(windowMode);
    ChangeWindowMode(windowMode);
    EXPECT_EQ(IsDisplayModeChanged(), windowMode ? 0 : 1);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(255, 0, 255), 1), 0);
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(WindowPixel(639, 479), 0xFF00FFu);
  }
  ASSERT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, 0);
}

// A 16-bit display laid out 5-5-5 is reported as colour type 1 and drawn in its own layout.
TEST_F(ScreenModeTest, FiveFiveFiveDisplay) {
  plat::test::SetDisplay16BitLayout555(true);
  ASSERT_EQ(Start({0, 16}), 0);
  EXPECT_EQ(gScreen.colorType, kScreenColorX1R5G5B5);
  EXPECT_EQ(MakeColor(255, 0, 0), 0xFC00u);  // the unused top bit is set, as in every value made
  EXPECT_EQ(GetScreenColorData()->dwGBitMask, 0x03E0u);
  EXPECT_NE(LogText().find("A:00000000  B:00007c00  G:000003e0  B:0000001f"), std::string::npos);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(0, 255, 0), 1), 0);
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(WindowPixel(100, 100), 0x00FF00u);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Switching to software rendering while running rebuilds the screen as memory images, keeps the draw
// screen, and stays on.
TEST_F(ScreenModeTest, SwitchToSoftwareRenderingWhileRunning) {
  ASSERT_EQ(Start({0, 32}), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(ChangeRenderingMode(0), 0);
  EXPECT_EQ(IsHardwareRendering(), 0);
  EXPECT_EQ(IsMemImgScreen(), 1);
  EXPECT_EQ(GetSelectedDrawScreen(), kDrawScreenBack);
  ASSERT_EQ(DrawRectangle(0, 0, 640, 480, MakeColor(0, 128, 255), 1), 0);
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(WindowPixel(320, 240), 0x0080FFu);
  ChangeRenderingMode(1);
  SetSoftwareRenderMode(0);
  EXPECT_EQ(IsHardwareRendering(), 0);
  EXPECT_EQ(GetSoftwareRenderRequest(), 1);
  ASSERT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveClippers, 0);
}

// Software rendering lasts one run: the next start of the library, without a request, is on the hardware
// road with the texture-graph and memory-image settings it had before.
TEST_F(ScreenModeTest, SoftwareRunLeavesTheNextStartOnTheHardwareRoad) {
  SetUseTextureGraphs(1);
  ASSERT_EQ(Start({1, 32}), 0);
  EXPECT_EQ(IsHardwareRendering(), 0);
  EXPECT_EQ(GetUseTextureGraphs(), 0);
  ASSERT_EQ(EndLibrarySystem(), 0);

  plat::test::SetDesktopDepth(32);
  ChangeWindowMode(1);
  SetScreenMode(640, 480, 32, -1);
  ASSERT_EQ(InitLibrarySystem(), 0);
  EXPECT_EQ(IsHardwareRendering(), 1);
  EXPECT_EQ(IsSoftwareScreen(), 0);
  EXPECT_EQ(GetSoftwareRenderRequest(), 0);
  EXPECT_EQ(GetUseTextureGraphs(), 1);
  EXPECT_EQ(GetNewGraphMemImgFlag(), 0);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// A later change whose new DirectDraw object cannot be made does not leave a screen without surfaces:
// the library goes on in software rendering and keeps showing frames.
TEST_F(ScreenModeTest, ChangeWithoutANewDirectDrawObjectGoesOnInSoftwareRendering) {
  for (int windowMode = 0; windowMode < 2; ++windowMode) {
    SCOPED_TRACE(windowMode);
    ResetGraphicsStateForTest();
    ASSERT_EQ(windowMode ? Start({0, 32}) : StartFullScreen(32), 0);
    plat::test::FailDisplayCall("CoCreateInstance", 1);
    EXPECT_EQ(SetScreenMode(800, 600, 32, 0), 0);
    EXPECT_EQ(IsHardwareRendering(), 0);
    EXPECT_EQ(GetDirectDrawObject(), nullptr);
    EXPECT_NE(LogText().find("ソフトウエアレンダリングモードに変更します"), std::string::npos);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    ASSERT_EQ(DrawRectangle(0, 0, 800, 600, MakeColor(255, 255, 0), 1), 0);
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(WindowPixel(799, 599), 0xFFFF00u);
    ASSERT_EQ(EndLibrarySystem(), 0);
    EXPECT_EQ(GetMemoryBlockCount(), 0);
    const plat::test::DDrawCounters counters = plat::test::GetDDrawCounters();
    EXPECT_EQ(counters.liveObjects, 0);
    EXPECT_EQ(counters.liveSurfaces, 0);
    EXPECT_EQ(counters.liveClippers, 0);
  }
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// A window larger than the desktop cannot be shown: start-up ends the program.
TEST_F(ScreenModeTest, WindowLargerThanTheDesktopEndsTheProgram) {
  // Forked without exec, so that the child writes its log into this test's working directory.
  GTEST_FLAG_SET(death_test_style, "fast");
  EXPECT_EXIT(
      {
        plat::test::SetDesktopDepth(32);
        ChangeWindowMode(1);
        SetScreenMode(4000, 3000, 32, -1);
        InitLibrarySystem();
        std::exit(0);
      },
      ::testing::ExitedWithCode(255), "");
  // The child wrote its reason into the log of the shared working directory.
  EXPECT_NE(LogText().find("デスクトップ画面のサイズが足りません、ソフトを終了します"), std::string::npos);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Software rendering in full screen changes the mode through the display settings, with the same
// fallbacks: without the refresh rate, the old mode, then 640 x 480 x 16.
TEST_F(ScreenModeTest, SoftwareFullScreenFallbacks) {
  ASSERT_EQ(StartFullScreen(16, 1), 0);
  struct {
    const char* name;
    int failures;
    int width, height, depth;
    int result;
    int nowWidth, nowHeight;
  } const cases[] = {
      {"a new mode", 0, 800, 600, 32, 0, 800, 600},
      {"without the refresh rate", 1, 1024, 768, 32, -1, 1024, 768},
      {"the old mode", 2, 640, 400, 32, -1, 1024, 768},
      {"640 x 480 x 16", 3, 800, 600, 32, -2, 640, 480},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.failures) plat::test::FailDisplayCall("ChangeDisplaySettingsA", c.failures, plat::DISP_CHANGE_BADMODE);
    EXPECT_EQ(SetScreenMode(c.width, c.height, c.depth, 60), c.result);
    int w = 0;
    int h = 0;
    GetScreenPixelSize(&w, &h);
    EXPECT_EQ(w, c.nowWidth);
    EXPECT_EQ(h, c.nowHeight);
    EXPECT_EQ(IsMemImgScreen(), 1);
  }
}

}  // namespace
}  // namespace orbel

// Starts of the library one after another in one process, each on a road of its own: an end leaves
// nothing that moves the next start off its road or stops it showing frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/main_window.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/image/color_data.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

enum class Road { Direct3D, DirectDraw, Software };

const char* RoadName(Road road) {
  return road == Road::Direct3D ? "Direct3D" : road == Road::DirectDraw ? "DirectDraw" : "Software";
}

struct Restart {
  Road first;
  Road second;
  int windowMode;
};

class RoadRestartTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<Restart> {
 protected:
  // A start as a program makes it: the switches of the road, then the start. Nothing else is reset.
  int StartOn(Road road, int windowMode) {
    plat::test::SetDesktopDepth(32);
    ChangeWindowMode(windowMode);
    SetScreenMode(640, 480, 32, -1);
    if (road == Road::Software) SetSoftwareRenderMode(1);
    plat::test::RefuseDirect3D(road == Road::DirectDraw);
    return InitLibrarySystem();
  }

  Road RoadInUse() {
    if (IsHardwareRendering() == 0) return Road::Software;
    return IsDirect3DAvailable() != 0 ? Road::Direct3D : Road::DirectDraw;
  }

  // Draws a frame of one colour and reads it back from the window.
  uint32_t PresentedColour(int r, int g, int b) {
    if (SelectDrawScreen(kDrawScreenBack) != 0) return 0xDEADBEEF;
    if (DrawRectangle(0, 0, 640, 480, MakeColor(r, g, b), 1) != 0) return 0xDEADBEEF;
    if (FlipScreen() != 0) return 0xDEADBEEF;
    const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
    if (frame.width < 640 || frame.height < 480) return 0xDEADBEEF;
    return frame.pixels[static_cast<size_t>(240) * frame.width + 320] & 0xFFFFFF;
  }

  void RunOn(Road road, int windowMode, uint32_t colour) {
    SCOPED_TRACE(RoadName(road));
    ASSERT_EQ(StartOn(road, windowMode), 0);
    EXPECT_STREQ(RoadName(RoadInUse()), RoadName(road));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PresentedColour(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF), colour);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
};

TEST_P(RoadRestartTest, TheSecondStartIsOnItsRoadAndShowsFrames) {
  const Restart r = GetParam();
  RunOn(r.first, r.windowMode, 0x20C040);
  RunOn(r.second, r.windowMode, 0xC04020);
  RunOn(r.first, r.windowMode, 0x4020C0);
}

std::vector<Restart> AllRestarts() {
  std::vector<Restart> out;
  const Road roads[] = {Road::Direct3D, Road::DirectDraw, Road::Software};
  for (int windowMode = 0; windowMode < 2; ++windowMode)
    for (Road a : roads)
      for (Road b : roads)
        if (a != b) out.push_back(Restart{a, b, windowMode});
  return out;
}

INSTANTIATE_TEST_SUITE_P(Roads, RoadRestartTest, ::testing::ValuesIn(AllRestarts()),
                         [](const ::testing::TestParamInfo<Restart>& info) {
                           return std::string(RoadName(info.param.first)) + "Then" + RoadName(info.param.second) +
                                  (info.param.windowMode ? "InAWindow" : "FullScreen");
                         });

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// The frame pacing of a run does not reach into the next: a start on a clock set back (as each test
// sets the virtual clock) waits for its first vertical blank only, not for a time of the run before.
TEST_F(RoadRestartTest, TheFirstFlipOfTheNextStartWaitsOneBlankOnly) {
  ASSERT_EQ(StartOn(Road::DirectDraw, 1), 0);
  plat::test::AdvanceClock(20'000'000);
  EXPECT_EQ(PresentedColour(0, 0, 255), 0x0000FFu);
  ASSERT_EQ(EndLibrarySystem(), 0);
  plat::test::UseVirtualClock();
  for (Road road : {Road::DirectDraw, Road::Direct3D}) {
    SCOPED_TRACE(RoadName(road));
    ASSERT_EQ(StartOn(road, 1), 0);
    const uint32_t before = plat::timeGetTime();
    EXPECT_EQ(PresentedColour(255, 0, 0), 0xFF0000u);
    EXPECT_LT(plat::timeGetTime() - before, 100u);
    ASSERT_EQ(EndLibrarySystem(), 0);
    plat::test::UseVirtualClock();
  }
}

// A start that fails part way ends the run it began: software rendering asked for it does not outlast
// it, whether the start is refused before anything is made (a 24-bit desktop) or unwinds what it made
// (COM fails after the log and the report).
TEST_F(RoadRestartTest, AFailedSoftwareStartLeavesTheNextOnItsRoad) {
  for (int unwinds = 0; unwinds < 2; ++unwinds) {
    SCOPED_TRACE(unwinds ? "COM fails" : "24-bit desktop");
    plat::test::SetDesktopDepth(unwinds ? 32 : 24);
    if (unwinds) plat::test::FailNextCoInitialize();
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, -1);
    SetUseTextureGraphs(1);
    SetSoftwareRenderMode(1);
    ASSERT_EQ(InitLibrarySystem(), -1);
    EXPECT_EQ(IsHardwareRendering(), 1);
    EXPECT_EQ(GetUseTextureGraphs(), 1);
    RunOn(Road::DirectDraw, 1, 0x30A050);
    RunOn(Road::Direct3D, 1, 0x5030A0);
  }
}

}  // namespace
}  // namespace orbel

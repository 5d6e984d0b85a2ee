// Ending a frame: what the window shows after FlipScreen on each road (DirectDraw in a window, page flip
// in full screen, GDI in software rendering), scaled windows and repaints of a part, the front screen,
// vertical-sync flags, the frame counter, screens without surfaces, and surfaces lost and restored.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_messages.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;

class ScreenFlipTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordDisplayCalls(true);
  }
  // Starts in full screen at the depth (the display follows the request there).
  int StartFullScreen(int depth, int software = 0) {
    ChangeWindowMode(0);
    SetScreenMode(640, 480, depth, -1);
    if (software) SetSoftwareRenderMode(1);
    const int result = InitLibrarySystem();
    if (result == 0) SelectDrawScreen(kDrawScreenBack);
    return result;
  }

  // Starts in a window on the road, drawing on the back screen as a game does.
  int StartWindowed(testing::GraphRoad road) {
    const int result = Start(road);
    if (result == 0) SelectDrawScreen(kDrawScreenBack);
    return result;
  }

  // Paints a rectangle of the back screen directly, in the screen's own format.
  void FillBack(plat::RECT rect, uint32_t rgb) {
    const uint32_t value = MakeColor(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
    if (IsMemImgScreen()) {
      FillMemImgRect(&gScreen.backImage, &rect, value);
      return;
    }
    plat::DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = value;
    ASSERT_EQ(gScreen.backSurface->Blt(&rect, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx),
              plat::DD_OK);
  }

  // Red left half, blue right half, a green square at (300, 200)-(340, 240).
  void PaintScene() {
    FillBack({0, 0, 320, 480}, kRed);
    FillBack({320, 0, 640, 480}, kBlue);
    FillBack({300, 200, 340, 240}, kGreen);
  }

  uint32_t WindowPixel(int x, int y) {
    const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
    if (x >= frame.width || y >= frame.height) return 0xDEADBEEF;
    return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
  }

  void ExpectSceneInWindow(int scale) {
    EXPECT_EQ(WindowPixel(10 * scale, 10 * scale), kRed);
    EXPECT_EQ(WindowPixel(639 * scale, 479 * scale), kBlue);
    EXPECT_EQ(WindowPixel(320 * scale, 220 * scale), kGreen);
    EXPECT_EQ(WindowPixel(299 * scale, 220 * scale), kRed);
  }
};

struct RoadCase {
  const char* name;
  int software;
  int depth;
  int windowMode;
};

TEST_F(ScreenFlipTest, FlipShowsTheBackScreenInTheWindowOnEveryRoad) {
  const RoadCase cases[] = {
      {"DirectDraw window 16", 0, 16, 1}, {"DirectDraw window 32", 0, 32, 1}, {"software 16", 1, 16, 1},
      {"software 32", 1, 32, 1},          {"full screen 16", 0, 16, 0},       {"full screen 32", 0, 32, 0},
      {"software full screen 32", 1, 32, 0},
  };
  for (const RoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    if (c.windowMode) {
      ASSERT_EQ(StartWindowed({c.software, c.depth}), 0);
    } else {
      ASSERT_EQ(StartFullScreen(c.depth, c.software), 0);
    }
    EXPECT_EQ(GetScreenColorBitDepth(), c.depth);
    PaintScene();
    const uint64_t frames = GetFrameCounter();
    const int flips = plat::test::DisplayCallCount("Flip");
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(GetFrameCounter(), frames + 1);
    ExpectSceneInWindow(1);
    // The page flip road swaps the chain; the window road copies.
    EXPECT_EQ(plat::test::DisplayCallCount("Flip") - flips, c.windowMode == 0 && !c.software ? 1 : 0);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

TEST_F(ScreenFlipTest, VerticalSyncDecidesTheFlipFlags) {
  ASSERT_EQ(StartFullScreen(16), 0);
  struct {
    int waits;
    plat::DWORD flags;
  } const cases[] = {{1, plat::DDFLIP_WAIT}, {0, plat::DDFLIP_WAIT | plat::DDFLIP_NOVSYNC}};
  for (const auto& c : cases) {
    SetFlipWaitsForVSync(c.waits);
    const size_t before = plat::test::DisplayCalls().size();
    ASSERT_EQ(FlipScreen(), 0);
    const auto calls = plat::test::DisplayCalls();
    int flips = 0;
    for (size_t i = before; i < calls.size(); ++i) {
      if (calls[i].call != "Flip") continue;
      EXPECT_EQ(calls[i].flags, c.flags);
      ++flips;
    }
    EXPECT_EQ(flips, 1);
  }
}

TEST_F(ScreenFlipTest, DrawingOnTheFrontScreenFlipOnlyWaitsAndCounts) {
  for (int windowMode = 0; windowMode < 2; ++windowMode) {
    SCOPED_TRACE(windowMode);
    ResetGraphicsStateForTest();
    ASSERT_EQ(windowMode ? StartWindowed({0, 16}) : StartFullScreen(16), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
    const uint64_t frames = GetFrameCounter();
    const int copies[3] = {plat::test::DisplayCallCount("Flip"), plat::test::DisplayCallCount("Blt"),
                           plat::test::DisplayCallCount("BltFast")};
    EXPECT_EQ(FlipScreen(), 0);
    EXPECT_EQ(GetFrameCounter(), frames + 1);
    EXPECT_EQ(plat::test::DisplayCallCount("Flip"), copies[0]);
    EXPECT_EQ(plat::test::DisplayCallCount("Blt"), copies[1]);
    EXPECT_EQ(plat::test::DisplayCallCount("BltFast"), copies[2]);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

TEST_F(ScreenFlipTest, ScaledWindowShowsTheScreenScaledAndRepaintsAPart) {
  for (int software = 0; software < 2; ++software) {
    SCOPED_TRACE(software);
    ResetGraphicsStateForTest();
    SetWindowExtendRate(2.0);
    ASSERT_EQ(StartWindowed({software, 32}), 0);
    PaintScene();
    ASSERT_EQ(FlipScreen(), 0);
    ExpectSceneInWindow(2);

    // A repaint of client part (100, 100, 200, 200) copies source (50, 50, 100, 100), at twice its size.
    FillBack({50, 50, 100, 100}, kGreen);
    const plat::RECT part = {100, 100, 200, 200};
    SetFlipWaitsForVSync(0);
    ASSERT_EQ(PresentBackSurfaceToWindow(&part), 0);
    EXPECT_EQ(WindowPixel(100, 100), kGreen);
    EXPECT_EQ(WindowPixel(199, 199), kGreen);
    if (!software) {
      EXPECT_EQ(WindowPixel(99, 100), kRed);  // the GDI road repaints the whole picture
    }
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

// At a scale that does not divide the client coordinates, a repainted part shows the same pixels as the
// same area of a whole present: its source edges are the client edges over the scale, rounded.
TEST_F(ScreenFlipTest, ARepaintOfAPartAtScaleOneAndAHalfMatchesTheWholePresent) {
  const plat::RECT part = {30, 60, 100, 130};  // source 20, 40 to 66.7, 86.7
  const testing::GraphRoad roads[] = {{0, 32, 0}, {0, 32, 1}, {1, 32, 0}};
  for (const testing::GraphRoad& road : roads) {
    SCOPED_TRACE(testing::RoadTestName({road, 0}));
    ResetGraphicsStateForTest();
    SetWindowExtendRate(1.5);
    ASSERT_EQ(StartWindowed(road), 0);
    SetFlipWaitsForVSync(0);
    // Every source pixel the part reaches has a colour of its own.
    const auto paintPattern = [&] {
      for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 80; ++x) FillBack({x, y, x + 1, y + 1}, (x * 3) << 16 | (y * 2) << 8 | 0x40);
      }
    };
    paintPattern();
    ASSERT_EQ(FlipScreen(), 0);
    const plat::host::Frame whole = plat::test::CaptureWindowFrame(GetMainWindowHandle());
    FillBack({0, 0, 640, 480}, kRed);
    ASSERT_EQ(FlipScreen(), 0);
    paintPattern();
    ASSERT_EQ(PresentBackSurfaceToWindow(&part), 0);
    const plat::host::Frame repainted = plat::test::CaptureWindowFrame(GetMainWindowHandle());
    ASSERT_EQ(repainted.width, whole.width);
    ASSERT_GE(whole.height, 130);
    for (int y = part.top; y < part.bottom; ++y) {
      for (int x = part.left; x < part.right; ++x) {
        const size_t at = static_cast<size_t>(y) * whole.width + x;
        ASSERT_EQ(repainted.pixels[at] & 0xFFFFFF, whole.pixels[at] & 0xFFFFFF) << x << "," << y;
      }
    }
    if (!road.software) {
      EXPECT_EQ(repainted.pixels[static_cast<size_t>(part.top) * whole.width + part.left - 1] & 0xFFFFFF, kRed);
    }
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

// A display change that fails half-way can leave no surfaces: flip and present then fail instead of
// touching them.
TEST_F(ScreenFlipTest, ScreenWithoutSurfacesFailsTheFlip) {
  for (int windowMode = 0; windowMode < 2; ++windowMode) {
    SCOPED_TRACE(windowMode);
    ResetGraphicsStateForTest();
    ASSERT_EQ(windowMode ? StartWindowed({0, 32}) : StartFullScreen(32), 0);
    ASSERT_EQ(ReleaseMainSurfaces(), 0);
    EXPECT_EQ(FlipScreen(), -1);
    EXPECT_EQ(PresentBackSurfaceToWindow(nullptr), -1);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

TEST_F(ScreenFlipTest, LostMainSurfacesAreRestoredAndPresentAgain) {
  const RoadCase cases[] = {{"window", 0, 32, 1}, {"full screen", 0, 16, 0}};
  for (const RoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(c.windowMode ? StartWindowed({0, c.depth}) : StartFullScreen(c.depth), 0);
    plat::test::LoseAllSurfaces();
    EXPECT_EQ(gScreen.primarySurface->IsLost(), plat::DDERR_SURFACELOST);
    EXPECT_EQ(gScreen.backSurface->IsLost(), plat::DDERR_SURFACELOST);
    ASSERT_EQ(RestoreLostMainSurfaces(), 0);
    EXPECT_EQ(gScreen.primarySurface->IsLost(), plat::DD_OK);
    EXPECT_EQ(gScreen.backSurface->IsLost(), plat::DD_OK);
    if (gScreen.zBufferSurface != nullptr) {
      EXPECT_EQ(gScreen.zBufferSurface->IsLost(), plat::DD_OK);
    }
    PaintScene();
    ASSERT_EQ(FlipScreen(), 0);
    ExpectSceneInWindow(1);

    // Without an explicit restore the end of the next frame finds the loss and restores the screen.
    plat::test::LoseAllSurfaces();
    FlipScreen();
    EXPECT_EQ(gScreen.primarySurface->IsLost(), plat::DD_OK);
    EXPECT_EQ(gScreen.backSurface->IsLost(), plat::DD_OK);
    PaintScene();
    ASSERT_EQ(FlipScreen(), 0);
    ExpectSceneInWindow(1);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Software rendering, front screen: a rectangle of the front image goes to the window, and the window
// comes back into the front image after a present.
TEST_F(ScreenFlipTest, FrontImageAndWindowExchangeRectanglesUnderSoftwareRendering) {
  for (int depth : {16, 32}) {
    SCOPED_TRACE(depth);
    ResetGraphicsStateForTest();
    ASSERT_EQ(StartWindowed({1, depth}), 0);
    PaintScene();
    ASSERT_EQ(FlipScreen(), 0);
    ASSERT_EQ(gScreen.presentedSinceReadBack, 1u);

    // The window into the front image.
    ASSERT_EQ(ReadWindowToScreenImage(), 0);
    EXPECT_EQ(gScreen.presentedSinceReadBack, 0u);
    int r = 0;
    int g = 0;
    int b = 0;
    auto frontRgb = [&](int x, int y) {
      uint32_t value = 0;
      std::memcpy(&value, gScreen.frontImage.pixels + MemImgOffset(&gScreen.frontImage, x, y),
                  static_cast<size_t>(gScreen.frontImage.base->pixelBytes));
      GetColorValueRGBA(gScreen.frontImage.base->colorData, value, &r, &g, &b, nullptr);
      return static_cast<uint32_t>(r << 16 | g << 8 | b);
    };
    EXPECT_EQ(frontRgb(10, 10), kRed);
    EXPECT_EQ(frontRgb(320, 220), kGreen);
    EXPECT_EQ(frontRgb(639, 479), kBlue);

    // A rectangle of the front image onto the window; the rest of the window stays.
    const plat::RECT rect = {10, 400, 50, 470};
    FillMemImgRect(&gScreen.frontImage, &rect, MakeColor(0, 255, 0));
    ASSERT_EQ(StretchScreenToWindow(&rect), 0);
    EXPECT_EQ(WindowPixel(10, 400), kGreen);
    EXPECT_EQ(WindowPixel(49, 469), kGreen);
    EXPECT_EQ(WindowPixel(50, 469), kRed);
    EXPECT_EQ(WindowPixel(10, 399), kRed);
    EXPECT_EQ(WindowPixel(10, 470), kRed);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// The palettes the primary and the back buffer hold.
std::vector<plat::IDirectDrawPalette*> ChainPalettes() {
  std::vector<plat::IDirectDrawPalette*> held;
  for (plat::IDirectDrawSurface7* s : {gScreen.primarySurface, gScreen.backSurface}) {
    plat::IDirectDrawPalette* p = nullptr;
    s->GetPalette(&p);
    if (p != nullptr) p->Release();
    held.push_back(p);
  }
  return held;
}

// An 8-bit full screen: the library's palette is set on both buffers of the flip chain (a palette made
// anew too), colours are palette indexes, and the flip shows them through the palette.
TEST_F(ScreenFlipTest, EightBitFullScreenShowsPaletteColours) {
  ASSERT_EQ(StartFullScreen(8), 0);
  ASSERT_NE(gScreen.palette, nullptr);
  EXPECT_EQ(ChainPalettes(), (std::vector<plat::IDirectDrawPalette*>{gScreen.palette, gScreen.palette}));
  EXPECT_EQ(GetScreenColorBitDepth(), 8);
  const uint32_t red = MakeColor(255, 0, 0);
  const uint32_t blue = MakeColor(0, 0, 255);
  EXPECT_LT(red, 256u);
  EXPECT_NE(red, blue);
  int r = 0;
  int g = 0;
  int b = 0;
  ASSERT_EQ(SplitColor(red, &r, &g, &b), 0);
  EXPECT_EQ(r << 16 | g << 8 | b, 0xFF0000);
  FillBack({0, 0, 640, 480}, kRed);
  FillBack({320, 0, 640, 480}, kBlue);
  ASSERT_EQ(FlipScreen(), 0);
  EXPECT_EQ(WindowPixel(10, 10), kRed);
  EXPECT_EQ(WindowPixel(630, 470), kBlue);
  const plat::IDirectDrawPalette* first = gScreen.palette;
  ASSERT_EQ(ReapplyScreenPalette(), 0);
  EXPECT_NE(gScreen.palette, first);
  EXPECT_EQ(ChainPalettes(), (std::vector<plat::IDirectDrawPalette*>{gScreen.palette, gScreen.palette}));
  ASSERT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().livePalettes, 0);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Full screen, the application loses the focus (the display is given up) and gets it back: the screen is
// made again and frames show once more.
TEST_F(ScreenFlipTest, FullScreenComesBackAfterDeactivation) {
  ASSERT_EQ(StartFullScreen(16), 0);
  const plat::HWND window = GetMainWindowHandle();
  plat::SendMessageA(window, plat::WM_ACTIVATEAPP, 0, 0);
  plat::SendMessageA(window, plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  plat::test::LoseAllSurfaces();
  plat::SendMessageA(window, plat::WM_ACTIVATE, plat::WA_ACTIVE, 0);
  plat::SendMessageA(window, plat::WM_ACTIVATEAPP, 1, 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  PaintScene();
  ASSERT_EQ(FlipScreen(), 0);
  ExpectSceneInWindow(1);
  ASSERT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(plat::test::GetDDrawCounters().liveSurfaces, 0);
}

}  // namespace
}  // namespace orbel

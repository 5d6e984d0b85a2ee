// Pictures on a real display: run by CTest under Xvfb with ORBEL_HOST=sdl (tests/extra_tests.cmake).
// The library loads a picture, draws it and flips; a screenshot of the X root window (xwd) must show
// its pixels -- in a window at the picture's own size, and in full screen scaled to fit the display
// with the aspect kept -- on the DirectDraw road and on the Direct3D road. Elsewhere (headless runs)
// the tests skip themselves.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "include/orbel.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "orbel/core/library.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel {
namespace {

// The picture: four 32 x 32 quadrants of distinct colours (0x00RRGGBB).
constexpr int kSide = 64;
constexpr uint32_t kQuadrant[4] = {0xE02010, 0x10C040, 0x2040F0, 0xF0E020};  // TL, TR, BL, BR
constexpr uint32_t kBackground = 0x203040;

uint32_t QuadrantAt(int x, int y) { return kQuadrant[(y >= kSide / 2 ? 2 : 0) + (x >= kSide / 2 ? 1 : 0)]; }

bool WritePicture(const std::string& path) {
  std::vector<uint8_t> rgb(kSide * kSide * 3);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const uint32_t c = QuadrantAt(x, y);
      uint8_t* p = &rgb[(y * kSide + x) * 3];
      p[0] = static_cast<uint8_t>(c >> 16), p[1] = static_cast<uint8_t>(c >> 8), p[2] = static_cast<uint8_t>(c);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kSide;
  image.height = kSide;
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

// A screenshot of the X root window, read from xwd's output, and what a test waits to see in one.
using Screenshot = testing::XwdPicture;
using Shown = std::function<bool(const Screenshot&)>;

// Writes the screenshot beside the build, for a look after a failure.
void SaveScreenshot(const Screenshot& s, const char* name) {
  std::vector<uint8_t> rgb(static_cast<size_t>(s.width) * s.height * 3);
  for (size_t i = 0; i < s.pixels.size(); ++i) {
    rgb[i * 3] = static_cast<uint8_t>(s.pixels[i] >> 16);
    rgb[i * 3 + 1] = static_cast<uint8_t>(s.pixels[i] >> 8);
    rgb[i * 3 + 2] = static_cast<uint8_t>(s.pixels[i]);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(s.width);
  image.height = static_cast<png_uint_32>(s.height);
  image.format = PNG_FORMAT_RGB;
  const std::string path = std::string(ORBEL_BINARY_DIR) + "/" + name + ".png";
  png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

// Where the picture's top-left corner is in the screenshot when shown `scale` times its size (every
// quadrant sampled at its centre), or {-1, -1}.
std::pair<int, int> FindPicture(const Screenshot& s, int scale) {
  const int side = kSide * scale;
  for (int y = 0; y + side <= s.height; ++y) {
    for (int x = 0; x + side <= s.width; ++x) {
      if (s.At(x, y) != kQuadrant[0]) continue;
      bool all = true;
      for (int q = 0; q < 4 && all; ++q) {
        const int cx = x + (q & 1 ? side * 3 / 4 : side / 4), cy = y + (q & 2 ? side * 3 / 4 : side / 4);
        all = s.At(cx, cy) == kQuadrant[q];
      }
      // The corner itself: the pixel left of and above the picture is not part of it.
      if (all && (x == 0 || s.At(x - 1, y) != kQuadrant[0]) && (y == 0 || s.At(x, y - 1) != kQuadrant[0]))
        return {x, y};
    }
  }
  return {-1, -1};
}

class RealDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* host = std::getenv("ORBEL_HOST");
    if (std::getenv("ORBEL_REAL_DISPLAY_TEST") == nullptr || host == nullptr || std::string(host) != "sdl") {
      GTEST_SKIP() << "runs under Xvfb with ORBEL_HOST=sdl and ORBEL_REAL_DISPLAY_TEST=1";
    }
    work_ = std::make_unique<testing::ScopedWorkDir>();
    ASSERT_TRUE(WritePicture("picture.png"));
  }
  void TearDown() override {
    if (started_) {
      EXPECT_EQ(EndLibrarySystem(), 0);
    }
  }

  // Starts the library (window mode 1, or full screen) and shows the picture at (x, y) until a
  // screenshot passes `shown`, the last one in *shot.
  void ShowPicture(int windowMode, int x, int y, const Shown& shown, Screenshot* shot) {
    // The DirectDraw road is that of a machine without Direct3D.
    plat::test::RefuseDirect3D(!direct3D_);
    // A title (and so a window class) of this process alone: another run of these tests at the same
    // time must not look like a second copy of this program.
    SetMainWindowTitle(("OrbelRealDisplay" + std::to_string(getpid())).c_str());
    ChangeWindowMode(windowMode);
    ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
    const int started = InitLibrarySystem();
    ASSERT_EQ(started, 0) << testing::ReadFileText("Log.txt");
    started_ = true;
    const int graph = LoadGraphFile("picture.png", direct3D_ ? 0 : 1);
    ASSERT_NE(graph, -1);
    // The road asked for is the road taken, also when the full screen lost the focus during start-up.
    ASSERT_EQ(GetGraphRecord(graph)->format.texture, direct3D_);
    DrawUntilShown(graph, x, y, shown, shot);
  }

  // Draws the picture at (x, y) over the background on the back screen and flips, pumping, until a
  // screenshot of the root window passes `shown`: the X server maps and draws in its own time. Fails
  // the test when a draw fails or the wait's time runs out.
  void DrawUntilShown(int graph, int x, int y, const Shown& shown, Screenshot* shot) {
    SelectDrawScreen(-2);
    bool drawn = true;
    const bool seen = testing::WaitUntil([&] {
      DrawRectangle(0, 0, 640, 480, MakeColor(0x20, 0x30, 0x40), 1);
      drawn = DrawGraphAt(x, y, graph, 0) == 0 && FlipScreen() == 0;
      PumpWindowMessage();
      return !drawn || (testing::ReadXwd("xwd -root -silent 2>/dev/null", shot) && shown(*shot));
    });
    ASSERT_TRUE(drawn) << "a draw or flip failed";
    if (!seen && shot->pixels.empty()) FAIL() << "xwd gave no usable picture (is x11-apps installed?)";
    if (!seen) SaveScreenshot(*shot, "real_display_last");
    ASSERT_TRUE(seen) << "the screen never showed the picture (the last screenshot is real_display_last.png)";
  }

  void PictureInAWindowShowsItsPixels();
  void FullScreenShowsThePictureScaledToFit();

  std::unique_ptr<testing::ScopedWorkDir> work_;
  bool started_ = false;
  int direct3D_ = 0;  // 1: graphs are Direct3D textures; 0: the stand-in refuses Direct3D
};

void RealDisplay::PictureInAWindowShowsItsPixels() {
  Screenshot shot;
  ShowPicture(1, 100, 80, [](const Screenshot& s) { return FindPicture(s, 1).first != -1; }, &shot);
  if (HasFatalFailure()) return;
  const auto [x, y] = FindPicture(shot, 1);
  // Every pixel of the picture, and the background around it, as drawn.
  int wrong = 0;
  for (int py = 0; py < kSide; ++py) {
    for (int px = 0; px < kSide; ++px) wrong += shot.At(x + px, y + py) != QuadrantAt(px, py) ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(shot.At(x - 1, y + 10), kBackground);
  EXPECT_EQ(shot.At(x + kSide, y + 10), kBackground);
  if (HasFailure()) SaveScreenshot(shot, "real_display_window");
}

// Where 640 x 480 shows on a screen of `s`'s size: scaled by the largest factor that fits, centred.
struct FullScreenPlace {
  explicit FullScreenPlace(const Screenshot& s) : scale(std::min(s.width / 640.0, s.height / 480.0)) {
    left = (s.width - static_cast<int>(640 * scale)) / 2;
    top = (s.height - static_cast<int>(480 * scale)) / 2;
  }
  uint32_t At(const Screenshot& s, int x, int y) const {
    return s.At(left + static_cast<int>(x * scale), top + static_cast<int>(y * scale));
  }
  double scale;
  int left = 0;
  int top = 0;
};

void RealDisplay::FullScreenShowsThePictureScaledToFit() {
  Screenshot shot;
  ShowPicture(0, 0, 0, [](const Screenshot& s) { return FullScreenPlace(s).At(s, 16, 16) == kQuadrant[0]; }, &shot);
  if (HasFatalFailure()) return;
  const FullScreenPlace place(shot);
  ASSERT_GT(place.scale, 1.0) << "run with a screen larger than 640 x 480";
  // Sample the centre of every quadrant and of the background, scaled.
  for (int q = 0; q < 4; ++q) {
    const int px = q & 1 ? 48 : 16, py = q & 2 ? 48 : 16;
    EXPECT_EQ(place.At(shot, px, py), kQuadrant[q]) << q;
  }
  EXPECT_EQ(place.At(shot, 320, 240), kBackground);
  EXPECT_EQ(place.At(shot, 639, 479), kBackground);
  // The picture's right edge lands where 64 screen pixels end.
  EXPECT_EQ(place.At(shot, 63, 20), kQuadrant[1]);
  EXPECT_EQ(place.At(shot, 65, 20), kBackground);
  // Outside the picture's aspect the display is black (a bar), when the shapes differ.
  if (place.top > 0) {
    EXPECT_EQ(shot.At(shot.width / 2, place.top / 2), 0u);
  }
  if (place.left > 0) {
    EXPECT_EQ(shot.At(place.left / 2, shot.height / 2), 0u);
  }
  if (HasFailure()) SaveScreenshot(shot, "real_display_full_screen");

  // Back to a window: the display is the desktop again and the picture shows at its own size.
  ASSERT_EQ(ChangeWindowMode(1), 0);
  const int graph = LoadGraphFile("picture.png", direct3D_ ? 0 : 1);
  ASSERT_NE(graph, -1);
  Screenshot windowed;
  DrawUntilShown(graph, 20, 20, [](const Screenshot& s) { return FindPicture(s, 1).first != -1; }, &windowed);
  if (HasFatalFailure()) return;  // back in a window, the picture never showed unscaled
  EXPECT_EQ(FindPicture(windowed, 2).first, -1) << "back in a window, the picture is no longer scaled";
  if (HasFailure()) SaveScreenshot(windowed, "real_display_back_to_window");
}

TEST_F(RealDisplay, PictureInAWindowShowsItsPixels) { PictureInAWindowShowsItsPixels(); }
TEST_F(RealDisplay, FullScreenShowsThePictureScaledToFit) { FullScreenShowsThePictureScaledToFit(); }
TEST_F(RealDisplay, PictureInAWindowShowsItsPixelsOnDirect3D) {
  direct3D_ = 1;
  PictureInAWindowShowsItsPixels();
}
TEST_F(RealDisplay, FullScreenShowsThePictureScaledToFitOnDirect3D) {
  direct3D_ = 1;
  FullScreenShowsThePictureScaledToFit();
}

}  // namespace
}  // namespace orbel

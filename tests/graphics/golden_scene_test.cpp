// End to end through the public interface: a 640 x 480 screen at 16 and 32 bits, on the DirectDraw road
// and in software rendering; PNG pictures with alpha and a JPEG loaded from plain files and from a QVA
// archive; every blend mode at several parameters, brightness, stretched, mirrored and part draws,
// boxes filled and framed; then a flip. The captured client area must equal the committed golden
// picture of that road and depth, and a few pixels are checked against the blend formulas directly.
// Set ORBEL_UPDATE_GOLDEN=1 to rewrite the golden pictures after an intended change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "graph_test_fixture.h"
#include "orbel.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/file/qva_writer.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"
#include "platform/host/host.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;
using testing::Picture;

// 64 x 64, colour from the position, alpha rising left to right.
Picture AlphaPicture() {
  Picture p;
  p.width = 64;
  p.height = 64;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const uint32_t a = static_cast<uint32_t>(x * 4 + 3);
      p.pixels.push_back(a << 24 | static_cast<uint32_t>(x * 4) << 16 | static_cast<uint32_t>(y * 4) << 8 | 0xC0);
    }
  }
  return p;
}

// 32 x 32 opaque: four flat quadrants, one of them black (the transparent colour).
Picture KeyedPicture() {
  Picture p;
  p.width = 32;
  p.height = 32;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const uint32_t c = y < 16 ? (x < 16 ? 0xE03010u : 0x20C040u) : (x < 16 ? 0x000000u : 0x3060F0u);
      p.pixels.push_back(0xFF000000u | c);
    }
  }
  return p;
}

// 48 x 32 flat blocks of 8 x 8 (JPEG keeps flat blocks nearly exact; the decoder is deterministic).
Picture JpegPicture() {
  Picture p;
  p.width = 48;
  p.height = 32;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 48; ++x) {
      const uint32_t i = static_cast<uint32_t>((x / 8) + (y / 8) * 6);
      p.pixels.push_back(0xFF000000u | (i * 37 % 256) << 16 | (i * 91 % 256) << 8 | (i * 53 % 256));
    }
  }
  return p;
}

class GoldenSceneTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    testing::WritePng("alpha.png", AlphaPicture(), true);
    testing::WritePng("keyed.png", KeyedPicture(), false);
    testing::WriteJpeg("blocks.jpg", JpegPicture());
    // The same pictures packed into Arc.QVA; the directory itself is removed, so "Arc/..." is read
    // from the archive.
    std::filesystem::create_directory("Arc");
    std::filesystem::copy_file("alpha.png", "Arc/alpha.png");
    std::filesystem::copy_file("blocks.jpg", "Arc/blocks.jpg");
    ASSERT_EQ(WriteQvaArchiveFromDirectory("Arc", "Arc.QVA", QvaWriterOptions{}), 0);
    std::filesystem::remove_all("Arc");
  }

  std::string RoadName() const {
    return std::string(GetParam().software ? "software" : "ddraw") + std::to_string(GetParam().depth);
  }
};

void DrawScene(int alpha, int keyed, int blocks, int arcAlpha, int arcBlocks) {
  ::SelectDrawScreen(kDrawScreenBack);
  ::DrawRectangle(0, 0, 640, 480, ::MakeColor(40, 60, 90), 1);
  // A striped band under the blend rows, so that every mode has something to mix with.
  for (int x = 0; x < 640; x += 16) ::DrawRectangle(x, 0, x + 8, 200, ::MakeColor(200, 180, 40), 1);

  // Rows 1-3: every software blend mode at three parameters, the keyed picture with transparency.
  const int modes[] = {kBlendNone, kBlendAlpha, kBlendAdd, kBlendSub, kBlendMul, kBlendInvert, kBlendMulAlpha};
  const int params[] = {64, 128, 255};
  for (int row = 0; row < 3; ++row) {
    for (int m = 0; m < 7; ++m) {
      SetBlendState(modes[m], params[row]);
      ::DrawGraphAt(8 + m * 40, 8 + row * 40, keyed, 1);
      ::DrawGraphAt(300 + m * 40, 8 + row * 40, blocks, 0);
    }
  }
  SetBlendState(kBlendNone, 0);

  // The alpha picture plain, blended, added, and from the archive.
  ::DrawGraphAt(8, 130, alpha, 1);
  SetBlendState(kBlendAlpha, 128);
  ::DrawGraphAt(80, 130, alpha, 1);
  SetBlendState(kBlendAdd, 200);
  ::DrawGraphAt(152, 130, alpha, 1);
  SetBlendState(kBlendNone, 0);
  ::DrawGraphAt(224, 130, arcAlpha, 1);
  ::DrawGraphAt(300, 130, arcBlocks, 0);

  // Brightness.
  ::SetDrawBrightness(255, 128, 64);
  ::DrawGraphAt(360, 130, keyed, 1);
  ::DrawGraphAt(400, 130, alpha, 1);
  ::DrawGraphAt(470, 130, blocks, 0);
  ::SetDrawBrightness(255, 255, 255);

  // Stretched, mirrored, in part.
  ::DrawStretchGraph(8, 210, 136, 338, alpha, 1);
  ::DrawStretchGraph(150, 210, 198, 290, keyed, 1);
  ::DrawMirroredGraph(210, 210, keyed, 1);
  ::DrawStretchGraph(300, 290, 252, 210, blocks, 0);  // both axes reversed
  ::DrawGraphPart(320, 210, 8, 8, 24, 16, blocks, 0, 0);
  ::DrawGraphPart(360, 210, 8, 8, 24, 16, blocks, 0, 1);
  ::DrawStretchGraphPart(400, 210, 460, 250, 16, 0, 16, 16, blocks, 0);
  ::DrawStretchGraphPart(540, 250, 480, 210, 0, 0, 32, 32, alpha, 1);

  // Boxes: filled plain and blended, framed plain and bright.
  ::DrawRectangle(8, 350, 108, 400, ::MakeColor(250, 250, 250), 1);
  SetBlendState(kBlendAlpha, 100);
  ::DrawRectangle(60, 370, 160, 430, ::MakeColor(255, 0, 0), 1);
  SetBlendState(kBlendAdd, 180);
  ::DrawRectangle(120, 350, 220, 420, ::MakeColor(0, 90, 255), 1);
  SetBlendState(kBlendNone, 0);
  ::DrawRectangle(240, 350, 340, 430, ::MakeColor(255, 255, 0), 0);
  ::SetDrawBrightness(128, 255, 128);
  ::DrawRectangle(250, 360, 330, 420, ::MakeColor(255, 255, 255), 0);
  ::SetDrawBrightness(255, 255, 255);
  ::FlipScreen();
}

TEST_P(GoldenSceneTest, TheFlippedSceneMatchesItsGoldenPicture) {
  ASSERT_EQ(Start(GetParam()), 0);
  const int alpha = ::LoadGraphFile("alpha.png", 1);
  const int keyed = ::LoadGraphFile("keyed.png", 1);
  const int blocks = ::LoadGraphFile("blocks.jpg", 1);
  const int arcAlpha = ::LoadGraphFile("Arc/alpha.png", 1);
  const int arcBlocks = ::LoadGraphFile("Arc/blocks.jpg", 1);
  for (int g : {alpha, keyed, blocks, arcAlpha, arcBlocks}) ASSERT_NE(g, -1);
  DrawScene(alpha, keyed, blocks, arcAlpha, arcBlocks);
  const Picture shot = testing::CaptureClient();
  ASSERT_EQ(shot.width, 640);
  ASSERT_EQ(shot.height, 480);

  // The formulas, where they are exact: at 32 bits a plain pixel keeps its colour, a plain box its
  // colour, and blend mode 1 mixes d + p x (s - d) / 255 (truncated toward zero) per channel.
  if (GetParam().depth == 32 && !GetParam().direct3D) {
    EXPECT_EQ(shot.at(8 + 2, 8 + 2), 0xE03010u);      // mode 0, keyed picture's red quadrant
    EXPECT_EQ(shot.at(8 + 2, 8 + 20), 0x28 << 16 | 0x3C << 8 | 0x5A) << "transparent quadrant shows the band";
    EXPECT_EQ(shot.at(20, 360), 0xFAFAFAu);
    auto mix = [](uint32_t d, uint32_t s, int p) {
      uint32_t out = 0;
      for (int shift : {0, 8, 16}) {
        const int dc = static_cast<int>((d >> shift) & 0xFF);
        const int sc = static_cast<int>((s >> shift) & 0xFF);
        out |= static_cast<uint32_t>(dc + p * (sc - dc) / 255) << shift;
      }
      return out;
    };
    // Mode 1 at 64 over the yellow stripe (x 48-55 of the band) and at 128 over the blue background.
    EXPECT_EQ(shot.at(48 + 2, 8 + 2), mix(0xC8B428, 0xE03010, 64));
    EXPECT_EQ(shot.at(56 + 2, 48 + 2), mix(0x283C5A, 0xE03010, 128));
    // The filled alpha box (mode 1, 100) over the white box.
    EXPECT_EQ(shot.at(70, 380), mix(0xFAFAFA, 0xFF0000, 100));
  }

  // The Direct3D road draws the same scene as the DirectDraw road: within the blend units' rounding at
  // 32 bits; at 16 bits opaque pictures are 1-5-5-5 textures, so green loses its lowest bit as well.
  if (GetParam().direct3D) {
    testing::ExpectMatchesGolden(shot, "scene_" + RoadName(), GetParam().depth == 32 ? 2 : 10);
  } else {
    testing::ExpectMatchesGolden(shot, "scene_" + RoadName());
  }

  // Ending leaves no block behind.
  ASSERT_EQ(EndLibraryLocked(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Roads, GoldenSceneTest, testing::AllRoads(), testing::RoadTestName);

}  // namespace
}  // namespace orbel

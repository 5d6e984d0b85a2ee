// The DirectDraw road with Direct3D refused: the copy between surfaces measured at a display change
// (the virtual clock takes BltFast; the real clock takes the faster of warm, repeated timings), and
// blended draws that lock the target and source in place giving exactly the pixels of the round trip
// through the work surfaces, with either copy method, at 16 and 32 bits.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/display_mode.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/mem_img.h"
#include "platform/ddraw/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;
using testing::Picture;

constexpr int kSide = 24;

// An opaque colour ramp with a checker of black (the transparent colour) pixels.
Picture Keyed() {
  Picture p{kSide, kSide, {}};
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const bool hole = (x / 3 + y / 3) % 4 == 0;
      p.pixels.push_back(hole ? 0xFF000000u : 0xFF000000u | (x * 10u) << 16 | (y * 10u) << 8 | 0x90u);
    }
  }
  return p;
}

// Every alpha from clear to opaque, over a colour ramp.
Picture Glass() {
  Picture p{kSide, kSide, {}};
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const uint32_t a = static_cast<uint32_t>((x + y * kSide) * 255 / (kSide * kSide - 1));
      p.pixels.push_back(a << 24 | (255u - x * 9u) << 16 | (y * 9u) << 8 | (x * 5u + y * 4u));
    }
  }
  return p;
}

// The raw bytes of a rectangle of a surface, row by row.
std::vector<uint8_t> ReadRect(plat::IDirectDrawSurface7* surface, const plat::RECT& r) {
  const plat::test::SurfacePixels all = plat::test::ReadSurface(surface);
  const int bytes = all.bitsPerPixel / 8;
  std::vector<uint8_t> out;
  for (int y = r.top; y < r.bottom; ++y) {
    const uint8_t* row = all.bytes.data() + static_cast<size_t>(y) * all.pitch + static_cast<size_t>(r.left) * bytes;
    out.insert(out.end(), row, row + static_cast<size_t>(r.right - r.left) * bytes);
  }
  return out;
}

class InPlaceBlendTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordDisplayCalls(true);
    testing::WritePng("keyed.png", Keyed(), false);
    testing::WritePng("glass.png", Glass(), true);
    ASSERT_EQ(Start(GraphRoad{0, GetParam(), 0}), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    ASSERT_NE(gScreen.targetSurface, nullptr);
    ASSERT_EQ(gScreen.colorType == kScreenColorX1R5G5B5 || gScreen.colorType == kScreenColorOther, false);
  }

  // Fills a rectangle of the target with noise, every byte of each pixel included.
  void Scatter(plat::RECT rect, uint32_t seed) {
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(gScreen.targetSurface->Lock(&rect, &desc, plat::DDLOCK_WAIT, nullptr), plat::DD_OK);
    std::mt19937 rng(seed);
    const int rowBytes = (rect.right - rect.left) * GetParam() / 8;
    for (int y = 0; y < rect.bottom - rect.top; ++y) {
      auto* row = static_cast<uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
      for (int x = 0; x < rowBytes; ++x) row[x] = static_cast<uint8_t>(rng());
    }
    gScreen.targetSurface->Unlock(&rect);
  }

  // The draw as the road took it before surfaces were read in place: the target's rectangle copied to
  // the work surface, the source (a surface) to work surface 2, the blend drawn there, and the work
  // surface copied back, each copy with the measured method.
  void DrawThroughWork(const plat::RECT& at, int graph, int transparent, uint32_t boxColor) {
    const int w = at.right - at.left;
    const int h = at.bottom - at.top;
    const int type = GetParam() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
    plat::RECT screen = at;
    ASSERT_EQ(BlitSurfaceRect(gScreen.workSurface, gScreen.targetSurface, 0, 0, &screen, -1), 0);
    plat::RECT workRect = {0, 0, w, h};
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(gScreen.workSurface->Lock(&workRect, &desc, plat::DDLOCK_WAIT, nullptr), plat::DD_OK);
    MemImg dest{};
    ASSERT_EQ(InitializeMemImg(&dest, w, h, static_cast<int>(desc.lPitch), 0, type, 0, 0, 0, desc.lpSurface), 0);
    const plat::RECT savedArea = gDrawState.drawArea;
    gDrawState.drawArea = {0, 0, w, h};
    if (graph == -1) {
      const plat::RECT box = {0, 0, w, h};
      DrawBoxMemImg(&dest, &box, boxColor);
    } else {
      const Surface2DRecord* r = GetSurface2DRecord(GetGraphRecord(graph)->parts[0]);
      SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
      ASSERT_EQ(r->offsetX, 0);
      MemImg source{};
      plat::RECT sourceRect = {0, 0, r->width, r->height};
      const bool surface = !d->memImgUse;
      if (surface) {
        plat::RECT whole = sourceRect;
        ASSERT_EQ(BlitSurfaceRect(gScreen.workSurface2, d->surface, 0, 0, &whole, -1), 0);
        plat::DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof(sd);
        ASSERT_EQ(gScreen.workSurface2->Lock(&sourceRect, &sd, plat::DDLOCK_WAIT, nullptr), plat::DD_OK);
        const uint32_t rgb = d->transColor;
        const uint32_t key = GetFormatColorValue(GetMemImgColorData(type, 0, 0), (rgb >> 16) & 0xFF,
                                                 (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
        ASSERT_EQ(InitializeMemImg(&source, r->width, r->height, static_cast<int>(sd.lPitch), key, type, 0, 0, 0,
                                   sd.lpSurface),
                  0);
      }
      DrawMemImg(&dest, surface ? &source : &d->image, 0, 0, transparent, nullptr);
      TerminateMemImg(&source);
      if (surface) gScreen.workSurface2->Unlock(&sourceRect);
    }
    gDrawState.drawArea = savedArea;
    TerminateMemImg(&dest);
    gScreen.workSurface->Unlock(&workRect);
    ASSERT_EQ(BlitSurfaceRect(gScreen.targetSurface, gScreen.workSurface, at.left, at.top, &workRect, -1), 0);
  }
};

struct BlendCase {
  const char* name;
  int mode;
  int param;
  const char* picture;  // nullptr: a filled box
  int transparent;
};

TEST_P(InPlaceBlendTest, BlendedDrawsInPlaceMatchTheWorkSurfaceRoundTrip) {
  const int keyed = LoadGraphFile("keyed.png", 1);
  const int glass = LoadGraphFile("glass.png", 1);
  ASSERT_NE(keyed, -1);
  ASSERT_NE(glass, -1);
  // The keyed picture is a DirectDraw surface (read through work surface 2 on the old road); the
  // glass one keeps its alpha in a memory image.
  ASSERT_EQ(GetSurfaceDataRecord(GetSurface2DRecord(GetGraphRecord(keyed)->parts[0])->surfaceData)->memImgUse, 0u);
  const BlendCase cases[] = {
      {"alpha 128, keyed", kBlendAlpha, 128, "keyed", 1},   {"alpha 77, opaque", kBlendAlpha, 77, "keyed", 0},
      {"add 200, keyed", kBlendAdd, 200, "keyed", 1},       {"sub 160, opaque", kBlendSub, 160, "keyed", 0},
      {"mul, keyed", kBlendMul, 255, "keyed", 1},           {"invert 90, keyed", kBlendInvert, 90, "keyed", 1},
      {"mul-alpha 140, opaque", kBlendMulAlpha, 140, "keyed", 0},
      {"none, alpha picture", kBlendNone, 0, "glass", 1},   {"alpha 255, alpha picture", kBlendAlpha, 255, "glass", 1},
      {"alpha 100, alpha picture", kBlendAlpha, 100, "glass", 1},
      {"add 255, alpha picture", kBlendAdd, 255, "glass", 1},
      {"sub 90, alpha picture", kBlendSub, 90, "glass", 1}, {"alpha 128 box", kBlendAlpha, 128, nullptr, 0},
      {"add 99 box", kBlendAdd, 99, nullptr, 0},            {"sub 180 box", kBlendSub, 180, nullptr, 0},
      {"mul box", kBlendMul, 255, nullptr, 0},
  };
  const uint32_t boxColor = MakeColor(200, 90, 40);
  for (const uint32_t method : {kCopyMethodBltFast, kCopyMethodBitBlt}) {
    gScreen.copyMethod = method;
    uint32_t seed = 1;
    for (const BlendCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (method == kCopyMethodBitBlt ? ", BitBlt" : ", BltFast"));
      const int graph = c.picture == nullptr ? -1 : std::string(c.picture) == "keyed" ? keyed : glass;
      const plat::RECT at = {37, 29, 37 + kSide, 29 + kSide};
      SetBlendState(c.mode, c.param);

      Scatter(at, seed);
      const int copies = plat::test::DisplayCallCount("BltFast") + plat::test::DisplayCallCount("GetDC");
      if (graph == -1) {
        ASSERT_EQ(DrawRectangle(at.left, at.top, at.right, at.bottom, boxColor, 1), 0);
      } else {
        ASSERT_EQ(DrawGraphAt(at.left, at.top, graph, c.transparent), 0);
      }
      // Locked in place: no copy to or from a work surface.
      EXPECT_EQ(plat::test::DisplayCallCount("BltFast") + plat::test::DisplayCallCount("GetDC"), copies);
      const std::vector<uint8_t> inPlace = ReadRect(gScreen.targetSurface, at);

      Scatter(at, seed);
      DrawThroughWork(at, graph, c.transparent, boxColor);
      const std::vector<uint8_t> roundTrip = ReadRect(gScreen.targetSurface, at);
      const std::vector<uint8_t> background = [&] {
        Scatter(at, seed);
        return ReadRect(gScreen.targetSurface, at);
      }();
      EXPECT_NE(inPlace, background) << "the draw changed nothing";
      ASSERT_EQ(inPlace.size(), roundTrip.size());
      for (size_t i = 0; i < inPlace.size(); ++i) {
        if (inPlace[i] != roundTrip[i]) {
          ADD_FAILURE() << "first differing byte " << i << ": in place " << int(inPlace[i]) << ", round trip "
                        << int(roundTrip[i]);
          break;
        }
      }
      ++seed;
    }
  }
  SetBlendState(kBlendNone, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, InPlaceBlendTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// ---- The copy method --------------------------------------------------------------------------------

class ScreenCopyMethodTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordDisplayCalls(true);
  }
  // The two times of the timing line that follows the last choice line, and the method that line named.
  bool LastMeasurement(std::string* chosen, double* bitBlt, double* bltFast) {
    const std::string log = LogText();
    const std::string head = "サーフェス間転送には ";
    const size_t at = log.rfind(head);
    if (at == std::string::npos) return false;
    const size_t end = log.find(" を使用します\r\n", at);
    if (end == std::string::npos) return false;
    *chosen = log.substr(at + head.size(), end - at - head.size());
    const size_t line = log.find("\r\n", end) + 2;
    const std::string timing = log.substr(line, log.find("\r\n", line) - line);
    const std::string bit = "BitBlt:", fast = "μs   BltFast:", unit = "μs";
    const size_t from = timing.find(bit);
    if (from == std::string::npos) return false;
    const std::string tail = timing.substr(from);
    const size_t mid = tail.find(fast);
    if (mid == std::string::npos || tail.size() < unit.size() ||
        tail.compare(tail.size() - unit.size(), unit.size(), unit) != 0) {
      return false;
    }
    *bitBlt = std::stod(tail.substr(bit.size(), mid - bit.size()));
    *bltFast = std::stod(tail.substr(mid + fast.size(), tail.size() - unit.size() - mid - fast.size()));
    return true;
  }
};

// The virtual clock's times tie: the direct copy is taken, and the round trip of a converting display
// then copies with BltFast, never through a GDI device context.
TEST_F(ScreenCopyMethodTest, TheVirtualClockTakesTheDirectCopy) {
  for (const bool fiveFiveFive : {false, true}) {
    SCOPED_TRACE(fiveFiveFive ? "5-5-5" : "5-6-5");
    plat::test::SetDisplay16BitLayout555(fiveFiveFive);
    ASSERT_EQ(Start(GraphRoad{0, 16, 0}), 0);
    EXPECT_EQ(gScreen.copyMethod, kCopyMethodBltFast);
    std::string chosen;
    double bitBlt = -1;
    double bltFast = -1;
    ASSERT_TRUE(LastMeasurement(&chosen, &bitBlt, &bltFast)) << LogText();
    EXPECT_EQ(chosen, "BltFast");
    EXPECT_EQ(bitBlt, bltFast);

    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    const int blits = plat::test::DisplayCallCount("BltFast");
    const int dcs = plat::test::DisplayCallCount("GetDC");
    SetBlendState(kBlendAlpha, 128);
    ASSERT_EQ(DrawRectangle(10, 10, 30, 30, MakeColor(255, 0, 0), 1), 0);
    SetBlendState(kBlendNone, 0);
    EXPECT_EQ(plat::test::DisplayCallCount("GetDC"), dcs);
    // Through the work surface and back on the converting display only.
    EXPECT_EQ(plat::test::DisplayCallCount("BltFast") - blits, fiveFiveFive ? 2 : 0);
    EndLibrarySystem();
  }
  plat::test::SetDisplay16BitLayout555(false);
}

// On the real clock both copies are timed warm over several rounds, and the faster one is taken
// (BitBlt on a tie); the log's timing line gives the times the choice was made from.
TEST_F(ScreenCopyMethodTest, TheRealClockTakesTheFasterOfWarmRepeatedTimings) {
  ASSERT_EQ(Start(GraphRoad{0, 32, 0}), 0);
  const int blits = plat::test::DisplayCallCount("BltFast");
  const int dcs = plat::test::DisplayCallCount("GetDC");
  const uint32_t now = plat::timeGetTime();
  plat::test::UseRealClock();
  const int result = MeasureScreenCopyMethod();
  plat::test::UseVirtualClock(now + 1);
  ASSERT_EQ(result, 0);
  // A warm-up pair and at least two timed pairs of each: two copies per pair, two device contexts per
  // GDI pair.
  EXPECT_GE(plat::test::DisplayCallCount("BltFast") - blits, 2 * 3);
  EXPECT_GE(plat::test::DisplayCallCount("GetDC") - dcs, 2 * 3);
  std::string chosen;
  double bitBlt = -1;
  double bltFast = -1;
  ASSERT_TRUE(LastMeasurement(&chosen, &bitBlt, &bltFast)) << LogText();
  EXPECT_GT(bitBlt + bltFast, 0);
  // The line rounds to whole microseconds: equal figures may hide either order.
  if (bitBlt != bltFast) {
    EXPECT_EQ(chosen, bitBlt < bltFast ? "BitBlt" : "BltFast") << bitBlt << " / " << bltFast;
  }
  EXPECT_EQ(gScreen.copyMethod, chosen == "BitBlt" ? kCopyMethodBitBlt : kCopyMethodBltFast);
}

}  // namespace
}  // namespace orbel

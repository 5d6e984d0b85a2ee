// Helpers of the graph tests: the library started headless in window mode on either road (DirectDraw
// surfaces, or software rendering), pictures written as PNG and JPEG files, and pixel reads of the
// back screen and of graphs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "orbel/image/color_data.h"
#include "test_support.h"

namespace orbel::testing {

struct GraphRoad {
  int software;  // 1: software rendering (memory-image screens)
  int depth;     // 16 or 32
  int direct3D = 0;  // hardware rendering: 1 graphs are Direct3D textures; 0 the stand-in refuses Direct3D
};

// The six roads the road tests run on, and their names in test names ("Software16", ...).
inline auto AllRoads() {
  return ::testing::Values(GraphRoad{0, 16, 1}, GraphRoad{0, 32, 1}, GraphRoad{0, 16, 0}, GraphRoad{0, 32, 0},
                           GraphRoad{1, 16, 0}, GraphRoad{1, 32, 0});
}
inline std::string RoadTestName(const ::testing::TestParamInfo<GraphRoad>& info) {
  const char* name = info.param.software ? "Software" : info.param.direct3D ? "Direct3D" : "DirectDraw";
  return std::string(name) + std::to_string(info.param.depth);
}

// The library started in window mode at 640 x 480 with the road's depth.
class GraphLibraryTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts the library; 0 or the start-up result.
  int Start(GraphRoad road);
  std::string LogText() const;

  ScopedWorkDir work_;
  bool started_ = false;
};

// One pixel of an RGBA picture, 0xAARRGGBB.
using Rgba = uint32_t;
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // rows top-down
  Rgba at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Writes a PNG (with alpha when `alpha`) or a baseline JPEG (quality 100) of the picture.
void WritePng(const std::string& path, const Picture& picture, bool alpha);
void WriteJpeg(const std::string& path, const Picture& picture);
// Writes an 8-bit palette PNG of the picture's colours (at most 256, in order of first use).
void WritePalettePng(const std::string& path, const Picture& picture);
// Reads a PNG back as 0xAARRGGBB pixels (empty on failure).
Picture ReadPng(const std::string& path);

// The screen pixel (x, y) of what the draw target holds as 0x00RRGGBB: the back memory image on the
// software road, the back surface on the DirectDraw road.
uint32_t BackPixel(int x, int y);
// A graph's pixel (memory image or surface) as 0x00RRGGBB.
uint32_t GraphPixel(int graph, int x, int y);

// The main window's client area as the host shows it, 0x00RRGGBB.
Picture CaptureClient();
// Compares `shot` with tests/graphics/golden/<name>.png; on a mismatch writes <build>/<name>_actual.png and
// names the first differing pixel. ORBEL_UPDATE_GOLDEN=1 rewrites the golden picture instead (and skips).
// With a tolerance, each channel may differ by that much (another road compared with a golden picture);
// such comparisons never rewrite the picture.
void ExpectMatchesGolden(const Picture& shot, const std::string& name, int tolerance = 0);

}  // namespace orbel::testing

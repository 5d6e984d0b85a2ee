// Helpers of the font tests: the library started headless in window mode on either road, a synthetic
// glyph source whose glyphs are exact, reads of the back screen, and captured frames written as PNG.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/gdi/glyph_source.h"
#include "test_support.h"

namespace orbel::testing {

struct FontRoad {
  int software;  // 1: software rendering (memory-image screens)
  int depth;     // 16 or 32
  int direct3D;  // hardware rendering: 1 on Direct3D (fonts cache glyphs in textures); 0 Direct3D refused
};

// "DirectDraw16", "Direct3D32", "Software16", ...: the road's name in test and file names.
std::string RoadName(const FontRoad& road);

// Glyphs drawn by a function of the character; every face has the metrics given.
class SyntheticGlyphs : public plat::GlyphSource {
 public:
  using Draw = std::function<void(char32_t, plat::GlyphPicture*)>;
  SyntheticGlyphs(plat::FaceMetrics metrics, Draw draw) : metrics_(metrics), draw_(std::move(draw)) {}
  std::shared_ptr<plat::GlyphFace> OpenFace(const plat::FontRequest& request) override;
  int renders = 0;  // glyph pictures asked for

 private:
  plat::FaceMetrics metrics_;
  Draw draw_;
};

// A face of cell height 20 (ascent 16) whose glyphs are w x h boxes of one coverage at (1, 14 above the
// baseline) with advance 12; the space is empty.
plat::FaceMetrics BoxMetrics(int maxWidth = 13);
SyntheticGlyphs::Draw BoxGlyph(int w, int h, uint8_t coverage);

// The library started at 640 x 480 in window mode on the road; the glyph source is reset at the end.
class FontLibraryTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  int Start(FontRoad road);
  // Ends the library and starts it afresh on another road; the glyph source stays.
  int Restart(FontRoad road);
  std::string LogText() const;
  // Fonts made from now on use `glyphs`.
  void UseGlyphs(SyntheticGlyphs* glyphs);

  ScopedWorkDir work_;
};

// The back screen pixel as 0x00RRGGBB.
uint32_t BackPixel(int x, int y);
// Writes the back screen's rectangle as an RGB PNG.
void WriteBackScreenPng(const std::string& path, int width, int height);

}  // namespace orbel::testing

// Where the GDI font stand-in gets its faces and glyph pictures. The system source (the host's fonts
// through fontconfig and FreeType) serves by default; tests install a synthetic source with chosen
// metrics and coverage so that everything drawn from it is exact.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

// What CreateFontA asks for.
struct FontRequest {
  int height = 0;      // > 0 cell height, < 0 em height, 0 default
  int weight = 400;    // 100-900
  bool italic = false;
  int charset = 1;     // 1 default, 128 Shift-JIS, 129 Korean
  std::string face;    // Shift-JIS; empty for the default face
};

struct FaceMetrics {
  int height = 0;        // ascent + descent
  int ascent = 0;
  int descent = 0;
  int averageWidth = 0;
  int maxWidth = 0;      // the widest advance
  int weight = 400;
};

// One glyph: coverage 0-255 a pixel, rows top-down (monochrome renderings use 0 and 255 only).
struct GlyphPicture {
  int width = 0;
  int height = 0;
  int originX = 0;  // left of the picture from the pen position
  int originY = 0;  // top of the picture above the baseline
  int advance = 0;
  std::vector<uint8_t> coverage;
};

class GlyphFace {
 public:
  virtual ~GlyphFace() = default;
  virtual FaceMetrics Metrics() const = 0;
  // Renders a Unicode character (0 or one the face lacks: its missing-glyph box). False on failure.
  virtual bool Render(char32_t character, bool antialias, GlyphPicture* out) = 0;
};

class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // A face for the request; null when none can be had.
  virtual std::shared_ptr<GlyphFace> OpenFace(const FontRequest& request) = 0;
};

// The host's fonts (fontconfig and FreeType). Faces are shared between fonts of the same request.
GlyphSource& SystemGlyphSource();

}  // namespace plat

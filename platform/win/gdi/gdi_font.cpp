// GDI font objects over a glyph source: metrics straight from the face, glyph bitmaps converted from
// coverage to GDI's row layouts and cached per font, so a glyph asked for again (the size query, then
// the bitmap) is rendered once.
#include "platform/win/gdi/gdi_font.h"

#include <cstring>
#include <map>
#include <utility>

#include "platform/host/text_encoding.h"
#include "platform/win/gdi/gdi_font_test_controls.h"
#include "platform/win/gdi/gdi_objects.h"
#include "platform/win/gdi/glyph_source.h"

namespace plat {

namespace {

struct FontObject : GdiObject {
  FontObject(FontRequest r, std::shared_ptr<GlyphFace> f)
      : GdiObject(GdiKind::Font), request(std::move(r)), face(std::move(f)) {}
  FontRequest request;
  std::shared_ptr<GlyphFace> face;
  std::map<std::pair<UINT, bool>, GlyphPicture> glyphs;  // (code, antialias)
};

GlyphSource* g_testSource = nullptr;

GlyphSource& CurrentSource() { return g_testSource != nullptr ? *g_testSource : SystemGlyphSource(); }

FontObject* SelectedFont(HDC dc) {
  if (dc == nullptr || dc->font == nullptr || dc->font->kind != GdiKind::Font) return nullptr;
  return static_cast<FontObject*>(dc->font);
}

const GlyphPicture* Glyph(FontObject* font, UINT code, bool antialias) {
  const auto key = std::make_pair(code, antialias);
  auto it = font->glyphs.find(key);
  if (it != font->glyphs.end()) return &it->second;
  const int codePage = font->request.charset == static_cast<int>(HANGEUL_CHARSET) ? 949 : 932;
  GlyphPicture picture;
  if (!font->face->Render(host::DecodeCodePageChar(codePage, code), antialias, &picture)) return nullptr;
  if (picture.coverage.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
    return nullptr;
  }
  return &font->glyphs.emplace(key, std::move(picture)).first->second;
}

uint32_t RowPitch(UINT format, int width) {
  const uint32_t bytes = format == GGO_BITMAP ? (static_cast<uint32_t>(width) + 7) / 8 : static_cast<uint32_t>(width);
  return (bytes + 3) & ~3u;
}

}  // namespace

HFONT CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD charset, DWORD, DWORD,
                  DWORD, DWORD, const char* face) {
  FontRequest request;
  request.height = height;
  request.weight = weight <= 0 ? 400 : weight;
  request.italic = italic != 0;
  request.charset = static_cast<int>(charset);
  if (face != nullptr) request.face.assign(face, strnlen(face, 31));
  std::shared_ptr<GlyphFace> glyphFace = CurrentSource().OpenFace(request);
  if (glyphFace == nullptr) return nullptr;
  return new FontObject(std::move(request), std::move(glyphFace));
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  FontObject* font = SelectedFont(dc);
  if (font == nullptr || metrics == nullptr) return 0;
  const FaceMetrics m = font->face->Metrics();
  std::memset(metrics, 0, sizeof(*metrics));
  metrics->tmHeight = m.height;
  metrics->tmAscent = m.ascent;
  metrics->tmDescent = m.descent;
  metrics->tmAveCharWidth = m.averageWidth;
  metrics->tmMaxCharWidth = m.maxWidth;
  metrics->tmWeight = m.weight;
  metrics->tmDigitizedAspectX = 96;
  metrics->tmDigitizedAspectY = 96;
  metrics->tmFirstChar = 0x20;
  metrics->tmLastChar = 0xFC;
  metrics->tmDefaultChar = 0x1F;
  metrics->tmBreakChar = 0x20;
  metrics->tmItalic = font->request.italic ? 1 : 0;
  metrics->tmPitchAndFamily = FIXED_PITCH;
  metrics->tmCharSet = static_cast<uint8_t>(font->request.charset);
  return 1;
}

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2*) {
  FontObject* font = SelectedFont(dc);
  if (font == nullptr || metrics == nullptr) return GDI_ERROR;
  if (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP) return GDI_ERROR;
  const GlyphPicture* glyph = Glyph(font, code, format == GGO_GRAY4_BITMAP);
  if (glyph == nullptr) return GDI_ERROR;

  // An empty glyph still has a 1 x 1 black box, as GDI reports it.
  const bool empty = glyph->width <= 0 || glyph->height <= 0;
  const int width = empty ? 1 : glyph->width;
  const int height = empty ? 1 : glyph->height;
  metrics->gmBlackBoxX = static_cast<UINT>(width);
  metrics->gmBlackBoxY = static_cast<UINT>(height);
  metrics->gmptGlyphOrigin = {empty ? 0 : glyph->originX, empty ? 0 : glyph->originY};
  metrics->gmCellIncX = static_cast<int16_t>(glyph->advance);
  metrics->gmCellIncY = 0;
  if (format == GGO_METRICS) return 0;

  const uint32_t pitch = RowPitch(format, width);
  const DWORD needed = pitch * static_cast<uint32_t>(height);
  if (buffer == nullptr || size == 0) return needed;
  if (size < needed) return GDI_ERROR;
  auto* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, needed);
  if (empty) return needed;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = glyph->coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* row = out + static_cast<size_t>(y) * pitch;
    for (int x = 0; x < width; ++x) {
      if (format == GGO_BITMAP) {
        if (in[x] >= 128) row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
      } else {
        row[x] = static_cast<uint8_t>((in[x] * 16 + 127) / 255);
      }
    }
  }
  return needed;
}

namespace test {

void SetGlyphSource(GlyphSource* source) { g_testSource = source; }

}  // namespace test

}  // namespace plat

// GDI fonts: CreateFontA, the text metrics of the font selected into a DC, and glyph bitmaps by
// GetGlyphOutlineA (1-bit rows, or gray levels 0-16), rows padded to 4 bytes. Faces and glyphs come
// from a glyph source (glyph_source.h): the system's fonts through FreeType, or a test's own.
// Font objects are deleted with DeleteObject and selected with SelectObject (gdi_dc.h, gdi_dib.h).
#pragma once

#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD SHIFTJIS_CHARSET = 128;
constexpr DWORD HANGEUL_CHARSET = 129;
constexpr DWORD NONANTIALIASED_QUALITY = 3;
constexpr DWORD FIXED_PITCH = 1;

// Height > 0: the cell height in pixels (< 0: the em height). Weight 100-900 (600 and more is bold).
// Face: Shift-JIS, up to 31 bytes, or null / empty for the default face. Null when no face is found.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charset, DWORD outputPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char* face);

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  uint8_t tmFirstChar;
  uint8_t tmLastChar;
  uint8_t tmDefaultChar;
  uint8_t tmBreakChar;
  uint8_t tmItalic;
  uint8_t tmUnderlined;
  uint8_t tmStruckOut;
  uint8_t tmPitchAndFamily;
  uint8_t tmCharSet;
};

// Metrics of the font selected into `dc`. FALSE without a font.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);

struct GLYPHMETRICS {
  UINT gmBlackBoxX;
  UINT gmBlackBoxY;
  POINT gmptGlyphOrigin;  // left of the black box from the pen; top of it above the baseline
  int16_t gmCellIncX;
  int16_t gmCellIncY;
};

struct FIXED {
  uint16_t fract;
  int16_t value;
};
struct MAT2 {
  FIXED eM11, eM12, eM21, eM22;
};

constexpr UINT GGO_METRICS = 0;
constexpr UINT GGO_BITMAP = 1;
constexpr UINT GGO_GRAY4_BITMAP = 5;
constexpr DWORD GDI_ERROR = 0xFFFFFFFF;

// The glyph of `code` (a single byte, or lead byte << 8 | trail byte, in the font's code page) in the
// font selected into `dc`. Without a buffer (or with size 0): the bytes the bitmap needs. With one: the
// bitmap, rows top-down, each padded to 4 bytes; GGO_BITMAP 1 bit a pixel (most significant first),
// GGO_GRAY4_BITMAP one byte a pixel, levels 0-16. A character the face lacks gives its missing-glyph box;
// an empty glyph reports a 1 x 1 black box with nothing set. GDI_ERROR without a font, for another
// format, or for a buffer too small. The transform is ignored (identity only).
DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2* transform);

}  // namespace plat

// The font subsystem as the rest of the library sees it: font handles, text drawing and measuring with
// a handle or the default font, the font table at graphics start-up and shut-down, and what the graphics
// back-ends use to draw text. The Shift-JIS lead-byte test lives with the string routines and is
// re-exported here. Records and the glyph cache: font_record.h.
#pragma once

#include <cstdint>

#include "orbel/core/string_routines.h"  // IsMultiByteLeadChar

namespace orbel {

// Makes a font handle (kind 0x20000000); -1 on failure. `face` null means the default face;
// -1 for charSet and edgeSize means their defaults.
int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reserved1, int reserved2);
int DeleteFontHandle(int font);
// Remembers `lostFlag` (set to 0 now, to 1 when the font is deleted); -1 for a bad handle.
int SetFontHandleLostFlag(int font, int* lostFlag);
// The size the font was made with, or -1.
int GetFontHandleSize(int font);
// Extra pixels after every character. 0 or -1.
int SetFontCharSpaceToHandle(int spacing, int font);
int DrawTextToFontHandle(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                         int vertical);
int DrawTextDefaultFont(int x, int y, const char* text, uint32_t color, uint32_t edgeColor);
// Width in pixels of `length` bytes of text with the default font.
int GetTextWidthDefaultFont(const char* text, int length, int vertical);
int GetTextWidthToFontHandle(const char* text, int length, int font, int vertical);
// The default font handle, or -1 when none exists.
int GetDefaultFontHandle();
int IsFontHandleValid(int font);
int GetFontHandleState(char* face, int* size, int* thickness, int font);
int SetDefaultFontSizeThick(const char* face, int size, int thickness);
int RebuildFontHandleCacheGraphs(int font);
// The font table at graphics start-up and shut-down.
int InitFontHandleTable();
int EndFontHandleTable();
// Re-makes every font handle's cache graphs after the graphs were restored. 0.
int ReCreateAllFontHandles();

// ---- What the graphics back-ends use ------------------------------------------------------------

}  // namespace orbel
namespace plat {
struct RECT;
}
namespace orbel {
struct MemImg;

// Font flag bits.
constexpr int kFontFlagEdgeOrAntialias = 0x2;
constexpr int kFontBlendOver = 2;

// What FontStringEngine does with a string.
constexpr int kFontEngineMeasure = 0;
constexpr int kFontEngineDraw = 1;

// Measures (kFontEngineMeasure) or draws (kFontEngineDraw) a string; draws into `target` clipped by
// `clip` for memory-mode fonts. `size` (or null) receives width and height. The extent along the
// writing direction, or -1.
// `transparent`: 1 leaves pixels without ink alone, 0 clears them; kFontBlendOver blends an
// antialiased font's levels straight over the target, giving the pixels the font's work surface drawn
// over it with alpha would give (the target's format must be the work surface's, else nothing is drawn).
int FontStringEngine(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char* text,
                     uint32_t color, MemImg* target, const plat::RECT* clip, int transparent, int font,
                     uint32_t edgeColor, int length, int vertical, int* size);
// 1 when a string of an antialiased memory-mode font can be drawn with kFontBlendOver: all its glyphs
// are cached and no two glyph boxes overlap (the work surface keeps only the later of two overlapping
// pixels, a blend over the target would mix both). 0 otherwise.
int FontStringBlendsInOnePass(int font, const char* text, int vertical);
// The font's flags, or -1 for a bad handle.
int GetFontHandleFlags(int font);
// 1 when the font's glyph cache is a Direct3D texture graph.
int IsFontTextureMode(int font);
// The font's screen-sized 2D surface that blended text is drawn through, or -1.
int GetFontMemorySurface(int font);

}  // namespace orbel

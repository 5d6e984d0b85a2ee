// The public forwarders of the font subsystem: they pass their arguments unchanged and return the
// implementation's result. The formatted forms format into a 1,024-byte buffer first.
#include <cstdarg>

#include "orbel.h"
#include "orbel/core/string_routines.h"
#include "orbel/font/font_system.h"

namespace {
constexpr size_t kFormatBufferSize = 1024;
}  // namespace

int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkNumber) {
  return orbel::CreateFontToHandle(face, size, thickness, fontType, charSet, edgeSize, italic, slot, checkNumber);
}

int DeleteFontHandle(int font) { return orbel::DeleteFontHandle(font); }

int IsFontHandleValid(int font) { return orbel::IsFontHandleValid(font); }

int GetFontHandleSize(int font) { return orbel::GetFontHandleSize(font); }

int GetFontHandleState(char* face, int* size, int* thickness, int font) {
  return orbel::GetFontHandleState(face, size, thickness, font);
}

int SetFontCharSpaceToHandle(int spacing, int font) { return orbel::SetFontCharSpaceToHandle(spacing, font); }

int DrawTextToFontHandle(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                         int vertical) {
  return orbel::DrawTextToFontHandle(x, y, text, color, font, edgeColor, vertical);
}

int GetTextWidthToFontHandle(const char* text, int length, int font, int vertical) {
  return orbel::GetTextWidthToFontHandle(text, length, font, vertical);
}

int GetDefaultFontHandle() { return orbel::GetDefaultFontHandle(); }

int SetDefaultFontSizeThick(const char* face, int size, int thickness) {
  return orbel::SetDefaultFontSizeThick(face, size, thickness);
}

int DrawTextDefaultFont(int x, int y, const char* text, uint32_t color, uint32_t edgeColor) {
  return orbel::DrawTextDefaultFont(x, y, text, color, edgeColor);
}

int DrawFormatTextDefaultFont(int x, int y, uint32_t color, const char* format, ...) {
  char text[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  orbel::FormatStringV(text, sizeof text, format, args);
  va_end(args);
  return orbel::DrawTextDefaultFont(x, y, text, color, 0);
}

int GetTextWidthDefaultFont(const char* text, int length, int vertical) {
  return orbel::GetTextWidthDefaultFont(text, length, vertical);
}

int GetFormatTextWidthDefaultFont(const char* format, ...) {
  char text[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  const int length = orbel::FormatStringV(text, sizeof text, format, args);
  va_end(args);
  return orbel::GetTextWidthDefaultFont(text, length, 0);
}

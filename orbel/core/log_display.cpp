// The on-screen log display: 80 line slots drawn with their own font over the screen when the draw flag
// is set. Set up at the end of start-up (and after each display mode change) and taken down at
// shut-down; nothing in this program sets the draw flag or writes the slots, so it is never shown.
// Depends on: the font subsystem (handle, lost flag, drawing), the graphics screen size and format.
#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/image/color_data.h"

namespace orbel {

namespace {

constexpr int kLogDisplayLines = 80;
constexpr int kLogDisplayLineSize = 255;
constexpr int kLogDisplayFontSize = 16;

struct LogDisplayState {
  int setUp;
  int fontSize;
  int font;       // -1 when none
  int fontLost;   // 1: the font must be made again (the font module sets it when the font goes)
  int drawFlag;   // read by the screen flip
  char lines[kLogDisplayLines][kLogDisplayLineSize];
};

LogDisplayState g_display = {0, kLogDisplayFontSize, -1, 1, 0, {}};

}  // namespace

int GetLogDrawFlag() { return g_display.drawFlag; }

int InitLogDisplay() {
  if (GetDirectDrawObject() == nullptr || gWindow.window == nullptr) return -1;
  if (g_display.setUp) return 0;
  g_display.setUp = 1;
  g_display.fontSize = kLogDisplayFontSize;
  g_display.font = -1;
  g_display.fontLost = 1;
  CreateLogDisplayFont();
  g_display.drawFlag = 0;
  std::memset(g_display.lines, 0, sizeof g_display.lines);
  return 0;
}

int CreateLogDisplayFont() {
  if (!g_display.setUp && InitLogDisplay() != 0) return 0;
  if (!g_display.fontLost) return 0;
  g_display.font = CreateFontToHandle(nullptr, g_display.fontSize, 4, 1, -1, -1, 0, -1, -1);
  g_display.fontLost = 0;
  SetFontHandleLostFlag(g_display.font, &g_display.fontLost);
  return 0;
}

int DrawLogDisplay() {
  if (!g_display.setUp && InitLogDisplay() != 0) return 0;
  CreateLogDisplayFont();
  int height = 0;
  GetScreenPixelSize(nullptr, &height);
  int lines = height / g_display.fontSize;
  if (lines > kLogDisplayLines) lines = kLogDisplayLines;
  // White text with a black edge in the screen's pixel format.
  const ColorData* format = GetDisplayPaletteData();
  const uint32_t white = GetFormatColorValue(format, 255, 255, 255, 0);
  const uint32_t black = GetFormatColorValue(format, 0, 0, 0, 0);
  for (int i = 0; i < lines; ++i) {
    DrawTextToFontHandle(0, g_display.fontSize * i, g_display.lines[i], white, g_display.font, black, 0);
  }
  return 0;
}

void TerminateLogDisplay() {
  if (!g_display.setUp) return;
  if (g_display.fontLost == 0) DeleteFontHandle(g_display.font);
  g_display.fontLost = 1;
  g_display.font = -1;
  g_display.setUp = 0;
}

}  // namespace orbel

// Kelvaron's menus: drawing a list and the shared cursor rule with its hold counters.
#include "menu.h"

#include <cstring>

#include "assets.h"
#include "game_state.h"
#include "orbel.h"

namespace kelvaron {

int UpHoldFrames = 0;
int DownHoldFrames = 0;
int LeftHoldFrames = 0;
int RightHoldFrames = 0;

namespace {

constexpr int kRepeatAfter = 30;  // frames held before the first repeat
constexpr int kRepeatBack = 27;   // the counter drops back here: one repeat every 4 frames

// One frame of the cursor rule on a key pair: `back` decreases, `forward` increases.
void MoveCursor(int* cursor, int lastIndex, int back, int forward, int* backHold, int* forwardHold) {
  *backHold = (PrevKeyState[back] != 0 && KeyState[back] != 0) ? *backHold + 1 : 0;
  *forwardHold = (PrevKeyState[forward] != 0 && KeyState[forward] != 0) ? *forwardHold + 1 : 0;
  if ((KeyState[back] == kKeyPressed || *backHold > kRepeatAfter) && KeyState[forward] == 0) {
    if (*backHold > kRepeatAfter) *backHold = kRepeatBack;
    --*cursor;
    PlayEffect(SeSelect);
    if (*cursor < 0) *cursor = lastIndex;
  }
  if ((KeyState[forward] == kKeyPressed || *forwardHold > kRepeatAfter) && KeyState[back] == 0) {
    if (*forwardHold > kRepeatAfter) *forwardHold = kRepeatBack;
    ++*cursor;
    PlayEffect(SeSelect);
    if (*cursor > lastIndex) *cursor = 0;
  }
}

}  // namespace

void DrawMenuItems(const char* const* items, int count, int selected, int x, int firstY, int step,
                   uint8_t useDefaultFont, int font) {
  for (int i = 0; i < count; ++i) {
    const int y = firstY + i * step;
    const uint32_t color = i == selected ? ColorAt(2) : ColorAt(0);
    if (useDefaultFont != 0) {
      DrawTextDefaultFont(x, y, items[i], color, 0);
    } else {
      DrawTextInFont(x, y, items[i], color, font);
    }
  }
}

void MoveCursorVertical(int* cursor, int lastIndex) {
  MoveCursor(cursor, lastIndex, kKeyI, kKeyK, &UpHoldFrames, &DownHoldFrames);
}

void MoveCursorHorizontal(int* cursor, int lastIndex) {
  MoveCursor(cursor, lastIndex, kKeyLeft, kKeyRight, &LeftHoldFrames, &RightHoldFrames);
}

void DrawTextInFont(int x, int y, const char* text, uint32_t color, int font) {
  if (font == -1) {
    DrawTextDefaultFont(x, y, text, color, 0);
  } else {
    DrawTextToFontHandle(x, y, text, color, font, 0, 0);
  }
}

int TextWidthInFont(const char* text, int font) {
  const int length = static_cast<int>(std::strlen(text));
  return font == -1 ? GetTextWidthDefaultFont(text, length, 0) : GetTextWidthToFontHandle(text, length, font, 0);
}

}  // namespace kelvaron

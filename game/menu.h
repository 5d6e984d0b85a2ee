// Kelvaron's menus: a vertical list with a highlighted entry, and the cursor rule on I (up) and K
// (down): a fresh press moves at once, a held key repeats after 30 frames and then every 4.
#pragma once

#include <cstdint>

namespace kelvaron {

extern int UpHoldFrames;
extern int DownHoldFrames;
extern int LeftHoldFrames;
extern int RightHoldFrames;

void DrawMenuItems(const char* const* items, int count, int selected, int x, int firstY, int step,
                   uint8_t useDefaultFont, int font);
void MoveCursorVertical(int* cursor, int lastIndex);
// The same rule on the Left and Right arrows; no scene uses it.
void MoveCursorHorizontal(int* cursor, int lastIndex);

// Text in a font handle, or in the default font when the handle is -1 (a font the file did not define).
void DrawTextInFont(int x, int y, const char* text, uint32_t color, int font);
int TextWidthInFont(const char* text, int font);

}  // namespace kelvaron

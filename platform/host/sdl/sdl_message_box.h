// A modal message box drawn by the SDL host itself: the text is set with the host's own fonts (the
// glyph source of the GDI font stand-in), so Japanese reads as it should whatever fonts the X server has.
// Buttons answer by click, by Enter or Space on the focused one (Left, Right and Tab move the focus), by
// Escape, or by the first letter of their label.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

namespace plat::host {

struct MessageBoxButton {
  int id;
  std::string label;  // ASCII
};

// The box's picture (0xAARRGGBB, rows top-down) with the button `focus` highlighted, and where each button
// lies in it.
struct MessageBoxPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  std::vector<SDL_Rect> buttons;
};
MessageBoxPicture DrawMessageBox(const std::string& text, const std::vector<MessageBoxButton>& buttons, int focus);

// Shows the box centred on `owner` (or the screen) and waits for the answer. `defaultIndex` is the
// button focused first; `escapeId` answers Escape and closing the box. Text and title are UTF-8.
// False when the box could not be shown (no window or renderer): the caller answers otherwise.
bool ShowDrawnMessageBox(SDL_Window* owner, const std::string& title, const std::string& text,
                         const std::vector<MessageBoxButton>& buttons, int defaultIndex, int escapeId,
                         int* answer);

}  // namespace plat::host

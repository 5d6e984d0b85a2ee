// A modal message box drawn by the SDL host itself: the text is set with the host's own fonts (the
// glyph source of the GDI font stand-in), so Japanese reads as it should whatever fonts the X server has.
// It speaks the system's language: Japanese button labels ("はい(Y)", "いいえ(N)", "キャンセル"...), and
// beside the text the icon its type asks for (question, warning, error, information), drawn here.
// Buttons answer by click, by Enter or Space on the focused one (Left, Right and Tab move the focus), by
// Escape, or by the access key shown in their label.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

namespace plat::host {

enum class MessageBoxIcon { None, Information, Question, Warning, Error };

struct MessageBoxButton {
  int id;
  std::string label;  // UTF-8
  char key = 0;       // the lower-case letter that answers it; 0 for none
};

// What a MessageBoxA type asks for: the buttons in order, the icon, the button focused first and the
// answer of Escape or of closing the box.
struct MessageBoxChoices {
  std::vector<MessageBoxButton> buttons;
  MessageBoxIcon icon = MessageBoxIcon::None;
  int defaultIndex = 0;
  int escapeId = 0;
};
MessageBoxChoices ChoicesForType(unsigned type);

// The box's picture (0xAARRGGBB, rows top-down) with the button `focus` highlighted, and where each button
// lies in it.
struct MessageBoxPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  std::vector<SDL_Rect> buttons;
};
MessageBoxPicture DrawMessageBox(const std::string& text, const std::vector<MessageBoxButton>& buttons,
                                 MessageBoxIcon icon, int focus);

// Shows the box centred on `owner` (or the screen) and waits for the answer. Text and title are UTF-8.
// False when the box could not be shown (no window or renderer): the caller answers otherwise.
bool ShowDrawnMessageBox(SDL_Window* owner, const std::string& title, const std::string& text,
                         const MessageBoxChoices& choices, int* answer);

}  // namespace plat::host

// The SDL scancode -> (virtual key, set-1 scan code, extended) table.
#include "platform/host/sdl/sdl_keys.h"

#include "platform/win/user/user_keys.h"

namespace plat::host {
namespace {

struct Entry {
  SDL_Scancode sdl;
  KeyCodes codes;
};

// Letters and digits are computed; everything else is listed.
constexpr Entry kTable[] = {
    {SDL_SCANCODE_RETURN, {VK_RETURN, 0x1C, false}},
    {SDL_SCANCODE_ESCAPE, {VK_ESCAPE, 0x01, false}},
    {SDL_SCANCODE_BACKSPACE, {VK_BACK, 0x0E, false}},
    {SDL_SCANCODE_TAB, {VK_TAB, 0x0F, false}},
    {SDL_SCANCODE_SPACE, {VK_SPACE, 0x39, false}},
    {SDL_SCANCODE_MINUS, {VK_OEM_MINUS, 0x0C, false}},
    {SDL_SCANCODE_EQUALS, {VK_OEM_PLUS, 0x0D, false}},
    {SDL_SCANCODE_LEFTBRACKET, {VK_OEM_4, 0x1A, false}},
    {SDL_SCANCODE_RIGHTBRACKET, {VK_OEM_6, 0x1B, false}},
    {SDL_SCANCODE_BACKSLASH, {VK_OEM_5, 0x2B, false}},
    {SDL_SCANCODE_SEMICOLON, {VK_OEM_1, 0x27, false}},
    {SDL_SCANCODE_APOSTROPHE, {VK_OEM_7, 0x28, false}},
    {SDL_SCANCODE_GRAVE, {VK_OEM_3, 0x29, false}},
    {SDL_SCANCODE_COMMA, {VK_OEM_COMMA, 0x33, false}},
    {SDL_SCANCODE_PERIOD, {VK_OEM_PERIOD, 0x34, false}},
    {SDL_SCANCODE_SLASH, {VK_OEM_2, 0x35, false}},
    {SDL_SCANCODE_NONUSBACKSLASH, {VK_OEM_102, 0x56, false}},
    {SDL_SCANCODE_INTERNATIONAL1, {VK_OEM_102, 0x73, false}},
    {SDL_SCANCODE_INTERNATIONAL3, {VK_OEM_5, 0x7D, false}},
    {SDL_SCANCODE_CAPSLOCK, {VK_CAPITAL, 0x3A, false}},
    {SDL_SCANCODE_F1, {VK_F1, 0x3B, false}},
    {SDL_SCANCODE_F2, {VK_F1 + 1, 0x3C, false}},
    {SDL_SCANCODE_F3, {VK_F1 + 2, 0x3D, false}},
    {SDL_SCANCODE_F4, {VK_F1 + 3, 0x3E, false}},
    {SDL_SCANCODE_F5, {VK_F1 + 4, 0x3F, false}},
    {SDL_SCANCODE_F6, {VK_F1 + 5, 0x40, false}},
    {SDL_SCANCODE_F7, {VK_F1 + 6, 0x41, false}},
    {SDL_SCANCODE_F8, {VK_F1 + 7, 0x42, false}},
    {SDL_SCANCODE_F9, {VK_F1 + 8, 0x43, false}},
    {SDL_SCANCODE_F10, {VK_F1 + 9, 0x44, false}},
    {SDL_SCANCODE_F11, {VK_F1 + 10, 0x57, false}},
    {SDL_SCANCODE_F12, {VK_F1 + 11, 0x58, false}},
    {SDL_SCANCODE_PRINTSCREEN, {VK_SNAPSHOT, 0x37, true}},
    {SDL_SCANCODE_SCROLLLOCK, {VK_SCROLL, 0x46, false}},
    {SDL_SCANCODE_PAUSE, {VK_PAUSE, 0x45, false}},
    {SDL_SCANCODE_INSERT, {VK_INSERT, 0x52, true}},
    {SDL_SCANCODE_HOME, {VK_HOME, 0x47, true}},
    {SDL_SCANCODE_PAGEUP, {VK_PRIOR, 0x49, true}},
    {SDL_SCANCODE_DELETE, {VK_DELETE, 0x53, true}},
    {SDL_SCANCODE_END, {VK_END, 0x4F, true}},
    {SDL_SCANCODE_PAGEDOWN, {VK_NEXT, 0x51, true}},
    {SDL_SCANCODE_RIGHT, {VK_RIGHT, 0x4D, true}},
    {SDL_SCANCODE_LEFT, {VK_LEFT, 0x4B, true}},
    {SDL_SCANCODE_DOWN, {VK_DOWN, 0x50, true}},
    {SDL_SCANCODE_UP, {VK_UP, 0x48, true}},
    {SDL_SCANCODE_NUMLOCKCLEAR, {VK_NUMLOCK, 0x45, true}},
    {SDL_SCANCODE_KP_DIVIDE, {VK_DIVIDE, 0x35, true}},
    {SDL_SCANCODE_KP_MULTIPLY, {VK_MULTIPLY, 0x37, false}},
    {SDL_SCANCODE_KP_MINUS, {VK_SUBTRACT, 0x4A, false}},
    {SDL_SCANCODE_KP_PLUS, {VK_ADD, 0x4E, false}},
    {SDL_SCANCODE_KP_ENTER, {VK_RETURN, 0x1C, true}},
    {SDL_SCANCODE_KP_1, {VK_NUMPAD0 + 1, 0x4F, false}},
    {SDL_SCANCODE_KP_2, {VK_NUMPAD0 + 2, 0x50, false}},
    {SDL_SCANCODE_KP_3, {VK_NUMPAD0 + 3, 0x51, false}},
    {SDL_SCANCODE_KP_4, {VK_NUMPAD0 + 4, 0x4B, false}},
    {SDL_SCANCODE_KP_5, {VK_NUMPAD0 + 5, 0x4C, false}},
    {SDL_SCANCODE_KP_6, {VK_NUMPAD0 + 6, 0x4D, false}},
    {SDL_SCANCODE_KP_7, {VK_NUMPAD0 + 7, 0x47, false}},
    {SDL_SCANCODE_KP_8, {VK_NUMPAD0 + 8, 0x48, false}},
    {SDL_SCANCODE_KP_9, {VK_NUMPAD0 + 9, 0x49, false}},
    {SDL_SCANCODE_KP_0, {VK_NUMPAD0, 0x52, false}},
    {SDL_SCANCODE_KP_PERIOD, {VK_DECIMAL, 0x53, false}},
    {SDL_SCANCODE_APPLICATION, {VK_APPS, 0x5D, true}},
    {SDL_SCANCODE_LCTRL, {VK_CONTROL, 0x1D, false}},
    {SDL_SCANCODE_LSHIFT, {VK_SHIFT, 0x2A, false}},
    {SDL_SCANCODE_LALT, {VK_MENU, 0x38, false}},
    {SDL_SCANCODE_LGUI, {VK_LWIN, 0x5B, true}},
    {SDL_SCANCODE_RCTRL, {VK_CONTROL, 0x1D, true}},
    {SDL_SCANCODE_RSHIFT, {VK_SHIFT, 0x36, false}},
    {SDL_SCANCODE_RALT, {VK_MENU, 0x38, true}},
    {SDL_SCANCODE_RGUI, {VK_RWIN, 0x5C, true}},
    {SDL_SCANCODE_LANG1, {VK_KANA, 0x70, false}},
    {SDL_SCANCODE_LANG2, {VK_KANJI, 0x29, false}},
};

// Set-1 codes of the letter keys A..Z and the digits 1..9, 0.
constexpr UINT kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                  0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

}  // namespace

KeyCodes KeyFromScancode(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
    const int i = scancode - SDL_SCANCODE_A;
    return KeyCodes{static_cast<UINT>('A' + i), kLetterScan[i], false};
  }
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) {
    // SDL orders 1..9 then 0; their set-1 codes run 0x02..0x0B in the same order.
    const int i = scancode - SDL_SCANCODE_1;
    return KeyCodes{static_cast<UINT>(i == 9 ? '0' : '1' + i), static_cast<UINT>(0x02 + i), false};
  }
  for (const Entry& e : kTable) {
    if (e.sdl == scancode) return e.codes;
  }
  return KeyCodes{0, 0, false};
}

}  // namespace plat::host

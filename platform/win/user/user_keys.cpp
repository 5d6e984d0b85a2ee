// Key state (GetKeyState from the key messages taken from queues, GetAsyncKeyState from the host's
// reports) and the US-layout table that turns a key into the character TranslateMessage posts.
#include "platform/win/user/user_keys.h"

#include <array>
#include <atomic>
#include <cstring>

#include "platform/win/user/window_messages.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

constexpr BYTE kDown = 0x80;
constexpr BYTE kToggled = 0x01;

struct KeyState {
  std::array<std::atomic<BYTE>, 256> taken{};  // as of the messages handed out
  std::array<std::atomic<BYTE>, 256> async{};  // as of the host's reports
};

KeyState& Keys() {
  static KeyState state;
  return state;
}

void SetKey(std::array<std::atomic<BYTE>, 256>& table, UINT vk, bool down) {
  if (vk >= 256) return;
  BYTE value = table[vk].load();
  if (down && !(value & kDown)) value ^= kToggled;  // toggles on each press, as Caps Lock does
  value = down ? (value | kDown) : (value & ~kDown);
  table[vk].store(value);
}

// The left/right keys also move their shared key.
void SetKeyWithShared(std::array<std::atomic<BYTE>, 256>& table, UINT vk, bool down) {
  SetKey(table, vk, down);
  switch (vk) {
    case VK_LSHIFT: case VK_RSHIFT: SetKey(table, VK_SHIFT, down); break;
    case VK_LCONTROL: case VK_RCONTROL: SetKey(table, VK_CONTROL, down); break;
    case VK_LMENU: case VK_RMENU: SetKey(table, VK_MENU, down); break;
    default: break;
  }
}

// US layout: unshifted and shifted characters of the punctuation keys.
struct OemChar {
  UINT vk;
  char plain;
  char shifted;
};
constexpr OemChar kOemChars[] = {
    {VK_OEM_1, ';', ':'},  {VK_OEM_PLUS, '=', '+'},  {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},
    {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'}, {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},
    {VK_OEM_5, '\\', '|'}, {VK_OEM_6, ']', '}'},     {VK_OEM_7, '\'', '"'},
};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

}  // namespace

void NoteAsyncKey(UINT virtualKey, bool down) { SetKeyWithShared(Keys().async, virtualKey, down); }

void NoteKeyMessage(UINT message, WPARAM virtualKey) {
  const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
  if (down || up) SetKeyWithShared(Keys().taken, static_cast<UINT>(virtualKey), down);
}

void ResetKeyState() {
  for (auto& k : Keys().taken) k.store(0);
  for (auto& k : Keys().async) k.store(0);
}

}  // namespace winstate

short GetKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  const BYTE v = winstate::Keys().taken[virtualKey].load();
  return static_cast<short>(((v & winstate::kDown) ? 0x8000 : 0) | (v & winstate::kToggled));
}

short GetAsyncKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  return (winstate::Keys().async[virtualKey].load() & winstate::kDown) ? static_cast<short>(0x8000) : 0;
}

BOOL GetKeyboardState(BYTE* state256) {
  if (state256 == nullptr) return FALSE;
  for (int i = 0; i < 256; ++i) state256[i] = winstate::Keys().taken[i].load();
  return TRUE;
}

char VirtualKeyToChar(UINT vk, bool shift, bool capsLock) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>((shift != capsLock) ? vk : vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9') return shift ? winstate::kShiftedDigits[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + (vk - VK_NUMPAD0));
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 0x1B;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default: break;
  }
  for (const auto& o : winstate::kOemChars) {
    if (o.vk == vk) return shift ? o.shifted : o.plain;
  }
  return 0;
}

}  // namespace plat

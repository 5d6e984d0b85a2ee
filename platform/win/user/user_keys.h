// Virtual-key codes with their documented values, the key-state queries built on the key messages the
// queue has handed out, and the US-layout character table TranslateMessage uses.
// Letters and digits are their ASCII upper-case codes ('A' = 0x41, '0' = 0x30) and have no names here.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr UINT VK_LBUTTON = 0x01;
constexpr UINT VK_RBUTTON = 0x02;
constexpr UINT VK_CANCEL = 0x03;
constexpr UINT VK_MBUTTON = 0x04;
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_CLEAR = 0x0C;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;  // Alt
constexpr UINT VK_PAUSE = 0x13;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_KANA = 0x15;
constexpr UINT VK_KANJI = 0x19;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_CONVERT = 0x1C;
constexpr UINT VK_NONCONVERT = 0x1D;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;  // Page Up
constexpr UINT VK_NEXT = 0x22;   // Page Down
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_SNAPSHOT = 0x2C;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_LWIN = 0x5B;
constexpr UINT VK_RWIN = 0x5C;
constexpr UINT VK_APPS = 0x5D;
constexpr UINT VK_NUMPAD0 = 0x60;  // VK_NUMPAD0 + n for 0..9
constexpr UINT VK_MULTIPLY = 0x6A;
constexpr UINT VK_ADD = 0x6B;
constexpr UINT VK_SEPARATOR = 0x6C;
constexpr UINT VK_SUBTRACT = 0x6D;
constexpr UINT VK_DECIMAL = 0x6E;
constexpr UINT VK_DIVIDE = 0x6F;
constexpr UINT VK_F1 = 0x70;  // VK_F1 + n - 1 for F1..F24
constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F10 = 0x79;
constexpr UINT VK_F12 = 0x7B;
constexpr UINT VK_F24 = 0x87;
constexpr UINT VK_NUMLOCK = 0x90;
constexpr UINT VK_SCROLL = 0x91;
constexpr UINT VK_LSHIFT = 0xA0;
constexpr UINT VK_RSHIFT = 0xA1;
constexpr UINT VK_LCONTROL = 0xA2;
constexpr UINT VK_RCONTROL = 0xA3;
constexpr UINT VK_LMENU = 0xA4;
constexpr UINT VK_RMENU = 0xA5;
constexpr UINT VK_OEM_1 = 0xBA;       // ;:
constexpr UINT VK_OEM_PLUS = 0xBB;    // =+
constexpr UINT VK_OEM_COMMA = 0xBC;   // ,<
constexpr UINT VK_OEM_MINUS = 0xBD;   // -_
constexpr UINT VK_OEM_PERIOD = 0xBE;  // .>
constexpr UINT VK_OEM_2 = 0xBF;       // /?
constexpr UINT VK_OEM_3 = 0xC0;       // `~
constexpr UINT VK_OEM_4 = 0xDB;       // [{
constexpr UINT VK_OEM_5 = 0xDC;       // \|
constexpr UINT VK_OEM_6 = 0xDD;       // ]}
constexpr UINT VK_OEM_7 = 0xDE;       // '"
constexpr UINT VK_OEM_102 = 0xE2;

// Key state as of the key messages the calling process has taken from its queues: bit 15 set while the
// key is down, bit 0 toggled on each press (Caps Lock, Num Lock). Out-of-range codes read as 0.
short GetKeyState(int virtualKey);
// State as of the host's last report (key events already pumped but not yet taken from a queue):
// bit 15 while down.
short GetAsyncKeyState(int virtualKey);
// Fills 256 bytes: bit 7 down, bit 0 toggled, as GetKeyState. Returns FALSE on a null buffer.
BOOL GetKeyboardState(BYTE* state256);

// The character a key produces under the US layout with the given Shift and Caps Lock states, or 0
// when the key produces none (used by TranslateMessage; Ctrl combinations are handled there).
char VirtualKeyToChar(UINT virtualKey, bool shift, bool capsLock);

}  // namespace plat

// The scan-code and virtual-key tables of the DirectInput keyboard stand-in.
#include "platform/dinput/key_codes.h"

#include <cstdlib>
#include <cstring>

#include "platform/win/user/user_keys.h"

namespace plat::dinput {
namespace {

// Key codes the format gives names to that matter here.
constexpr BYTE kDikCircumflex = 0x90;
constexpr BYTE kDikAt = 0x91;
constexpr BYTE kDikColon = 0x92;
constexpr BYTE kDikKanji = 0x94;
constexpr BYTE kDikYen = 0x7D;
constexpr BYTE kDikPause = 0xC5;
constexpr BYTE kDikNumLock = 0x45;

constexpr BYTE kLetterCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                   0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

struct VirtualKeyCode {
  UINT vk;
  BYTE code;
};

// Keys whose code does not depend on the layout.
constexpr VirtualKeyCode kCommonKeys[] = {
    {VK_ESCAPE, 0x01},   {VK_BACK, 0x0E},      {VK_TAB, 0x0F},      {VK_RETURN, 0x1C},  {VK_SPACE, 0x39},
    {VK_CAPITAL, 0x3A},  {VK_NUMLOCK, 0x45},   {VK_SCROLL, 0x46},   {VK_PAUSE, 0xC5},   {VK_SNAPSHOT, 0xB7},
    {VK_SHIFT, 0x2A},    {VK_LSHIFT, 0x2A},    {VK_RSHIFT, 0x36},   {VK_CONTROL, 0x1D}, {VK_LCONTROL, 0x1D},
    {VK_RCONTROL, 0x9D}, {VK_MENU, 0x38},      {VK_LMENU, 0x38},    {VK_RMENU, 0xB8},   {VK_LWIN, 0xDB},
    {VK_RWIN, 0xDC},     {VK_APPS, 0xDD},      {VK_INSERT, 0xD2},   {VK_DELETE, 0xD3},  {VK_HOME, 0xC7},
    {VK_END, 0xCF},      {VK_PRIOR, 0xC9},     {VK_NEXT, 0xD1},     {VK_UP, 0xC8},      {VK_DOWN, 0xD0},
    {VK_LEFT, 0xCB},     {VK_RIGHT, 0xCD},     {VK_NUMPAD0, 0x52},  {VK_NUMPAD0 + 1, 0x4F},
    {VK_NUMPAD0 + 2, 0x50}, {VK_NUMPAD0 + 3, 0x51}, {VK_NUMPAD0 + 4, 0x4B}, {VK_NUMPAD0 + 5, 0x4C},
    {VK_NUMPAD0 + 6, 0x4D}, {VK_NUMPAD0 + 7, 0x47}, {VK_NUMPAD0 + 8, 0x48}, {VK_NUMPAD0 + 9, 0x49},
    {VK_DECIMAL, 0x53},  {VK_ADD, 0x4E},       {VK_SUBTRACT, 0x4A}, {VK_MULTIPLY, 0x37}, {VK_DIVIDE, 0xB5},
    {VK_OEM_COMMA, 0x33}, {VK_OEM_PERIOD, 0x34}, {VK_OEM_2, 0x35},  {VK_OEM_MINUS, 0x0C},
};

// US 101: the punctuation keys as printed.
constexpr VirtualKeyCode kUsKeys[] = {
    {VK_OEM_PLUS, 0x0D}, {VK_OEM_4, 0x1A}, {VK_OEM_6, 0x1B}, {VK_OEM_1, 0x27}, {VK_OEM_7, 0x28},
    {VK_OEM_3, 0x29},    {VK_OEM_5, 0x2B}, {VK_OEM_102, 0x56},
};

// Japanese 106/109: the punctuation keys as the Japanese layout names them, and its own keys.
constexpr VirtualKeyCode kJapaneseKeys[] = {
    {VK_OEM_7, kDikCircumflex}, {VK_OEM_5, kDikYen},   {VK_OEM_3, kDikAt},   {VK_OEM_4, 0x1A},
    {VK_OEM_PLUS, 0x27},        {VK_OEM_1, kDikColon}, {VK_OEM_6, 0x1B},     {VK_OEM_102, 0x2B},
    {VK_KANJI, kDikKanji},      {VK_CONVERT, 0x79},    {VK_NONCONVERT, 0x7B}, {VK_KANA, 0x70},
};

// Japanese 106/109 physical keys whose code differs from the set-1 make code.
struct ScanRemap {
  BYTE scan;
  BYTE code;
};
constexpr ScanRemap kJapaneseScans[] = {
    {0x0D, kDikCircumflex}, {0x1A, kDikAt}, {0x1B, 0x1A}, {0x2B, 0x1B}, {0x28, kDikColon},
    {0x29, kDikKanji},      {0x73, 0x2B},
};

}  // namespace

KeyboardLayout LayoutFromEnvironment() {
  const char* name = std::getenv("ORBEL_KEYBOARD_LAYOUT");
  if (name != nullptr && (std::strcmp(name, "us") == 0 || std::strcmp(name, "US") == 0)) return KeyboardLayout::Us101;
  return KeyboardLayout::Japanese106;
}

BYTE KeyCodeFromScanCode(UINT scanCode, bool extended, KeyboardLayout layout) {
  if (scanCode == 0 || scanCode > 0x7F) return 0;
  // Num Lock and Pause share make code 0x45; the key messages mark Num Lock as the extended one.
  if (scanCode == 0x45) return extended ? kDikNumLock : kDikPause;
  if (extended) return static_cast<BYTE>(scanCode | 0x80);
  if (layout == KeyboardLayout::Japanese106) {
    for (const ScanRemap& r : kJapaneseScans) {
      if (r.scan == scanCode) return r.code;
    }
  }
  return static_cast<BYTE>(scanCode);
}

BYTE KeyCodeFromVirtualKey(UINT vk, KeyboardLayout layout) {
  if (vk >= 'A' && vk <= 'Z') return kLetterCodes[vk - 'A'];
  if (vk >= '1' && vk <= '9') return static_cast<BYTE>(0x02 + (vk - '1'));
  if (vk == '0') return 0x0B;
  if (vk >= VK_F1 && vk <= VK_F1 + 9) return static_cast<BYTE>(0x3B + (vk - VK_F1));
  if (vk == VK_F1 + 10) return 0x57;
  if (vk == VK_F1 + 11) return 0x58;
  if (vk >= VK_F1 + 12 && vk <= VK_F1 + 14) return static_cast<BYTE>(0x64 + (vk - VK_F1 - 12));
  for (const VirtualKeyCode& k : kCommonKeys) {
    if (k.vk == vk) return k.code;
  }
  if (layout == KeyboardLayout::Japanese106) {
    for (const VirtualKeyCode& k : kJapaneseKeys) {
      if (k.vk == vk) return k.code;
    }
  } else {
    for (const VirtualKeyCode& k : kUsKeys) {
      if (k.vk == vk) return k.code;
    }
  }
  return 0;
}

}  // namespace plat::dinput

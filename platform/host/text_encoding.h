// Text between the system's Shift-JIS (code page 932) and the UTF-8 that Linux names and real desktops
// speak, through iconv. A character with no form in the target (or a malformed sequence) becomes one
// '?'; the input is never trusted to be well formed. The one converter of the platform: window titles,
// message boxes, typed text, and every path and file name that crosses to the operating system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat::host {

enum class TextDirection { ShiftJisToUtf8, Utf8ToShiftJis };

// The most bytes a conversion of `inputBytes` bytes can produce (half-width kana grow from 1 to 3).
constexpr size_t MaxConvertedSize(TextDirection direction, size_t inputBytes) {
  return direction == TextDirection::ShiftJisToUtf8 ? inputBytes * 3 : inputBytes;
}

// Converts `in` into `out` (room for `capacity` bytes, no terminator written). Returns the bytes
// written, or SIZE_MAX when they do not fit. `exact`, when given, is set to false when some character
// had to become '?'. Thread-safe; ASCII-only text is copied without calling iconv.
size_t ConvertText(TextDirection direction, std::string_view in, char* out, size_t capacity,
                   bool* exact = nullptr);

std::string ShiftJisToUtf8(std::string_view shiftJis);
std::string Utf8ToShiftJis(std::string_view utf8);

// As above, but false when some character has no form in the other encoding (`out` then holds '?'
// for it).
bool ShiftJisToUtf8Exact(std::string_view shiftJis, std::string* out);
bool Utf8ToShiftJisExact(std::string_view utf8, std::string* out);

// The Unicode code point of one character of code page 932 (Shift-JIS) or 949 (Korean): a single byte
// below 0x100, else lead byte << 8 | trail byte. 0 when the code is no character of that page.
char32_t DecodeCodePageChar(int codePage, unsigned code);

}  // namespace plat::host

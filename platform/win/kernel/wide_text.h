// UTF-16 text, for the calls that take wide names (movie streams open files by a UTF-16 name):
// MultiByteToWideChar from the ANSI code page (Shift-JIS, 932), and the way back to UTF-8 for the
// stand-ins that hand such a name to Linux.
#pragma once

#include <string>
#include <string_view>

#include "platform/win/kernel/win_types.h"

namespace plat {

using WCHAR = char16_t;

constexpr UINT CP_ACP = 0;  // the ANSI code page: 932 here

// Converts `sourceBytes` bytes of `source` (-1: up to and including its terminator) to UTF-16 in
// `dest` (room for `destChars`). Returns the characters written (the terminator included when it was
// part of the source), or with `destChars` 0 the characters needed. 0 on failure: ERROR_INVALID_PARAMETER
// for a code page other than CP_ACP / 932 or a null source, ERROR_INSUFFICIENT_BUFFER when it does not
// fit. Bytes that are no Shift-JIS character become '?' (U+003F).
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceBytes, WCHAR* dest,
                        int destChars);

// A UTF-16 string as UTF-8 (an unpaired surrogate becomes '?').
std::string WideToUtf8(std::u16string_view wide);

}  // namespace plat

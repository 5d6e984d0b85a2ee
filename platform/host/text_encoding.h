// Text between the system's Shift-JIS (code page 932) and the UTF-8 that real desktops speak, through
// iconv. Bytes that do not convert become '?'; the input is never trusted to be well formed.
#pragma once

#include <string>
#include <string_view>

namespace plat::host {

std::string ShiftJisToUtf8(std::string_view shiftJis);
std::string Utf8ToShiftJis(std::string_view utf8);

}  // namespace plat::host

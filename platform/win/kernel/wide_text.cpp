// UTF-16 conversion: Shift-JIS goes through the platform's one converter to UTF-8, then UTF-8 and
// UTF-16 are converted here by hand (the two encodings of the same code points).
#include "platform/win/kernel/wide_text.h"

#include "platform/host/text_encoding.h"
#include "platform/win/kernel/file_io.h"

namespace plat {
namespace {

// The UTF-16 form of well-formed UTF-8 (what the converter produces); a cut-off last character is '?'.
std::u16string Utf8ToWide(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    if (i + static_cast<size_t>(extra) >= utf8.size()) {
      out.push_back(u'?');
      break;
    }
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, const char* source, int sourceBytes, WCHAR* dest, int destChars) {
  if ((codePage != CP_ACP && codePage != 932) || source == nullptr || sourceBytes < -1 || destChars < 0 ||
      (destChars > 0 && dest == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool withTerminator = sourceBytes == -1;
  const std::string_view text(source, withTerminator ? std::char_traits<char>::length(source)
                                                     : static_cast<size_t>(sourceBytes));
  std::u16string wide = Utf8ToWide(host::ShiftJisToUtf8(text));
  if (withTerminator) wide.push_back(u'\0');
  const int needed = static_cast<int>(wide.size());
  if (destChars == 0) return needed;
  if (needed > destChars) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  wide.copy(dest, wide.size());
  return needed;
}

std::string WideToUtf8(std::u16string_view wide) {
  std::string out;
  out.reserve(wide.size() * 3);
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t unit = wide[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit < 0xE000) {
      out.push_back('?');
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace plat

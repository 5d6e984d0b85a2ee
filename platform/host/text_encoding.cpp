// Shift-JIS <-> UTF-8 through iconv (glibc's CP932 table). Each call opens its own converter, so the
// functions are thread-safe; they run for titles, message boxes and typed text only.
#include "platform/host/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace plat::host {
namespace {

std::string Convert(std::string_view in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2 + 4);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[256];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An unconvertible or truncated sequence: one '?' for its first byte, then carry on.
      out.push_back('?');
      ++src;
      --srcLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string ShiftJisToUtf8(std::string_view shiftJis) { return Convert(shiftJis, "UTF-8", "CP932"); }

std::string Utf8ToShiftJis(std::string_view utf8) { return Convert(utf8, "CP932", "UTF-8"); }

}  // namespace plat::host

// Shift-JIS <-> UTF-8 through iconv (glibc's CP932 table). Each thread keeps its own pair of
// descriptors, so paths converted on every file call cost no iconv_open, and no lock is needed.
#include "platform/host/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace plat::host {
namespace {

// One iconv descriptor, opened on first use and closed with its thread.
class Descriptor {
 public:
  Descriptor(const char* to, const char* from) : to_(to), from_(from) {}
  ~Descriptor() {
    if (cd_ != Invalid()) iconv_close(cd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  // Ready for a new text (shift state cleared); null when iconv lacks the conversion.
  iconv_t Get() {
    if (cd_ == Invalid()) cd_ = iconv_open(to_, from_);
    if (cd_ == Invalid()) return nullptr;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return cd_;
  }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
  const char* to_;
  const char* from_;
  iconv_t cd_ = Invalid();
};

iconv_t DescriptorFor(TextDirection direction) {
  thread_local Descriptor toUtf8("UTF-8", "CP932");
  thread_local Descriptor toShiftJis("CP932", "UTF-8");
  return direction == TextDirection::ShiftJisToUtf8 ? toUtf8.Get() : toShiftJis.Get();
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Bytes of the one character at the front of `in` that did not convert, so that it becomes a single
// '?': a whole UTF-8 sequence, or a Shift-JIS lead byte with its trail byte.
size_t BadCharacterLength(TextDirection direction, const unsigned char* in, size_t left) {
  const unsigned char c = in[0];
  if (direction == TextDirection::Utf8ToShiftJis) {
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < length && n < left && (in[n] & 0xC0) == 0x80) ++n;
    return n;
  }
  const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  const bool trail = left >= 2 && in[1] >= 0x40 && in[1] <= 0xFC && in[1] != 0x7F;
  return lead && trail ? 2 : 1;
}

}  // namespace

size_t ConvertText(TextDirection direction, std::string_view in, char* out, size_t capacity, bool* exact) {
  if (exact != nullptr) *exact = true;
  if (IsAscii(in)) {
    if (in.size() > capacity) return SIZE_MAX;
    if (!in.empty()) std::memcpy(out, in.data(), in.size());
    return in.size();
  }
  iconv_t cd = DescriptorFor(direction);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out;
  size_t dstLeft = capacity;
  while (srcLeft > 0) {
    if (cd != nullptr && iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (cd != nullptr && errno == E2BIG) return SIZE_MAX;
    // A character with no form in the target, or a malformed or cut-off sequence: one '?' for it.
    if (dstLeft == 0) return SIZE_MAX;
    *dst++ = '?';
    --dstLeft;
    const size_t skip = BadCharacterLength(direction, reinterpret_cast<const unsigned char*>(src), srcLeft);
    src += skip;
    srcLeft -= skip;
    if (exact != nullptr) *exact = false;
    if (cd != nullptr) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return static_cast<size_t>(dst - out);
}

namespace {

bool ConvertToString(TextDirection direction, std::string_view in, std::string* out) {
  out->resize(MaxConvertedSize(direction, in.size()));
  bool exact = true;
  const size_t length = ConvertText(direction, in, out->data(), out->size(), &exact);
  out->resize(length == SIZE_MAX ? 0 : length);  // cannot happen: the room is the largest possible
  return exact;
}

}  // namespace

std::string ShiftJisToUtf8(std::string_view shiftJis) {
  std::string out;
  ConvertToString(TextDirection::ShiftJisToUtf8, shiftJis, &out);
  return out;
}

std::string Utf8ToShiftJis(std::string_view utf8) {
  std::string out;
  ConvertToString(TextDirection::Utf8ToShiftJis, utf8, &out);
  return out;
}

bool ShiftJisToUtf8Exact(std::string_view shiftJis, std::string* out) {
  return ConvertToString(TextDirection::ShiftJisToUtf8, shiftJis, out);
}

bool Utf8ToShiftJisExact(std::string_view utf8, std::string* out) {
  return ConvertToString(TextDirection::Utf8ToShiftJis, utf8, out);
}

char32_t DecodeCodePageChar(int codePage, unsigned code) {
  if (code < 0x80) return code;
  thread_local Descriptor fromShiftJis("UTF-32LE", "CP932");
  thread_local Descriptor fromKorean("UTF-32LE", "CP949");
  iconv_t cd = codePage == 949 ? fromKorean.Get() : fromShiftJis.Get();
  if (cd == nullptr || code > 0xFFFF) return 0;
  char bytes[2];
  size_t inLeft = 0;
  if (code < 0x100) {
    bytes[inLeft++] = static_cast<char>(code);
  } else {
    bytes[inLeft++] = static_cast<char>(code >> 8);
    bytes[inLeft++] = static_cast<char>(code & 0xFF);
  }
  char out[8];
  char* inPtr = bytes;
  char* outPtr = out;
  size_t outLeft = sizeof(out);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
      outLeft != sizeof(out) - 4) {
    return 0;
  }
  uint32_t value;
  std::memcpy(&value, out, 4);
  return static_cast<char32_t>(value);
}

}  // namespace plat::host

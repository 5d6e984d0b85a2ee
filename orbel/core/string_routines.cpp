// The library's own string, memory and number routines: Shift-JIS aware string helpers, block copies
// and compares, float/int conversions, decimal parsing and radix output, 128-bit helpers for the clock,
// date conversions through the kernel stand-in, and bounded printf-style formatting.
// Depends on: platform/win/kernel/find_file.h (local time). Leaves out: locale handling (text is always CP932).
#include "orbel/core/string_routines.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/win/kernel/find_file.h"

namespace orbel {

namespace {

inline bool IsLead(char c) { return IsShiftJisLead(static_cast<unsigned char>(c)); }

// The length of the longest prefix of `text` (of `length` bytes) that splits no double-byte character.
size_t ShiftJisBoundary(const char* text, size_t length) {
  size_t i = 0;
  while (i < length) {
    if (IsLead(text[i])) {
      if (i + 1 >= length) return i;
      i += 2;
    } else {
      ++i;
    }
  }
  return length;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Strings

int IsMultiByteLeadChar(const char* p, int charSet) {
  const unsigned char c = static_cast<unsigned char>(*p);
  if (charSet == 2) return (c & 0x80) != 0 ? 1 : 0;
  return IsShiftJisLead(c) ? 1 : 0;
}

void StrCopy(char* destination, const char* source) {
  std::memcpy(destination, source, std::strlen(source) + 1);
}

void StrCat(char* destination, const char* source) { StrCopy(destination + std::strlen(destination), source); }

// NOTE: a lead byte right before the terminator is taken alone, so the walk never steps past the end.
char* StrChr(const char* text, int byte) {
  const char target = static_cast<char>(byte);
  const char* p = text;
  while (*p != '\0') {
    if (IsLead(*p) && p[1] != '\0') {
      p += 2;
      continue;
    }
    if (*p == target) return const_cast<char*>(p);
    ++p;
  }
  return target == '\0' ? const_cast<char*>(p) : nullptr;
}

int StrCompare(const char* a, const char* b) { return std::strcmp(a, b) == 0 ? 0 : 1; }

void StrUpper(char* text) {
  char* p = text;
  while (*p != '\0') {
    if (IsLead(*p) && p[1] != '\0') {
      p += 2;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    ++p;
  }
}

// ---------------------------------------------------------------------------------------------------
// Memory blocks

int MemCompareCount(const void* a, const void* b, int count) {
  if (count < 1) return count == 0 ? 0 : 1;
  return std::memcmp(a, b, static_cast<size_t>(count)) == 0 ? 0 : 1;
}

int MemCompare(const void* a, const void* b, size_t count) {
  if (count == 0) return 0;
  return std::memcmp(a, b, count) == 0 ? 0 : 1;
}

void MemFill(void* block, int byte, size_t count) {
  if (count != 0) std::memset(block, byte, count);
}

void MemCopy(void* destination, const void* source, size_t count) {
  if (count != 0) std::memcpy(destination, source, count);
}

void MemMove(void* destination, const void* source, size_t count) {
  if (count != 0 && destination != source) std::memmove(destination, source, count);
}

// ---------------------------------------------------------------------------------------------------
// Numbers

void SinCosF(float angle, float* sine, float* cosine) {
  const double a = angle;
  *sine = static_cast<float>(std::sin(a));
  *cosine = static_cast<float>(std::cos(a));
}

int AbsInt(int value) {
  // Through unsigned so that INT_MIN comes back as itself instead of overflowing.
  return value < 0 ? static_cast<int>(0u - static_cast<unsigned>(value)) : value;
}

float AbsFloat(float value) { return value < 0.0f ? -value : value; }

int FloatToInt(float value) { return DoubleToInt(value); }

// The conversion instruction truncates whatever the rounding mode; only the range needs a check
// (NaN fails both comparisons and gives the out-of-range value too).
int DoubleToInt(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT_MIN;
  return static_cast<int>(value);
}

float SqrtF(float value) { return std::sqrt(value); }

int StrToInt(const char* text) {
  const char* p = text;
  while (*p != '\0' && *p != '-' && !(*p >= '0' && *p <= '9')) ++p;
  if (*p == '\0') return -1;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  uint32_t value = 0;  // wraps in 32 bits
  while (*p >= '0' && *p <= '9') {
    value = value * 10u + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

// A radix outside 2..36 has no digits to write; it gives the empty text rather than a division by zero
// or an endless loop.
char* IntToStr(int value, char* buffer, int radix) {
  char* p = buffer;
  if (radix < 2 || radix > 36) {
    *p = '\0';
    return buffer;
  }
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) {
    *p++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[33];
  int count = 0;
  do {
    const uint32_t digit = magnitude % static_cast<uint32_t>(radix);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
    magnitude /= static_cast<uint32_t>(radix);
  } while (magnitude != 0);
  while (count > 0) *p++ = digits[--count];
  *p = '\0';
  return buffer;
}

int ParseIntAfterBlank(const char* text) {
  const char* blank = std::strchr(text, ' ');
  return blank == nullptr ? -1 : StrToInt(blank);
}

// ---------------------------------------------------------------------------------------------------
// Dates

void FileTimeToDateTime(uint64_t fileTime, DateTime* out) {
  plat::FILETIME utc{static_cast<plat::DWORD>(fileTime & 0xFFFFFFFFu), static_cast<plat::DWORD>(fileTime >> 32)};
  plat::FILETIME local{};
  plat::SYSTEMTIME st{};
  plat::FileTimeToLocalFileTime(&utc, &local);
  plat::FileTimeToSystemTime(&local, &st);
  *out = DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

int GetLocalDateTime(DateTime* out) {
  plat::SYSTEMTIME st{};
  plat::GetLocalTime(&st);
  *out = DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return 0;
}

// ---------------------------------------------------------------------------------------------------
// 128-bit helpers

UInt128 Mul64To128(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return UInt128{static_cast<uint64_t>(product), static_cast<uint64_t>(product >> 64)};
}

// The low 64 bits of the quotient, as shift-and-subtract long division gives them; a zero divisor
// gives all ones (every step's subtraction "fits") instead of a trap.
uint64_t Div128By64(UInt128 value, uint64_t divisor) {
  if (divisor == 0) return UINT64_MAX;
  const unsigned __int128 dividend = (static_cast<unsigned __int128>(value.high) << 64) | value.low;
  return static_cast<uint64_t>(dividend / divisor);
}

// ---------------------------------------------------------------------------------------------------
// Formatting

int FormatStringV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  const int result = std::vsnprintf(buffer, size, format, args);
  if (result < 0) {
    buffer[0] = '\0';
    return 0;
  }
  if (static_cast<size_t>(result) < size) return result;
  // Cut: the runtime kept size - 1 bytes, which may end inside a double-byte character.
  const size_t kept = ShiftJisBoundary(buffer, size - 1);
  buffer[kept] = '\0';
  return static_cast<int>(kept);
}

int FormatString(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, size, format, args);
  va_end(args);
  return 0;
}

}  // namespace orbel

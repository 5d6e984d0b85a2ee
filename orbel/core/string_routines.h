// The library's own string, memory and number routines. Strings are NUL-terminated Shift-JIS: a byte
// 0x81-0x9F or 0xE0-0xFC and the byte after it form one character that is never split, searched into
// or case-changed.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace orbel {

// 1 when *p starts a double-byte character of `charSet` (2: any byte with its high bit set; otherwise
// Shift-JIS lead bytes).
int IsMultiByteLeadChar(const char* p, int charSet);
// Shift-JIS lead-byte test.
inline bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

void StrCopy(char* destination, const char* source);
void StrCat(char* destination, const char* source);
char* StrChr(const char* text, int byte);
int StrCompare(const char* a, const char* b);  // 0 equal, 1 different
void StrUpper(char* text);

int MemCompareCount(const void* a, const void* b, int count);
int MemCompare(const void* a, const void* b, size_t count);
void MemFill(void* block, int byte, size_t count);
void MemCopy(void* destination, const void* source, size_t count);
void MemMove(void* destination, const void* source, size_t count);

void SinCosF(float angle, float* sine, float* cosine);
int AbsInt(int value);
float AbsFloat(float value);
int FloatToInt(float value);
// Truncates toward zero whatever the rounding mode; out of range gives -2147483648.
int DoubleToInt(double value);
float SqrtF(float value);
int StrToInt(const char* text);
char* IntToStr(int value, char* buffer, int radix);
int ParseIntAfterBlank(const char* text);

struct DateTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};
// `fileTime` is 100 ns units since 1601-01-01 UTC; the result is local time.
void FileTimeToDateTime(uint64_t fileTime, DateTime* out);
int GetLocalDateTime(DateTime* out);

struct UInt128 {
  uint64_t low;
  uint64_t high;
};
UInt128 Mul64To128(uint64_t a, uint64_t b);
uint64_t Div128By64(UInt128 value, uint64_t divisor);

// printf-style formatting into `buffer` of `size` bytes: bounded, and cut on a Shift-JIS character
// boundary when it does not fit. FormatStringV returns the length written.
int FormatStringV(char* buffer, size_t size, const char* format, va_list args);
int FormatString(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace orbel

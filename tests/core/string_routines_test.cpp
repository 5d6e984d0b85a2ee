// String, memory and number routines: Shift-JIS stepping, parsing and radix output, conversions that
// must not depend on the rounding mode, 128-bit scaling, and bounded formatting.
#include "orbel/core/string_routines.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

TEST(StringRoutines, LeadByteRangesPerCharacterSet) {
  struct Case {
    unsigned char byte;
    int charSet;
    int expected;
  };
  const Case cases[] = {{0x80, 1, 0}, {0x81, 1, 1}, {0x9F, 1, 1}, {0xA0, 1, 0}, {0xDF, 1, 0}, {0xE0, 1, 1},
                        {0xFC, 1, 1}, {0xFD, 1, 0}, {0x41, 1, 0}, {0xA0, 2, 1}, {0x80, 2, 1}, {0x7F, 2, 0}};
  for (const Case& c : cases) {
    const char byte = static_cast<char>(c.byte);
    EXPECT_EQ(IsMultiByteLeadChar(&byte, c.charSet), c.expected) << std::hex << int{c.byte} << " set " << c.charSet;
  }
}

TEST(StringRoutines, StrChrStepsOverDoubleByteCharacters) {
  // "表" is 0x95 0x5C in Shift-JIS: its second byte is a backslash that must not be found.
  const char text[] = "表a\\b";
  ASSERT_EQ(static_cast<unsigned char>(text[1]), 0x5C);
  EXPECT_EQ(StrChr(text, '\\'), text + 3);
  EXPECT_EQ(StrChr("表", '\\'), nullptr);
  EXPECT_EQ(StrChr(text, 'z'), nullptr);
  // A lead byte right before the end is taken alone; the search stops at the terminator.
  const char truncated[] = {'x', '\x95', '\0', '\\', '\0'};
  EXPECT_EQ(StrChr(truncated, '\\'), nullptr);
}

TEST(StringRoutines, StrUpperLeavesDoubleByteCharactersAlone) {
  char text[] = {'a', '\x83', 'b', 'c', '\x82', 'z', '\0'};  // 'b' and 'z' are second bytes here
  StrUpper(text);
  EXPECT_STREQ(text, "A\x83" "bC\x82z");
  char latin[] = "mixed Case 123 \xE9";
  StrUpper(latin);
  EXPECT_STREQ(latin, "MIXED CASE 123 \xE9");
}

TEST(StringRoutines, StrToIntAndParseIntAfterBlank) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {{"abc-12x", -12}, {"abc", -1}, {"-x", 0}, {"", -1},   {"42", 42},
                        {"x-7-3", -7},    {"007", 7},  {"--5", 0}, {"4294967297", 1}, {"2147483648", INT_MIN}};
  for (const Case& c : cases) EXPECT_EQ(StrToInt(c.text), c.expected) << c.text;
  EXPECT_EQ(ParseIntAfterBlank("LEVEL 12"), 12);
  EXPECT_EQ(ParseIntAfterBlank("HP12"), -1);
  EXPECT_EQ(ParseIntAfterBlank("12 -3 4"), -3);
}

TEST(StringRoutines, IntToStrInEveryRadix) {
  struct Case {
    int value;
    int radix;
    const char* expected;
  };
  const Case cases[] = {{255, 16, "ff"},
                        {-10, 10, "-10"},
                        {0, 10, "0"},
                        {35, 36, "z"},
                        {2026, 10, "2026"},
                        {INT_MIN, 2, "-10000000000000000000000000000000"},
                        {INT_MAX, 16, "7fffffff"},
                        {5, 1, ""}};
  for (const Case& c : cases) {
    char buffer[34];
    EXPECT_STREQ(IntToStr(c.value, buffer, c.radix), c.expected) << c.value << " radix " << c.radix;
  }
}

TEST(StringRoutines, MemMoveAndCountedCompare) {
  char right[] = "abcdef";
  MemMove(right + 1, right, 5);
  EXPECT_STREQ(right, "aabcde");
  char left[] = "abcdef";
  MemMove(left, left + 1, 5);
  EXPECT_STREQ(left, "bcdeff");
  EXPECT_EQ(MemCompareCount("abc", "abd", 2), 0);
  EXPECT_EQ(MemCompareCount("abc", "abd", 3), 1);
  EXPECT_EQ(MemCompareCount("abc", "xyz", 0), 0);
  EXPECT_EQ(MemCompareCount("abc", "abc", -1), 1);
}

TEST(StringRoutines, ConversionsTruncateWhateverTheRoundingMode) {
  struct Case {
    double value;
    int expected;
  };
  const Case cases[] = {{2.7, 2},
                        {-2.7, -2},
                        {0.999, 0},
                        {-0.5, 0},
                        {2147483647.9, INT_MAX},
                        {-2147483648.9, INT_MIN},
                        {2147483648.0, INT_MIN},
                        {-2147483649.0, INT_MIN},
                        {1e300, INT_MIN},
                        {std::nan(""), INT_MIN}};
  const int saved = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    std::fesetround(mode);
    for (const Case& c : cases) EXPECT_EQ(DoubleToInt(c.value), c.expected) << c.value << " mode " << mode;
    EXPECT_EQ(FloatToInt(-2.7f), -2);
  }
  std::fesetround(saved);
  EXPECT_EQ(AbsInt(INT_MIN), INT_MIN);
}

TEST(StringRoutines, WideMultiplyAndDivide) {
  const UInt128 square = Mul64To128(UINT64_MAX, UINT64_MAX);
  EXPECT_EQ(square.high, UINT64_MAX - 1);
  EXPECT_EQ(square.low, 1u);
  EXPECT_EQ(Div128By64(square, UINT64_MAX), UINT64_MAX);
  // Counter ticks to microseconds without overflow: 3e18 ticks at 3 GHz is 1e9 seconds.
  EXPECT_EQ(Div128By64(Mul64To128(3000000000000000000ull, 1000000), 3000000000ull), 1000000000000000ull);
  EXPECT_EQ(Div128By64(UInt128{7, 0}, 0), UINT64_MAX);
}

TEST(StringRoutines, DatesInLocalTime) {
  const testing::ScopedTimeZone japan("JST-9");
  DateTime date{};
  FileTimeToDateTime(125911583990000000ull, &date);  // 1999-12-31 23:59:59 UTC
  EXPECT_EQ((std::vector<int>{date.year, date.month, date.day, date.hour, date.minute, date.second}),
            (std::vector<int>{2000, 1, 1, 8, 59, 59}));
  const plat::FILETIME now = testing::FileTimeOf(134175387070000000ull);  // 2026-03-09 14:05:07 UTC
  plat::test::SetSystemTimeForTest(&now);
  GetLocalDateTime(&date);
  plat::test::SetSystemTimeForTest(nullptr);
  EXPECT_EQ((std::vector<int>{date.year, date.month, date.day, date.hour, date.minute, date.second}),
            (std::vector<int>{2026, 3, 9, 23, 5, 7}));
}

int FormatInto(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FormatStringV(buffer, size, format, args);
  va_end(args);
  return length;
}

TEST(StringRoutines, FormatStringIsBoundedAndCutsOnCharacterBoundaries) {
  struct Case {
    size_t size;
    const char* expected;
  };
  // "ab日本" is 6 bytes; a cut that would split a character drops the whole character.
  const Case cases[] = {{7, "ab日本"}, {6, "ab日"}, {5, "ab日"}, {4, "ab"}, {3, "ab"}, {1, ""}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    const int length = FormatInto(buffer, c.size, "ab%s", "日本");
    EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
    EXPECT_EQ(length, static_cast<int>(std::strlen(c.expected))) << "size " << c.size;
    EXPECT_EQ(buffer[c.size], 'X') << "wrote past the buffer, size " << c.size;
  }
  char buffer[8] = "XXXXXXX";
  EXPECT_EQ(FormatString(buffer, sizeof buffer, "%d-%s", 12, "abcdef"), 0);
  EXPECT_STREQ(buffer, "12-abcd");
}

}  // namespace
}  // namespace orbel

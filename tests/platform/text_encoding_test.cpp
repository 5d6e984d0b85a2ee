// The one text converter between Shift-JIS and UTF-8: exact round trips, one '?' per character that
// does not convert (never one per byte), malformed input of either side, and room that runs out.
#include <cstdint>
#include <string>

#include "platform/host/text_encoding.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/wide_text.h"
#include "test_support.h"

namespace {

using namespace plat::host;
using orbel::testing::Utf8;

TEST(TextEncoding, ConvertsBothWaysWithOneQuestionMarkPerLostCharacter) {
  struct Case {
    const char* shiftJis;  // the Shift-JIS side
    const char8_t* utf8;   // the UTF-8 side
    bool toUtf8Exact;      // Shift-JIS -> UTF-8 converts every character
  };
  const Case cases[] = {
      {"plain ascii \\ ~", u8"plain ascii \\ ~", true},
      {"表示/ソフト", u8"表示/ソフト", true},  // trail bytes 0x5C
      {"\xB1\xB2\xDF", u8"ｱｲﾟ", true},     // half-width katakana: 1 byte to 3
      {"x\x83", u8"x?", false},             // a lead byte cut off at the end
      {"\xA0" "a", u8"?a", false},          // a byte that is no character
      {"\x81\x20" "b", u8"? b", false},     // a lead byte whose trail is not one
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(ShiftJisToUtf8Exact(c.shiftJis, &out), c.toUtf8Exact) << c.shiftJis;
    EXPECT_EQ(out, Utf8(c.utf8)) << c.shiftJis;
    if (c.toUtf8Exact) {
      EXPECT_TRUE(Utf8ToShiftJisExact(Utf8(c.utf8), &out));
      EXPECT_EQ(out, c.shiftJis) << "round trip";
    }
  }

  struct Lossy {
    const char8_t* utf8;
    const char* shiftJis;
  };
  const Lossy lossy[] = {
      {u8"a😀b", "a?b"},             // four bytes with no Shift-JIS form: one '?'
      {u8"é漢", "?漢"},
      {u8"\u00A0", "?"},
  };
  for (const Lossy& c : lossy) {
    std::string out;
    EXPECT_FALSE(Utf8ToShiftJisExact(Utf8(c.utf8), &out)) << c.shiftJis;
    EXPECT_EQ(out, c.shiftJis);
  }
  EXPECT_EQ(Utf8ToShiftJis("\xFF\xC3(\xE3\x81"), "?" "?(?") << "malformed UTF-8: a '?' for each broken sequence";
}

TEST(TextEncoding, ConversionIntoAFixedBufferReportsWhenItDoesNotFit) {
  char buffer[8];
  bool exact = false;
  EXPECT_EQ(ConvertText(TextDirection::ShiftJisToUtf8, "abc", buffer, 3, &exact), 3u);
  EXPECT_TRUE(exact);
  EXPECT_EQ(ConvertText(TextDirection::ShiftJisToUtf8, "abcd", buffer, 3), SIZE_MAX);
  EXPECT_EQ(ConvertText(TextDirection::ShiftJisToUtf8, "表示", buffer, 6), 6u) << "two characters of 3 bytes";
  EXPECT_EQ(std::string(buffer, 6), Utf8(u8"表示"));
  EXPECT_EQ(ConvertText(TextDirection::ShiftJisToUtf8, "表示", buffer, 5), SIZE_MAX);
  EXPECT_EQ(ConvertText(TextDirection::ShiftJisToUtf8, "", buffer, 0), 0u);
  EXPECT_EQ(MaxConvertedSize(TextDirection::ShiftJisToUtf8, 3), 9u);
}

// Wide names for the movie streams: Shift-JIS in, UTF-16 out (surrogate pairs beyond the BMP), and UTF-8
// back for Linux.
TEST(TextEncoding, WideNamesFromTheAnsiCodePageAndBack) {
  const char* name = "./ムービー/a.mp4";  // Shift-JIS bytes at run time
  const int needed = plat::MultiByteToWideChar(plat::CP_ACP, 0, name, -1, nullptr, 0);
  ASSERT_EQ(needed, 13);
  plat::WCHAR wide[13];
  ASSERT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, name, -1, wide, 13), 13);
  EXPECT_EQ(std::u16string(wide), u"./ムービー/a.mp4");
  EXPECT_EQ(plat::WideToUtf8(wide), std::string(reinterpret_cast<const char*>(u8"./ムービー/a.mp4")));
  EXPECT_EQ(plat::WideToUtf8(u"\U0001F600x"), std::string(reinterpret_cast<const char*>(u8"\U0001F600x")));
  EXPECT_EQ(plat::WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "?a");

  plat::WCHAR small[4];
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, name, -1, small, 4), 0);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, name, 2, small, 4), 2) << "no terminator asked for";
  EXPECT_EQ(plat::MultiByteToWideChar(65001, 0, name, -1, small, 4), 0);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_INVALID_PARAMETER);
}

}  // namespace

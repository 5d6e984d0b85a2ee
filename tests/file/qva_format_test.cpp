// The QVA format: the bounded LZ decoder (hand-made blocks, corrupt blocks, round trips through the
// writer's coder), the key, search names and the record readers' bounds.
#include "orbel/file/qva_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "orbel/file/qva_writer.h"

namespace orbel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Block(uint32_t decodedSize, uint8_t escape, const Bytes& codes) {
  Bytes block(kQvaLzHeaderSize + codes.size());
  WriteLe32(block.data(), decodedSize);
  WriteLe32(block.data() + 4, static_cast<uint32_t>(block.size()));
  block[8] = escape;
  for (size_t i = 0; i < codes.size(); ++i) block[kQvaLzHeaderSize + i] = codes[i];
  return block;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

constexpr uint8_t E = 0x10;

struct LzCase {
  const char* name;
  uint32_t decodedSize;
  uint8_t escape;
  Bytes codes;
  Bytes expected;  // empty with ok == false: the block is refused
  bool ok;
};

TEST(QvaLzDecode, DecodesHandMadeBlocks) {
  const LzCase cases[] = {
      {"escape pair is a literal escape byte", 3, E, {'A', E, E, 'B'}, {'A', E, 'B'}, true},
      {"distance 1 repeats the last byte", 11, 0xFF, {'X', 0xFF, 6 << 3, 0}, Bytes(11, 'X'), true},
      {"extension byte adds x << 5 to the length", 38, 0xFF, {'Y', 0xFF, (1 << 3) | 4, 1, 0}, Bytes(38, 'Y'), true},
      {"a code above the escape is lowered by one", 10, E, {'A', 'B', 'C', 'D', E, 0x11, 3}, Text("ABCDABCDAB"), true},
      {"width 3 reuses the previous distance plus one",
       11,
       E,
       {'A', 'B', 'C', E, 0, 2, E, 3},
       Text("ABCABCAABCA"),
       true},
      {"two-byte distance field", 8, E, {'A', 'B', 'C', 'D', E, 1, 3, 0}, Text("ABCDABCD"), true},
      {"empty block", 0, E, {}, {}, true},
      {"width 3 before any match", 5, E, {'A', E, 3}, {}, false},
      {"distance before the output's start", 5, E, {'A', E, 0, 1}, {}, false},
      {"escape byte at the end", 2, E, {'A', E}, {}, false},
      {"missing extension byte", 40, E, {'A', E, 4}, {}, false},
      {"truncated distance field", 5, E, {'A', E, 1, 0}, {}, false},
      {"output beyond the decoded size", 2, E, {'A', 'B', 'C'}, {}, false},
      {"match beyond the decoded size", 3, E, {'A', E, 0, 0}, {}, false},
      {"codes end short of the decoded size", 5, E, {'A'}, {}, false},
      {"no codes but a decoded size", 5, E, {}, {}, false},
  };
  for (const LzCase& c : cases) {
    const Bytes block = Block(c.decodedSize, c.escape, c.codes);
    Bytes out(c.decodedSize + 16, 0xCC);
    const int64_t result = DecodeQvaLz(block.data(), block.size(), out.data(), out.size());
    if (!c.ok) {
      EXPECT_EQ(result, -1) << c.name;
      continue;
    }
    ASSERT_EQ(result, static_cast<int64_t>(c.decodedSize)) << c.name;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + c.decodedSize), c.expected) << c.name;
    EXPECT_EQ(out[c.decodedSize], 0xCC) << c.name << ": wrote past the decoded size";
  }
}

TEST(QvaLzDecode, ChecksTheHeadAgainstBlockAndCapacity) {
  Bytes block = Block(3, E, {'A', 'B', 'C'});
  uint8_t out[3];
  EXPECT_EQ(DecodeQvaLz(block.data(), block.size(), nullptr, 0), 3) << "null destination: size only";
  EXPECT_EQ(DecodeQvaLz(block.data(), block.size(), out, 2), -1) << "capacity below the decoded size";
  EXPECT_EQ(DecodeQvaLz(block.data(), block.size() - 1, out, 3), -1) << "encoded size past the block";
  EXPECT_EQ(DecodeQvaLz(block.data(), 8, out, 3), -1) << "block shorter than its head";
  WriteLe32(block.data() + 4, 8);
  EXPECT_EQ(DecodeQvaLz(block.data(), block.size(), out, 3), -1) << "encoded size below 9";
}

TEST(QvaLzDecode, RoundTripsTheWritersCoder) {
  struct Input {
    const char* name;
    Bytes data;
  };
  Bytes allValues;
  for (int r = 0; r < 40; ++r)
    for (int b = 0; b < 256; ++b) allValues.push_back(static_cast<uint8_t>(b));
  Bytes periodic;
  for (int i = 0; i < 50000; ++i) periodic.push_back(static_cast<uint8_t>("abcabd"[i % 6]));
  const Input inputs[] = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"every byte value, repeated (escapes everywhere)", allValues},
      {"noise", testing::TestBytes(100000, 11, false)},
      {"text", testing::TestBytes(300000, 12, true)},
      {"a megabyte of zeros (longest matches)", Bytes(1 << 20, 0)},
      {"short period", periodic},
  };
  for (const Input& input : inputs) {
    const Bytes block = EncodeQvaLz(input.data.data(), input.data.size());
    Bytes out(input.data.size());
    ASSERT_EQ(DecodeQvaLz(block.data(), block.size(), out.data(), out.size()),
              static_cast<int64_t>(input.data.size()))
        << input.name;
    EXPECT_EQ(out, input.data) << input.name;
  }
  const Bytes text = testing::TestBytes(300000, 12, true);
  EXPECT_LT(EncodeQvaLz(text.data(), text.size()).size(), text.size() / 3) << "text should shrink well";
  const Bytes zeros(1 << 20, 0);
  EXPECT_LT(EncodeQvaLz(zeros.data(), zeros.size()).size(), 1000u);
}

TEST(QvaKey, AnyRangeUnkeysLikeTheWholeFile) {
  uint8_t key[kQvaKeySize];
  MakeQvaKey(nullptr, key);
  const Bytes plain = testing::TestBytes(1000, 21, false);
  Bytes whole = plain;
  QvaKeyConvert(whole.size(), whole.data(), 0, key);
  EXPECT_NE(whole, plain);
  const size_t ranges[][2] = {{0, 1000}, {1, 999}, {5, 24}, {11, 25}, {12, 48}, {13, 1}, {500, 123}, {977, 23}};
  for (const auto& range : ranges) {
    Bytes part(whole.begin() + range[0], whole.begin() + range[0] + range[1]);
    QvaKeyConvert(part.size(), part.data(), range[0], key);
    EXPECT_EQ(part, Bytes(plain.begin() + range[0], plain.begin() + range[0] + range[1]))
        << "offset " << range[0] << " length " << range[1];
  }
}

TEST(QvaKey, MaterialIsRepeatedOrCutToTwelveBytes) {
  auto keyOf = [](const char* text) {
    Bytes key(kQvaKeySize);
    MakeQvaKey(text, key.data());
    return key;
  };
  EXPECT_EQ(keyOf("ab"), keyOf("abababababab"));
  EXPECT_EQ(keyOf("OrbelArchive-and-more"), keyOf(nullptr)) << "the default material is cut the same way";
  EXPECT_EQ(keyOf(""), keyOf(nullptr));
  EXPECT_NE(keyOf("ab"), keyOf("ba"));
  EXPECT_NE(keyOf("abc"), keyOf(nullptr));
  Bytes fallback(kQvaKeySize);
  MakeQvaFallbackKey(fallback.data());
  EXPECT_NE(fallback, keyOf(nullptr));
}

TEST(QvaNames, SearchNamesArePaddedUpperCasedAndSummed) {
  struct Case {
    const char* name;
    size_t consumed;
    uint16_t length;
    std::string searchName;  // without padding
  };
  const Case cases[] = {
      {"ABCDEFGH", 8, 3, "ABCDEFGH"},
      {"ABCDEFG", 7, 2, "ABCDEFG"},
      {"a.png", 5, 2, "A.PNG"},
      {"dir\\file", 3, 1, "DIR"},
      {"dir/file", 3, 1, "DIR"},
      {"表\\x", 2, 1, "表"},      // trail byte 0x5C stays inside the character
      {"ャa", 3, 1, "ャA"},       // trail byte 0x61 is not upper-cased
      {"", 0, 1, ""},
  };
  for (const Case& c : cases) {
    QvaNameKey key;
    size_t consumed = 0;
    ASSERT_EQ(MakeQvaNameRecord(c.name, &key, &consumed), 0) << c.name;
    EXPECT_EQ(consumed, c.consumed) << c.name;
    EXPECT_EQ(key.length, c.length) << c.name;
    uint16_t sum = 0;
    for (unsigned char ch : c.searchName) sum = static_cast<uint16_t>(sum + ch);
    EXPECT_EQ(key.check, sum) << c.name;
    const std::string padded(reinterpret_cast<const char*>(key.searchName), size_t{key.length} * 4);
    EXPECT_EQ(padded, c.searchName + std::string(padded.size() - c.searchName.size(), '\0')) << c.name;
  }
  QvaNameKey lower;
  QvaNameKey upper;
  MakeQvaNameRecord("readme.txt", &lower, nullptr);
  MakeQvaNameRecord("README.TXT", &upper, nullptr);
  EXPECT_EQ(std::memcmp(&lower, &upper, 4 + size_t{upper.length} * 4), 0);

  QvaNameKey tooLong;
  const std::string huge(400, 'x');
  EXPECT_EQ(MakeQvaNameRecord(huge.c_str(), &tooLong, nullptr), -1);
  EXPECT_EQ(tooLong.length, 0);
}

TEST(QvaRecords, ReadersRefuseRecordsOutsideTheBlock) {
  // A name record "AB" (L = 1), then its name, in a 12-byte block.
  Bytes block = {1, 0, 'A' + 'B', 0, 'A', 'B', 0, 0, 'a', 'b', 0, 0};
  QvaNameView view;
  ASSERT_TRUE(ReadQvaNameRecord(block.data(), 12, 0, &view));
  EXPECT_STREQ(view.name, "ab");
  EXPECT_FALSE(ReadQvaNameRecord(block.data(), 10, 0, &view)) << "name not terminated inside the block";
  EXPECT_FALSE(ReadQvaNameRecord(block.data(), 12, 10, &view)) << "record past the end";
  EXPECT_FALSE(ReadQvaNameRecord(block.data(), 12, 0xFFFFFFFEu, &view)) << "offset that wraps";
  const struct {
    const char* name;
    size_t index;
    uint8_t value;
  } broken[] = {{"search name without padding", 7, 'C'}, {"zero length", 0, 0}, {"huge length", 1, 0x40}};
  for (const auto& b : broken) {
    Bytes edited = block;
    edited[b.index] = b.value;
    EXPECT_FALSE(ReadQvaNameRecord(edited.data(), 12, 0, &view)) << b.name;
  }

  // A directory record whose records must fit in the file table.
  QvaHeader header{2, 0, 0, 0, 0, 44};
  Bytes tables(44 + 16, 0);
  QvaDirectoryRecord dir{0, kQvaNoParent, 1, 0};
  WriteQvaDirectoryRecord(dir, tables.data() + 44);
  QvaDirectoryRecord read;
  EXPECT_TRUE(ReadQvaDirectoryRecord(tables.data(), 60, header, 0, &read));
  dir.fileCount = 2;
  WriteQvaDirectoryRecord(dir, tables.data() + 44);
  EXPECT_FALSE(ReadQvaDirectoryRecord(tables.data(), 60, header, 0, &read)) << "second record past the block";
  dir.fileCount = 0x20000000;
  WriteQvaDirectoryRecord(dir, tables.data() + 44);
  EXPECT_FALSE(ReadQvaDirectoryRecord(tables.data(), 60, header, 0, &read)) << "count whose span overflows";
  EXPECT_FALSE(ReadQvaDirectoryRecord(tables.data(), 60, header, 16, &read)) << "record past the block";
  QvaFileRecord file;
  EXPECT_TRUE(ReadQvaFileRecord(tables.data(), 60, header, 0, &file));
  EXPECT_FALSE(ReadQvaFileRecord(tables.data(), 60, header, 20, &file));
}

}  // namespace
}  // namespace orbel

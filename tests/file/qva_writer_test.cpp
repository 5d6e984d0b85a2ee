// The archive writer: the layout it writes (parsed back field by field), the choice between stored and
// coded data, names it refuses, older versions, the fallback key and packing a directory from disk.
#include "orbel/file/qva_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "file_test_support.h"
#include "orbel/file/qva_format.h"

namespace orbel {
namespace {

using Bytes = std::vector<uint8_t>;

// An archive unkeyed and parsed into path -> (record, data) by walking its tables.
struct Parsed {
  QvaHeader header{};
  std::map<std::string, QvaFileRecord> records;
  std::map<std::string, Bytes> data;
};

void Walk(const Bytes& file, const QvaHeader& h, uint32_t dirOffset, const std::string& prefix, Parsed* out) {
  const uint8_t* block = file.data() + h.headerBlockOffset;
  QvaDirectoryRecord dir;
  ASSERT_TRUE(ReadQvaDirectoryRecord(block, h.headerBlockSize, h, dirOffset, &dir));
  EXPECT_EQ(dir.selfOffset, dirOffset);
  for (uint32_t i = 0; i < dir.fileCount; ++i) {
    QvaFileRecord record;
    QvaNameView name;
    ASSERT_TRUE(ReadQvaFileRecord(block, h.headerBlockSize, h, dir.firstFileOffset + i * QvaFileRecordSize(h.version),
                                  &record));
    ASSERT_TRUE(ReadQvaNameRecord(block, h.headerBlockSize, record.nameOffset, &name));
    const std::string path = prefix + name.name;
    out->records[path] = record;
    if (record.IsDirectory()) {
      QvaDirectoryRecord child;
      ASSERT_TRUE(ReadQvaDirectoryRecord(block, h.headerBlockSize, h, record.dataOffset, &child));
      EXPECT_EQ(child.parentOffset, dirOffset) << path;
      Walk(file, h, record.dataOffset, path + "/", out);
      continue;
    }
    const uint8_t* data = file.data() + h.dataStart + record.dataOffset;
    if (record.IsCompressed()) {
      Bytes decoded(record.dataSize);
      EXPECT_EQ(DecodeQvaLz(data, record.compressedSize, decoded.data(), decoded.size()),
                static_cast<int64_t>(record.dataSize))
          << path;
      out->data[path] = decoded;
    } else {
      out->data[path] = Bytes(data, data + record.dataSize);
    }
  }
}

Parsed Parse(Bytes file, bool fallbackKey = false) {
  Parsed parsed;
  uint8_t key[kQvaKeySize];
  if (fallbackKey) {
    MakeQvaFallbackKey(key);
  } else {
    MakeQvaKey(nullptr, key);
  }
  QvaKeyConvert(file.size(), file.data(), 0, key);
  EXPECT_TRUE(ReadQvaHeader(file.data(), &parsed.header));
  QvaDirectoryRecord root;
  const QvaHeader& h = parsed.header;
  EXPECT_TRUE(ReadQvaDirectoryRecord(file.data() + h.headerBlockOffset, h.headerBlockSize, h, 0, &root));
  EXPECT_EQ(root.parentOffset, kQvaNoParent);
  Walk(file, h, 0, "", &parsed);
  return parsed;
}

TEST(QvaWriter, WritesTablesThatReadBack) {
  QvaWriter writer;
  const Bytes text = testing::TestBytes(20000, 1, true);
  const Bytes noise = testing::TestBytes(3000, 2, false);
  ASSERT_TRUE(writer.AddFile("b.txt", text.data(), text.size(), 111, 222));
  ASSERT_TRUE(writer.AddFile("sub\\deeper/n.bin", noise.data(), noise.size()));
  ASSERT_TRUE(writer.AddFile("a.txt", "", 0));
  ASSERT_TRUE(writer.AddDirectory("emptydir", 5, 6));
  const Bytes archive = writer.Finish();
  ASSERT_FALSE(archive.empty()) << writer.error();

  const Parsed p = Parse(archive);
  EXPECT_EQ(p.header.version, 2);
  EXPECT_LE(uint64_t{p.header.headerBlockOffset} + p.header.headerBlockSize, archive.size());
  EXPECT_EQ(p.data.at("b.txt"), text);
  EXPECT_EQ(p.data.at("sub/deeper/n.bin"), noise);
  EXPECT_TRUE(p.data.at("a.txt").empty());
  EXPECT_TRUE(p.records.at("b.txt").IsCompressed()) << "text shrinks, so it is coded";
  EXPECT_FALSE(p.records.at("sub/deeper/n.bin").IsCompressed()) << "noise does not shrink, so it is stored";
  EXPECT_EQ(p.records.at("b.txt").creationTime, 111u);
  EXPECT_EQ(p.records.at("b.txt").lastWriteTime, 222u);
  EXPECT_TRUE(p.records.at("emptydir").IsDirectory());
  EXPECT_EQ(p.records.at("emptydir").creationTime, 5u);
  EXPECT_EQ(p.records.size(), 6u);
}

TEST(QvaWriter, OutputDoesNotDependOnTheOrderFilesWereAdded) {
  QvaWriter first;
  QvaWriter second;
  first.AddFile("x/1", "a", 1);
  first.AddFile("y", "bb", 2);
  second.AddFile("y", "bb", 2);
  second.AddFile("x/1", "a", 1);
  EXPECT_EQ(first.Finish(), second.Finish());
}

TEST(QvaWriter, RefusesNamesTheReaderCouldNotTellApart) {
  struct Case {
    const char* first;
    const char* second;
  };
  const Case clashes[] = {
      {"readme.txt", "README.TXT"},  // the reader ignores the case of a-z
      {"dir/a", "DIR/A"},
      {"file", "file/inside"},  // a file in the way of a directory
      {"ok", "a//b"},
      {"ok", "../up"},
      {"ok", "./here"},
      {"ok", ""},
      {"ok", "trailing/"},
  };
  for (const Case& c : clashes) {
    QvaWriter writer;
    ASSERT_TRUE(writer.AddFile(c.first, "1", 1)) << c.first;
    EXPECT_FALSE(writer.AddFile(c.second, "2", 1)) << c.first << " then " << c.second;
    EXPECT_FALSE(writer.error().empty());
  }
  QvaWriter writer;
  EXPECT_TRUE(writer.AddFile("ア", "1", 1));  // 83 41
  EXPECT_TRUE(writer.AddFile("ャ", "2", 1)) << "83 61: the trail byte of a pair is no letter";
}

TEST(QvaWriter, OlderVersionsAndTheStoreOptionStoreEveryFile) {
  QvaWriterOptions older;
  older.version = 1;
  QvaWriterOptions stored;
  stored.compress = false;
  stored.useFallbackKey = true;
  const struct {
    const char* name;
    QvaWriterOptions options;
    uint16_t version;
  } cases[] = {{"version 1", older, 1}, {"store option with the fallback key", stored, 2}};
  const Bytes text = testing::TestBytes(5000, 3, true);
  for (const auto& c : cases) {
    QvaWriter writer(c.options);
    writer.AddFile("t.txt", text.data(), text.size());
    const Bytes archive = writer.Finish();
    Bytes header(archive.begin(), archive.begin() + kQvaHeaderSize);
    uint8_t key[kQvaKeySize];
    MakeQvaKey(nullptr, key);
    QvaKeyConvert(header.size(), header.data(), 0, key);
    EXPECT_EQ(header[0] == 'Q' && header[1] == 'V', !c.options.useFallbackKey)
        << c.name << ": readable with the default key unless the fallback key is used";
    const Parsed p = Parse(archive, c.options.useFallbackKey);
    EXPECT_EQ(p.header.version, c.version) << c.name;
    EXPECT_FALSE(p.records.at("t.txt").IsCompressed()) << c.name;
    EXPECT_EQ(p.data.at("t.txt"), text) << c.name;
  }
}

class QvaWriterDisk : public testing::FileTest {};

TEST_F(QvaWriterDisk, PacksADirectoryAndSkipsItsOwnOutput) {
  const auto tree = testing::StandardTree();
  testing::WriteTree(dir() / "DATA", tree);
  std::string error;
  ASSERT_EQ(WriteQvaArchiveFromDirectory("DATA", "DATA/inside.qva", {}, &error), 0) << error;
  ASSERT_EQ(WriteQvaArchiveFromDirectory("DATA/", "DATA/inside.qva", {}, &error), 0) << "rewritten over itself";
  const Parsed p = Parse(testing::ReadFileBytes(dir() / "DATA" / "inside.qva"));
  EXPECT_EQ(p.data.size(), tree.size()) << "every file, and not the archive itself";
  for (const auto& file : tree) EXPECT_EQ(p.data.at(file.path), file.data) << file.path;

  EXPECT_EQ(WriteQvaArchiveFromDirectory("MISSING", "MISSING.QVA", {}, &error), -1);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orbel

// The archive manager: archives standing in for directories (found without regard to case, shortest
// prefix first, never falling back to a plain file), reference counts and the cache, the open-file limit,
// handle checks, the last-archive shortcut, corrupt archives and memory mode.
#include "orbel/file/qva_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "file_test_support.h"
#include "orbel/file/qva_archive_file.h"
#include "orbel/file/qva_format.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class QvaArchiveTest : public testing::FileTest {
 protected:
  // "<name>.QVA" holding A.TXT (compressible), B.BIN (noise) and SUB/C.TXT; the directory is removed
  // unless `keepDirectory`.
  void MakeArchive(const std::string& name, uint32_t seed, bool keepDirectory = false,
                   const QvaWriterOptions& options = {}) {
    testing::WriteTree(dir() / name, {{"A.TXT", testing::TestBytes(3000, seed, true)},
                                      {"B.BIN", testing::TestBytes(2000, seed + 1, false)},
                                      {"SUB/C.TXT", testing::TestBytes(500, seed + 2, true)}});
    Pack(name, options);
    if (!keepDirectory) fs::remove_all(dir() / name);
  }
};

TEST_F(QvaArchiveTest, ReadsTheArchiveBesideTheWorkingDirectoryWithoutRegardToCase) {
  MakeArchive("DATA", 1);
  EXPECT_EQ(ReadAll("DATA\\A.TXT"), testing::TestBytes(3000, 1, true));
  EXPECT_EQ(ReadAll("data/sub/c.txt"), testing::TestBytes(500, 3, true));
  EXPECT_EQ(ReadAll("./Data/./SUB/../B.BIN"), testing::TestBytes(2000, 2, false));
  EXPECT_EQ(GetQvaArchiveCacheCount(), 1) << "every spelling finds the same cache entry";

  fs::rename(dir() / "DATA.QVA", dir() / "lower.qva");
  EXPECT_EQ(ReadAll("LOWER/A.TXT"), testing::TestBytes(3000, 1, true)) << "archive file name in lower case";
}

TEST_F(QvaArchiveTest, PathsInAnArchiveNeverFallBackToPlainFiles) {
  MakeArchive("DATA", 1, true);
  testing::WriteFileText(dir() / "DATA" / "ONLYPLAIN.TXT", "plain");
  EXPECT_EQ(FileAccessOpen("DATA/ONLYPLAIN.TXT", 0, 1, 0), 0u);
  EXPECT_EQ(FileAccessOpen("DATA/SUB", 0, 1, 0), 0u) << "a directory is no file";
  EXPECT_EQ(GetQvaArchiveRefCount(0), 0) << "the failed opens gave their references back";
  testing::WriteTree(dir() / "OTHER", {{"x.txt", {'x'}}});
  EXPECT_EQ(ReadAll("OTHER/x.txt"), Bytes{'x'}) << "no archive on the way: the plain file";
}

TEST_F(QvaArchiveTest, ShortestPrefixWins) {
  testing::WriteTree(dir() / "OUTER", {{"DATA/A.TXT", {'o', 'u', 't'}}});
  Pack("OUTER");
  testing::WriteTree(dir() / "OUTER" / "DATA", {{"A.TXT", {'i', 'n'}}});
  Pack("OUTER/DATA");
  EXPECT_EQ(ReadAll("OUTER/DATA/A.TXT"), (Bytes{'o', 'u', 't'}));
  EXPECT_EQ(GetQvaArchiveCacheCount(), 1) << "OUTER/DATA.QVA was never tried";
}

TEST_F(QvaArchiveTest, CountsReferencesAndKeepsArchivesUntilTerminate) {
  MakeArchive("DATA", 1);
  const FileHandle a = FileAccessOpen("DATA/A.TXT", 0, 1, 0);
  const FileHandle b = FileAccessOpen("DATA/B.BIN", 0, 1, 1);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_EQ(a & 0xF0000000u, 0xF0000000u);
  EXPECT_EQ(GetQvaArchiveRefCount(0), 2);
  FileAccessClose(a);
  FileAccessClose(b);
  EXPECT_EQ(GetQvaArchiveRefCount(0), 0);
  EXPECT_EQ(GetQvaArchiveCacheCount(), 1) << "cached after its last file closed";
  const FileFindInfo* none = nullptr;
  const FindHandle search = FileAccessFindFirst("DATA/*", const_cast<FileFindInfo*>(none));
  ASSERT_NE(search, -1);
  EXPECT_EQ(GetQvaArchiveRefCount(0), 1) << "a search holds a reference too";
  FileAccessFindClose(search);
  TerminateArchiveManager();
  EXPECT_EQ(GetQvaArchiveCacheCount(), 0);
}

TEST_F(QvaArchiveTest, The513thOpenIsRefusedWithItsLogLine) {
  MakeArchive("DATA", 1);
  std::vector<FileHandle> open;
  for (int i = 0; i < kQvaFileHandleMax; ++i) {
    open.push_back(FileAccessOpen("DATA/B.BIN", 0, 1, 0));
    ASSERT_NE(open.back(), 0u) << i;
  }
  EXPECT_EQ(LogText(), "");
  EXPECT_EQ(FileAccessOpen("DATA/B.BIN", 0, 1, 0), 0u);
  EXPECT_NE(LogText().find("同時に開けるファイルの数が限界を超えました\r\n"), std::string::npos) << LogText();
  FileAccessClose(open[100]);
  const FileHandle again = FileAccessOpen("DATA/A.TXT", 0, 1, 0);
  EXPECT_EQ(again, open[100]) << "the freed slot is taken again";
  open[100] = again;
  for (FileHandle h : open) FileAccessClose(h);
  EXPECT_EQ(GetQvaOpenFileCount(), 0);
}

TEST_F(QvaArchiveTest, HandlesAreRangeChecked) {
  MakeArchive("DATA", 1);
  const FileHandle good = FileAccessOpen("DATA/A.TXT", 0, 1, 0);
  const FileHandle bad[] = {0,
                            1,
                            good & 0x0FFFFFFFu,                      // no marker
                            0xE0000000u | (good & 0x0FFFFFFFu),      // wrong marker
                            0xF0000000u | kQvaFileHandleMax,        // index past the table
                            0xF0000000u | 0x0FFFFFFFu,
                            0xF0000000u | 77,                         // empty slot
                            (uintptr_t{1} << 40) | good};             // bits beyond 32
  for (FileHandle h : bad) {
    char buffer[4];
    EXPECT_EQ(QvaFileRead(buffer, 1, 4, h), 0u) << std::hex << h;
    EXPECT_EQ(QvaFileTell(h), -1) << std::hex << h;
    EXPECT_EQ(QvaFileSeek(h, 0, 0), -1) << std::hex << h;
    EXPECT_EQ(QvaFileEof(h), -1) << std::hex << h;
    EXPECT_EQ(QvaFileIdleCheck(h), -1) << std::hex << h;
    EXPECT_EQ(QvaFileClose(h), -1) << std::hex << h;
  }
  EXPECT_EQ(GetQvaOpenFileCount(), 1) << "no bad handle closed the good one";
  FileAccessClose(good);
  EXPECT_EQ(QvaFindNext(12345, nullptr), -1);
  EXPECT_EQ(QvaFindClose(12345), -1);
}

TEST_F(QvaArchiveTest, LastArchiveShortcutNeverUsesAnEmptiedSlot) {
  MakeArchive("ONE", 1);
  EXPECT_EQ(ReadAll("ONE/A.TXT"), testing::TestBytes(3000, 1, true));
  TerminateArchiveManager();  // the slot of ONE.QVA is emptied
  MakeArchive("TWO", 20);      // takes the same slot
  EXPECT_EQ(ReadAll("TWO/A.TXT"), testing::TestBytes(3000, 20, true));
  EXPECT_EQ(ReadAll("ONE/A.TXT"), testing::TestBytes(3000, 1, true));
  TerminateArchiveManager();
  MakeArchive("ONE", 30);  // a new ONE.QVA: read afresh, not through a stale entry
  EXPECT_EQ(ReadAll("ONE/A.TXT"), testing::TestBytes(3000, 30, true));
}

TEST_F(QvaArchiveTest, FallbackKeyAndKeyTextArchivesOpen) {
  QvaWriterOptions fallback;
  fallback.useFallbackKey = true;
  MakeArchive("FB", 5, false, fallback);
  EXPECT_EQ(ReadAll("FB/B.BIN"), testing::TestBytes(2000, 6, false));

  QvaWriterOptions keyed;
  keyed.keyText = "secret";
  MakeArchive("KEYED", 7, false, keyed);
  EXPECT_EQ(FileAccessOpen("KEYED/A.TXT", 0, 1, 0), 0u) << "unreadable with the default key";
  SetQvaArchiveKeyText("secret");
  EXPECT_EQ(ReadAll("KEYED/A.TXT"), testing::TestBytes(3000, 7, true));
}

// Archive bytes unkeyed, changed by `edit`, keyed again and written as DATA.QVA.
void WriteEdited(const fs::path& path, const Bytes& original, const std::function<void(Bytes&, QvaHeader&)>& edit) {
  Bytes bytes = original;
  uint8_t key[kQvaKeySize];
  MakeQvaKey(nullptr, key);
  QvaKeyConvert(bytes.size(), bytes.data(), 0, key);
  QvaHeader header;
  ReadQvaHeader(bytes.data(), &header);
  edit(bytes, header);
  QvaKeyConvert(bytes.size(), bytes.data(), 0, key);
  testing::WriteFileBytes(path, bytes);
}

TEST_F(QvaArchiveTest, CorruptTablesMakeNoArchive) {
  MakeArchive("DATA", 1);
  const Bytes original = testing::ReadFileBytes(dir() / "DATA.QVA");
  struct Case {
    const char* name;
    std::function<void(Bytes&, QvaHeader&)> edit;
  };
  auto field = [](size_t offset, uint32_t value) {
    return [offset, value](Bytes& b, QvaHeader&) { WriteLe32(b.data() + offset, value); };
  };
  auto rootField = [](size_t offset, uint32_t value) {
    return [offset, value](Bytes& b, QvaHeader& h) {
      WriteLe32(b.data() + h.headerBlockOffset + h.directoryTableOffset + offset, value);
    };
  };
  const Case cases[] = {
      {"empty file", [](Bytes& b, QvaHeader&) { b.clear(); }},
      {"cut inside the header", [](Bytes& b, QvaHeader&) { b.resize(20); }},
      {"cut inside the header block", [](Bytes& b, QvaHeader& h) { b.resize(h.headerBlockOffset + 10); }},
      {"bad magic", [](Bytes& b, QvaHeader&) { b[0] = 'X'; }},
      {"version 4", [](Bytes& b, QvaHeader&) { WriteLe16(b.data() + 2, 4); }},
      {"header block larger than the file", field(4, 0x7FFFFFFF)},
      {"header block too small for the root", field(4, 8)},
      {"header block offset past the end", field(12, 0xFFFFFFF0u)},
      {"data start past the end", field(8, 0xFFFFFFF0u)},
      {"file table past the block", field(16, 0xFFFFFF00u)},
      {"directory table past the block", field(20, 0xFFFFFF00u)},
      {"root record count past the block", rootField(8, 0x10000000)},
      {"root records past the block", rootField(12, 0xFFFFFF00u)},
  };
  for (const Case& c : cases) {
    InitializeArchiveManager();
    SetFileAccessFunctions(nullptr);
    WriteEdited(dir() / "DATA.QVA", original, c.edit);
    fs::remove_all(dir() / "DATA");
    EXPECT_EQ(FileAccessOpen("DATA/A.TXT", 0, 1, 0), 0u) << c.name;
    testing::WriteTree(dir() / "DATA", {{"A.TXT", {'p'}}});
    // A bad archive is no archive: the plain file is read.
    EXPECT_EQ(ReadAll("DATA/A.TXT"), Bytes{'p'}) << c.name;
    EXPECT_EQ(GetQvaArchiveCacheCount(), 0) << c.name;
  }

  InitializeArchiveManager();
  SetFileAccessFunctions(nullptr);
  WriteEdited(dir() / "DATA.QVA", original, [](Bytes& b, QvaHeader& h) {
    WriteLe32(b.data() + h.headerBlockOffset, 0xFFFF);  // the first name record's length
  });
  EXPECT_EQ(FileAccessOpen("DATA/A.TXT", 0, 1, 0), 0u) << "a broken name record hides its name";
  EXPECT_EQ(ReadAll("DATA/B.BIN"), testing::TestBytes(2000, 2, false)) << "other names still read";
}

TEST_F(QvaArchiveTest, MembersWhoseDataLiesOutsideTheArchiveDoNotOpen) {
  MakeArchive("DATA", 1);
  const Bytes original = testing::ReadFileBytes(dir() / "DATA.QVA");
  // Root records are A.TXT (coded), B.BIN (stored), SUB; the first record is at file-table offset 0.
  auto recordField = [](uint32_t record, size_t offset, uint32_t value) {
    return [record, offset, value](Bytes& b, QvaHeader& h) {
      WriteLe32(b.data() + h.headerBlockOffset + h.fileTableOffset + record * 44 + offset, value);
    };
  };
  struct Case {
    const char* name;
    const char* path;
    std::function<void(Bytes&, QvaHeader&)> edit;
    // Bad coded data is found when the block is decoded: at open, or for an asynchronous open when the
    // load finishes (the member then reads as empty). Everything else is refused at open.
    bool foundAtDecode = false;
  };
  const Case cases[] = {
      {"stored data past the end", "DATA/B.BIN", recordField(1, 36, 0x7FFFFFFF)},
      {"stored data offset past the end", "DATA/B.BIN", recordField(1, 32, 0xFFFFFF00u)},
      {"coded block past the end", "DATA/A.TXT", recordField(0, 40, 0x7FFFFFFF)},
      {"coded block shorter than its head", "DATA/A.TXT", recordField(0, 40, 4)},
      {"decoded size larger than the record says", "DATA/A.TXT", recordField(0, 36, 100), true},
      {"a size no block that short can give", "DATA/A.TXT", recordField(0, 36, 0xFFFFFFF0u)},  // never allocated
      {"sub-directory link past the table", "DATA/SUB/C.TXT", recordField(2, 32, 0xFFFFFF00u)},
      {"coded data with a bad distance",
       "DATA/A.TXT",
       [](Bytes& b, QvaHeader& h) {
         const uint8_t* rec = b.data() + h.headerBlockOffset + h.fileTableOffset;
         uint8_t* block = b.data() + h.dataStart + ReadLe32(rec + 32);
         // Replace the codes by one literal and a match reaching 200 bytes back.
         block[9] = block[8] == 'A' ? 'B' : 'A';
         block[10] = block[8];
         block[11] = block[8] == 0 ? 1 : 0;
         block[12] = 199;
       },
       true},
  };
  for (const Case& c : cases) {
    for (int async : {0, 1}) {
      InitializeArchiveManager();
      SetFileAccessFunctions(nullptr);
      WriteEdited(dir() / "DATA.QVA", original, c.edit);
      const FileHandle file = FileAccessOpen(c.path, 0, 1, async);
      if (!(c.foundAtDecode && async)) {
        EXPECT_EQ(file, 0u) << c.name << (async ? " (asynchronous)" : "");
        continue;
      }
      ASSERT_NE(file, 0u) << c.name;
      char buffer[16];
      testing::WaitFileIdle(file);
      EXPECT_EQ(FileAccessRead(buffer, 1, sizeof(buffer), file), 0u) << c.name;
      EXPECT_NE(FileAccessEof(file), 0) << c.name;
      FileAccessClose(file);
    }
  }
}

TEST_F(QvaArchiveTest, MemoryModeLoadsTheWholeArchive) {
  MakeArchive("DATA", 1);
  const int index = OpenQvaArchive(-1, "DATA.QVA", 1, 1);
  ASSERT_GE(index, 0);
  QvaArchive* archive = &GetQvaArchiveCacheEntry(index)->archive;
  EXPECT_EQ(archive->memoryMode, 1);
  const struct {
    const char* path;
    Bytes expected;
  } members[] = {{"SUB\\C.TXT", testing::TestBytes(500, 3, true)}, {"a.txt", testing::TestBytes(3000, 1, true)}};
  for (const auto& m : members) {
    QvaArchiveFile file;
    ASSERT_EQ(OpenQvaArchiveFile(&file, archive, m.path, 0), 0) << m.path;
    EXPECT_EQ(archive->loadPending, 0) << "every archive operation finishes the load first";
    Bytes data(m.expected.size());
    EXPECT_EQ(QvaArchiveFileRead(&file, data.data(), data.size() + 100), data.size()) << m.path;
    EXPECT_EQ(data, m.expected) << m.path;
    QvaArchiveFileClose(&file);
  }
  ReleaseQvaArchive(index);
}

}  // namespace
}  // namespace orbel

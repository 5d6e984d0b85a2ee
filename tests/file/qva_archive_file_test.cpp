// Members and searches inside archives: a packed tree (stored and coded, nested, Shift-JIS names) reads
// back byte for byte through the file-access table in every mode, searches list what the plain directory
// lists, and the walk, wildcard and split helpers behave at their edges.
#include "orbel/file/qva_archive_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "file_test_support.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/thread_file.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class QvaArchiveFileTest : public testing::FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    tree_ = testing::StandardTree();
    testing::WriteTree(dir() / "PLAIN", tree_);
    testing::WriteTree(dir() / "DATA", tree_);
  }
  void TearDown() override {
    ThreadFileHoldWorkers(0);
    FileTest::TearDown();
  }
  QvaArchive* OpenArchive() {
    index_ = OpenQvaArchive(-1, "DATA.QVA", 0, 0);
    EXPECT_GE(index_, 0);
    return index_ < 0 ? nullptr : &GetQvaArchiveCacheEntry(index_)->archive;
  }

  std::vector<testing::TreeFile> tree_;
  int index_ = -1;
};

TEST_F(QvaArchiveFileTest, PackedTreeReadsBackByteForByteInEveryMode) {
  for (bool compress : {false, true}) {
    QvaWriterOptions options;
    options.compress = compress;
    InitializeArchiveManager();  // an archive still cached is open, and cannot be rewritten
    Pack("DATA", options);
    for (const auto& file : tree_) {
      const std::string archived = "DATA/" + file.path;
      const std::string plain = "PLAIN/" + file.path;
      for (int async : {0, 1}) {
        for (size_t chunk : {size_t{1000}, size_t{65536}}) {
          EXPECT_EQ(ReadAll(archived.c_str(), chunk, async), file.data)
              << archived << (compress ? " coded" : " stored") << " async " << async << " chunk " << chunk;
        }
        EXPECT_EQ(ReadAll(plain.c_str(), 1000, async, 1), file.data) << plain;
      }
    }
    EXPECT_EQ(GetQvaArchiveCacheCount(), 1);
  }
}

TEST_F(QvaArchiveFileTest, SeeksAndPiecewiseReadsUnkeyByTheRightOffsets) {
  Pack("DATA", {});
  const Bytes& big = tree_[4].data;  // img/big.bin, stored (noise)
  for (int async : {0, 1}) {
    const FileHandle file = FileAccessOpen("DATA/IMG/BIG.BIN", 0, 1, async);
    ASSERT_NE(file, 0u);
    const uint32_t offsets[] = {0, 1, 11, 12, 13, 99999, 199990, 150000};
    for (uint32_t offset : offsets) {
      Bytes part(37);
      EXPECT_EQ(FileAccessSeek(file, static_cast<int32_t>(offset), 0), 0);
      const size_t got = FileAccessRead(part.data(), 1, part.size(), file);
      testing::WaitFileIdle(file);
      const size_t expected = std::min<size_t>(37, big.size() - offset);
      ASSERT_EQ(got, expected) << offset;
      EXPECT_TRUE(std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(got), big.begin() + offset))
          << "offset " << offset << " async " << async;
    }
    EXPECT_EQ(FileAccessSeek(file, 50, 2), 0);
    EXPECT_EQ(FileAccessTell(file), static_cast<int32_t>(big.size())) << "archive seeks clamp to the size";
    EXPECT_EQ(FileAccessSeek(file, -10, 0), 0);
    EXPECT_EQ(FileAccessTell(file), 0);
    FileAccessClose(file);
  }
}

TEST_F(QvaArchiveFileTest, CodedMemberIsDecodedWholeAtOpen) {
  Pack("DATA", {});
  const FileHandle coded = FileAccessOpen("DATA/img/Title.png", 0, 1, 0);
  ASSERT_NE(coded, 0u);
  fs::resize_file(dir() / "DATA.QVA", 0);  // the archive file is no longer needed for this member
  Bytes data(tree_[5].data.size());
  EXPECT_EQ(FileAccessRead(data.data(), 1, data.size(), coded), data.size());
  EXPECT_EQ(data, tree_[5].data);
  FileAccessClose(coded);
}

TEST_F(QvaArchiveFileTest, AsynchronousReadsCompleteAtTheIdleCheck) {
  Pack("DATA", {});
  const FileHandle file = FileAccessOpen("DATA/README.TXT", 0, 1, 1);
  ASSERT_NE(file, 0u);
  Bytes data(300);
  ThreadFileHoldWorkers(kHoldReads);
  EXPECT_EQ(FileAccessRead(data.data(), 1, data.size(), file), 300u) << "returns at once";
  EXPECT_EQ(FileAccessIdleCheck(file), 0) << "the archive's worker is held";
  ThreadFileHoldWorkers(0);
  testing::WaitFileIdle(file);
  EXPECT_EQ(data, tree_[1].data) << "unkeyed once the idle check saw the read finish";
  FileAccessClose(file);

  // A coded member opened asynchronously is decoded by the idle check (or the next operation).
  ThreadFileHoldWorkers(kHoldReads);
  const FileHandle coded = FileAccessOpen("DATA/A.TXT", 0, 1, 1);
  ASSERT_NE(coded, 0u);
  EXPECT_EQ(FileAccessIdleCheck(coded), 0);
  ThreadFileHoldWorkers(0);
  Bytes text(1000);
  EXPECT_EQ(FileAccessRead(text.data(), 1, text.size(), coded), 1000u);
  EXPECT_EQ(text, tree_[0].data);
  FileAccessClose(coded);
}

// Two threads read members of one archive through its shared file, round after round, checking every
// byte: one reads as a film's decode thread does (synchronously), the other asynchronously, its reads
// going to the archive's worker. The archive's lock keeps their seeks and reads from interleaving.
TEST_F(QvaArchiveFileTest, TwoThreadsReadMembersOfOneArchiveThroughItsSharedFile) {
  QvaWriterOptions options;
  options.compress = false;  // stored: every read goes to the shared file
  Pack("DATA", options);
  struct Reader {
    const char* path;
    int async;
    const Bytes* data;
    FileHandle file = 0;
    std::string fault;
  };
  Reader readers[] = {{"DATA/IMG/BIG.BIN", 1, &tree_[4].data, 0, {}}, {"DATA/IMG/TITLE.PNG", 0, &tree_[5].data, 0, {}}};
  for (Reader& r : readers) {
    r.file = FileAccessOpen(r.path, 0, 1, r.async);
    ASSERT_NE(r.file, 0u) << r.path;
  }
  const auto read = [](Reader* r) {
    Bytes piece(512);
    uint32_t seed = r->async ? 7 : 11;
    for (int round = 0; round < 4000 && r->fault.empty(); ++round) {
      seed = seed * 1103515245u + 12345u;
      const size_t at = (seed >> 8) % (r->data->size() - piece.size());
      FileAccessSeek(r->file, static_cast<int32_t>(at), 0);
      const size_t got = FileAccessRead(piece.data(), 1, piece.size(), r->file);
      FileAccessTell(r->file);  // waits for an asynchronous read to land
      if (got != piece.size() || !std::equal(piece.begin(), piece.end(), r->data->begin() + static_cast<long>(at))) {
        r->fault = std::string(r->path) + ": round " + std::to_string(round) + " at " + std::to_string(at) +
                   " got " + std::to_string(got) + " bytes, not those of the member";
      }
    }
  };
  std::thread other(read, &readers[1]);
  read(&readers[0]);
  other.join();
  for (Reader& r : readers) {
    EXPECT_EQ(r.fault, "");
    FileAccessClose(r.file);
  }
}

std::string Stamp(const DateTime& t) {
  return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) + " " +
         std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second);
}

// One line per entry in the order found: a directory as "name/" (directories' sizes and times differ
// between an archive and a plain directory), a file with its size, creation and last-write times.
std::vector<std::string> List(const std::string& pattern) {
  std::vector<std::string> listing;
  FileFindInfo info;
  const FindHandle search = FileAccessFindFirst(pattern.c_str(), &info);
  if (search == -1) return listing;
  do {
    listing.push_back(info.isDirectory ? std::string(info.name) + "/"
                                       : std::string(info.name) + " " + std::to_string(info.sizeLow) + " " +
                                             Stamp(info.creationTime) + " " + Stamp(info.lastWriteTime));
  } while (FileAccessFindNext(search, &info) == 0);
  EXPECT_EQ(FileAccessFindClose(search), 0);
  return listing;
}

TEST_F(QvaArchiveFileTest, SearchesListWhatThePlainDirectoryLists) {
  // The plain listings come from the very directory that is packed (before its archive exists), so the
  // times compared are those of the same files.
  const char* patterns[] = {"*", "img/*", "img/画像/*", "*.TXT", "*.txt", "img/*.PNG", "snd/se/h?t.*", "snd/*", "表*"};
  std::vector<std::set<std::string>> plainListings;
  for (const char* pattern : patterns) {
    std::set<std::string> plain;
    for (const std::string& entry : List("DATA/" + std::string(pattern))) plain.insert(entry);
    // The archive's root stands for the directory but has no ".." entry of its own.
    if (std::strchr(pattern, '/') == nullptr) plain.erase("../");
    plainListings.push_back(plain);
  }
  Pack("DATA", {});
  for (size_t i = 0; i < std::size(patterns); ++i) {
    const std::vector<std::string> archived = List("DATA/" + std::string(patterns[i]));
    EXPECT_FALSE(archived.empty()) << patterns[i];
    EXPECT_EQ(std::set<std::string>(archived.begin(), archived.end()), plainListings[i]) << patterns[i];
  }
  EXPECT_EQ(FileAccessFindFirst("DATA/missing/*", nullptr), -1);
  EXPECT_EQ(FileAccessFindFirst("DATA/*.none", nullptr), -1);
  EXPECT_EQ(GetQvaArchiveRefCount(0), 0) << "failed searches gave their references back";

  // Archive searches start with the dot entries, then give the records in table order.
  const std::vector<std::string> root = List("DATA/*");
  ASSERT_GE(root.size(), 2u);
  EXPECT_EQ(root[0], "./");
  EXPECT_NE(root[1], "../") << "the root has no parent entry";
  std::vector<std::string> sub = List("DATA/img/*");
  for (std::string& entry : sub) entry = entry.substr(0, entry.find(' '));
  EXPECT_EQ(sub, (std::vector<std::string>{"./", "../", "Title.png", "big.bin", "画像/"}));
}

TEST_F(QvaArchiveFileTest, DirectoryWalksAndLookups) {
  Pack("DATA", {});
  QvaArchive* archive = OpenArchive();
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(QvaChangeDirectory(archive, "..", 1, nullptr), -1) << "the root has no parent";
  EXPECT_EQ(QvaChangeDirectory(archive, "IMG", 1, nullptr), 0);
  const uint32_t img = archive->currentDirectory;
  EXPECT_NE(img, 0u);
  EXPECT_EQ(QvaChangeDirectory(archive, "..", 1, nullptr), 0);
  EXPECT_EQ(archive->currentDirectory, 0u);
  EXPECT_EQ(QvaChangeDirectory(archive, "img\\画像", 1, nullptr), 0);
  const uint32_t deep = archive->currentDirectory;
  QvaNameKey last;
  EXPECT_EQ(QvaChangeDirectory(archive, "\\img/missing", 1, &last), -1);
  EXPECT_EQ(archive->currentDirectory, deep) << "restored after the failed walk";
  EXPECT_EQ(last.length, 2) << "the key of the component that failed";
  EXPECT_EQ(QvaChangeDirectory(archive, "\\img/missing", 0, nullptr), -1);
  EXPECT_EQ(archive->currentDirectory, img) << "left where the walk stopped";
  EXPECT_EQ(QvaChangeDirectory(archive, "/", 0, nullptr), 0);
  EXPECT_EQ(archive->currentDirectory, 0u);

  QvaFileRecord record;
  EXPECT_TRUE(FindQvaFileRecord("img/title.PNG", archive, &record));
  EXPECT_EQ(record.dataSize, tree_[5].data.size());
  EXPECT_TRUE(FindQvaFileRecord("表示.TXT", archive, &record)) << "a name whose trail byte is 0x5C";
  EXPECT_FALSE(FindQvaFileRecord("img", archive, &record)) << "a directory is not a file";
  EXPECT_FALSE(FindQvaFileRecord("missing/A.TXT", archive, &record))
      << "a missing directory is not skipped over to a file of the same name";
  EXPECT_FALSE(FindQvaFileRecord("img/", archive, &record));
  EXPECT_EQ(archive->currentDirectory, 0u) << "lookups leave the current directory alone";
  ReleaseQvaArchive(index_);
}

TEST(QvaWildcard, MatchesWithoutBacktracking) {
  struct Case {
    const char* pattern;
    const char* name;
    int expected;
  };
  const Case cases[] = {
      {"*.PNG", "A.PNG", 0},
      {"*.PNG", "A.PNGX", -1},
      {"A*B", "AXB", 0},
      {"A*B", "AXBXB", -1},   // the star binds to the first B
      {"A*BC", "ABXBC", -1},
      {"*", ".", 0},
      {"*", "..", 0},
      {"?", "A", 0},
      {"?", "AB", -1},
      {"?", "表", -1},         // '?' is one byte: the trail byte is left over
      {"??", "表", 0},
      {"A?C", "A表C", -1},
      {"表*", "表示.TXT", 0},
      {"*示*", "表示", -1},    // the name ends where the last star begins
      {"*@B", "\x81\x40@B", -1},  // the star stops at the trail byte 40 of the pair
      {"*@B", "\x81\x41@B", 0},
      {"A*", "A", -1},
      {"A**", "A", -1},
      {"*.*", "A.", -1},
      {"*.*", "A.B", 0},
      {"A", "", -1},
      {"", "A", -1},
      {"", "", 0},
      {"a.png", "A.PNG", -1},  // case-sensitive: callers upper-case both
  };
  for (const Case& c : cases) EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.expected) << c.pattern << " / " << c.name;
}

TEST(QvaSplitPath, SplitsAtTheLastSeparatorOutsideDoubleByteCharacters) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
  };
  const Case cases[] = {
      {"a\\b\\c.png", "a\\b", "c.png"}, {"a/b/c.png", "a/b", "c.png"}, {"c.png", "", "c.png"},
      {"x:y", "x", "y"},                {"表", "", "表"},              {"表\\a", "表", "a"},
      {"\\top", "", "top"},             {"dir/", "dir", ""},
  };
  for (const Case& c : cases) {
    char directory[kFilePathMax];
    char name[kFilePathMax];
    EXPECT_EQ(SplitPathDirName(c.path, directory, name), 0);
    EXPECT_STREQ(directory, c.directory) << c.path;
    EXPECT_STREQ(name, c.name) << c.path;
  }
  EXPECT_EQ(SplitPathDirName("a/b", nullptr, nullptr), 0);
}

}  // namespace
}  // namespace orbel

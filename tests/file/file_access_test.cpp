// The file-access table: the default archive-aware set, the plain-files setting, a caller's table (copied,
// its empty slots failing safely) and the file stream set over the table.
#include "orbel/file/file_access.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "file_test_support.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/stream.h"

namespace orbel {
namespace {

class FileAccessTest : public testing::FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    testing::WriteTree(dir() / "DATA", {{"A.TXT", testing::TestBytes(100, 1, true)}});
    Pack("DATA");
    // The plain directory differs from the archive, so a read shows which one answered.
    testing::WriteFileText(dir() / "DATA" / "A.TXT", "plain");
  }
  void TearDown() override {
    SetUsePlainFileAccess(0);
    FileTest::TearDown();
  }
};

TEST_F(FileAccessTest, DefaultSetReadsArchivesAndThePlainSettingBypassesThem) {
  EXPECT_EQ(ReadAll("DATA/A.TXT"), testing::TestBytes(100, 1, true));
  SetUsePlainFileAccess(1);
  SetFileAccessFunctions(nullptr);
  const auto plain = ReadAll("DATA/A.TXT");
  EXPECT_EQ(std::string(plain.begin(), plain.end()), "plain");
  char cwd[kFilePathMax];
  EXPECT_GT(FileAccessGetCurrentDir(cwd), 0);
  EXPECT_EQ(std::filesystem::path(cwd), dir());
}

int gOpenCalls = 0;
FileHandle CountingOpen(const char*, int, int, int) {
  ++gOpenCalls;
  return 77;
}

TEST_F(FileAccessTest, CallersTableIsCopiedAndEmptySlotsFail) {
  FileAccessFunctionTable table{};
  table.Open = CountingOpen;
  SetFileAccessFunctions(&table);
  table.Open = nullptr;  // later edits of the caller's array change nothing
  gOpenCalls = 0;
  EXPECT_EQ(FileAccessOpen("anything", 0, 1, 0), 77u);
  EXPECT_EQ(gOpenCalls, 1);
  char buffer[8];
  EXPECT_EQ(FileAccessRead(buffer, 1, 8, 77), 0u);
  EXPECT_EQ(FileAccessSeek(77, 0, 0), -1);
  EXPECT_EQ(FileAccessTell(77), -1);
  EXPECT_NE(FileAccessEof(77), 0);
  EXPECT_EQ(FileAccessClose(77), -1);
  EXPECT_EQ(FileAccessFindFirst("*", nullptr), -1);
  char cwd[kFilePathMax] = "x";
  EXPECT_EQ(FileAccessGetCurrentDir(cwd), -1);
  EXPECT_STREQ(cwd, "");
  SetFileAccessFunctions(nullptr);
  EXPECT_EQ(GetFileAccessFunctions().Open, &QvaFileOpen);
}

TEST_F(FileAccessTest, FileStreamSetReadsThroughTheTable) {
  testing::WriteFileText(dir() / "ten.txt", "0123456789");
  const StreamFunctionSet& set = GetFileStreamFunctions();
  const struct {
    const char* path;
    int32_t size;
    size_t firstBlocks;  // of three blocks of 4
  } cases[] = {{"ten.txt", 10, 2}, {"DATA/A.TXT", 100, 3}};
  for (const auto& c : cases) {
    const FileHandle file = FileAccessOpen(c.path, 0, 1, 0);
    ASSERT_NE(file, 0u) << c.path;
    char buffer[16];
    EXPECT_EQ(set.Read(buffer, 4, 3, file), c.firstBlocks) << c.path;
    EXPECT_EQ(set.Seek(file, -2, 2), 0) << c.path;
    EXPECT_EQ(set.Tell(file), c.size - 2) << c.path;
    EXPECT_EQ(set.Read(buffer, 4, 1, file), 0u) << c.path << ": whole blocks, in archives too";
    EXPECT_NE(set.Eof(file), 0) << c.path;
    EXPECT_EQ(set.Read(buffer, 1, 4, file), 2u) << c.path;
    EXPECT_EQ(set.IdleCheck(file), 1) << c.path;
    EXPECT_EQ(set.Close(file), 0) << c.path;
  }
}

}  // namespace
}  // namespace orbel

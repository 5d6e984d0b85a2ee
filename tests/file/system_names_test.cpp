// Names between the library (Shift-JIS) and the disk (UTF-8): a Japanese file in a Japanese directory
// opens and lists by its Shift-JIS name, plain and from the archive qvapack makes of the directory,
// whose stored names are Shift-JIS; qvapack refuses a name with no Shift-JIS form. Also what is not a
// regular file is refused at once through both sets, and a directory change that fails reports -1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "orbel/core/memory.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/qva_format.h"

extern char** environ;

namespace orbel {
namespace {

using testing::Utf8;
using Bytes = std::vector<uint8_t>;
using FileSystemNames = testing::FileTest;

// Runs tools/qvapack with `args` in the current directory; its exit status, and its stderr in `errors`.
int RunQvapack(std::vector<std::string> args, std::string* errors) {
  std::string program = std::string(ORBEL_BINARY_DIR) + "/tools/qvapack/qvapack";
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "qvapack-out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "qvapack-err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  *errors = testing::ReadFileText("qvapack-err.txt");
  return WEXITSTATUS(status);
}

std::set<std::string> List(const char* pattern) {
  std::set<std::string> names;
  FileFindInfo info{};
  const FindHandle search = FileAccessFindFirst(pattern, &info);
  if (search == -1) return names;
  do {
    names.insert(info.name);
  } while (FileAccessFindNext(search, &info) == 0);
  FileAccessFindClose(search);
  return names;
}

bool Contains(const Bytes& haystack, const std::string& needle) {
  const Bytes bytes(needle.begin(), needle.end());
  return std::search(haystack.begin(), haystack.end(), bytes.begin(), bytes.end()) != haystack.end();
}

TEST_F(FileSystemNames, JapaneseNamesOpenAndListPlainAndFromTheArchiveQvapackMakes) {
  // On disk, as any Linux program writes them: UTF-8. 表 ends in the byte 0x5C in Shift-JIS.
  const Bytes cover = testing::TestBytes(3000, 11, true);
  std::filesystem::create_directories(Utf8(u8"絵本/画像"));
  testing::WriteFileBytes(Utf8(u8"絵本/画像/表紙.txt"), cover);
  const char* path = "絵本\\画像\\表紙.txt";  // the library's Shift-JIS path

  const std::set<std::string> expected = {".", "..", "表紙.txt"};
  EXPECT_EQ(ReadAll(path), cover) << "plain";
  EXPECT_EQ(List("絵本/画像/*"), expected) << "plain";
  EXPECT_EQ(List("絵本/*"), (std::set<std::string>{".", "..", "画像"})) << "plain";
  char current[kFilePathMax];
  ASSERT_EQ(FileAccessSetDir("絵本"), 0);
  ASSERT_EQ(FileAccessGetDir(current), 0);
  EXPECT_EQ(std::string(current).substr(std::string(current).size() - 5), "/絵本") << "the current directory in Shift-JIS";
  ASSERT_EQ(FileAccessSetDir(".."), 0);

  std::string errors;
  ASSERT_EQ(RunQvapack({Utf8(u8"絵本")}, &errors), 0) << errors;
  const Bytes archive = testing::ReadFileBytes(Utf8(u8"絵本.QVA"));
  Bytes plain = archive;
  uint8_t key[kQvaKeySize];
  MakeQvaKey(nullptr, key);
  QvaKeyConvert(plain.size(), plain.data(), 0, key);
  EXPECT_TRUE(Contains(plain, "表紙.txt")) << "stored in Shift-JIS";
  EXPECT_TRUE(Contains(plain, "画像"));
  EXPECT_FALSE(Contains(plain, Utf8(u8"表紙"))) << "never in UTF-8";

  // With the directory gone, only the archive can answer.
  std::filesystem::rename(Utf8(u8"絵本"), "moved");
  InitializeArchiveManager();
  EXPECT_EQ(ReadAll(path), cover) << "from the archive";
  EXPECT_EQ(List("絵本/画像/*"), expected) << "from the archive";
}

TEST_F(FileSystemNames, ANameWithNoShiftJisFormListsWithAQuestionMarkAndQvapackRefusesIt) {
  std::filesystem::create_directories("box");
  testing::WriteFileText(Utf8(u8"box/ok_漢字.txt"), "fine");
  testing::WriteFileText(Utf8(u8"box/smile_😀.txt"), "no Shift-JIS form");
  testing::WriteFileText("box/\xFF\xFE.bin", "not even UTF-8");
  EXPECT_EQ(List("box/*"), (std::set<std::string>{".", "..", "ok_漢字.txt", "smile_?.txt", "??.bin"}));
  EXPECT_EQ(FileAccessOpen("box/smile_?.txt", 0, 1, 0), 0) << "cannot be opened by its listed name";

  std::string errors;
  EXPECT_EQ(RunQvapack({"box"}, &errors), 1);
  EXPECT_NE(errors.find("no Shift-JIS form"), std::string::npos) << errors;
  EXPECT_NE(errors.find("box/"), std::string::npos) << "names the file: " << errors;
  EXPECT_FALSE(std::filesystem::exists("box.QVA")) << "nothing is written";
}

TEST_F(FileSystemNames, WhatIsNotARegularFileIsRefusedAtOnceThroughBothSets) {
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  std::filesystem::create_directories("folder");
  for (int plainSet : {0, 1}) {
    SetUsePlainFileAccess(plainSet);
    SetFileAccessFunctions(nullptr);
    for (const char* name : {"pipe", "folder", "/dev/null"}) {
      for (int readAhead : {0, 1}) {
        const int blocks = GetMemoryBlockCount();
        EXPECT_EQ(FileAccessOpen(name, readAhead, 1, 0), 0) << name << " plain set " << plainSet;
        EXPECT_EQ(GetMemoryBlockCount(), blocks) << name << ": nothing kept";
      }
    }
  }
  SetUsePlainFileAccess(0);
  SetFileAccessFunctions(nullptr);
}

TEST_F(FileSystemNames, SetDirReportsWhetherTheDirectoryChanged) {
  std::filesystem::create_directories("inner");
  testing::WriteFileText("file", "x");
  EXPECT_EQ(FileAccessSetDir("missing"), -1);
  EXPECT_EQ(FileAccessSetDir("file"), -1);
  EXPECT_EQ(FileAccessSetDir(""), -1);
  EXPECT_TRUE(std::filesystem::exists("inner")) << "still where it was";
  EXPECT_EQ(FileAccessSetDir("inner"), 0);
  EXPECT_EQ(FileAccessSetDir(".."), 0);
}

}  // namespace
}  // namespace orbel

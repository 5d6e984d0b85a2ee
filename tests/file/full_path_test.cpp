// Full paths by text: relative and absolute starts, "." and "..", malformed paths, Shift-JIS pairs whose
// trail byte is '\', buffers that are too small, and the upper-cased lookup form.
#include "orbel/file/full_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "orbel/file/file_access.h"
#include "test_support.h"

namespace orbel {
namespace {

TEST(FullPath, ConvertsAgainstABase) {
  struct Case {
    const char* base;
    const char* path;
    const char* expected;  // null: -1
  };
  const Case cases[] = {
      {"/game", "data\\..\\img\\a.png", "/game/img/a.png"},
      {"/game", "data/../img/a.png", "/game/img/a.png"},
      {"/game/", "a.png", "/game/a.png"},
      {"/game", "\\x\\y", "/x/y"},
      {"/game", "/", "/"},
      {"/game", "a//b", nullptr},
      {"/game", "//server/share", nullptr},
      {"/game", "a\\.\\b", "/game/a/b"},
      {"/a", "..\\..\\", "/"},
      {"/game", "x\\..", "/game/x/.."},  // a last component is taken as written
      {"/game", "name", "/game/name"},
      {"/", "name", "/name"},
      {"\\game\\sub", "..\\x", "/game/x"},
      {"/game", "表\\示.txt", "/game/表/示.txt"},     // 表 is 95 5C: its trail byte is no separator
      {"/game", "表示\\..\\b", "/game/b"},
      {"/表", "a", "/表/a"},
  };
  for (const Case& c : cases) {
    char out[kFilePathMax] = "untouched";
    const int result = ConvertToFullPath(c.path, out, c.base);
    if (c.expected == nullptr) {
      EXPECT_EQ(result, -1) << c.path;
    } else {
      EXPECT_EQ(result, 0) << c.path;
      EXPECT_STREQ(out, c.expected) << c.base << " + " << c.path;
    }
  }
  char out[kFilePathMax];
  EXPECT_EQ(ConvertToFullPath(nullptr, out, "/game/"), 0);
  EXPECT_STREQ(out, "/game") << "a null path gives the base";
}

TEST(FullPath, NeverWritesPastTheBuffer) {
  char out[16];
  std::memset(out, 'Z', sizeof(out));
  EXPECT_EQ(ConvertToFullPath("abcdefghij", out, "/base", 12), -1);
  EXPECT_EQ(out[12], 'Z');
  EXPECT_STREQ(out, "") << "nothing half-built is left";
  EXPECT_EQ(ConvertToFullPath("abcdefg", out, "/base", 13), -1) << "13 bytes hold 12 characters";
  EXPECT_EQ(ConvertToFullPath("abcdef", out, "/base", 13), 0);
  EXPECT_STREQ(out, "/base/abcdef");
}

TEST(FullPath, LookupFormSkipsEmptyComponentsAndUpperCases) {
  struct Case {
    const char* path;
    const char* expected;  // the lookup form keeps case; the current-directory form upper-cases it
  };
  const Case cases[] = {
      {"data\\a.txt", "/cwd/Dir/data/a.txt"},
      {"Data//a.txt", "/cwd/Dir/Data/a.txt"},
      {"./Data/./a.txt", "/cwd/Dir/Data/a.txt"},
      {"//x", "/x"},
      {"../up", "/cwd/up"},
      {"ャa/ア", "/cwd/Dir/ャa/ア"},
  };
  for (const Case& c : cases) {
    char out[kFilePathMax];
    ASSERT_EQ(BuildLookupPath(c.path, out, sizeof(out), "/cwd/Dir"), 0) << c.path;
    EXPECT_STREQ(out, c.expected) << c.path;
  }

  testing::ScopedWorkDir work;
  char out[kFilePathMax];
  ASSERT_EQ(GetFullPathFromCurrentDir("sub/ャa.txt", out), 0);
  std::string expected = work.path().string();
  for (char& ch : expected)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  EXPECT_EQ(out, expected + "/SUB/ャA.TXT") << "83 61: a trail byte is no letter";
}

}  // namespace
}  // namespace orbel

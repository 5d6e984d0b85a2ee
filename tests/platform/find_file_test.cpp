// Directory searches (wildcards, dot entries, order, attributes, sizes, times), the current
// directory, temporary file names, and FILETIME / SYSTEMTIME conversions.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/host/text_encoding.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using namespace plat;
using orbel::testing::ScopedWorkDir;
using orbel::testing::WriteFileText;

class FindFile : public orbel::testing::VirtualClockTest {
 protected:
  ScopedWorkDir dir_;
};

// Every name a search lists, in order; "!" + error code when the first call fails.
std::vector<std::string> List(const char* pattern) {
  WIN32_FIND_DATAA data{};
  HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return {"!" + std::to_string(GetLastError())};
  std::vector<std::string> names;
  do {
    names.emplace_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(search));
  return names;
}

using Names = std::vector<std::string>;

// Sets an environment variable for the life of the object, then puts back what was there; the time
// zone is read again each time, in case the variable is TZ.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) saved_ = old;
    had_ = old != nullptr;
    setenv(name, value, 1);
    tzset();
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, saved_.c_str(), 1);
    else unsetenv(name_);
    tzset();
  }

 private:
  const char* name_;
  std::string saved_;
  bool had_;
};

// Every field of a SYSTEMTIME, in declaration order.
std::vector<int> Fields(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

TEST_F(FindFile, WildcardsDotsAndOrder) {
  for (const char* name : {"b.PNG", "a.png", "Readme", "c.txt", "ab.png", "\x83\x5C\x83\x74\x83\x67.dat"}) {
    WriteFileText(orbel::testing::DiskPath(name), "x");
  }
  std::filesystem::create_directory("Sub");
  WriteFileText("Sub/inner.png", "12345");
  struct Case {
    const char* pattern;
    Names expected;
  };
  const Case cases[] = {
      {"*", {".", "..", "a.png", "ab.png", "b.PNG", "c.txt", "Readme", "Sub", "\x83\x5C\x83\x74\x83\x67.dat"}},
      {"*.*", {".", "..", "a.png", "ab.png", "b.PNG", "c.txt", "Readme", "Sub", "\x83\x5C\x83\x74\x83\x67.dat"}},
      {"*.png", {"a.png", "ab.png", "b.PNG"}},             // case-insensitive for ASCII letters
      {"?.PNG", {"a.png", "b.PNG"}},
      {"a*", {"a.png", "ab.png"}},
      {"*b*.p?g", {"ab.png", "b.PNG"}},
      {"README", {"Readme"}},                               // a plain name finds the file itself
      {"?\x83\x74*", {"\x83\x5C\x83\x74\x83\x67.dat"}},     // '?' takes a whole double-byte character
      {"Sub\\*", {".", "..", "inner.png"}},
      {"./sub/*.png", {"!3"}},                              // directories are real names: case matters
      {"*.gif", {"!2"}},
      {"nodir/*", {"!3"}},
      {"Sub/", {"!2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(List(c.pattern), c.expected) << c.pattern;
}

TEST_F(FindFile, RecordFields) {
  WriteFileText("five.bin", "12345");
  std::filesystem::create_directory("dir");
  ::chmod("five.bin", 0444);
  FILETIME before{};
  GetSystemTimeAsFileTime(&before);
  WIN32_FIND_DATAA data{};
  HANDLE search = FindFirstFileA("five.bin", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  // Written moments ago: the write and creation times lie within a minute of now.
  auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  const uint64_t minute = 60ull * 10000000;
  EXPECT_LT(ticks(before) - ticks(data.ftLastWriteTime), minute);
  EXPECT_LT(ticks(before) - ticks(data.ftCreationTime), minute);

  search = FindFirstFileA("dir", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 0u);
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(FindFile, CurrentDirectoryLengths) {
  std::filesystem::create_directory("inner");
  ASSERT_TRUE(SetCurrentDirectoryA(".\\inner"));
  const std::string expected = std::filesystem::current_path().string();
  EXPECT_EQ(expected.substr(expected.size() - 6), "/inner");
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);
  EXPECT_EQ(needed, expected.size() + 1);
  std::string small(needed - 1, '#');
  EXPECT_EQ(GetCurrentDirectoryA(needed - 1, small.data()), needed);
  EXPECT_EQ(small, std::string(needed - 1, '#'));  // nothing written
  std::string buffer(needed, '#');
  EXPECT_EQ(GetCurrentDirectoryA(needed, buffer.data()), needed - 1);
  EXPECT_EQ(buffer.c_str(), expected);
  EXPECT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_FALSE(SetCurrentDirectoryA("missing"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  WriteFileText("file", "");
  EXPECT_FALSE(SetCurrentDirectoryA("file"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
}

// Mode bits of a path, or -1 when it is missing.
int ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// Temporary names are made in the process's own folder, which no other user may enter, as files only
// their owner may read, whatever the umask lets through.
TEST_F(FindFile, TempPathIsPrivateAndNamesAreUniqueAndPrivate) {
  char path[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof(path), path);
  ASSERT_GT(length, 1u);
  const std::string folder(path, length - 1);
  EXPECT_EQ(path[length - 1], '/');
  EXPECT_EQ(GetTempPathA(3, path), length + 1);  // too small: the size needed
  struct stat st {};
  ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(ModeOf(folder), 0700) << folder;
  const std::string userFolder = folder.substr(0, folder.rfind('/'));
  EXPECT_EQ(ModeOf(userFolder), 0700) << userFolder;
  EXPECT_EQ(userFolder.substr(userFolder.rfind('/') + 1), "orbel-" + std::to_string(::geteuid()));

  const mode_t savedMask = ::umask(0);
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    char name[MAX_PATH];
    const UINT number = GetTempFileNameA(path, "tmpfile", 0, name);
    ASSERT_NE(number, 0u);
    const std::string text = name;
    EXPECT_EQ(text.rfind(folder + "/tmp", 0), 0u) << text;  // prefix cut to three characters
    EXPECT_EQ(text.substr(text.size() - 4), ".tmp");
    EXPECT_EQ(ModeOf(text), 0600) << text;
    EXPECT_TRUE(names.insert(text).second) << "reused " << text;
  }
  ::umask(savedMask);
  char formed[MAX_PATH];
  EXPECT_EQ(GetTempFileNameA("/nonexistent-dir", "tmp", 0x1A2B, formed), 0x1A2Bu);
  EXPECT_STREQ(formed, "/nonexistent-dir/tmp1A2B.tmp");  // a given number only forms the name
  EXPECT_EQ(GetTempFileNameA("/nonexistent-dir", "tmp", 0, formed), 0u);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// What the calls that take a name give for `name`: attributes, opens of each kind and a delete, each with
// its error.
std::string WhatCallsGive(const std::string& name) {
  std::string said = "attributes " + std::to_string(GetFileAttributesA(name.c_str()));
  said += " error " + std::to_string(GetLastError());
  const struct {
    DWORD access;
    DWORD disposition;
  } opens[] = {{GENERIC_READ, OPEN_EXISTING}, {GENERIC_WRITE, OPEN_ALWAYS}, {GENERIC_WRITE, CREATE_ALWAYS},
               {GENERIC_WRITE, CREATE_NEW}};
  for (const auto& open : opens) {
    HANDLE file = CreateFileA(name.c_str(), open.access, 0, nullptr, open.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    said += std::string("; open ") + (file == INVALID_HANDLE_VALUE ? "failed" : "made");
    said += " error " + std::to_string(GetLastError());
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  said += std::string("; delete ") + (DeleteFileA(name.c_str()) ? "done" : "failed");
  return said + " error " + std::to_string(GetLastError());
}

// The temporary folder named as GetTempPathA gives it (with its separator), or with '\' or "/.", is the
// folder: every call gives what it gives for a folder elsewhere named the same way, and the folder stays.
TEST_F(FindFile, TheTempFolderNamedWithItsSeparatorIsTheFolder) {
  char path[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof(path), path);
  ASSERT_GT(length, 1u);
  const std::string temp(path, length - 1);
  const std::string elsewhere = dir_.path().string();
  const std::string directory = "attributes " + std::to_string(FILE_ATTRIBUTE_DIRECTORY) + " error 0;";
  for (const char* separator : {"", "/", "\\", "/."}) {
    const std::string given = WhatCallsGive(temp + separator);
    EXPECT_EQ(given.rfind(directory, 0), 0u) << separator << ": " << given;
    EXPECT_EQ(given, WhatCallsGive(elsewhere + separator)) << separator;
  }
  struct stat st {};
  EXPECT_TRUE(::stat(temp.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// The current directory and temporary names under a Japanese directory come back in Shift-JIS, and the
// names made there are the UTF-8 names on disk.
TEST_F(FindFile, SystemDirectoriesComeBackInShiftJis) {
  const std::filesystem::path japanese = std::filesystem::current_path() / orbel::testing::Utf8(u8"一時");
  std::filesystem::create_directory(japanese);
  const std::string base = plat::host::Utf8ToShiftJis(std::filesystem::current_path().string());
  const std::string path = base + "/一時/";
  char name[MAX_PATH];
  ASSERT_NE(GetTempFileNameA(path.c_str(), "tmp", 0, name), 0u);
  EXPECT_EQ(std::string(name).rfind(base + "/一時/tmp", 0), 0u) << name;
  EXPECT_TRUE(std::filesystem::exists(orbel::testing::DiskPath(name))) << "made under its UTF-8 name";

  ASSERT_TRUE(SetCurrentDirectoryA("一時"));
  char current[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(sizeof(current), current), 0u);
  EXPECT_EQ(std::string(current), base + "/一時");
  EXPECT_TRUE(SetCurrentDirectoryA(".."));
}

TEST(FileTimeConversion, SystemTimeRoundTrips) {
  struct Case {
    uint64_t ticks;
    SYSTEMTIME expected;  // year, month, weekday, day, hour, minute, second, ms
  };
  const Case cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
      {116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},
      {116444736000000000ull + 951782400ull * 10000000 + 12345678, {2000, 2, 2, 29, 0, 0, 1, 234}},
      {133868007050000000ull, {2025, 3, 2, 18, 19, 45, 5, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ticks);
    const FILETIME ft{static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(Fields(st), Fields(c.expected));
    FILETIME back{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
    EXPECT_EQ((uint64_t{back.dwHighDateTime} << 32 | back.dwLowDateTime), c.ticks - c.ticks % 10000);
  }
  const FILETIME tooLarge{0, 0x80000000u};
  SYSTEMTIME st{};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &st));
  const SYSTEMTIME feb30{2001, 2, 0, 29, 0, 0, 0, 0};
  FILETIME ft{};
  EXPECT_FALSE(SystemTimeToFileTime(&feb30, &ft));
}

TEST(FileTimeConversion, LocalTimeFollowsTheTimeZone) {
  const ScopedEnv tz("TZ", "JST-9");
  const SYSTEMTIME utc{2024, 12, 2, 31, 20, 30, 0, 0};
  FILETIME ft{}, local{};
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
  ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &local));
  SYSTEMTIME st{};
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(Fields(st), (std::vector<int>{2025, 1, 3, 1, 5, 30, 0, 0}));
  FILETIME back{};
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(back.dwLowDateTime, ft.dwLowDateTime);
  EXPECT_EQ(back.dwHighDateTime, ft.dwHighDateTime);

  test::SetSystemTimeForTest(&ft);  // the wall clock, fixed
  GetLocalTime(&st);
  EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour}), std::vector<int>({2025, 1, 1, 5}));
  GetSystemTime(&st);
  EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour}), std::vector<int>({2024, 12, 31, 20}));
  test::SetSystemTimeForTest(nullptr);
}

}  // namespace

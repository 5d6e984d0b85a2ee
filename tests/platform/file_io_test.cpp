// File handles: share modes between handles, creation dispositions, seeking, access checks, stale
// handles, Shift-JIS paths.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/posix_path.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using namespace plat;
using orbel::testing::ReadFileText;
using orbel::testing::ScopedWorkDir;
using orbel::testing::WriteFileText;

class FileIo : public orbel::testing::VirtualClockTest {
 protected:
  ScopedWorkDir dir_;
};

HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
  return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadAll(HANDLE file) {
  std::string text(256, '\0');
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr));
  text.resize(got);
  return text;
}

constexpr DWORD R = GENERIC_READ;
constexpr DWORD W = GENERIC_WRITE;
constexpr DWORD SR = FILE_SHARE_READ;
constexpr DWORD SW = FILE_SHARE_WRITE;

TEST_F(FileIo, SecondOpenHonoursShareModes) {
  struct Case {
    DWORD access1, share1, access2, share2;
    bool allowed;
  };
  const Case cases[] = {
      {R, SR, R, SR, true},            // two readers sharing reading (the size probe)
      {R, 0, R, SR, false},            // the exclusive worker open locks out other readers
      {R, SR, R, 0, false},            // a newcomer refusing to share cannot join a reader
      {W, 0, R, SR | SW, false},       // the log's exclusive write open
      {R, SR | SW, W, SR | SW, true},  // everything shared
      {R, SR, W, SR | SW, false},      // the first does not share writing
      {W, SR, R, SR | SW, true},
      {0, 0, R, 0, true},              // a query-only open conflicts with nobody
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE("case " + std::to_string(i));
    WriteFileText("data.bin", "keep me");
    HANDLE first = Open("data.bin", c.access1, c.share1, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    // CREATE_ALWAYS: a refused open must not truncate the file on its way to the share check.
    const DWORD disposition = (c.access2 & W) ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE second = Open("data.bin", c.access2, c.share2, disposition);
    if (c.allowed) {
      EXPECT_NE(second, INVALID_HANDLE_VALUE);
      EXPECT_EQ(test::OpenFileCount(), 2u);
      CloseHandle(second);
    } else {
      EXPECT_EQ(second, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
      EXPECT_EQ(ReadFileText("data.bin"), "keep me");
      EXPECT_EQ(test::OpenFileCount(), 1u);
    }
    CloseHandle(first);
    EXPECT_EQ(test::OpenFileCount(), 0u);
    // Once the first handle is closed, the refused open succeeds.
    HANDLE again = Open("data.bin", c.access2, c.share2, OPEN_EXISTING);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
  }
}

TEST_F(FileIo, CreationDispositions) {
  struct Case {
    const char* name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;
    const char* contentAfter;  // null: file absent afterwards
  };
  const Case cases[] = {
      {"f", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {"f", CREATE_NEW, false, true, NO_ERROR, ""},
      {"f", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"f", CREATE_ALWAYS, false, true, NO_ERROR, ""},
      {"f", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {"f", OPEN_ALWAYS, false, true, NO_ERROR, ""},
      {"f", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"f", TRUNCATE_EXISTING, true, true, NO_ERROR, ""},
      {"missing\\f", CREATE_NEW, false, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"missing/f", OPEN_EXISTING, false, false, ERROR_PATH_NOT_FOUND, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " disposition " + std::to_string(c.disposition));
    std::filesystem::remove("f");
    if (c.exists) WriteFileText("f", "old");
    HANDLE h = Open(c.name, R | W, 0, c.disposition);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (c.contentAfter == nullptr) {
      EXPECT_FALSE(std::filesystem::exists("f"));
    } else {
      EXPECT_EQ(ReadFileText("f"), c.contentAfter);
    }
  }
  std::filesystem::create_directory("adir");
  EXPECT_EQ(Open("adir", R, SR, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(test::OpenFileCount(), 0u);
}

TEST_F(FileIo, SeekReadWriteAndSize) {
  HANDLE h = Open("s.bin", R | W, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);

  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(ReadAll(h), "56789");
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
  EXPECT_EQ(ReadAll(h), "6789");

  // Before the start: refused, the position stays where it was.
  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(ReadAll(h), "3456789");

  // Past the end: allowed; reading there gives nothing and succeeds.
  EXPECT_EQ(SetFilePointer(h, 100, nullptr, FILE_BEGIN), 100u);
  DWORD got = 99;
  char byte = 0;
  EXPECT_TRUE(ReadFile(h, &byte, 1, &got, nullptr));
  EXPECT_EQ(got, 0u);

  // 64-bit form: the high half goes in and comes back.
  LONG distanceHigh = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &distanceHigh, FILE_BEGIN), 5u);
  EXPECT_EQ(distanceHigh, 1);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  distanceHigh = -1;
  EXPECT_EQ(SetFilePointer(h, -10, &distanceHigh, FILE_CURRENT), 0xFFFFFFFBu);
  EXPECT_EQ(distanceHigh, 0);
  EXPECT_EQ(GetLastError(), NO_ERROR);  // a real position, though it equals the failure value's shape
  CloseHandle(h);
}

TEST_F(FileIo, AccessAndHandlesAreChecked) {
  WriteFileText("a.txt", "abc");
  HANDLE reader = Open("a.txt", R, SR, OPEN_EXISTING);
  HANDLE writer = Open("b.txt", W, 0, CREATE_ALWAYS);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  char buffer[4];
  EXPECT_FALSE(WriteFile(reader, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(ReadFile(writer, buffer, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadFileText("a.txt"), "abc");

  EXPECT_TRUE(CloseHandle(reader));
  // A closed handle is refused instead of followed.
  EXPECT_FALSE(ReadFile(reader, buffer, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetFilePointer(reader, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetFileSize(reader, nullptr), INVALID_FILE_SIZE);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(writer);
}

TEST_F(FileIo, DeleteRespectsOpenHandles) {
  WriteFileText("log.txt", "x");
  HANDLE h = Open("log.txt", W, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA("log.txt"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  HANDLE shared = Open("log.txt", R, SR | FILE_SHARE_DELETE, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileA("log.txt"));
  EXPECT_FALSE(std::filesystem::exists("log.txt"));
  CloseHandle(shared);
  EXPECT_FALSE(DeleteFileA("log.txt"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA("nodir\\log.txt"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FileIo, TestControlsFailCreateAndShortenRead) {
  WriteFileText("c.txt", "abcdef");
  test::FailNextCreateFile(ERROR_TOO_MANY_OPEN_FILES);
  EXPECT_EQ(Open("c.txt", R, SR, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_OPEN_FILES);
  HANDLE h = Open("c.txt", R, SR, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  test::LimitNextReadFile(2);
  EXPECT_EQ(ReadAll(h), "ab");
  EXPECT_EQ(ReadAll(h), "cdef");
  CloseHandle(h);
}

TEST(PosixPath, ConvertsSeparatorsOutsideDoubleByteCharactersThenToUtf8) {
  struct Case {
    const char* in;
    const char8_t* out;
  };
  const Case cases[] = {
      {"a\\b/c", u8"a/b/c"},
      {"/abs\\x", u8"/abs/x"},
      {"C:\\dir\\f", u8"/dir/f"},
      {"d:/x", u8"/x"},
      {"C:rel", u8"C:rel"},                       // no separator after the drive: an ordinary name
      {"\x83\x5C\\x", u8"ソ/x"},                  // ソ: trail byte 0x5C stays
      {"\x95\x5C\x83\x5C\\\x8E\x9A", u8"表ソ/字"},
      {"\xE0\x5C\\", u8"濬/"},                    // lead byte from the upper range
      {"a\xB1\\b", u8"aｱ/b"},                      // half-width katakana is single-byte
      {"x\x83", u8"x?"},                         // a lone lead byte at the end does not convert
      {"\xA0\x81\x20.txt", u8"?? .txt"},          // nor bytes that are no Shift-JIS at all
  };
  for (const Case& c : cases) {
    PosixPath path(c.in);
    ASSERT_TRUE(path.ok()) << c.in;
    EXPECT_EQ(path.c_str(), orbel::testing::Utf8(c.out)) << c.in;
  }
  EXPECT_EQ(PosixPath("").error(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(PosixPath(std::string(PATH_MAX + 10, 'a').c_str()).error(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(FileIo, ShiftJisNameWithBackslashTrailByte) {
  std::filesystem::create_directory("dir");
  // "dir\ソフト.txt": the 0x5C inside ソ must not become a separator.
  HANDLE h = Open("dir\\\x83\x5C\x83\x74\x83\x67.txt", W, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path("dir") / orbel::testing::Utf8(u8"ソフト.txt")))
      << "the name on disk is UTF-8";
}

}  // namespace

namespace {

TEST_F(FileIo, OnlyRegularFilesOpenAndNothingWaitsOnAFifo) {
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  std::filesystem::create_directory("dir");
  struct Case {
    const char* name;
    DWORD access;
    DWORD disposition;
  };
  // Without O_NONBLOCK each FIFO open below would wait forever for the other end.
  const Case cases[] = {
      {"pipe", R, OPEN_EXISTING},      {"pipe", W, OPEN_EXISTING},     {"pipe", R | W, OPEN_EXISTING},
      {"pipe", W, OPEN_ALWAYS},        {"pipe", W, CREATE_ALWAYS},     {"pipe", W, TRUNCATE_EXISTING},
      {"dir", R, OPEN_EXISTING},       {"dir", W, OPEN_ALWAYS},        {"/dev/null", R, OPEN_EXISTING},
      {"/dev/zero", R, OPEN_EXISTING},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Open(c.name, c.access, FILE_SHARE_READ, c.disposition), INVALID_HANDLE_VALUE)
        << c.name << " access " << std::hex << c.access << " disposition " << c.disposition;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << c.name;
  }
  EXPECT_EQ(test::OpenFileCount(), 0u);
  EXPECT_TRUE(std::filesystem::is_fifo("pipe")) << "left as it was";
}

}  // namespace

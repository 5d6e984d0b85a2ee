// Shared set-up of the file tests.
#include "file_test_support.h"

#include "orbel/core/log.h"
#include "orbel/file/qva_archive.h"

namespace orbel::testing {

std::vector<uint8_t> TestBytes(size_t size, uint32_t seed, bool compressible) {
  static const char* const kWords[] = {"orbel ", "archive ", "member ", "\x95\x5C", "data ", "\n", "0123 "};
  std::vector<uint8_t> out;
  out.reserve(size);
  uint32_t state = seed * 2654435761u + 12345u;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  while (out.size() < size) {
    if (compressible) {
      const char* word = kWords[next() % 7];
      for (const char* p = word; *p != '\0' && out.size() < size; ++p) out.push_back(static_cast<uint8_t>(*p));
    } else {
      out.push_back(static_cast<uint8_t>(next() >> 11));
    }
  }
  return out;
}

std::vector<TreeFile> StandardTree() {
  return {
      {"A.TXT", TestBytes(1000, 1, true)},
      {"Readme.txt", TestBytes(300, 2, false)},
      {"empty.bin", {}},
      {"表示.txt", TestBytes(5000, 3, true)},  // 表 ends in the byte 0x5C
      {"img/big.bin", TestBytes(200000, 4, false)},
      {"img/Title.png", TestBytes(70000, 5, true)},
      {"img/画像/deep.dat", TestBytes(4096, 6, true)},
      {"img/画像/odd.dat", TestBytes(17, 7, false)},
      {"snd/se/hit.wav", TestBytes(1234, 8, true)},
  };
}

void WriteTree(const std::filesystem::path& root, const std::vector<TreeFile>& files) {
  for (const TreeFile& file : files) {
    const std::filesystem::path path = root / DiskPath(file.path);  // names on disk are UTF-8
    std::filesystem::create_directories(path.parent_path());
    WriteFileBytes(path, file.data);
  }
}

void FileTest::SetUp() {
  VirtualClockTest::SetUp();
  SetLogStartupDirectory(work_.path().c_str());
  StartLogFile();
  SetUsePlainFileAccess(0);
  InitializeArchiveManager();
  SetFileAccessFunctions(nullptr);
}

void FileTest::TearDown() {
  InitializeArchiveManager();  // closes whatever a failed test left open
  TerminateArchiveManager();
  SetFileAccessFunctions(nullptr);
  SetLogStartupDirectory("");
  VirtualClockTest::TearDown();
}

std::string FileTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

void FileTest::Pack(const std::string& directory, const QvaWriterOptions& options) {
  std::string error;
  ASSERT_EQ(WriteQvaArchiveFromDirectory(directory.c_str(), (directory + ".QVA").c_str(), options, &error), 0)
      << error;
}

std::vector<uint8_t> FileTest::ReadAll(const char* path, size_t chunk, int async, int readAhead) {
  std::vector<uint8_t> out;
  const FileHandle file = FileAccessOpen(path, readAhead, 1, async);
  if (file == 0) {
    ADD_FAILURE() << "cannot open " << path;
    return out;
  }
  std::vector<uint8_t> buffer(chunk);
  for (;;) {
    const size_t got = FileAccessRead(buffer.data(), 1, chunk, file);
    WaitFileIdle(file);
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    if (got == 0) break;  // a short read leaves the end flag to the next one
  }
  EXPECT_NE(FileAccessEof(file), 0) << path;
  FileAccessClose(file);
  return out;
}

}  // namespace orbel::testing

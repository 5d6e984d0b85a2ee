// Shared set-up of the file tests: a fresh working directory with the log in it, the archive manager
// started and the default file-access table installed; trees of test files and their archives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "orbel/file/file_access.h"
#include "orbel/file/qva_writer.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel::testing {

// Bytes for test files: `compressible` ones repeat phrases (LZ shrinks them), others are noise.
std::vector<uint8_t> TestBytes(size_t size, uint32_t seed, bool compressible);

struct TreeFile {
  std::string path;  // relative, '/' separated, Shift-JIS allowed
  std::vector<uint8_t> data;
};

// The standard tree: files at the root and nested two deep, stored-size and compressible data, an empty
// file, names with Shift-JIS characters (one whose trail byte is 0x5C) and mixed case.
std::vector<TreeFile> StandardTree();
void WriteTree(const std::filesystem::path& root, const std::vector<TreeFile>& files);
// Looks at the idle check until the file's worker has finished (the wait's time bounds only a hang).
inline void WaitFileIdle(FileHandle file) {
  EXPECT_TRUE(WaitUntil([&] { return FileAccessIdleCheck(file) != 0; })) << "the file's worker never finished";
}

class FileTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& dir() const { return work_.path(); }
  std::string LogText() const;
  // Packs `directory` (relative to the work directory) into "<directory>.QVA" beside it.
  void Pack(const std::string& directory, const QvaWriterOptions& options = {});
  // Reads a whole file through the installed table with block size 1 and `chunk`-byte reads.
  std::vector<uint8_t> ReadAll(const char* path, size_t chunk = 4096, int async = 0, int readAhead = 0);

 private:
  ScopedWorkDir work_;
};

}  // namespace orbel::testing

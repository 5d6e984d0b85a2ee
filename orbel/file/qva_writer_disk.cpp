// Packing a directory on disk: walks it through the platform's find calls (names, attributes and file
// times as the plain file layer reports them), reads every file and writes the archive.
#include <cstring>

#include "orbel/file/full_path.h"
#include "orbel/file/qva_writer.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/find_file.h"

namespace orbel {
namespace {

constexpr int kMaxDepth = 64;  // deeper trees are refused (a link loop would recurse forever)

uint64_t FileTimeValue(const plat::FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  plat::HANDLE file = plat::CreateFileA(path.c_str(), plat::GENERIC_READ, plat::FILE_SHARE_READ, nullptr,
                                        plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == plat::INVALID_HANDLE_VALUE || file == nullptr) return false;
  plat::DWORD high = 0;
  const plat::DWORD size = plat::GetFileSize(file, &high);
  bool ok = high == 0 && size != plat::INVALID_FILE_SIZE;
  if (ok) {
    data->resize(size);
    plat::DWORD done = 0;
    while (ok && done < size) {
      plat::DWORD read = 0;
      ok = plat::ReadFile(file, data->data() + done, size - done, &read) && read > 0;
      done += read;
    }
  }
  plat::CloseHandle(file);
  return ok;
}

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& data) {
  plat::HANDLE file = plat::CreateFileA(path, plat::GENERIC_WRITE, 0, nullptr, plat::CREATE_ALWAYS,
                                        plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == plat::INVALID_HANDLE_VALUE || file == nullptr) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < data.size()) {
    const size_t chunk = data.size() - done < 0x40000000u ? data.size() - done : 0x40000000u;
    plat::DWORD written = 0;
    ok = plat::WriteFile(file, data.data() + done, static_cast<plat::DWORD>(chunk), &written) && written > 0;
    done += written;
  }
  return plat::CloseHandle(file) && ok;
}

class DirectoryPacker {
 public:
  DirectoryPacker(QvaWriter& writer, std::string skip) : writer_(writer), skip_(std::move(skip)) {}

  bool Walk(const std::string& directory, const std::string& inner, int depth) {
    if (depth > kMaxDepth) return Fail("directory tree too deep: " + directory);
    plat::WIN32_FIND_DATAA data;
    plat::HANDLE search = plat::FindFirstFileA((directory + "/*").c_str(), &data);
    if (search == plat::INVALID_HANDLE_VALUE || search == nullptr) {
      // An empty directory lists nothing; a missing one is an error.
      return plat::GetLastError() == plat::ERROR_FILE_NOT_FOUND || Fail("cannot list " + directory);
    }
    bool ok = true;
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = directory + "/" + name;
      const std::string innerPath = inner.empty() ? name : inner + "/" + name;
      const uint64_t created = FileTimeValue(data.ftCreationTime);
      const uint64_t written = FileTimeValue(data.ftLastWriteTime);
      if ((data.dwFileAttributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ok = (writer_.AddDirectory(innerPath, created, written) || Fail(writer_.error())) &&
             Walk(path, innerPath, depth + 1);
      } else if (!IsSkipped(path)) {
        std::vector<uint8_t> bytes;
        ok = (ReadWholeFile(path, &bytes) || Fail("cannot read " + path)) &&
             (writer_.AddFile(innerPath, bytes.data(), bytes.size(), created, written) || Fail(writer_.error()));
      }
    } while (ok && plat::FindNextFileA(search, &data));
    plat::FindClose(search);
    return ok;
  }

  const std::string& error() const { return error_; }

 private:
  bool IsSkipped(const std::string& path) const {
    char full[4096];
    return !skip_.empty() && BuildLookupPath(path.c_str(), full, sizeof(full)) == 0 && skip_ == full;
  }

  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  QvaWriter& writer_;
  std::string skip_;  // full path of the archive being written
  std::string error_;
};

}  // namespace

int WriteQvaArchiveFromDirectory(const char* directory, const char* archivePath, const QvaWriterOptions& options,
                                 std::string* error) {
  std::string message;
  if (directory == nullptr || archivePath == nullptr || directory[0] == '\0') {
    message = "no directory or archive given";
  } else {
    char full[4096];
    const std::string skip = BuildLookupPath(archivePath, full, sizeof(full)) == 0 ? full : "";
    std::string root = directory;
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
    QvaWriter writer(options);
    DirectoryPacker packer(writer, skip);
    if (!packer.Walk(root, "", 0)) {
      message = packer.error();
    } else {
      const std::vector<uint8_t> bytes = writer.Finish();
      if (bytes.empty()) {
        message = writer.error();
      } else if (!WriteWholeFile(archivePath, bytes)) {
        message = std::string("cannot write ") + archivePath;
      }
    }
  }
  if (message.empty()) return 0;
  if (error != nullptr) *error = message;
  return -1;
}

}  // namespace orbel

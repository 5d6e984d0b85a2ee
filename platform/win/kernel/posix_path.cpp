// Path conversion shared by the file, find and directory calls: separators first, then Shift-JIS to
// UTF-8 through the host's text converter.
#include "platform/win/kernel/posix_path.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/host/text_encoding.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/process_folder.h"

namespace plat {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

PosixPath::PosixPath(const char* path) {
  buffer_[0] = '\0';
  if (path == nullptr || path[0] == '\0') {
    error_ = ERROR_PATH_NOT_FOUND;
    return;
  }
  const char* in = path;
  // A drive letter stands for the root: "C:\x" names "/x".
  if (IsAsciiLetter(in[0]) && in[1] == ':' && IsSeparator(in[2])) in += 2;

  // The separator rules work on the Shift-JIS text; only then does it become the system's UTF-8.
  char shiftJis[PATH_MAX];
  size_t out = 0;
  while (*in != '\0') {
    const unsigned char c = static_cast<unsigned char>(*in);
    size_t width = 1;
    if (IsSjisLeadByte(c) && in[1] != '\0') width = 2;
    if (out + width >= sizeof(shiftJis)) {
      error_ = ERROR_FILENAME_EXCED_RANGE;
      return;
    }
    if (width == 2) {
      shiftJis[out++] = in[0];
      shiftJis[out++] = in[1];
    } else {
      shiftJis[out++] = c == '\\' ? '/' : static_cast<char>(c);
    }
    in += width;
  }
  const size_t length = host::ConvertText(host::TextDirection::ShiftJisToUtf8, std::string_view(shiftJis, out),
                                          buffer_, sizeof(buffer_) - 1);
  if (length == SIZE_MAX) {
    error_ = ERROR_FILENAME_EXCED_RANGE;
    return;
  }
  buffer_[length] = '\0';
  length_ = length;
}

bool SplitPosixPath(const char* path, char* dir, size_t dirCapacity, const char** name) {
  // '/' (0x2F) is never a Shift-JIS trail byte, so a plain search is safe here.
  const char* slash = std::strrchr(path, '/');
  const char* dirText = ".";
  size_t dirLength = 1;
  if (slash == path) {
    dirText = "/";
  } else if (slash != nullptr) {
    dirText = path;
    dirLength = static_cast<size_t>(slash - path);
  }
  *name = slash != nullptr ? slash + 1 : path;
  if (dirLength + 1 > dirCapacity) return false;
  std::memcpy(dir, dirText, dirLength);
  dir[dirLength] = '\0';
  return true;
}

PathAt::PathAt(const char* posixPath) : path_(posixPath), name_(posixPath), folder_(AT_FDCWD) {
  // '/' (0x2F) is never a Shift-JIS trail byte, so a plain search is safe here.
  const char* slash = std::strrchr(posixPath, '/');
  if (slash == nullptr || slash == posixPath) return;
  int handle = -1;
  if (!ProcessFolderHandle(std::string_view(posixPath, static_cast<size_t>(slash - posixPath)), &handle)) return;
  inFolder_ = true;
  folderError_ = handle < 0 ? errno : 0;
  folder_ = handle;
  name_ = slash + 1;
  if (*name_ == '\0') {  // the folder named with its separator: the folder itself
    folderItself_ = true;
    name_ = ".";
  }
}

PathAt::~PathAt() {
  if (!inFolder_ || folder_ < 0) return;
  const int error = errno;  // the caller reads the errno of its call after this record is gone
  ::close(folder_);
  errno = error;
}

bool PathAt::Gone() const {
  if (folder_ != -1) return false;
  errno = folderError_;
  return true;
}

int PathAt::Open(int flags, mode_t mode) const {
  if (Gone()) return -1;
  if (folderItself_ && (flags & O_CREAT) != 0) {  // as for any "folder/": nothing is made by that name
    errno = EISDIR;
    return -1;
  }
  return ::openat(folder_, name_, flags, mode);
}

int PathAt::Stat(struct stat* st, int flags) const { return Gone() ? -1 : ::fstatat(folder_, name_, st, flags); }

int PathAt::Unlink() const { return Gone() ? -1 : ::unlinkat(folder_, name_, 0); }

int PathAt::Truncate() const {
  if (!inFolder_) return ::truncate(path_, 0);
  const int fd = Open(O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  const int rc = ::ftruncate(fd, 0);
  const int error = errno;
  ::close(fd);
  errno = error;
  return rc;
}

unsigned PathAt::MissingError() const {
  if (!inFolder_) return MissingPathError(path_);
  return folder_ >= 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

unsigned MissingPathError(const char* posixPath) {
  char dir[PATH_MAX];
  const char* name = nullptr;
  if (!SplitPosixPath(posixPath, dir, sizeof(dir), &name)) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

std::string SystemNameToShiftJis(std::string_view systemName) { return host::Utf8ToShiftJis(systemName); }

}  // namespace plat

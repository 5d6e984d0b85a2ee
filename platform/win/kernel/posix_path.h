// The one path adapter of the kernel stand-ins: turns a path as the library writes it (either
// separator, Shift-JIS names, "/" or a drive letter for the root) into a POSIX path in UTF-8, the
// encoding of Linux names. Converting '\' skips Shift-JIS double-byte characters, whose trail byte may be
// 0x5C; bytes that are not Shift-JIS become '?'. Names read back from the system go the other way
// through SystemNameToShiftJis. PathAt then takes the converted path to the system, a name in the
// process's own folder through that folder's handle.
#pragma once

#include <sys/stat.h>

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

// True for a Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC).
inline bool IsSjisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// A converted path in a fixed buffer. "C:\x" and "C:/x" become "/x"; every other
// path keeps its form with '\' turned into '/'. Empty and over-long paths are not ok(); error() then
// gives the error code to report (ERROR_PATH_NOT_FOUND, ERROR_FILENAME_EXCED_RANGE).
class PosixPath {
 public:
  explicit PosixPath(const char* path);
  bool ok() const { return error_ == 0; }
  unsigned error() const { return error_; }
  const char* c_str() const { return buffer_; }
  size_t size() const { return length_; }

 private:
  char buffer_[PATH_MAX];
  size_t length_ = 0;
  unsigned error_ = 0;
};

// Splits a converted path at its last '/': the directory part (without the slash; "/" for the root,
// "." when there is none) and the final name. Returns false when the directory part does not fit
// `dirCapacity`.
bool SplitPosixPath(const char* path, char* dir, size_t dirCapacity, const char** name);

// Where a call reaches a converted path (which must outlive this record). A path straight inside this
// process's folder (process_folder.h, where temporary files go) is reached relative to that folder's
// kept handle by its name there alone, so that no change of the folder's path after its check (a base
// swapped for another user's folder) leads the call elsewhere; once the folder has been removed such a
// path leads nowhere. Every other path is reached as it is. The calls below are the *at calls of the
// system with their results and errno.
class PathAt {
 public:
  explicit PathAt(const char* posixPath);
  ~PathAt();
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  bool inProcessFolder() const { return inFolder_; }
  int Open(int flags, mode_t mode = 0) const;
  int Stat(struct stat* st, int flags) const;
  int Unlink() const;
  // Cuts the file to no bytes (through a write open of its own in the process's folder).
  int Truncate() const;
  // The error for a name that is not there (as MissingPathError).
  unsigned MissingError() const;

 private:
  bool Gone() const;

  const char* path_;
  const char* name_;
  int folder_ = -1;  // AT_FDCWD, or a duplicate of the process folder's handle (-1: removed)
  int folderError_ = 0;
  bool inFolder_ = false;
  bool folderItself_ = false;  // the process's folder named with its separator, reached as "."
};

// The error for a path that does not exist: ERROR_FILE_NOT_FOUND when its directory exists,
// ERROR_PATH_NOT_FOUND when the directory is missing too, as Windows tells them apart.
unsigned MissingPathError(const char* posixPath);

// A name or path as the system gives it (UTF-8) in the library's Shift-JIS, '?' for each character
// that has no Shift-JIS form.
std::string SystemNameToShiftJis(std::string_view systemName);

}  // namespace plat

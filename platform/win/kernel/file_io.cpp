// File handles over POSIX descriptors, the open-file registry that enforces share modes inside the
// process, the handle table and the per-thread last error. Share modes hold between the opens of one
// process: the handles a forked child inherits (some of them held by threads that are not in the child,
// such as a log write under way) hold back none of the child's own opens.
#include "platform/win/kernel/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/fork_safe_lock.h"
#include "platform/win/kernel/heap.h"
#include "platform/win/kernel/posix_path.h"

namespace plat {
namespace {

thread_local DWORD lastError = NO_ERROR;

// ---------------------------------------------------------------------------------------------
// Open-file registry
// ---------------------------------------------------------------------------------------------

struct FileKey {
  dev_t device;
  ino_t inode;
  bool operator==(const FileKey& other) const { return device == other.device && inode == other.inode; }
};

struct FileKeyHash {
  size_t operator()(const FileKey& key) const {
    return std::hash<uint64_t>()(static_cast<uint64_t>(key.inode) * 0x9E3779B97F4A7C15ull ^
                                 static_cast<uint64_t>(key.device));
  }
};

struct FileObject;

struct FileState {
  std::mutex mutex;
  std::unordered_map<FileKey, std::vector<FileObject*>, FileKeyHash> open;  // per file: its handles
  size_t openCount = 0;
  DWORD failNextCreate = NO_ERROR;  // one-shot: error for the next CreateFileA, NO_ERROR for none
  DWORD nextReadLimit = 0xFFFFFFFFu;  // one-shot: most bytes the next ReadFile delivers
};

FileState& Files() {
  static FileState* state = [] {
    auto* made = new FileState;
    TakeAroundFork(&made->mutex);
    return made;
  }();
  return *state;
}

struct FileObject final : KernelObject {
  int fd = -1;
  FileKey key{};
  DWORD access = 0;  // GENERIC_READ / GENERIC_WRITE
  DWORD share = 0;   // FILE_SHARE_*
  pid_t process = ::getpid();  // the process that opened it

  // Whether this open holds back another of the calling process's.
  bool Shares() const { return process == ::getpid(); }

  ~FileObject() override {
    FileState& s = Files();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      auto it = s.open.find(key);
      if (it != s.open.end()) {
        auto& list = it->second;
        for (size_t i = 0; i < list.size(); ++i) {
          if (list[i] == this) {
            list[i] = list.back();
            list.pop_back();
            --s.openCount;
            break;
          }
        }
        if (list.empty()) s.open.erase(it);
      }
    }
    if (fd >= 0) ::close(fd);
  }
};

// True when two opens of one file cannot coexist: either side wants an access the other does not share.
// An open without read or write access (a query) takes no part in sharing, as on Windows.
bool SharesConflict(DWORD accessA, DWORD shareA, DWORD accessB, DWORD shareB) {
  if (accessA == 0 || accessB == 0) return false;
  auto refuses = [](DWORD access, DWORD otherShare) {
    return ((access & GENERIC_READ) && !(otherShare & FILE_SHARE_READ)) ||
           ((access & GENERIC_WRITE) && !(otherShare & FILE_SHARE_WRITE));
  };
  return refuses(accessA, shareB) || refuses(accessB, shareA);
}

DWORD OpenError(int error, const PathAt& at) {
  if (error == ENOENT) return at.MissingError();
  return ErrorFromErrno(error);
}

// Every open is non-blocking, so that a FIFO or a device cannot hold the caller in open(); whatever is
// not a regular file is refused right after, and regular files read the same either way.
constexpr int kOpenFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Opens with O_CREAT first and exclusively, so the caller learns whether the file already existed.
int OpenOrCreate(const PathAt& at, int accessFlags, mode_t mode, bool* existed) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = at.Open(accessFlags | O_CREAT | O_EXCL | kOpenFlags, mode);
    if (fd >= 0) {
      *existed = false;
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = at.Open(accessFlags | kOpenFlags);
    if (fd >= 0) {
      *existed = true;
      return fd;
    }
    if (errno != ENOENT) return -1;  // removed between the two opens: try again
  }
  errno = EBUSY;
  return -1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Last error, handle table, CloseHandle
// ---------------------------------------------------------------------------------------------

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0: return NO_ERROR;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENXIO:  // a FIFO opened for writing with no reader
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    default: return ERROR_GEN_FAILURE;
  }
}

BOOL CloseHandle(HANDLE handle) {
  // A call still running on the object keeps it until that call ends.
  if (handle == GetProcessHeap() || !CloseKernelObject(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES*,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  PosixPath path(fileName);
  if (!path.ok()) {
    SetLastError(path.error());
    return INVALID_HANDLE_VALUE;
  }
  FileState& s = Files();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.failNextCreate != NO_ERROR) {
      SetLastError(s.failNextCreate);
      s.failNextCreate = NO_ERROR;
      return INVALID_HANDLE_VALUE;
    }
  }

  const bool wantRead = (desiredAccess & GENERIC_READ) != 0;
  const bool wantWrite = (desiredAccess & GENERIC_WRITE) != 0;
  const int accessFlags = wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  const mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  const PathAt at(path.c_str());
  bool existed = true;
  int fd = -1;
  switch (creationDisposition) {
    case CREATE_NEW:
      fd = at.Open(accessFlags | O_CREAT | O_EXCL | kOpenFlags, mode);
      existed = false;
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      fd = OpenOrCreate(at, accessFlags, mode, &existed);
      break;
    case OPEN_EXISTING:
      fd = at.Open(accessFlags | kOpenFlags);
      break;
    case TRUNCATE_EXISTING:
      if (!wantWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      fd = at.Open(accessFlags | kOpenFlags);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    SetLastError(OpenError(errno, at));
    return INVALID_HANDLE_VALUE;
  }

  // Directories, FIFOs, sockets and devices cannot be opened as files.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  const FileKey key{st.st_dev, st.st_ino};
  const DWORD access = desiredAccess & (GENERIC_READ | GENERIC_WRITE);
  const DWORD share = shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  // Made outside the open-file registry's lock: making it takes the handle table's lock, and the two are
  // never held together (a fork waits for both). A refused one goes with its descriptor.
  auto* file = new FileObject;
  file->key = key;
  file->access = access;
  file->share = share;
  file->fd = fd;
  bool refused = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto& list = s.open[key];
    for (const FileObject* other : list) {
      refused = refused || (other->Shares() && SharesConflict(access, share, other->access, other->share));
    }
    if (!refused) {
      list.push_back(file);
      ++s.openCount;
    }
  }
  if (refused) {
    delete file;
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }

  // Truncate only once the share check has passed, so a refused open leaves the file as it was.
  const bool truncate = existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING);
  if (truncate) {
    const int rc = wantWrite ? ::ftruncate(fd, 0) : at.Truncate();
    if (rc != 0) {
      const int error = errno;
      delete file;
      SetLastError(ErrorFromErrno(error));
      return INVALID_HANDLE_VALUE;
    }
  }
  const bool reportExisting = existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return file;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED*) {
  if (bytesRead != nullptr) *bytesRead = 0;
  auto file = handles::Find<FileObject>(handle);
  if (!file) return FALSE;
  if (!(file->access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (buffer == nullptr && bytesToRead != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    FileState& s = Files();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.nextReadLimit != 0xFFFFFFFFu) {
      if (bytesToRead > s.nextReadLimit) bytesToRead = s.nextReadLimit;
      s.nextReadLimit = 0xFFFFFFFFu;
    }
  }
  auto* out = static_cast<char*>(buffer);
  DWORD total = 0;
  while (total < bytesToRead) {
    const ssize_t n = ::read(file->fd, out + total, bytesToRead - total);
    if (n > 0) {
      total += static_cast<DWORD>(n);
      continue;
    }
    if (n == 0) break;  // end of file
    if (errno == EINTR) continue;
    const DWORD error = errno == EISDIR ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT;
    if (total > 0) break;  // report what did arrive; the error shows on the next call
    SetLastError(error);
    return FALSE;
  }
  if (bytesRead != nullptr) *bytesRead = total;
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED*) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  auto file = handles::Find<FileObject>(handle);
  if (!file) return FALSE;
  if (!(file->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (buffer == nullptr && bytesToWrite != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* in = static_cast<const char*>(buffer);
  DWORD total = 0;
  while (total < bytesToWrite) {
    const ssize_t n = ::write(file->fd, in + total, bytesToWrite - total);
    if (n > 0) {
      total += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int error = n < 0 ? errno : ENOSPC;
    if (bytesWritten != nullptr) *bytesWritten = total;
    SetLastError(error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (bytesWritten != nullptr) *bytesWritten = total;
  SetLastError(NO_ERROR);
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
  auto file = handles::Find<FileObject>(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int64_t move = distance;
  if (distanceHigh != nullptr) {
    move = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                static_cast<uint32_t>(distance));
  }
  int64_t base = 0;
  if (moveMethod == FILE_CURRENT) {
    base = ::lseek(file->fd, 0, SEEK_CUR);
  } else if (moveMethod == FILE_END) {
    struct stat st {};
    base = ::fstat(file->fd, &st) == 0 ? st.st_size : -1;
  } else if (moveMethod != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, move, &target)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh == nullptr && target > 0xFFFFFFFFll) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the position would not fit the 32-bit result
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(file->fd, target, SEEK_SET) < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE handle, DWORD* fileSizeHigh) {
  auto file = handles::Find<FileObject>(handle);
  if (!file) return INVALID_FILE_SIZE;
  struct stat st {};
  if (::fstat(file->fd, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (fileSizeHigh != nullptr) *fileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL DeleteFileA(const char* fileName) {
  PosixPath path(fileName);
  if (!path.ok()) {
    SetLastError(path.error());
    return FALSE;
  }
  const PathAt at(path.c_str());
  struct stat st {};
  if (at.Stat(&st, AT_SYMLINK_NOFOLLOW) != 0) {
    SetLastError(OpenError(errno, at));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  FileState& s = Files();
  std::lock_guard<std::mutex> lock(s.mutex);  // held so no open slips in between check and unlink
  auto it = s.open.find(FileKey{st.st_dev, st.st_ino});
  if (it != s.open.end()) {
    for (const FileObject* other : it->second) {
      if (other->Shares() && other->access != 0 && !(other->share & FILE_SHARE_DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
      }
    }
  }
  if (at.Unlink() != 0) {
    SetLastError(OpenError(errno, at));
    return FALSE;
  }
  SetLastError(NO_ERROR);
  return TRUE;
}

DWORD GetFileAttributesA(const char* fileName) {
  PosixPath path(fileName);
  if (!path.ok()) {
    SetLastError(path.error());
    return INVALID_FILE_ATTRIBUTES;
  }
  const PathAt at(path.c_str());
  struct stat st {};
  if (at.Stat(&st, 0) != 0) {
    SetLastError(OpenError(errno, at));
    return INVALID_FILE_ATTRIBUTES;
  }
  SetLastError(NO_ERROR);
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// ---------------------------------------------------------------------------------------------
// Test controls
// ---------------------------------------------------------------------------------------------

namespace test {

size_t OpenFileCount() {
  FileState& s = Files();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.openCount;
}

void FailNextCreateFile(DWORD error) {
  FileState& s = Files();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextCreate = error == NO_ERROR ? ERROR_ACCESS_DENIED : error;
}

void LimitNextReadFile(DWORD maxBytes) {
  FileState& s = Files();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.nextReadLimit = maxBytes;
}

void ResetFileIo() {
  FileState& s = Files();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextCreate = NO_ERROR;
  s.nextReadLimit = 0xFFFFFFFFu;
}

}  // namespace test
}  // namespace plat

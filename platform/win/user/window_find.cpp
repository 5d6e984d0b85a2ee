// FindWindowA, in this process and across processes. While a process has a window of a class it holds
// an advisory lock (flock) on "orbel-<FNV-1a 64 of the class key>.lock" in the lock folder
// (ORBEL_RUNTIME_DIR, held to the rule of a base, else the user's private folder that the process folder
// is made in); another process finds the class by failing to take that lock. Class names may be
// Shift-JIS titles, hence the hash for the file name. The lock file is opened relative to the lock
// folder's kept handle, never through a link and without waiting, and serves only as a regular file of
// the user's with no other name that no one else may open: no other user can redirect the lock's
// creation, hold it or stall the open. Where no lock can serve, or the locks are kept in the process's
// own folder (the user's was refused), the process still runs and says once on stderr that a second copy
// will not be detected.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "platform/win/kernel/process_folder.h"
#include "platform/win/user/window_state.h"
#include "platform/win/user/window_test_controls.h"

namespace plat {
namespace winstate {
namespace {

// Handles of other processes' windows: a range no window of ours uses.
constexpr uintptr_t kForeignBase = 0x7F000000;
constexpr uintptr_t kForeignEnd = 0x7FFFFFFF;

struct ClassLock {
  int fd = -1;                // -1 when another process held the lock first, or there is no lock file
  bool heldElsewhere = false;  // another process held the lock first
  int users = 0;               // windows of the class in this process
};

struct FindState {
  std::unordered_map<std::string, ClassLock> locks;  // by class key
  bool ownFolder = false;  // a test's: the locks go to the process's own folder
  std::string directory;   // a test's lock folder; empty: from the environment
  std::string namedPath;   // the folder named by path (directory or ORBEL_RUNTIME_DIR) held open in namedFd
  int namedFd = -1;
  bool said = false;       // that a second copy will not be detected
  bool forceFound = false;
  uintptr_t nextForeign = kForeignBase;
};

FindState& Find() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new FindState;
  return *state;
}

void SayOnce(const std::string& text) {
  FindState& f = Find();
  if (f.said) return;
  f.said = true;
  std::fprintf(stderr, "orbel: %s; a second copy of this program will not be detected\n", text.c_str());
  std::fflush(stderr);
}

// The folder the lock files are kept in, open (-1: none), and its path.
int LockFolderLocked(std::string* path) {
  FindState& f = Find();
  int fd = -1;
  if (f.ownFolder) {
    *path = ProcessFolder(&fd);
    return fd;
  }
  std::string named = f.directory;
  if (const char* value = std::getenv("ORBEL_RUNTIME_DIR"); named.empty() && value != nullptr) named = value;
  if (named.empty()) {
    bool processOwn = false;
    *path = SharedUserFolder(&fd, &processOwn);
    // The user's folder was refused: the locks go where no other process looks.
    if (fd >= 0 && processOwn) SayOnce("the double-start locks are kept in this process's own folder " + *path);
    return fd;
  }
  // A folder the user names is opened once and kept, held to the rule of a base: not a link, the user's
  // or root's, sticky when others may write to it. It is opened for search alone, so a 1733 one serves.
  if (named != f.namedPath || f.namedFd < 0) {
    if (f.namedFd >= 0) ::close(f.namedFd);
    std::string why;
    f.namedFd = OpenBase(named, &why);
    f.namedPath = named;
    if (f.namedFd < 0) {
      SayOnce("refused ORBEL_RUNTIME_DIR " + named + " as the folder of the double-start locks (" + why + ")");
    }
  }
  *path = named;
  return f.namedFd;
}

// The class's lock file, made when missing (0600, whatever the umask); -1 when there is none to use. A
// file that group or others may open is refused, made here or not: whoever opened it before it came to
// this name (moved there) could hold it.
int OpenLockFile(const std::string& key) {
  std::string folder;
  const int folderFd = LockFolderLocked(&folder);
  if (folderFd < 0) {
    SayOnce("no folder can hold the double-start lock" + (folder.empty() ? "" : " (" + folder + ")"));
    return -1;
  }
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  char name[40];
  std::snprintf(name, sizeof name, "orbel-%016llx.lock", static_cast<unsigned long long>(hash));
  // Non-blocking: a lease, a FIFO or a mandatory lock at the name makes the open fail at once, never wait.
  const int fd = ::openat(folderFd, name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1 ||
      (st.st_mode & (S_IRWXG | S_IRWXO)) != 0 || ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)) {
    if (fd >= 0) ::close(fd);
    SayOnce("refused the double-start lock " + folder + "/" + name +
            " (a link, another user's file, or a file with another name too)");
    return -1;
  }
  return fd;
}

// True when another process holds the class's lock.
bool HeldElsewhereLocked(const std::string& key) {
  FindState& f = Find();
  auto it = f.locks.find(key);
  if (it != f.locks.end() && it->second.users > 0) return it->second.heldElsewhere;
  const int fd = OpenLockFile(key);
  if (fd < 0) return false;
  bool held = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) held = errno == EWOULDBLOCK;
  ::close(fd);  // also drops the lock we may just have taken
  return held;
}

bool SameText(const std::string& a, const char* b) { return ClassKey(a.c_str()) == ClassKey(b); }

}  // namespace

void AcquireClassLock(const std::string& key) {
  ClassLock& lock = Find().locks[key];
  if (lock.users++ > 0) return;
  lock.fd = OpenLockFile(key);
  if (lock.fd >= 0 && ::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
    lock.heldElsewhere = errno == EWOULDBLOCK;
    ::close(lock.fd);
    lock.fd = -1;
  }
}

void ReleaseClassLock(const std::string& key) {
  FindState& f = Find();
  auto it = f.locks.find(key);
  if (it == f.locks.end()) return;
  if (--it->second.users > 0) return;
  if (it->second.fd >= 0) ::close(it->second.fd);
  f.locks.erase(it);
}

bool IsForeignHandle(HWND window) {
  const auto value = reinterpret_cast<uintptr_t>(window);
  return value >= kForeignBase && value <= kForeignEnd;
}

void ResetFind() {
  FindState& f = Find();
  f.forceFound = false;
  // Tests work alone, whatever runtime folder the environment names: the locks go to the process's own
  // folder, which goes with the process however it ends.
  f.ownFolder = true;
  f.directory.clear();
}

}  // namespace winstate

using namespace winstate;

HWND FindWindowA(const char* className, const char* windowName) {
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string key = ClassKey(className);
  for (HWND candidate : s.zOrder) {
    auto w = LookupLocked(candidate);
    if (!w || w->destroying) continue;
    if (className != nullptr && w->wndClass->key != key) continue;
    if (windowName != nullptr && !SameText(w->title, windowName)) continue;
    return candidate;
  }
  if (className == nullptr || windowName != nullptr) return nullptr;
  FindState& f = Find();
  if (f.forceFound || HeldElsewhereLocked(key)) {
    const uintptr_t value = f.nextForeign;
    f.nextForeign = value + 4 > kForeignEnd ? kForeignBase : value + 4;
    return reinterpret_cast<HWND>(value);
  }
  return nullptr;
}

namespace test {

void ForceFindWindow(bool found) {
  std::lock_guard<std::mutex> lock(State().mutex);
  Find().forceFound = found;
}

void SetLockDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> lock(State().mutex);
  Find().ownFolder = false;
  Find().directory = directory;
}

std::string LockDirectory() {
  std::lock_guard<std::mutex> lock(State().mutex);
  std::string path;
  LockFolderLocked(&path);
  return path;
}

}  // namespace test
}  // namespace plat

// Per-process private folders: made inside the user's own folder, marked as alive by an flock held on the
// folder itself for the life of the process, swept when that lock is free. The lock goes with the process,
// however it ends, so no pid is ever trusted (pids are reused).
#include "platform/win/kernel/process_folder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace plat {
namespace {

constexpr char kFolderPrefix[] = "process-";
constexpr int kNameTries = 16;

struct ProcessFolderState {
  std::mutex mutex;
  std::string path;  // empty until made
  int lockFd = -1;   // the folder, open and locked while the process lives
  pid_t owner = 0;   // the process that made it (a forked child inherits the record, not the duty)
};

// Never destroyed: the exit handler still reads it after static destructors may have run.
ProcessFolderState& State() {
  static auto* state = new ProcessFolderState;
  return *state;
}

int OpenFolder(int atFd, const char* path) {
  return ::openat(atFd, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool TryLock(int folderFd) { return ::flock(folderFd, LOCK_EX | LOCK_NB) == 0; }

// The names in the folder open at `folderFd` that begin with `prefix` ("." and ".." left out).
std::vector<std::string> ListNames(int folderFd, const char* prefix) {
  std::vector<std::string> names;
  const int listFd = ::dup(folderFd);
  if (listFd < 0) return names;
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    ::close(listFd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Removes the entries of the folder open at `folderFd`: files, links and empty folders (nothing else is
// ever made there). Links are removed, never followed.
void RemoveEntries(int folderFd) {
  for (const std::string& name : ListNames(folderFd, "")) {
    if (::unlinkat(folderFd, name.c_str(), 0) != 0 && errno == EISDIR) {
      ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
    }
  }
}

std::string RandomHex() {
  uint64_t value = 0;
  if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) return {};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

void RemoveOwnFolder() {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.lockFd < 0 || s.owner != ::getpid()) return;
  RemoveEntries(s.lockFd);
  ::rmdir(s.path.c_str());
  ::close(s.lockFd);
  s.lockFd = -1;
  s.path.clear();
}

// Makes and locks a new process folder in `userFolder`. A sweeper that took the lock of a folder made a
// moment ago (before its maker locked it) removes it: the maker then fails the lock or finds the folder
// gone, and tries another name.
bool MakeLockedFolder(const std::string& userFolder, ProcessFolderState* s) {
  for (int i = 0; i < kNameTries; ++i) {
    const std::string random = RandomHex();
    if (random.empty()) return false;
    const std::string path = userFolder + "/" + kFolderPrefix + std::to_string(::getpid()) + "-" + random;
    if (::mkdir(path.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const int fd = OpenFolder(AT_FDCWD, path.c_str());
    if (fd < 0) continue;
    struct stat st {};
    if (TryLock(fd) && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      s->path = path;
      s->lockFd = fd;
      s->owner = ::getpid();
      return true;
    }
    ::close(fd);
  }
  return false;
}

}  // namespace

std::string UserFolder(const std::string& base) {
  if (base.empty()) return {};
  const std::string path = base + "/orbel-" + std::to_string(::geteuid());
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  const int fd = OpenFolder(AT_FDCWD, path.c_str());
  if (fd < 0) return {};  // a link, or no folder
  struct stat st {};
  bool trusted = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  if (trusted && (st.st_mode & 07777) != 0700) trusted = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return trusted ? path : std::string();
}

std::string ProcessFolder() {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.path.empty()) return s.path;
  // A base that is set but unusable (a stale XDG_RUNTIME_DIR, a missing TMPDIR) gives way to the next.
  std::vector<std::string> bases;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') bases.emplace_back(value);
  }
  bases.emplace_back("/tmp");
  for (const std::string& base : bases) {
    const std::string userFolder = UserFolder(base);
    if (userFolder.empty()) continue;
    SweepProcessFolders(userFolder);
    if (!MakeLockedFolder(userFolder, &s)) continue;
    static bool handlerSet = false;
    if (!handlerSet) handlerSet = std::atexit(&RemoveOwnFolder) == 0;
    return s.path;
  }
  return {};
}

int SweepProcessFolders(const std::string& userFolder) {
  const int userFd = OpenFolder(AT_FDCWD, userFolder.c_str());
  if (userFd < 0) return 0;
  int removed = 0;
  for (const std::string& name : ListNames(userFd, kFolderPrefix)) {
    const int fd = OpenFolder(userFd, name.c_str());
    if (fd < 0) continue;
    // Taken only when its process has ended; another sweeper holding it makes this one pass it by.
    if (TryLock(fd)) {
      RemoveEntries(fd);
      if (::unlinkat(userFd, name.c_str(), AT_REMOVEDIR) == 0) ++removed;
    }
    ::close(fd);
  }
  ::close(userFd);
  return removed;
}

}  // namespace plat

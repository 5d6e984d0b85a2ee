// Per-process private folders: made inside the user's own folder (or, when that is taken, beside it),
// marked as alive by an flock held on the folder itself for the life of the process, swept when that lock
// is free. The lock goes with the process, however it ends, so no pid is ever trusted (pids are reused).
// Everything is opened relative to a folder already open, never through a link, so a name swapped for a
// link between two steps leads nowhere.
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
constexpr int kMaxDepth = 64;  // subfolders deeper than this in a folder being removed are left

struct ProcessFolderState {
  std::mutex mutex;
  bool looked = false;     // the user's folder has been looked for
  std::string base;        // the base it was looked for in; empty when no base could hold it
  std::string userFolder;  // "<base>/orbel-<uid>" when trusted; empty when refused or none
  std::string path;        // the process's folder; empty until made
  int lockFd = -1;         // the folder, open and locked while the process lives
  pid_t owner = 0;         // the process that made it (a forked child inherits the record, not the duty)
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

std::string UserFolderPath(const std::string& base) { return base + "/orbel-" + std::to_string(::geteuid()); }

bool OwnedByUser(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid();
}

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

// Removes everything in the folder open at `folderFd`, subfolders whole. Links are removed, never
// followed.
void RemoveEntries(int folderFd, int depth = 0) {
  for (const std::string& name : ListNames(folderFd, "")) {
    if (::unlinkat(folderFd, name.c_str(), 0) == 0 || errno != EISDIR) continue;
    const int subFd = depth < kMaxDepth ? OpenFolder(folderFd, name.c_str()) : -1;
    if (subFd >= 0) {
      RemoveEntries(subFd, depth + 1);
      ::close(subFd);
    }
    ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
  }
}

// Removes the folders in `parent` whose names begin with `prefix` and whose locks are free, whole; the
// number removed. Only the user's own folders are touched: `parent` may be a folder everyone writes to.
int SweepFolders(const std::string& parent, const std::string& prefix) {
  const int parentFd = OpenFolder(AT_FDCWD, parent.c_str());
  if (parentFd < 0) return 0;
  int removed = 0;
  for (const std::string& name : ListNames(parentFd, prefix.c_str())) {
    const int fd = OpenFolder(parentFd, name.c_str());
    if (fd < 0) continue;
    // Taken only when its process has ended; another sweeper holding it makes this one pass it by.
    if (OwnedByUser(fd) && TryLock(fd)) {
      RemoveEntries(fd);
      if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0) ++removed;
    }
    ::close(fd);
  }
  ::close(parentFd);
  return removed;
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

// Makes and locks a new folder "<parent>/<prefix><pid>-<random>", in one step and with mode 0700, so that
// nothing standing there before is ever used. A sweeper that took the lock of a folder made a moment ago
// (before its maker locked it) removes it: the maker then fails the lock or finds the folder gone, and
// tries another name.
bool MakeLockedFolder(const std::string& parent, const std::string& prefix, ProcessFolderState* s) {
  for (int i = 0; i < kNameTries; ++i) {
    const std::string random = RandomHex();
    if (random.empty()) return false;
    const std::string path = parent + "/" + prefix + std::to_string(::getpid()) + "-" + random;
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

// Picks the base and the user's folder in it, once: the first base that holds a trusted folder, or the
// first where something else stands at its name (said once on stderr).
void LookForUserFolderLocked(ProcessFolderState& s) {
  if (s.looked) return;
  s.looked = true;
  // A base that is set but unusable (a stale XDG_RUNTIME_DIR, a missing TMPDIR) gives way to the next.
  std::vector<std::string> bases;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') bases.emplace_back(value);
  }
  bases.emplace_back("/tmp");
  for (const std::string& base : bases) {
    bool refused = false;
    s.userFolder = UserFolder(base, &refused);
    if (s.userFolder.empty() && !refused) continue;
    s.base = base;
    if (refused) {
      std::fprintf(stderr,
                   "orbel: refused %s (a link, another user's folder, or one others may write to); this process "
                   "keeps its files in a private folder of its own\n",
                   UserFolderPath(base).c_str());
    }
    return;
  }
}

std::string ProcessFolderLocked(ProcessFolderState& s) {
  if (!s.path.empty()) return s.path;
  LookForUserFolderLocked(s);
  if (s.base.empty()) return {};
  // In the user's folder, or beside the refused one under a name of the user's own.
  const std::string parent = s.userFolder.empty() ? s.base : s.userFolder;
  const std::string prefix =
      s.userFolder.empty() ? "orbel-" + std::to_string(::geteuid()) + "-" + kFolderPrefix : kFolderPrefix;
  SweepFolders(parent, prefix);
  if (!MakeLockedFolder(parent, prefix, &s)) return {};
  static bool handlerSet = false;
  if (!handlerSet) handlerSet = std::atexit(&RemoveOwnFolder) == 0;
  return s.path;
}

}  // namespace

std::string UserFolder(const std::string& base, bool* refused) {
  if (refused != nullptr) *refused = false;
  if (base.empty()) return {};
  const std::string path = UserFolderPath(base);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  const int fd = OpenFolder(AT_FDCWD, path.c_str());
  struct stat st {};
  bool trusted = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
                 (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
  if (trusted && (st.st_mode & 07777) != 0700) trusted = ::fchmod(fd, 0700) == 0;
  if (fd >= 0) ::close(fd);
  if (refused != nullptr) *refused = !trusted;
  return trusted ? path : std::string();
}

std::string ProcessFolder() {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return ProcessFolderLocked(s);
}

std::string SharedUserFolder() {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  LookForUserFolderLocked(s);
  return s.userFolder.empty() ? ProcessFolderLocked(s) : s.userFolder;
}

int SweepProcessFolders(const std::string& userFolder) { return SweepFolders(userFolder, kFolderPrefix); }

}  // namespace plat

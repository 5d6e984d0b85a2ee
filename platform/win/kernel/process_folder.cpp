// Per-process private folders: made inside the user's own folder (or, when that is taken, beside it),
// marked as alive by an flock held on the folder itself for the life of the process, swept when that lock
// is free. The lock goes with the process, however it ends, so no pid is ever trusted (pids are reused).
// Everything is opened relative to a folder already open and checked, never through a link, so a name
// swapped for a link or another folder between two steps leads nowhere.
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
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/kernel/file_test_controls.h"

namespace plat {
namespace {

constexpr char kFolderPrefix[] = "process-";
constexpr int kNameTries = 16;
constexpr mode_t kFolderMode = 0700;

std::function<void(const std::string&)>& StepHook() {
  static auto* hook = new std::function<void(const std::string&)>;
  return *hook;
}

// Tells a test that `step` is done: the point where another user would swap a name.
void Step(const char* step) {
  if (StepHook()) StepHook()(step);
}

template <typename... Texts>
void Say(const char* format, const Texts&... texts) {
  std::fprintf(stderr, format, texts.c_str()...);
  std::fflush(stderr);
}

int OpenFolderAt(int atFd, const char* name) {
  return ::openat(atFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens the folder `name` in the folder open at `atFd`, never through a link. A folder of the user's
// that its owner cannot read or search (left so, or made under a umask without the owner's bits) is
// given the owner's access first. The change goes by name: that is safe only because `atFd` is a folder
// in which no other user can rename an entry of the user's.
int OpenOwnFolder(int atFd, const char* name) {
  const int fd = OpenFolderAt(atFd, name);
  if (fd >= 0 || errno != EACCES) return fd;
  struct stat st {};
  if (::fstatat(atFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      ::fchmodat(atFd, name, (st.st_mode & 07777) | S_IRWXU, 0) != 0) {
    errno = EACCES;
    return -1;
  }
  return OpenFolderAt(atFd, name);
}

bool TryLock(int folderFd) { return ::flock(folderFd, LOCK_EX | LOCK_NB) == 0; }

std::string UserFolderName() { return "orbel-" + std::to_string(::geteuid()); }

// The folder open at `fd` is the user's and no one else may write in it: a folder fit to trust. Its
// mode is then made 0700, whatever the umask gave it.
bool PrivateFolder(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  return (st.st_mode & 07777) == kFolderMode || ::fchmod(fd, kFolderMode) == 0;
}

// The names in the folder open at `folderFd` that begin with `prefix` ("." and ".." left out); none when
// the folder may not be listed (a base open for search alone).
std::vector<std::string> ListNames(int folderFd, const std::string& prefix) {
  std::vector<std::string> names;
  const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return names;
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    ::close(listFd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// The folder open at `fd` may be listed by this process (a 1733 base of root's may not).
bool CanList(int fd) {
  const int listFd = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return false;
  ::close(listFd);
  return true;
}

// Makes the folder open at `fd`, the user's, 0700 to be emptied: a killed process may have left it
// read-only, unsearchable or unreadable, and once it is 0700 no other user can rename an entry in it.
bool MakeEmptiable(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
         ((st.st_mode & 07777) == kFolderMode || ::fchmod(fd, kFolderMode) == 0);
}

// Opens the subfolder `name` of the folder open at `parentFd` to empty it; -1 unless it is the user's.
int OpenFolderToEmpty(int parentFd, const char* name) {
  const int fd = OpenOwnFolder(parentFd, name);
  if (fd >= 0 && !MakeEmptiable(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Removes everything in the folder open at `top`, subfolders whole, however deep. One folder is open at a
// time: the way back up goes through "..", checked to be the folder left, so no depth runs out of
// descriptors. Links are removed, never followed; what is not the user's is left.
void RemoveContents(int top) {
  struct Level {
    std::string name;      // in its parent
    struct stat parent {};  // the parent's identity, to know it again through ".."
    std::vector<std::string> names;  // this folder's entries, listed on arrival
    size_t next = 0;
  };
  if (!MakeEmptiable(top)) return;
  int fd = ::fcntl(top, F_DUPFD_CLOEXEC, 0);
  std::vector<Level> levels(1);
  levels[0].names = ListNames(fd, "");
  while (fd >= 0) {
    Level& here = levels.back();
    if (here.next < here.names.size()) {
      const std::string name = here.names[here.next++];
      if (::unlinkat(fd, name.c_str(), 0) == 0 || errno != EISDIR) continue;
      const int child = OpenFolderToEmpty(fd, name.c_str());
      if (child < 0) continue;
      Level down{name, {}, ListNames(child, ""), 0};
      if (::fstat(fd, &down.parent) != 0) {
        ::close(child);
        continue;
      }
      ::close(fd);
      fd = child;
      levels.push_back(std::move(down));
      continue;
    }
    if (levels.size() == 1) break;
    // This folder is emptied: back to its parent, known again by its identity, to remove it there.
    const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = parent;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_dev != here.parent.st_dev || st.st_ino != here.parent.st_ino) {
      break;  // moved meanwhile: what is left stays
    }
    ::unlinkat(fd, here.name.c_str(), AT_REMOVEDIR);
    levels.pop_back();
  }
  if (fd >= 0) ::close(fd);
}

// Removes the folders in the folder open at `parentFd` whose names begin with `prefix` and whose locks
// are free, whole. Only the user's own folders are touched: the parent may be a base others write to.
void SweepFolders(int parentFd, const std::string& prefix) {
  for (const std::string& name : ListNames(parentFd, prefix)) {
    const int fd = OpenOwnFolder(parentFd, name.c_str());
    if (fd < 0) continue;
    struct stat st {};
    // Taken only when its process has ended; another sweeper holding it makes this one pass it by.
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && TryLock(fd)) {
      RemoveContents(fd);
      ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
  }
}

std::string RandomHex() {
  uint64_t value = 0;
  if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) return {};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Makes and locks a new folder "<prefix><pid>-<random>" in the folder open at `parentFd`, checked through
// its handle, so that nothing standing there before, or swapped in since, is ever used. A sweeper that
// took the lock of a folder made a moment ago (before its maker locked it) removes it: the maker then
// fails the lock or finds the folder gone, and tries another name.
bool MakeLockedFolder(int parentFd, const std::string& prefix, ProcessFolders* f) {
  for (int i = 0; i < kNameTries; ++i) {
    const std::string random = RandomHex();
    if (random.empty()) return false;
    const std::string name = prefix + std::to_string(::getpid()) + "-" + random;
    if (::mkdirat(parentFd, name.c_str(), kFolderMode) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    Step("made");
    const int fd = OpenOwnFolder(parentFd, name.c_str());
    if (fd < 0) continue;
    struct stat st {};
    if (PrivateFolder(fd) && TryLock(fd) && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      f->name = name;
      f->path = (f->userFd >= 0 ? f->userFolder : f->base) + "/" + name;
      f->fd = fd;
      return true;
    }
    ::close(fd);
  }
  return false;
}

struct ProcessFolderState {
  std::mutex mutex;
  bool looked = false;  // the bases have been looked at
  bool ended = false;   // the folder went with the process's end: no other is made, though threads still ask
  ProcessFolders folders;
  pid_t owner = 0;      // the process that made its folder (a forked child inherits the record, not the duty)
};

// Never destroyed: the exit handler still reads it after static destructors may have run.
ProcessFolderState& State() {
  static auto* state = new ProcessFolderState;
  return *state;
}

void LookForUserFolderLocked(ProcessFolderState& s) {
  if (s.looked) return;
  s.looked = true;
  std::vector<std::string> bases;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') bases.emplace_back(value);
  }
  bases.emplace_back("/tmp");
  OpenUserFolder(bases, &s.folders);
}

// Removes the process's folder as the process ends; none is made after. It is renamed out of the way
// first: another thread that read its path a moment before then makes nothing in it by that name, where
// a file made after the emptying would keep the folder from going.
void EndOwnFolderLocked(ProcessFolderState& s) {
  s.ended = true;
  if (s.owner != ::getpid()) return;
  ProcessFolders& f = s.folders;
  if (f.fd >= 0) {
    const int parentFd = f.userFd >= 0 ? f.userFd : f.baseFd;
    const std::string ending = f.name + "-ended";  // the prefix kept: swept if the process dies here
    if (::renameat2(parentFd, f.name.c_str(), parentFd, ending.c_str(), RENAME_NOREPLACE) == 0) f.name = ending;
    Step("ending");
  }
  RemoveProcessFolder(&f);
}

std::string ProcessFolderLocked(ProcessFolderState& s, int* handle) {
  if (s.folders.fd < 0 && !s.ended) {
    LookForUserFolderLocked(s);
    if (MakeProcessFolder(&s.folders)) {
      s.owner = ::getpid();
      static bool handlerSet = false;
      if (!handlerSet) handlerSet = std::atexit(&RemoveOwnProcessFolder) == 0;
      // Refused once the exit handlers have all run (exit() called on another thread meanwhile): no
      // handler would remove a folder made now, so it goes at once.
      if (!handlerSet) EndOwnFolderLocked(s);
    }
  }
  if (handle != nullptr) *handle = s.folders.fd;
  return s.folders.path;
}

// `path` less the trailing "/" and "/." that name the same folder: at "link/" or "link/." the system
// follows the link whatever O_NOFOLLOW says. The root stays "/".
std::string WithoutTrailingSeparators(std::string path) {
  for (;;) {
    const size_t n = path.size();
    if (n > 1 && path[n - 1] == '/') {
      path.pop_back();
    } else if (n > 1 && path[n - 1] == '.' && path[n - 2] == '/') {
      path.pop_back();
    } else {
      return path;
    }
  }
}

}  // namespace

int OpenBase(const std::string& path, std::string* why) {
  // Opened for search alone: nothing in a base is read but the names of the user's own folders, which a
  // base that none may list (a 1733 one) keeps from everyone alike.
  const int fd = ::open(WithoutTrailingSeparators(path).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int error = errno;
  if (fd < 0 && error != ENOTDIR && error != ELOOP) {
    *why = std::strerror(error);
    errno = error;
    return -1;
  }
  struct stat st {};
  // No other user can rename or remove the user's entries: a folder of the user's or root's, with the
  // sticky bit when others may write to it.
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0) ||
      ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)) {
    if (fd >= 0) ::close(fd);
    *why = "a link, not a folder, or one another user can change";
    errno = EPERM;
    return -1;
  }
  return fd;
}

bool OpenUserFolder(const std::vector<std::string>& bases, ProcessFolders* f) {
  std::string tried;
  for (const std::string& given : bases) {
    const std::string base = WithoutTrailingSeparators(given);
    if (base.empty()) continue;
    tried += (tried.empty() ? "" : ", ") + base;
    std::string why;
    const int baseFd = OpenBase(base, &why);
    if (baseFd < 0) {
      if (errno != ENOENT) Say("orbel: refused %s as a folder for this process's files (%s)\n", base, why);
      continue;
    }
    Step("base");
    const std::string name = UserFolderName();
    if (::mkdirat(baseFd, name.c_str(), kFolderMode) != 0 && errno != EEXIST) {
      ::close(baseFd);  // read-only or full: it cannot hold the user's folder
      continue;
    }
    int userFd = OpenOwnFolder(baseFd, name.c_str());
    if (userFd >= 0 && !PrivateFolder(userFd)) {
      ::close(userFd);
      userFd = -1;
    }
    Step("user");
    if (userFd < 0 && !CanList(baseFd)) {
      // A private folder made here could not be found again to be swept, were this process killed.
      Say("orbel: refused %s (a link, another user's folder, or one others may write to), and %s cannot be "
          "listed to remove a private folder a killed process left in it; the next folder is tried\n",
          base + "/" + name, base);
      ::close(baseFd);
      continue;
    }
    f->base = base;
    f->baseFd = baseFd;
    if (userFd >= 0) {
      f->userFolder = base + "/" + name;
      f->userFd = userFd;
    } else {
      Say("orbel: refused %s (a link, another user's folder, or one others may write to); this process keeps "
          "its files in a private folder of its own\n", base + "/" + name);
    }
    return true;
  }
  Say("orbel: no folder can hold this process's files (tried %s); temporary files cannot be made\n", tried);
  return false;
}

bool MakeProcessFolder(ProcessFolders* f) {
  if (f->fd >= 0) return true;
  if (f->baseFd < 0) return false;
  // The user's private folders left in the base, whenever the user's folder was taken, go too.
  const std::string privatePrefix = UserFolderName() + "-" + kFolderPrefix;
  SweepFolders(f->baseFd, privatePrefix);
  if (f->userFd < 0) return MakeLockedFolder(f->baseFd, privatePrefix, f);
  SweepFolders(f->userFd, kFolderPrefix);
  return MakeLockedFolder(f->userFd, kFolderPrefix, f);
}

void RemoveProcessFolder(ProcessFolders* f) {
  if (f->fd < 0) return;
  RemoveContents(f->fd);
  ::unlinkat(f->userFd >= 0 ? f->userFd : f->baseFd, f->name.c_str(), AT_REMOVEDIR);
  ::close(f->fd);
  f->fd = -1;
  f->removed = f->path;
  f->path.clear();
  f->name.clear();
}

void CloseProcessFolders(ProcessFolders* f) {
  for (int fd : {f->fd, f->userFd, f->baseFd}) {
    if (fd >= 0) ::close(fd);
  }
  *f = ProcessFolders{};
}

void RemoveOwnProcessFolder() {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  EndOwnFolderLocked(s);
}

std::string ProcessFolder(int* handle) {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return ProcessFolderLocked(s, handle);
}

std::string SharedUserFolder(int* handle, bool* processOwn) {
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  LookForUserFolderLocked(s);
  if (processOwn != nullptr) *processOwn = s.folders.userFd < 0;
  if (s.folders.userFd < 0) return ProcessFolderLocked(s, handle);
  if (handle != nullptr) *handle = s.folders.userFd;
  return s.folders.userFolder;
}

bool ProcessFolderHandle(std::string_view folder, int* handle) {
  // Only a folder named as process folders are is looked up; no other path waits on the folders' lock.
  const size_t slash = folder.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? folder : folder.substr(slash + 1);
  if (last.find(kFolderPrefix) == std::string_view::npos) return false;
  ProcessFolderState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.folders.fd >= 0 && folder == s.folders.path) {
    *handle = ::fcntl(s.folders.fd, F_DUPFD_CLOEXEC, 0);
    return true;
  }
  if (!s.folders.removed.empty() && folder == s.folders.removed) {
    *handle = -1;
    errno = ENOENT;
    return true;
  }
  return false;
}

namespace test {

void SetFolderStepHook(std::function<void(const std::string& step)> hook) { StepHook() = std::move(hook); }

}  // namespace test
}  // namespace plat

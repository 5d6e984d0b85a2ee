// Directory searches over opendir/statx, the current directory, temporary file names (in the process's
// private folder), and the FILETIME / SYSTEMTIME conversions. Names from the system are UTF-8 and reach
// the library in Shift-JIS.
#include "platform/win/kernel/find_file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/random.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/posix_path.h"
#include "platform/win/kernel/process_folder.h"

namespace plat {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;          // FILETIME units per second
constexpr int64_t kUnixEpochSeconds = 11644473600;     // seconds from 1601-01-01 to 1970-01-01
constexpr int64_t kTicksPerDay = 864000000000;
constexpr int64_t kDaysFrom1601To1970 = 134774;

// ---------------------------------------------------------------------------------------------
// Wildcards
// ---------------------------------------------------------------------------------------------

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes in the character at `text` (2 for a Shift-JIS pair).
size_t CharWidth(const char* text) {
  return IsSjisLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

bool SameChar(const char* a, size_t widthA, const char* b, size_t widthB) {
  if (widthA != widthB) return false;
  if (widthA == 1) return FoldAscii(a[0]) == FoldAscii(b[0]);
  return a[0] == b[0] && a[1] == b[1];  // double-byte characters compare exactly
}

// '*' matches any run of characters, '?' one character (a Shift-JIS pair counts as one); ASCII
// letters match without regard to case. Backtracks only to the last '*', so time is O(n*m).
bool MatchWildcard(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) pattern = "*";  // Windows lists names without a dot too
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name != '\0') {
    const size_t nameWidth = CharWidth(name);
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
      continue;
    }
    if (*pattern != '\0') {
      const size_t patternWidth = CharWidth(pattern);
      if ((*pattern == '?' && patternWidth == 1) || SameChar(pattern, patternWidth, name, nameWidth)) {
        pattern += patternWidth;
        name += nameWidth;
        continue;
      }
    }
    if (starPattern == nullptr) return false;
    pattern = starPattern;
    starName += CharWidth(starName);
    name = starName;
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Windows lists a directory in the order of its upper-cased names.
bool ListedBefore(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// ---------------------------------------------------------------------------------------------
// Times
// ---------------------------------------------------------------------------------------------

uint64_t TicksOf(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -kUnixEpochSeconds) return FILETIME{0, 0};
  return FileTimeOf(static_cast<uint64_t>(seconds + kUnixEpochSeconds) * kTicksPerSecond + nanoseconds / 100);
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2);
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Seconds east of UTC in the process's time zone at the UTC instant `unixSeconds`.
int64_t LocalOffsetAt(int64_t unixSeconds) {
  const time_t when = static_cast<time_t>(unixSeconds);
  struct tm local {};
  if (localtime_r(&when, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

struct TimeState {
  std::mutex mutex;
  bool fixed = false;  // tests fixed the wall clock
  FILETIME now{};
};

TimeState& Times() {
  static TimeState* state = new TimeState;
  return *state;
}

// ---------------------------------------------------------------------------------------------
// Searches
// ---------------------------------------------------------------------------------------------

// A directory entry: its name as the file system has it (UTF-8) and as the library sees it (Shift-JIS).
struct ListedName {
  std::string system;
  std::string shiftJis;
};

struct FindObject final : KernelObject {
  int dirFd = -1;
  std::vector<ListedName> names;  // matching entries, in listing order
  size_t next = 0;

  ~FindObject() override {
    if (dirFd >= 0) ::close(dirFd);
  }
};

bool FillFindData(int dirFd, const ListedName& name, WIN32_FIND_DATAA* data) {
  struct statx st {};
  const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  const char* systemName = name.system.c_str();
  if (::statx(dirFd, systemName, 0, mask, &st) != 0 &&
      ::statx(dirFd, systemName, AT_SYMLINK_NOFOLLOW, mask, &st) != 0) {  // a dangling link
    return false;
  }
  std::memset(data, 0, sizeof(*data));
  if (S_ISDIR(st.stx_mode)) {
    data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    data->dwFileAttributes = (st.stx_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    data->nFileSizeHigh = static_cast<DWORD>(st.stx_size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(st.stx_size & 0xFFFFFFFFu);
  }
  const statx_timestamp& created = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime;
  data->ftCreationTime = FileTimeFromUnix(created.tv_sec, created.tv_nsec);
  data->ftLastAccessTime = FileTimeFromUnix(st.stx_atime.tv_sec, st.stx_atime.tv_nsec);
  data->ftLastWriteTime = FileTimeFromUnix(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
  std::memcpy(data->cFileName, name.shiftJis.c_str(), name.shiftJis.size() + 1);  // names are below MAX_PATH
  return true;
}

// Fills `data` from the next entry that can still be read (one may vanish after listing).
bool NextFindData(FindObject* search, WIN32_FIND_DATAA* data) {
  while (search->next < search->names.size()) {
    if (FillFindData(search->dirFd, search->names[search->next++], data)) return true;
  }
  return false;
}

bool IsRootDirectory(int dirFd) {
  struct stat dir {}, root {};
  return ::fstat(dirFd, &dir) == 0 && ::stat("/", &root) == 0 && dir.st_dev == root.st_dev &&
         dir.st_ino == root.st_ino;
}

// Reads the matching entries of the directory open at `dirFd`: "." and ".." first (not in the root),
// then the rest in listing order. Names are matched and sorted in their Shift-JIS form.
bool ListMatches(int dirFd, const char* pattern, std::vector<ListedName>* names) {
  const int listFd = ::dup(dirFd);
  if (listFd < 0) return false;
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    ::close(listFd);
    return false;
  }
  std::vector<ListedName> found;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    std::string shiftJis = SystemNameToShiftJis(name);
    if (shiftJis.size() >= MAX_PATH) continue;  // cannot be named through the record
    if (MatchWildcard(pattern, shiftJis.c_str())) found.push_back(ListedName{name, std::move(shiftJis)});
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const ListedName& a, const ListedName& b) { return ListedBefore(a.shiftJis, b.shiftJis); });
  if (!IsRootDirectory(dirFd)) {
    if (MatchWildcard(pattern, ".")) names->push_back(ListedName{".", "."});
    if (MatchWildcard(pattern, "..")) names->push_back(ListedName{"..", ".."});
  }
  for (ListedName& name : found) names->push_back(std::move(name));
  return true;
}

}  // namespace

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* findData) {
  if (findData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  PosixPath path(pattern);
  if (!path.ok()) {
    SetLastError(path.error() == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : path.error());
    return INVALID_HANDLE_VALUE;
  }
  char dir[PATH_MAX];
  const char* namePattern = nullptr;
  if (!SplitPosixPath(path.c_str(), dir, sizeof(dir), &namePattern)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  if (namePattern[0] == '\0') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::string shiftJisPattern = SystemNameToShiftJis(namePattern);
  const int dirFd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto* search = new FindObject;
  search->dirFd = dirFd;
  if (!ListMatches(dirFd, shiftJisPattern.c_str(), &search->names) || !NextFindData(search, findData)) {
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(NO_ERROR);
  return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* findData) {
  auto search = handles::Find<FindObject>(handle);
  if (!search) return FALSE;
  if (findData == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!NextFindData(search.get(), findData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!handles::Find<FindObject>(handle)) return FALSE;
  return CloseHandle(handle);
}

// ---------------------------------------------------------------------------------------------
// Directory stamps: timed against the real clock, as file system times are wall-clock times whatever
// clock the program runs on
// ---------------------------------------------------------------------------------------------

namespace {

// Timestamps may be as coarse as 2 s (FAT); the common Linux file systems stamp with the kernel's
// coarse clock, a tick of at most 10 ms.
constexpr int64_t kSettleNs = 2'000'000'000;
constexpr int64_t kFineSettleNs = 30'000'000;

// File systems whose times come from the kernel's clock at full resolution.
bool HasFineTimes(const char* path) {
  struct statfs fs {};
  if (::statfs(path, &fs) != 0) return false;
  switch (static_cast<uint32_t>(fs.f_type)) {
    case 0xEF53u:      // ext2, ext3, ext4
    case 0x01021994u:  // tmpfs
    case 0x58465342u:  // xfs
    case 0x9123683Eu:  // btrfs
    case 0xF2F52010u:  // f2fs
    case 0x794C7630u:  // overlay
      return true;
    default:
      return false;
  }
}

int64_t Nanoseconds(const statx_timestamp& t) { return t.tv_sec * int64_t{1'000'000'000} + t.tv_nsec; }

}  // namespace

BOOL GetDirectoryStamp(const char* pathName, DirectoryStamp* stamp) {
  if (pathName == nullptr || stamp == nullptr) return FALSE;
  PosixPath path(pathName);
  if (!path.ok()) return FALSE;
  struct statx st {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_INO | STATX_MTIME | STATX_CTIME, &st) != 0 ||
      !S_ISDIR(st.stx_mode)) {
    return FALSE;
  }
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t nowNs = now.tv_sec * int64_t{1'000'000'000} + now.tv_nsec;
  stamp->device = (uint64_t{st.stx_dev_major} << 32) | st.stx_dev_minor;
  stamp->inode = st.stx_ino;
  stamp->modified = Nanoseconds(st.stx_mtime);
  stamp->changed = Nanoseconds(st.stx_ctime);
  // Settled by the entry time alone: touching the directory's own status (times, mode) changes no
  // entry, and a later entry change moves the modification time on. A time in the future never settles.
  const int64_t age = nowNs - stamp->modified;
  // A time of whole seconds hints at a file system that keeps no fractions (ext3 among the ext family).
  stamp->settled = age >= kSettleNs ||
                   (age >= kFineSettleNs && st.stx_mtime.tv_nsec != 0 && HasFineTimes(path.c_str()));
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Current directory and temporary files
// ---------------------------------------------------------------------------------------------

BOOL SetCurrentDirectoryA(const char* pathName) {
  PosixPath path(pathName);
  if (!path.ok()) {
    SetLastError(path.error());
    return FALSE;
  }
  if (::chdir(path.c_str()) != 0) {
    const int error = errno;
    SetLastError(error == ENOENT ? MissingPathError(path.c_str())
                 : error == ENOTDIR ? ERROR_DIRECTORY
                                    : ErrorFromErrno(error));
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) {
  char systemCwd[PATH_MAX];
  if (::getcwd(systemCwd, sizeof(systemCwd)) == nullptr) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  const std::string cwd = SystemNameToShiftJis(systemCwd);
  const auto length = static_cast<DWORD>(cwd.size());
  if (buffer == nullptr || bufferLength < length + 1) return length + 1;
  std::memcpy(buffer, cwd.c_str(), length + 1);
  return length;
}

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
  const std::string folder = ProcessFolder();
  if (folder.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  const std::string dir = SystemNameToShiftJis(folder) + "/";
  const auto length = static_cast<DWORD>(dir.size());
  if (buffer == nullptr || bufferLength < length + 1) return length + 1;
  std::memcpy(buffer, dir.c_str(), length + 1);
  return length;
}

UINT GetTempFileNameA(const char* pathName, const char* prefix, UINT unique, char* tempFileName) {
  if (pathName == nullptr || tempFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Up to three bytes of the prefix, never half of a double-byte character.
  char stem[4] = {};
  size_t stemLength = 0;
  if (prefix != nullptr) {
    while (prefix[stemLength] != '\0' && stemLength < 3) {
      const size_t width = CharWidth(prefix + stemLength);
      if (stemLength + width > 3) break;
      stemLength += width;
    }
    std::memcpy(stem, prefix, stemLength);
  }
  const size_t pathLength = std::strlen(pathName);
  const bool needSlash = pathLength == 0 || (pathName[pathLength - 1] != '/' && pathName[pathLength - 1] != '\\');

  char name[MAX_PATH];
  auto compose = [&](UINT number) {
    const int n = std::snprintf(name, sizeof(name), "%s%s%s%X.tmp", pathName, needSlash ? "/" : "", stem, number);
    return n > 0 && static_cast<size_t>(n) < sizeof(name);
  };
  if (unique != 0) {
    if (!compose(unique & 0xFFFF)) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    std::memcpy(tempFileName, name, std::strlen(name) + 1);
    return unique & 0xFFFF;
  }
  // A random first number: names are not to be guessed, and a run of taken numbers costs no more than
  // a run from anywhere else.
  uint16_t start = 0;
  if (::getrandom(&start, sizeof start, 0) != static_cast<ssize_t>(sizeof start)) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  for (unsigned i = 0; i < 0xFFFFu; ++i) {
    const UINT number = ((start + i) % 0xFFFFu) + 1;  // 1..0xFFFF; 0 means "none"
    if (!compose(number)) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    PosixPath path(name);
    if (!path.ok()) {
      SetLastError(path.error());
      return 0;
    }
    // Made new and readable by its owner alone, whatever the umask; in the process's folder, through the
    // folder's handle.
    const int fd = PathAt(path.c_str()).Open(O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::fchmod(fd, 0600);
      ::close(fd);
      std::memcpy(tempFileName, name, std::strlen(name) + 1);
      SetLastError(NO_ERROR);
      return number;
    }
    if (errno != EEXIST) {
      SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Times
// ---------------------------------------------------------------------------------------------

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
  if (fileTime == nullptr || localFileTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t ticks = TicksOf(*fileTime);
  const int64_t unixSeconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochSeconds;
  const int64_t shifted = static_cast<int64_t>(ticks) + LocalOffsetAt(unixSeconds) * kTicksPerSecond;
  if (ticks >= 0x8000000000000000ull || shifted < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *localFileTime = FileTimeOf(static_cast<uint64_t>(shifted));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime) {
  if (localFileTime == nullptr || fileTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t ticks = TicksOf(*localFileTime);
  const int64_t localSeconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kUnixEpochSeconds;
  // The offset is that of the UTC instant; one correction step finds it across a DST change.
  int64_t offset = LocalOffsetAt(localSeconds);
  offset = LocalOffsetAt(localSeconds - offset);
  const int64_t shifted = static_cast<int64_t>(ticks) - offset * kTicksPerSecond;
  if (ticks >= 0x8000000000000000ull || shifted < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *fileTime = FileTimeOf(static_cast<uint64_t>(shifted));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (fileTime == nullptr || systemTime == nullptr || TicksOf(*fileTime) >= 0x8000000000000000ull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t ticks = TicksOf(*fileTime);
  const auto days = static_cast<int64_t>(ticks / kTicksPerDay);
  const uint64_t dayTicks = ticks % kTicksPerDay;
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
  systemTime->wYear = static_cast<WORD>(year);
  systemTime->wMonth = static_cast<WORD>(month);
  systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  systemTime->wDay = static_cast<WORD>(day);
  const uint64_t seconds = dayTicks / kTicksPerSecond;
  systemTime->wHour = static_cast<WORD>(seconds / 3600);
  systemTime->wMinute = static_cast<WORD>(seconds / 60 % 60);
  systemTime->wSecond = static_cast<WORD>(seconds % 60);
  systemTime->wMilliseconds = static_cast<WORD>(dayTicks % kTicksPerSecond / 10000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* t, FILETIME* fileTime) {
  if (t == nullptr || fileTime == nullptr || t->wYear < 1601 || t->wYear > 30827 || t->wMonth < 1 ||
      t->wMonth > 12 || t->wDay < 1 || t->wDay > DaysInMonth(t->wYear, t->wMonth) || t->wHour > 23 ||
      t->wMinute > 59 || t->wSecond > 59 || t->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t days = DaysFromCivil(t->wYear, t->wMonth, t->wDay) + kDaysFrom1601To1970;
  const int64_t seconds = int64_t{t->wHour} * 3600 + int64_t{t->wMinute} * 60 + t->wSecond;
  *fileTime = FileTimeOf(static_cast<uint64_t>(days * kTicksPerDay + seconds * kTicksPerSecond +
                                               int64_t{t->wMilliseconds} * 10000));
  return TRUE;
}

// NOTE: the wall clock is read here, not from the plat clock: it answers "what date is it", which the
// virtual clock does not model. Tests fix it with SetSystemTimeForTest.
void GetSystemTimeAsFileTime(FILETIME* fileTime) {
  if (fileTime == nullptr) return;
  {
    TimeState& s = Times();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.fixed) {
      *fileTime = s.now;
      return;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  *fileTime = FileTimeFromUnix(now.tv_sec, static_cast<uint32_t>(now.tv_nsec));
}

void GetSystemTime(SYSTEMTIME* systemTime) {
  if (systemTime == nullptr) return;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  FileTimeToSystemTime(&now, systemTime);
}

void GetLocalTime(SYSTEMTIME* systemTime) {
  if (systemTime == nullptr) return;
  FILETIME now{}, local{};
  GetSystemTimeAsFileTime(&now);
  if (!FileTimeToLocalFileTime(&now, &local)) local = now;
  FileTimeToSystemTime(&local, systemTime);
}

namespace test {

void SetSystemTimeForTest(const FILETIME* utc) {
  TimeState& s = Times();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.fixed = utc != nullptr;
  if (utc != nullptr) s.now = *utc;
}

}  // namespace test
}  // namespace plat

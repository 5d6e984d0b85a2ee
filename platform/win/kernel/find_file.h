// Directory searches (FindFirstFileA / FindNextFileA / FindClose), directory stamps, the current
// directory, temporary file names, and the FILETIME / SYSTEMTIME conversions and clocks the library
// reads.
// Searches match '*' and '?' case-insensitively for ASCII letters, list "." and ".." first (except in
// the root) and the other names sorted as Windows lists them; creation time is the file system's birth
// time where it records one, else the status-change time. Names come back in Shift-JIS ('?' for a
// character that has none: such a name lists but cannot be opened by it). Not provided: short (8.3) names.
#pragma once

#include <cstdint>

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;  // FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY or FILE_ATTRIBUTE_NORMAL
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;  // bytes
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];  // always empty
};

// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing matches, ERROR_PATH_NOT_FOUND when the
// directory is missing.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* findData);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* findData);
BOOL FindClose(HANDLE search);

// A directory's stamp, for caches of what a directory holds: its identity and the times of its last
// change. Two equal stamps of a settled directory mean the same directory with no entry added, removed
// or renamed in between.
struct DirectoryStamp {
  uint64_t device;
  uint64_t inode;
  int64_t modified;  // last entry change, ns since 1970
  int64_t changed;   // last status change, ns since 1970 (catches a modification time set back)
  // False while the last entry change is so recent that a further one could carry the same time (the
  // file system's timestamps are coarser than its changes); a cache must not trust such a stamp.
  BOOL settled;
};

// Fills `stamp` for the directory at `path` (library path rules); FALSE when it is missing or no
// directory.
BOOL GetDirectoryStamp(const char* path, DirectoryStamp* stamp);

BOOL SetCurrentDirectoryA(const char* path);
// The length written (without the terminator); when `bufferLength` is too small, the size needed
// (with the terminator) and nothing is written. 0 on failure.
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer);

// The temporary directory with "/" appended: the process's private folder (process_folder.h), which no
// other user can enter; lengths as GetCurrentDirectoryA. 0 with ERROR_ACCESS_DENIED when there is none.
DWORD GetTempPathA(DWORD bufferLength, char* buffer);
// Writes "<path>/<first 3 of prefix><hex>.tmp" (MAX_PATH bytes at most) to `tempFileName`. With
// `unique` 0 it picks an unused number from a random start and creates the empty file, mode 0600;
// otherwise it only forms the name. Returns the number used, 0 on failure.
UINT GetTempFileNameA(const char* path, const char* prefix, UINT unique, char* tempFileName);

// FILETIME counts 100-ns intervals since 1601-01-01; local times follow the process's time zone.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
void GetSystemTimeAsFileTime(FILETIME* fileTime);
void GetSystemTime(SYSTEMTIME* systemTime);
void GetLocalTime(SYSTEMTIME* systemTime);

}  // namespace plat

// The file-access function table: twelve replaceable operations under every file read of the library.
// Loaders call the forwarders below; the installed set decides whether a path is a plain file, a member
// of a QVA archive, or something the host supplies. Depends on the archive manager (default set) and the
// plain-file layer (plain set); holds no file state itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/core/string_routines.h"

namespace orbel {

// An open file of the installed set: opaque and non-zero; 0 means the open failed.
using FileHandle = uintptr_t;
// A directory search of the installed set; -1 means failure.
using FindHandle = intptr_t;

// Path buffers handed to the table (current directory, names) hold this many bytes, NUL included.
constexpr size_t kFilePathMax = 260;

// One entry of a directory search. Times are local.
struct FileFindInfo {
  char name[kFilePathMax];
  int32_t isDirectory;  // 1 for a directory
  uint32_t sizeLow;     // bytes
  uint32_t sizeHigh;
  DateTime creationTime;
  DateTime lastWriteTime;
};

struct FileAccessFunctionTable {
  // path, read-ahead flag, a flag every caller passes as 1 (unread), asynchronous flag
  FileHandle (*Open)(const char* path, int readAhead, int unused, int async);
  int (*Close)(FileHandle file);
  int32_t (*Tell)(FileHandle file);
  int (*Seek)(FileHandle file, int32_t offset, int origin);  // 0 start, 1 current, 2 end; 0 or -1
  size_t (*Read)(void* buffer, size_t blockSize, size_t count, FileHandle file);  // whole blocks read
  int (*Eof)(FileHandle file);                                                     // non-zero at the end
  int (*IdleCheck)(FileHandle file);  // 1 when no asynchronous work is pending
  int (*SetDir)(const char* path);
  int (*GetDir)(char* buffer);  // buffer of kFilePathMax bytes
  FindHandle (*FindFirst)(const char* pattern, FileFindInfo* info);  // info may be null
  int (*FindNext)(FindHandle search, FileFindInfo* info);            // 0, -1 when none is left
  int (*FindClose)(FindHandle search);
};

// Copies a caller's table, or with null installs the default: the archive-aware set, or the plain set
// when the plain-files setting is on. Returns 0.
int SetFileAccessFunctions(const FileAccessFunctionTable* table);
// The installed table (readers that keep a copy of it, such as the movie reader).
const FileAccessFunctionTable& GetFileAccessFunctions();
// The plain-files setting (0 by default): the default table then bypasses archives.
void SetUsePlainFileAccess(int on);

FileHandle FileAccessOpen(const char* path, int readAhead, int unused, int async);
int FileAccessClose(FileHandle file);
int32_t FileAccessTell(FileHandle file);
int FileAccessSeek(FileHandle file, int32_t offset, int origin);
size_t FileAccessRead(void* buffer, size_t blockSize, size_t count, FileHandle file);
int FileAccessEof(FileHandle file);
int FileAccessIdleCheck(FileHandle file);
int FileAccessSetCurrentDir(const char* path);
int FileAccessGetCurrentDir(char* buffer);  // buffer of kFilePathMax bytes
inline int FileAccessSetDir(const char* path) { return FileAccessSetCurrentDir(path); }
inline int FileAccessGetDir(char* buffer) { return FileAccessGetCurrentDir(buffer); }
FindHandle FileAccessFindFirst(const char* pattern, FileFindInfo* info);
int FileAccessFindNext(FindHandle search, FileFindInfo* info);
int FileAccessFindClose(FindHandle search);

// The archive manager behind the default set (start-up resets it; shut-down closes the archives no
// open file still uses). Both return 0.
int InitializeArchiveManager();
int TerminateArchiveManager();

}  // namespace orbel

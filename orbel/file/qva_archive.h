// The archive manager: QVA archives standing in for the directories they are named after. A path given
// to the archive-aware set is made full; if a directory on it, say /GAME/DATA, has "DATA.QVA" beside it
// (matched without regard to the case of ASCII letters), the rest of the path is looked up in that
// archive and never falls back to a plain file. Open archives stay in a cache of 512, reference-counted
// by the files opened from them; files are handed out from a table of 512 as index | 0xF0000000.
// Depends on ThreadFile (reads), qva_format (records, key) and qva_archive_file (members, searches).
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/file/file_access.h"
#include "orbel/file/qva_format.h"

namespace orbel {

struct ThreadFile;

constexpr int kQvaArchiveCacheMax = 512;
constexpr int kQvaFileHandleMax = 512;
constexpr uintptr_t kQvaFileHandleMarker = 0xF0000000u;

// One open archive. The header block is unkeyed and its tables checked to lie inside it; data ranges are
// checked against `fileSize` when a member is opened.
struct QvaArchive {
  int inUse;
  QvaHeader header;
  ThreadFile* file;      // header-only mode: the archive file (asynchronous, thread-served)
  uint8_t* image;        // memory mode: the whole file, unkeyed once loaded (tracked heap)
  uint8_t* headerBlock;  // tracked heap, header.headerBlockSize bytes
  uint32_t fileSize;     // bytes of the archive file at open
  uint32_t currentDirectory;  // directory-table offset that relative lookups start from
  uint8_t key[kQvaKeySize];
  int memoryMode;
  int loadPending;       // memory mode: the whole-file read is still running
  ThreadFile* loadingFile;
};

struct QvaArchiveCacheEntry {
  uint32_t refCount;  // open files and searches using the archive
  QvaArchive archive;
  char path[kFilePathMax];  // the archive file as opened
  char key[kFilePathMax];   // the path upper-cased: what lookups compare
};

// Manager ------------------------------------------------------------------------------------------------

// (InitializeArchiveManager and TerminateArchiveManager are declared in file_access.h.)

// Opens the archive file `path` into the cache, or takes the cached one of the same path (compared
// upper-cased), raising its reference count. `lastIndex` (or -1) is tried first. Returns the cache index,
// or -1 when the file is no readable archive or the cache is full of archives in use.
int OpenQvaArchive(int lastIndex, const char* path, int memoryMode, int async);
// Closes and removes every cached archive whose reference count is 0.
void CloseUnusedQvaArchives();
QvaArchiveCacheEntry* GetQvaArchiveCacheEntry(int index);  // null for an empty or bad index
// Lowers an entry's reference count, not below 0.
void ReleaseQvaArchive(int index);

// Archive objects (the cache uses these; memory mode is reached only by a direct call).
int OpenQvaArchiveHeader(QvaArchive* archive, const char* path, const char* keyText);
int OpenQvaArchiveMem(QvaArchive* archive, const char* path, const char* keyText, int async);
// An archive already in memory (keyed, as stored in a file): the bytes are copied. 0, or -1.
int OpenQvaArchiveImage(QvaArchive* archive, const void* bytes, size_t size, const char* keyText);
int QvaAsyncLoadFinish(QvaArchive* archive);  // 1 when no load is pending, 0 while it runs
void QvaFinishLoad(QvaArchive* archive);       // waits for a pending load and finishes it
int CloseQvaArchive(QvaArchive* archive);
// Reads `size` bytes at `position` of the archive file, synchronously, and unkeys them by their offset.
// Returns the bytes really read.
uint32_t QvaKeyRead(ThreadFile* file, uint32_t position, void* buffer, uint32_t size,
                    const uint8_t key[kQvaKeySize]);

// Finds the archive a path lies in: 0 with the cache index (reference taken), the archive file's path
// (when `archivePath` is given, kFilePathMax bytes) and the path inside the archive (kFilePathMax bytes);
// -1 when no directory on the path has an archive.
int ResolveQvaPath(const char* path, int* index, char* archivePath, char* innerPath);

// Settings, reset by InitializeArchiveManager: the key text (null: the default key) and the archive
// extension (null: "QVA").
void SetQvaArchiveKeyText(const char* keyText);
void SetQvaArchiveExtension(const char* extension);

// The archive-aware set ------------------------------------------------------------------------------------

FileHandle QvaFileOpen(const char* path, int readAhead, int unused, int async);
int QvaFileClose(FileHandle file);
int32_t QvaFileTell(FileHandle file);
int QvaFileSeek(FileHandle file, int32_t offset, int origin);
size_t QvaFileRead(void* buffer, size_t blockSize, size_t count, FileHandle file);
int QvaFileEof(FileHandle file);
int QvaFileIdleCheck(FileHandle file);
// 0 when the current directory changed, -1 when it did not.
int QvaSetCurrentDir(const char* path);
int QvaGetCurrentDir(char* buffer);
FindHandle QvaFindFirst(const char* pattern, FileFindInfo* info);
int QvaFindNext(FindHandle search, FileFindInfo* info);
int QvaFindClose(FindHandle search);

// Diagnostics for tests: cached archives, open files, and an entry's reference count (-1 when empty).
int GetQvaArchiveCacheCount();
int GetQvaOpenFileCount();
int GetQvaArchiveRefCount(int index);

}  // namespace orbel

// Files and searches inside an open QVA archive: directory walks by search name, reading members (stored
// data read on demand and unkeyed, compressed data decoded whole), wildcard searches with "." and ".."
// entries. Lookups compare upper-cased search names, so they ignore the case of a-z. Every record read
// from the header block is bounds-checked; a member whose data lies outside the archive is not opened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/file/file_access.h"
#include "orbel/file/qva_format.h"

namespace orbel {

struct QvaArchive;

// The reading state of one member.
struct QvaArchiveFile {
  QvaArchive* archive;
  QvaFileRecord record;
  uint8_t* decoded;   // compressed members: the whole decoded data (tracked heap)
  uint8_t* encoded;   // compressed members: the keyed block while an asynchronous load runs
  uint32_t position;  // 0..record.dataSize
  int endFlag;
  int async;
  int pending;        // 0 none, 1 compressed load running, 2 stored read running
  int failed;         // the compressed data proved corrupt after an asynchronous open
  uint32_t pendingOffset;  // archive-file offset of the pending read
  uint8_t* pendingDestination;
  uint32_t pendingSize;
};

// A directory search (tracked heap). Entries are numbered: 0 ".", 1 ".." (not at the root), then the
// directory's records in table order.
struct QvaArchiveSearch {
  QvaArchive* archive;
  char pattern[kFilePathMax];  // upper-cased
  uint32_t directory;          // directory-table offset searched
  uint32_t index;              // next entry
};

int QvaEnterDirectory(QvaArchive* archive, const QvaNameKey& key);
// "." no change; "\" or "/" the root; ".." the parent (-1 at the root); otherwise a walk component by
// component (a leading separator starts at the root). On failure with `restore` the current directory
// is set back. `lastKey` receives the key of the last component tried.
int QvaChangeDirectory(QvaArchive* archive, const char* path, int restore, QvaNameKey* lastKey);
// The record of the file (never a directory) at `innerPath`; false when there is none. The current
// directory is unchanged.
bool FindQvaFileRecord(const char* innerPath, QvaArchive* archive, QvaFileRecord* record);

int OpenQvaArchiveFile(QvaArchiveFile* file, QvaArchive* archive, const char* innerPath, int async);
int QvaArchiveFileIdleCheck(QvaArchiveFile* file);
uint32_t QvaArchiveFileRead(QvaArchiveFile* file, void* buffer, uint32_t size);  // bytes read
// Whole blocks, as every set of the file-access table counts (a short tail block is never read).
size_t QvaArchiveFileReadBlocks(QvaArchiveFile* file, void* buffer, size_t blockSize, size_t count);
int QvaArchiveFileSeek(QvaArchiveFile* file, int32_t offset, int origin);
uint32_t QvaArchiveFileTell(QvaArchiveFile* file);
int QvaArchiveFileEof(QvaArchiveFile* file);
int QvaArchiveFileClose(QvaArchiveFile* file);

// The search, or null when the directory is missing or nothing matches (`info` then untouched).
QvaArchiveSearch* QvaFindFirstInArchive(QvaArchive* archive, const char* pattern, FileFindInfo* info);
int QvaFindNextInArchive(QvaArchiveSearch* search, FileFindInfo* info);

// 0 when `name` matches `pattern`, else -1. Byte-wise and case-sensitive: '?' is one byte, '*' runs up to
// the first occurrence of the byte after it (without backtracking), a Shift-JIS pair in the pattern must
// appear whole, and a name or pattern that ends before the other is no match (so "A*" misses "A").
int MatchWildcard(const char* pattern, const char* name);
// Splits at the last '\', '/' or ':' outside double-byte characters; without one the directory is empty
// and the name is the whole path. Outputs (kFilePathMax bytes) may be null. Returns 0.
int SplitPathDirName(const char* path, char* directory, char* name);

}  // namespace orbel

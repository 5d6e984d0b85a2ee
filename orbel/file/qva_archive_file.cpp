// Members and searches inside an open archive. Directory walks move the archive's current directory and
// put it back; every record is read through the bounds-checked readers of qva_format. Every use of an
// archive's shared file goes through one lock, so members read from other threads (a movie's decode
// thread) never interleave their seeks and reads with the main thread's.
#include "orbel/file/qva_archive_file.h"

#include <cstring>
#include <mutex>

#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/thread_file.h"

namespace orbel {
namespace {

// Held around every command on an archive's shared file (`QvaArchive::file`).
std::mutex gSharedFileLock;

bool IsSjisLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Bytes of the character at `p` (a pair for a Shift-JIS lead byte with a trail behind it).
size_t CharLength(const char* p) { return (IsSjisLeadByte(static_cast<uint8_t>(*p)) && p[1] != '\0') ? 2 : 1; }

bool ReadDirectory(const QvaArchive* a, uint32_t offset, QvaDirectoryRecord* dir) {
  return ReadQvaDirectoryRecord(a->headerBlock, a->header.headerBlockSize, a->header, offset, dir);
}

// Record `i` of a directory whose records ReadDirectory has checked to lie in the block.
bool ReadRecord(const QvaArchive* a, const QvaDirectoryRecord& dir, uint32_t i, QvaFileRecord* record) {
  return ReadQvaFileRecord(a->headerBlock, a->header.headerBlockSize, a->header,
                           dir.firstFileOffset + i * QvaFileRecordSize(a->header.version), record);
}

bool ReadName(const QvaArchive* a, const QvaFileRecord& record, QvaNameView* view) {
  return ReadQvaNameRecord(a->headerBlock, a->header.headerBlockSize, record.nameOffset, view);
}

// The first record in directory `dirOffset` whose name has `key` and whose kind is `wantDirectory`.
bool FindInDirectory(const QvaArchive* a, uint32_t dirOffset, const QvaNameKey& key, bool wantDirectory,
                     QvaFileRecord* out) {
  QvaDirectoryRecord dir;
  if (key.length == 0 || !ReadDirectory(a, dirOffset, &dir)) return false;
  for (uint32_t i = 0; i < dir.fileCount; ++i) {
    QvaFileRecord record;
    QvaNameView view;
    if (!ReadRecord(a, dir, i, &record) || record.IsDirectory() != wantDirectory) continue;
    if (ReadName(a, record, &view) && QvaNameMatches(view, key)) {
      *out = record;
      return true;
    }
  }
  return false;
}

// Blocks until the member's own asynchronous work is done and finished.
void WaitPending(QvaArchiveFile* file) {
  while (!QvaArchiveFileIdleCheck(file)) {
    std::lock_guard<std::mutex> lock(gSharedFileLock);
    ThreadFileWaitIdle(file->archive->file);
  }
}

bool DecodeMember(QvaArchiveFile* file, const uint8_t* block) {
  const uint32_t size = file->record.dataSize;
  return DecodeQvaLz(block, file->record.compressedSize, file->decoded, size) == static_cast<int64_t>(size);
}

bool AllocateDecoded(QvaArchiveFile* file) {
  const uint32_t size = file->record.dataSize;
  file->decoded = static_cast<uint8_t*>(MemAlloc(size == 0 ? 1 : size, __FILE__, __LINE__));
  return file->decoded != nullptr;
}

// Decodes the unkeyed block in `encoded` into a new decoded image and frees the block; false (nothing
// decoded) when the block is corrupt.
bool FinishCoded(QvaArchiveFile* file) {
  const bool ok = QvaLzHeadMatches(file->encoded, file->record.compressedSize, file->record.dataSize) &&
                  AllocateDecoded(file) && DecodeMember(file, file->encoded);
  MemFree(file->encoded);
  file->encoded = nullptr;
  if (!ok) {
    MemFree(file->decoded);
    file->decoded = nullptr;
  }
  return ok;
}

uint64_t DataPosition(const QvaArchiveFile* file) {
  return uint64_t{file->archive->header.dataStart} + file->record.dataOffset;
}

// Steps 2-4 of a read: `size` bytes (at most what is left) from the position.
uint32_t ReadBytes(QvaArchiveFile* file, void* buffer, uint32_t size) {
  QvaArchive* a = file->archive;
  const uint32_t left = file->record.dataSize - file->position;
  if (size > left) size = left;
  const uint64_t at = DataPosition(file) + file->position;
  if (file->decoded != nullptr) {
    std::memcpy(buffer, file->decoded + file->position, size);
  } else if (a->memoryMode) {
    std::memcpy(buffer, a->image + at, size);
  } else {
    const auto offset = static_cast<uint32_t>(at);
    std::lock_guard<std::mutex> lock(gSharedFileLock);
    if (file->async) {
      if (ThreadFileTell(a->file) != offset) ThreadFileSeekTo(a->file, offset);
      ThreadFileRead(buffer, 1, size, a->file);
      file->pending = 2;
      file->pendingOffset = offset;
      file->pendingDestination = static_cast<uint8_t*>(buffer);
      file->pendingSize = size;
    } else {
      size = QvaKeyRead(a->file, offset, buffer, size, a->key);
    }
  }
  file->position += size;
  file->endFlag = 0;
  return size;
}

void FillRecordInfo(const QvaFileRecord& record, const char* name, FileFindInfo* info) {
  std::strncpy(info->name, name, sizeof(info->name) - 1);
  info->name[sizeof(info->name) - 1] = '\0';
  info->isDirectory = record.IsDirectory() ? 1 : 0;
  info->sizeLow = record.IsDirectory() ? 0 : record.dataSize;
  info->sizeHigh = 0;
  FileTimeToDateTime(record.creationTime, &info->creationTime);
  FileTimeToDateTime(record.lastWriteTime, &info->lastWriteTime);
}

void FillDotInfo(const char* name, FileFindInfo* info) {
  std::memset(info, 0, sizeof(*info));
  std::strcpy(info->name, name);
  info->isDirectory = 1;
}

}  // namespace

// Directories -------------------------------------------------------------------------------------------

int QvaEnterDirectory(QvaArchive* archive, const QvaNameKey& key) {
  QvaFileRecord record;
  QvaDirectoryRecord target;
  if (!FindInDirectory(archive, archive->currentDirectory, key, true, &record)) return -1;
  if (!ReadDirectory(archive, record.dataOffset, &target)) return -1;  // a corrupt link is no directory
  archive->currentDirectory = record.dataOffset;
  return 0;
}

int QvaChangeDirectory(QvaArchive* archive, const char* path, int restore, QvaNameKey* lastKey) {
  if (std::strcmp(path, ".") == 0) return 0;
  if (std::strcmp(path, "\\") == 0 || std::strcmp(path, "/") == 0) {
    archive->currentDirectory = 0;
    return 0;
  }
  if (std::strcmp(path, "..") == 0) {
    QvaDirectoryRecord current;
    QvaDirectoryRecord parent;
    if (!ReadDirectory(archive, archive->currentDirectory, &current) || current.parentOffset == kQvaNoParent ||
        !ReadDirectory(archive, current.parentOffset, &parent))
      return -1;
    archive->currentDirectory = current.parentOffset;
    return 0;
  }

  const uint32_t saved = archive->currentDirectory;
  QvaNameKey key;
  const char* p = path;
  while (*p != '\0') {
    size_t consumed = 0;
    MakeQvaNameRecord(p, &key, &consumed);
    if (lastKey != nullptr) *lastKey = key;
    if (consumed == 0) {
      archive->currentDirectory = 0;  // an empty component before a separator: the root
    } else if (QvaEnterDirectory(archive, key) != 0) {
      if (restore) archive->currentDirectory = saved;
      return -1;
    }
    p += consumed;
    if (*p != '\0') ++p;  // the separator; one that ends the text ends the walk
  }
  return 0;
}

bool FindQvaFileRecord(const char* innerPath, QvaArchive* archive, QvaFileRecord* record) {
  const uint32_t saved = archive->currentDirectory;
  const char* p = innerPath;
  QvaNameKey key;
  bool found = false;
  for (;;) {
    size_t consumed = 0;
    MakeQvaNameRecord(p, &key, &consumed);
    if (p[consumed] == '\0') {
      // The last component names the file; a directory of that name is not a file.
      found = consumed > 0 && FindInDirectory(archive, archive->currentDirectory, key, false, record);
      break;
    }
    if (consumed == 0) {
      archive->currentDirectory = 0;
    } else if (QvaEnterDirectory(archive, key) != 0) {
      break;  // a missing directory on the way: nothing further down can be found
    }
    p += consumed + 1;
  }
  archive->currentDirectory = saved;
  return found;
}

// Members -----------------------------------------------------------------------------------------------

int OpenQvaArchiveFile(QvaArchiveFile* file, QvaArchive* archive, const char* innerPath, int async) {
  QvaFinishLoad(archive);
  std::memset(file, 0, sizeof(*file));
  QvaFileRecord record;
  if (!FindQvaFileRecord(innerPath, archive, &record)) return -1;

  // The data must lie in the archive as it was when opened.
  const bool compressed = record.IsCompressed();
  const uint32_t stored = compressed ? record.compressedSize : record.dataSize;
  const uint64_t start = uint64_t{archive->header.dataStart} + record.dataOffset;
  if (start > archive->fileSize || stored > archive->fileSize - start) return -1;
  if (compressed && record.compressedSize < kQvaLzHeaderSize) return -1;

  file->archive = archive;
  file->record = record;
  file->async = async != 0;
  if (!compressed) return 0;
  // A stated size the block cannot deliver is refused before anything is allocated for it.
  if (record.dataSize > QvaLzDecodedLimit(record.compressedSize)) return -1;

  if (archive->memoryMode) {
    if (QvaLzHeadMatches(archive->image + start, record.compressedSize, record.dataSize) && AllocateDecoded(file) &&
        DecodeMember(file, archive->image + start))
      return 0;
    QvaArchiveFileClose(file);
    return -1;
  }

  // A synchronous read checks what it got; an asynchronous one cannot, so its buffer starts zeroed and a
  // shrunken archive file gives a block the decoder refuses rather than stale memory.
  file->encoded = static_cast<uint8_t*>(async ? MemCalloc(record.compressedSize, __FILE__, __LINE__)
                                              : MemAlloc(record.compressedSize, __FILE__, __LINE__));
  if (file->encoded == nullptr) {
    QvaArchiveFileClose(file);
    return -1;
  }
  std::unique_lock<std::mutex> lock(gSharedFileLock);
  if (file->async) {
    ThreadFileSeekTo(archive->file, static_cast<uint32_t>(start));
    ThreadFileRead(file->encoded, 1, record.compressedSize, archive->file);
    file->pending = 1;
    file->pendingOffset = static_cast<uint32_t>(start);
    return 0;
  }
  const bool ok =
      QvaKeyRead(archive->file, static_cast<uint32_t>(start), file->encoded, record.compressedSize, archive->key) ==
          record.compressedSize;
  lock.unlock();
  if (ok && FinishCoded(file)) return 0;
  QvaArchiveFileClose(file);
  return -1;
}

int QvaArchiveFileIdleCheck(QvaArchiveFile* file) {
  if (!file->async || file->pending == 0) return 1;
  QvaArchive* a = file->archive;
  {
    std::lock_guard<std::mutex> lock(gSharedFileLock);
    if (!ThreadFileIdleCheck(a->file)) return 0;
  }
  if (file->pending == 1) {
    QvaKeyConvert(file->record.compressedSize, file->encoded, file->pendingOffset, a->key);
    // Corrupt data found after the open returned: the member reads as empty from here on.
    if (!FinishCoded(file)) file->failed = 1;
  } else {
    QvaKeyConvert(file->pendingSize, file->pendingDestination, file->pendingOffset, a->key);
  }
  file->pending = 0;
  return 1;
}

uint32_t QvaArchiveFileRead(QvaArchiveFile* file, void* buffer, uint32_t size) {
  QvaFinishLoad(file->archive);
  WaitPending(file);
  if (file->endFlag) return 0;
  if (file->failed || file->position >= file->record.dataSize) {
    file->endFlag = 1;
    return 0;
  }
  return ReadBytes(file, buffer, size);
}

size_t QvaArchiveFileReadBlocks(QvaArchiveFile* file, void* buffer, size_t blockSize, size_t count) {
  if (blockSize == 0) return 0;
  QvaFinishLoad(file->archive);
  WaitPending(file);
  if (file->failed || file->position >= file->record.dataSize) {
    file->endFlag = 1;
    return 0;
  }
  const size_t left = file->record.dataSize - file->position;
  if (count > left / blockSize) count = left / blockSize;
  if (count == 0) {
    file->endFlag = 1;  // a short tail block is never read
    return 0;
  }
  const uint32_t wanted = static_cast<uint32_t>(blockSize * count);
  const uint32_t read = ReadBytes(file, buffer, wanted);
  if (read < wanted) file->endFlag = 1;
  return read / blockSize;
}

int QvaArchiveFileSeek(QvaArchiveFile* file, int32_t offset, int origin) {
  WaitPending(file);
  int64_t target = offset;
  if (origin == 1) target += file->position;
  if (origin == 2) target += file->record.dataSize;
  if (target < 0) target = 0;
  if (target > file->record.dataSize) target = file->record.dataSize;
  file->position = static_cast<uint32_t>(target);
  file->endFlag = 0;
  return 0;
}

uint32_t QvaArchiveFileTell(QvaArchiveFile* file) {
  WaitPending(file);
  return file->position;
}

int QvaArchiveFileEof(QvaArchiveFile* file) {
  WaitPending(file);
  return file->endFlag ? -1 : 0;
}

int QvaArchiveFileClose(QvaArchiveFile* file) {
  if (file->archive != nullptr) WaitPending(file);
  MemFree(file->decoded);
  MemFree(file->encoded);
  std::memset(file, 0, sizeof(*file));
  return 0;
}

// Searches ----------------------------------------------------------------------------------------------

QvaArchiveSearch* QvaFindFirstInArchive(QvaArchive* archive, const char* pattern, FileFindInfo* info) {
  QvaFinishLoad(archive);
  char directory[kFilePathMax];
  char name[kFilePathMax];
  SplitPathDirName(pattern, directory, name);
  StrUpper(directory);
  StrUpper(name);

  uint32_t searched = archive->currentDirectory;
  if (directory[0] != '\0') {
    const uint32_t saved = archive->currentDirectory;
    const int changed = QvaChangeDirectory(archive, directory, 0, nullptr);
    searched = archive->currentDirectory;
    archive->currentDirectory = saved;
    if (changed != 0) return nullptr;
  }
  auto* search = static_cast<QvaArchiveSearch*>(MemCalloc(sizeof(QvaArchiveSearch), __FILE__, __LINE__));
  if (search == nullptr) return nullptr;
  search->archive = archive;
  std::strcpy(search->pattern, name);
  search->directory = searched;
  search->index = 0;
  if (QvaFindNextInArchive(search, info) != 0) {
    MemFree(search);
    return nullptr;
  }
  ++search->index;
  return search;
}

int QvaFindNextInArchive(QvaArchiveSearch* search, FileFindInfo* info) {
  QvaArchive* a = search->archive;
  QvaFinishLoad(a);
  QvaDirectoryRecord dir;
  if (!ReadDirectory(a, search->directory, &dir)) return -1;
  const uint32_t dots = dir.parentOffset == kQvaNoParent ? 1 : 2;
  const uint64_t total = uint64_t{dots} + dir.fileCount;
  for (uint64_t i = search->index; i < total; ++i) {
    if (i < dots) {
      const char* dot = i == 0 ? "." : "..";
      if (MatchWildcard(search->pattern, dot) != 0) continue;
      if (info != nullptr) FillDotInfo(dot, info);
    } else {
      QvaFileRecord record;
      QvaNameView view;
      if (!ReadRecord(a, dir, static_cast<uint32_t>(i - dots), &record) || !ReadName(a, record, &view)) continue;
      if (MatchWildcard(search->pattern, reinterpret_cast<const char*>(view.searchName)) != 0) continue;
      if (info != nullptr) FillRecordInfo(record, view.name, info);
    }
    search->index = static_cast<uint32_t>(i);
    return 0;
  }
  search->index = static_cast<uint32_t>(total);
  return -1;
}

// Names -------------------------------------------------------------------------------------------------

int MatchWildcard(const char* pattern, const char* name) {
  const auto* p = reinterpret_cast<const uint8_t*>(pattern);
  const auto* n = reinterpret_cast<const uint8_t*>(name);
  for (;;) {
    if (*p == '\0' && *n == '\0') return 0;
    if (IsSjisLeadByte(*p) && p[1] != '\0') {
      // A double-byte character of the pattern must appear whole.
      if (p[0] != n[0] || p[1] != n[1]) return -1;
      p += 2;
      n += 2;
    } else if (*p == '?') {
      if (*n == '\0') return -1;
      ++p;
      ++n;  // one byte, even the lead byte of a pair
    } else if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == '\0') return 0;  // matches the rest
      // No backtracking: the star binds to the first byte equal to the pattern's next byte, wherever
      // that byte sits in the name.
      while (*n != *p) {
        if (*n == '\0') return -1;
        ++n;
      }
      ++p;
      ++n;
    } else {
      if (*p != *n) return -1;
      ++p;
      ++n;
    }
    // NOTE: one side ending before the other is no match, even when the rest of the pattern is "*":
    // "A*" does not match "A".
    if ((*p == '\0') != (*n == '\0')) return -1;
  }
}

int SplitPathDirName(const char* path, char* directory, char* name) {
  const char* split = nullptr;
  for (const char* p = path; *p != '\0'; p += CharLength(p))
    if (IsSeparator(*p) || *p == ':') split = p;
  const char* nameStart = split == nullptr ? path : split + 1;
  const size_t dirLength = split == nullptr ? 0 : static_cast<size_t>(split - path);
  if (directory != nullptr) {
    const size_t n = dirLength < kFilePathMax - 1 ? dirLength : kFilePathMax - 1;
    std::memcpy(directory, path, n);
    directory[n] = '\0';
  }
  if (name != nullptr) {
    std::strncpy(name, nameStart, kFilePathMax - 1);
    name[kFilePathMax - 1] = '\0';
  }
  return 0;
}

}  // namespace orbel

// The twelve operations of the archive-aware set: each open file is a record in a table of 512, reached
// by the handle index | 0xF0000000, and is either a member of a cached archive or a plain ThreadFile.
// Handles are checked (marker, index, slot in use) before use; searches are checked against the list of
// live searches.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/qva_archive_internal.h"
#include "orbel/file/thread_file.h"
#include "platform/win/kernel/find_file.h"

namespace orbel {
namespace {

constexpr uintptr_t kIndexMask = 0x0FFFFFFFu;

// The record of a live handle, or null for anything else (no marker, index out of range, empty slot).
QvaFileHandle* Record(FileHandle handle) {
  if ((handle & ~kIndexMask) != kQvaFileHandleMarker) return nullptr;
  const uintptr_t index = handle & kIndexMask;
  if (index >= static_cast<uintptr_t>(kQvaFileHandleMax)) return nullptr;
  return ArchiveManager().files[index];
}

// Live searches, so a stale or foreign search handle is refused instead of followed.
struct LiveSearch {
  QvaFindRecord* record;
  LiveSearch* next;
};
LiveSearch* gLiveSearches = nullptr;

bool RegisterSearch(QvaFindRecord* record) {
  auto* node = static_cast<LiveSearch*>(MemAlloc(sizeof(LiveSearch), __FILE__, __LINE__));
  if (node == nullptr) return false;
  node->record = record;
  node->next = gLiveSearches;
  gLiveSearches = node;
  return true;
}

QvaFindRecord* FindSearch(FindHandle handle) {
  for (LiveSearch* node = gLiveSearches; node != nullptr; node = node->next)
    if (reinterpret_cast<FindHandle>(node->record) == handle) return node->record;
  return nullptr;
}

void UnregisterSearch(QvaFindRecord* record) {
  for (LiveSearch** link = &gLiveSearches; *link != nullptr; link = &(*link)->next) {
    if ((*link)->record == record) {
      LiveSearch* node = *link;
      *link = node->next;
      MemFree(node);
      return;
    }
  }
}

void DestroySearch(QvaFindRecord* record) {
  if (record->inArchive) {
    MemFree(record->search);
    ReleaseQvaArchive(record->archiveIndex);
  } else {
    FileFindClose(record->plain);
  }
  MemFree(record);
}

}  // namespace

FileHandle QvaFileOpen(const char* path, int readAhead, int, int async) {
  ArchiveManagerState& m = ArchiveManager();
  if (m.fileCount >= kQvaFileHandleMax) {
    LogAdd("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int slot = 0;
  while (slot < kQvaFileHandleMax && m.files[slot] != nullptr) ++slot;
  if (slot == kQvaFileHandleMax || path == nullptr) return 0;
  auto* record = static_cast<QvaFileHandle*>(MemCalloc(sizeof(QvaFileHandle), __FILE__, __LINE__));
  if (record == nullptr) {
    LogAdd("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }

  int index = -1;
  char inner[kFilePathMax];
  if (ResolveQvaPath(path, &index, nullptr, inner) != 0) {
    record->plain = ThreadFileOpen(path, readAhead, 1, async);
    if (record->plain == nullptr) {
      MemFree(record);
      return 0;
    }
  } else {
    // A path that falls into an archive is read from it or not at all.
    if (OpenQvaArchiveFile(&record->file, &m.cache[index]->archive, inner, async) != 0) {
      ReleaseQvaArchive(index);
      MemFree(record);
      return 0;
    }
    record->inArchive = 1;
    record->archiveIndex = index;
  }
  m.files[slot] = record;
  ++m.fileCount;
  return kQvaFileHandleMarker | static_cast<uintptr_t>(slot);
}

int QvaFileClose(FileHandle file) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return -1;
  if (record->inArchive) {
    QvaArchiveFileClose(&record->file);
    ReleaseQvaArchive(record->archiveIndex);
  } else {
    ThreadFileClose(record->plain);
  }
  MemFree(record);
  ArchiveManagerState& m = ArchiveManager();
  m.files[file & kIndexMask] = nullptr;
  --m.fileCount;
  return 0;
}

int32_t QvaFileTell(FileHandle file) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return -1;
  return static_cast<int32_t>(record->inArchive ? QvaArchiveFileTell(&record->file) : ThreadFileTell(record->plain));
}

int QvaFileSeek(FileHandle file, int32_t offset, int origin) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return -1;
  return record->inArchive ? QvaArchiveFileSeek(&record->file, offset, origin)
                           : ThreadFileSeek(record->plain, offset, origin);
}

size_t QvaFileRead(void* buffer, size_t blockSize, size_t count, FileHandle file) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return 0;
  return record->inArchive ? QvaArchiveFileReadBlocks(&record->file, buffer, blockSize, count)
                           : ThreadFileRead(buffer, blockSize, count, record->plain);
}

int QvaFileEof(FileHandle file) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return -1;
  return record->inArchive ? QvaArchiveFileEof(&record->file) : ThreadFileEof(record->plain);
}

int QvaFileIdleCheck(FileHandle file) {
  QvaFileHandle* record = Record(file);
  if (record == nullptr) return -1;
  return record->inArchive ? QvaArchiveFileIdleCheck(&record->file) : ThreadFileIdleCheck(record->plain);
}

int QvaSetCurrentDir(const char* path) { return plat::SetCurrentDirectoryA(path) ? 0 : -1; }

int QvaGetCurrentDir(char* buffer) { return GetCurrentDir(buffer) > 0 ? 0 : -1; }

FindHandle QvaFindFirst(const char* pattern, FileFindInfo* info) {
  if (pattern == nullptr) return -1;
  auto* record = static_cast<QvaFindRecord*>(MemCalloc(sizeof(QvaFindRecord), __FILE__, __LINE__));
  if (record == nullptr) return -1;
  int index = -1;
  char inner[kFilePathMax];
  if (ResolveQvaPath(pattern, &index, nullptr, inner) == 0) {
    record->inArchive = 1;
    record->archiveIndex = index;
    record->search = QvaFindFirstInArchive(&ArchiveManager().cache[index]->archive, inner, info);
    if (record->search == nullptr) {
      ReleaseQvaArchive(index);
      MemFree(record);
      return -1;
    }
  } else {
    record->plain = FileFindFirst(pattern, info);
    if (record->plain == -1) {
      MemFree(record);
      return -1;
    }
  }
  if (!RegisterSearch(record)) {
    DestroySearch(record);
    return -1;
  }
  return reinterpret_cast<FindHandle>(record);
}

int QvaFindNext(FindHandle search, FileFindInfo* info) {
  QvaFindRecord* record = FindSearch(search);
  if (record == nullptr) return -1;
  if (!record->inArchive) return FileFindNext(record->plain, info);
  if (QvaFindNextInArchive(record->search, info) != 0) return -1;
  ++record->search->index;
  return 0;
}

void CloseAllQvaSearches() {
  while (gLiveSearches != nullptr) QvaFindClose(reinterpret_cast<FindHandle>(gLiveSearches->record));
}

int QvaFindClose(FindHandle search) {
  QvaFindRecord* record = FindSearch(search);
  if (record == nullptr) return -1;
  UnregisterSearch(record);
  DestroySearch(record);
  return 0;
}

}  // namespace orbel

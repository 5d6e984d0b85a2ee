// The archive manager's state, the cache of open archives, opening and closing archive objects, and the
// path lookup that decides which archive (if any) a path falls into. The twelve slots of the
// archive-aware set are in qva_file_slots.cpp.
#include "orbel/file/qva_archive.h"

#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/file/full_path.h"
#include "orbel/file/qva_archive_internal.h"
#include "orbel/file/qva_archive_locate.h"
#include "orbel/file/thread_file.h"

namespace orbel {

ArchiveManagerState& ArchiveManager() {
  static ArchiveManagerState state;
  return state;
}

namespace {

constexpr char kDefaultExtension[] = "QVA";

bool IsSjisLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// a-z made A-Z, Shift-JIS pairs kept.
void UpperCaseInto(const char* text, char* out, size_t size) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < size; ++i) {
    auto c = static_cast<uint8_t>(text[i]);
    if (IsSjisLeadByte(c) && text[i + 1] != '\0' && i + 2 < size) {
      out[i] = text[i];
      ++i;
      out[i] = text[i];
      continue;
    }
    out[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  out[i] = '\0';
}

void ForgetLastArchive() {
  ArchiveManagerState& m = ArchiveManager();
  m.lastIndex = -1;
  m.lastPath[0] = '\0';
  m.lastKey[0] = '\0';
  m.lastPrefixLength = 0;
}

int FindCachedKey(const char* key) {
  ArchiveManagerState& m = ArchiveManager();
  // The scan ends once every cached archive was seen: most lookups pass directories with none.
  for (int i = 0, seen = 0; i < kQvaArchiveCacheMax && seen < m.cacheCount; ++i) {
    if (m.cache[i] == nullptr) continue;
    ++seen;
    if (std::strcmp(m.cache[i]->key, key) == 0) return i;
  }
  return -1;
}

// Unkeys and checks the 24 keyed header bytes, switching to the fallback key when the magic does not read
// with the archive's key.
bool DecodeHeader(const uint8_t* keyed, QvaArchive* archive) {
  uint8_t bytes[kQvaHeaderSize];
  std::memcpy(bytes, keyed, kQvaHeaderSize);
  QvaKeyConvert(kQvaHeaderSize, bytes, 0, archive->key);
  if (bytes[0] != 'Q' || bytes[1] != 'V') {
    MakeQvaFallbackKey(archive->key);
    std::memcpy(bytes, keyed, kQvaHeaderSize);
    QvaKeyConvert(kQvaHeaderSize, bytes, 0, archive->key);
  }
  if (!ReadQvaHeader(bytes, &archive->header)) return false;

  // The tables must lie inside the header block, the block and the data start inside the file.
  const QvaHeader& h = archive->header;
  const uint32_t size = archive->fileSize;
  return h.headerBlockSize >= kQvaDirectoryRecordSize && h.headerBlockOffset <= size &&
         h.headerBlockSize <= size - h.headerBlockOffset && h.dataStart <= size &&
         h.fileTableOffset <= h.headerBlockSize && h.directoryTableOffset <= h.headerBlockSize;
}

// The root directory (with its records) must lie inside the tables.
bool CheckRoot(const QvaArchive* archive) {
  QvaDirectoryRecord root;
  return ReadQvaDirectoryRecord(archive->headerBlock, archive->header.headerBlockSize, archive->header, 0, &root);
}

bool ReadHeader(ThreadFile* file, QvaArchive* archive) {
  uint8_t keyed[kQvaHeaderSize];
  if (ThreadFileSize(file) < kQvaHeaderSize) return false;
  if (QvaKeyRead(file, 0, keyed, kQvaHeaderSize, archive->key) != kQvaHeaderSize) return false;
  QvaKeyConvert(kQvaHeaderSize, keyed, 0, archive->key);  // back to the bytes as stored
  return DecodeHeader(keyed, archive);
}

bool ReadHeaderBlock(ThreadFile* file, QvaArchive* archive) {
  const QvaHeader& h = archive->header;
  archive->headerBlock = static_cast<uint8_t*>(MemAlloc(h.headerBlockSize, __FILE__, __LINE__));
  if (archive->headerBlock == nullptr) return false;
  if (QvaKeyRead(file, h.headerBlockOffset, archive->headerBlock, h.headerBlockSize, archive->key) != h.headerBlockSize)
    return false;
  return CheckRoot(archive);
}

// Opens the file and reads header and header block; on failure everything is undone.
ThreadFile* OpenArchiveTables(QvaArchive* archive, const char* path, const char* keyText) {
  ThreadFile* file = ThreadFileOpen(path, 0, 1, 1);
  if (file == nullptr) return nullptr;
  archive->fileSize = ThreadFileSize(file);
  MakeQvaKey(keyText, archive->key);
  if (!ReadHeader(file, archive) || !ReadHeaderBlock(file, archive)) {
    ThreadFileClose(file);
    MemFree(archive->headerBlock);
    std::memset(archive, 0, sizeof(*archive));
    return nullptr;
  }
  archive->currentDirectory = 0;
  return file;
}

}  // namespace

// Manager ------------------------------------------------------------------------------------------------

int InitializeArchiveManager() {
  ArchiveManagerState& m = ArchiveManager();
  // Nothing should be open here; whatever is left from an earlier run is closed rather than leaked.
  for (int i = 0; i < kQvaFileHandleMax; ++i)
    if (m.files[i] != nullptr) QvaFileClose(kQvaFileHandleMarker | static_cast<uintptr_t>(i));
  CloseAllQvaSearches();
  for (int i = 0; i < kQvaArchiveCacheMax; ++i)
    if (m.cache[i] != nullptr) m.cache[i]->refCount = 0;
  CloseUnusedQvaArchives();
  m.cacheCount = 0;
  m.fileCount = 0;
  m.keyText[0] = '\0';
  m.keySet = 0;
  std::strcpy(m.extension, kDefaultExtension);
  ForgetLastArchive();
  ForgetArchiveDirectories();
  return 0;
}

int TerminateArchiveManager() {
  CloseUnusedQvaArchives();
  return 0;
}

void SetQvaArchiveKeyText(const char* keyText) {
  ArchiveManagerState& m = ArchiveManager();
  m.keySet = keyText != nullptr && keyText[0] != '\0';
  m.keyText[0] = '\0';
  if (m.keySet) {
    std::strncpy(m.keyText, keyText, sizeof(m.keyText) - 1);
    m.keyText[sizeof(m.keyText) - 1] = '\0';
  }
}

void SetQvaArchiveExtension(const char* extension) {
  ArchiveManagerState& m = ArchiveManager();
  if (extension == nullptr || extension[0] == '\0' || std::strlen(extension) >= sizeof(m.extension)) {
    std::strcpy(m.extension, kDefaultExtension);
  } else {
    std::strcpy(m.extension, extension);
  }
}

QvaArchiveCacheEntry* GetQvaArchiveCacheEntry(int index) {
  if (index < 0 || index >= kQvaArchiveCacheMax) return nullptr;
  return ArchiveManager().cache[index];
}

void ReleaseQvaArchive(int index) {
  QvaArchiveCacheEntry* entry = GetQvaArchiveCacheEntry(index);
  if (entry != nullptr && entry->refCount > 0) --entry->refCount;
}

int GetQvaArchiveCacheCount() { return ArchiveManager().cacheCount; }
int GetQvaOpenFileCount() { return ArchiveManager().fileCount; }
int GetQvaArchiveRefCount(int index) {
  QvaArchiveCacheEntry* entry = GetQvaArchiveCacheEntry(index);
  return entry == nullptr ? -1 : static_cast<int>(entry->refCount);
}

int OpenQvaArchive(int lastIndex, const char* path, int memoryMode, int async) {
  ArchiveManagerState& m = ArchiveManager();
  if (path == nullptr || std::strlen(path) >= kFilePathMax) return -1;
  char key[kFilePathMax];
  UpperCaseInto(path, key, sizeof(key));

  QvaArchiveCacheEntry* last = GetQvaArchiveCacheEntry(lastIndex);
  if (last != nullptr && std::strcmp(last->key, key) == 0) {
    ++last->refCount;
    return lastIndex;
  }
  const int cached = FindCachedKey(key);
  if (cached >= 0) {
    ++m.cache[cached]->refCount;
    return cached;
  }
  if (m.cacheCount >= kQvaArchiveCacheMax) {
    CloseUnusedQvaArchives();
    if (m.cacheCount >= kQvaArchiveCacheMax) return -1;
  }
  int slot = 0;
  while (slot < kQvaArchiveCacheMax && m.cache[slot] != nullptr) ++slot;
  if (slot == kQvaArchiveCacheMax) return -1;

  auto* entry = static_cast<QvaArchiveCacheEntry*>(MemCalloc(sizeof(QvaArchiveCacheEntry), __FILE__, __LINE__));
  if (entry == nullptr) return -1;
  const char* keyText = m.keySet ? m.keyText : nullptr;
  const int opened = memoryMode ? OpenQvaArchiveMem(&entry->archive, path, keyText, async)
                                : OpenQvaArchiveHeader(&entry->archive, path, keyText);
  if (opened != 0) {
    MemFree(entry);
    return -1;
  }
  entry->refCount = 1;
  std::strcpy(entry->path, path);
  std::strcpy(entry->key, key);
  m.cache[slot] = entry;
  ++m.cacheCount;
  return slot;
}

void CloseUnusedQvaArchives() {
  ArchiveManagerState& m = ArchiveManager();
  for (int i = 0; i < kQvaArchiveCacheMax; ++i) {
    QvaArchiveCacheEntry* entry = m.cache[i];
    if (entry == nullptr || entry->refCount >= 1) continue;
    CloseQvaArchive(&entry->archive);
    MemFree(entry);
    m.cache[i] = nullptr;
    --m.cacheCount;
    // The last-archive shortcut must never reach an emptied slot.
    if (m.lastIndex == i) ForgetLastArchive();
  }
}

// Archive objects -----------------------------------------------------------------------------------------

uint32_t QvaKeyRead(ThreadFile* file, uint32_t position, void* buffer, uint32_t size,
                    const uint8_t key[kQvaKeySize]) {
  const uint32_t read = ThreadFileReadAt(file, position, buffer, size);
  QvaKeyConvert(read, buffer, position, key);
  return read;
}

int OpenQvaArchiveHeader(QvaArchive* archive, const char* path, const char* keyText) {
  if (archive == nullptr || archive->inUse) return -1;
  ThreadFile* file = OpenArchiveTables(archive, path, keyText);
  if (file == nullptr) return -1;
  archive->file = file;
  archive->memoryMode = 0;
  archive->inUse = 1;
  return 0;
}

int OpenQvaArchiveMem(QvaArchive* archive, const char* path, const char* keyText, int async) {
  if (archive == nullptr || archive->inUse) return -1;
  ThreadFile* file = OpenArchiveTables(archive, path, keyText);
  if (file == nullptr) return -1;
  // Zeroed, so a file that shrinks while it loads leaves zeros rather than stale memory.
  archive->image = static_cast<uint8_t*>(MemCalloc(archive->fileSize == 0 ? 1 : archive->fileSize, __FILE__, __LINE__));
  if (archive->image == nullptr) {
    ThreadFileClose(file);
    MemFree(archive->headerBlock);
    std::memset(archive, 0, sizeof(*archive));
    return -1;
  }
  ThreadFileSeek(file, 0, 0);
  ThreadFileRead(archive->image, 1, archive->fileSize, file);
  archive->loadingFile = file;
  archive->loadPending = 1;
  archive->memoryMode = 1;
  archive->inUse = 1;
  if (!async) QvaFinishLoad(archive);
  return 0;
}

int OpenQvaArchiveImage(QvaArchive* archive, const void* bytes, size_t size, const char* keyText) {
  if (archive == nullptr || archive->inUse || bytes == nullptr || size < kQvaHeaderSize || size > UINT32_MAX)
    return -1;
  archive->fileSize = static_cast<uint32_t>(size);
  MakeQvaKey(keyText, archive->key);
  const auto* keyed = static_cast<const uint8_t*>(bytes);
  bool ok = DecodeHeader(keyed, archive);
  if (ok) {
    const QvaHeader& h = archive->header;
    archive->image = static_cast<uint8_t*>(MemAlloc(archive->fileSize, __FILE__, __LINE__));
    archive->headerBlock = static_cast<uint8_t*>(MemAlloc(h.headerBlockSize, __FILE__, __LINE__));
    ok = archive->image != nullptr && archive->headerBlock != nullptr;
    if (ok) {
      std::memcpy(archive->image, keyed, archive->fileSize);
      QvaKeyConvert(archive->fileSize, archive->image, 0, archive->key);
      std::memcpy(archive->headerBlock, archive->image + h.headerBlockOffset, h.headerBlockSize);
      ok = CheckRoot(archive);
    }
  }
  if (!ok) {
    MemFree(archive->image);
    MemFree(archive->headerBlock);
    std::memset(archive, 0, sizeof(*archive));
    return -1;
  }
  archive->currentDirectory = 0;
  archive->memoryMode = 1;
  archive->inUse = 1;
  return 0;
}

int QvaAsyncLoadFinish(QvaArchive* archive) {
  if (archive == nullptr || !archive->loadPending) return 1;
  if (!ThreadFileIdleCheck(archive->loadingFile)) return 0;
  ThreadFileClose(archive->loadingFile);
  archive->loadingFile = nullptr;
  QvaKeyConvert(archive->fileSize, archive->image, 0, archive->key);
  archive->loadPending = 0;
  return 1;
}

void QvaFinishLoad(QvaArchive* archive) {
  if (archive == nullptr || !archive->loadPending) return;
  ThreadFileWaitIdle(archive->loadingFile);
  QvaAsyncLoadFinish(archive);
}

int CloseQvaArchive(QvaArchive* archive) {
  if (archive == nullptr || !archive->inUse) return 0;
  QvaFinishLoad(archive);
  if (archive->file != nullptr) ThreadFileClose(archive->file);
  MemFree(archive->image);
  MemFree(archive->headerBlock);
  std::memset(archive, 0, sizeof(*archive));
  return 0;
}

// Path lookup ---------------------------------------------------------------------------------------------

int ResolveQvaPath(const char* path, int* index, char* archivePath, char* innerPath) {
  ArchiveManagerState& m = ArchiveManager();
  char full[kFilePathMax];
  char key[kFilePathMax];
  if (path == nullptr || BuildLookupPath(path, full, sizeof(full)) != 0) return -1;
  UpperCaseInto(full, key, sizeof(key));

  int found = -1;
  size_t prefixLength = 0;
  QvaArchiveCacheEntry* last = GetQvaArchiveCacheEntry(m.lastIndex);
  if (last != nullptr && m.lastPrefixLength > 0 && std::strncmp(key, m.lastKey, m.lastPrefixLength) == 0 &&
      key[m.lastPrefixLength] == '/') {
    found = OpenQvaArchive(m.lastIndex, m.lastPath, 0, 0);
    if (found < 0) return -1;
    prefixLength = m.lastPrefixLength;
  } else {
    // Prefixes from the left, one component at a time; the last component is the file name.
    PollArchiveDirectories();
    const char* componentStart = full + 1;  // past the root
    for (;;) {
      const char* p = componentStart;
      while (*p != '\0' && *p != '/') p += (IsSjisLeadByte(static_cast<uint8_t>(*p)) && p[1] != '\0') ? 2 : 1;
      if (*p == '\0' || p == componentStart) return -1;
      prefixLength = static_cast<size_t>(p - full);

      char candidateKey[kFilePathMax];
      const size_t extensionLength = std::strlen(m.extension);
      if (prefixLength + 1 + extensionLength >= sizeof(candidateKey)) return -1;
      std::memcpy(candidateKey, key, prefixLength);
      candidateKey[prefixLength] = '.';
      UpperCaseInto(m.extension, candidateKey + prefixLength + 1, sizeof(candidateKey) - prefixLength - 1);

      const int cached = FindCachedKey(candidateKey);
      if (cached >= 0) {
        found = OpenQvaArchive(cached, m.cache[cached]->path, 0, 0);
      } else {
        char archiveFile[kFilePathMax];
        const size_t parentLength = static_cast<size_t>(componentStart - full) - 1;
        if (LocateArchiveFile(full, parentLength, componentStart, prefixLength - parentLength - 1, m.extension,
                              archiveFile))
          found = OpenQvaArchive(-1, archiveFile, 0, 0);
      }
      if (found >= 0) break;
      componentStart = p + 1;
    }
    m.lastIndex = found;
    std::strcpy(m.lastPath, m.cache[found]->path);
    std::memcpy(m.lastKey, key, prefixLength);
    m.lastKey[prefixLength] = '\0';
    m.lastPrefixLength = prefixLength;
  }

  if (index != nullptr) *index = found;
  if (archivePath != nullptr) std::strcpy(archivePath, m.cache[found]->path);
  if (innerPath != nullptr) std::strcpy(innerPath, full + prefixLength + 1);
  return 0;
}

}  // namespace orbel

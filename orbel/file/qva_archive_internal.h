// The archive manager's one state record, shared by the cache and lookup (qva_archive.cpp) and the
// archive-aware set's slots (qva_file_slots.cpp). Not for use outside orbel/file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/file/qva_archive.h"
#include "orbel/file/qva_archive_file.h"

namespace orbel {

// One open file of the archive-aware set (tracked heap).
struct QvaFileHandle {
  int inArchive;
  ThreadFile* plain;  // when not in an archive
  int archiveIndex;   // cache index when in an archive
  QvaArchiveFile file;
};

// One search of the archive-aware set (tracked heap).
struct QvaFindRecord {
  int inArchive;
  int archiveIndex;
  FindHandle plain;
  QvaArchiveSearch* search;
};

struct ArchiveManagerState {
  QvaArchiveCacheEntry* cache[kQvaArchiveCacheMax] = {};
  int cacheCount = 0;
  QvaFileHandle* files[kQvaFileHandleMax] = {};
  int fileCount = 0;
  // The archive the last successful lookup found: cache index, archive file, and the upper-cased prefix
  // (the directory it stands for) with its length.
  int lastIndex = -1;
  char lastPath[kFilePathMax] = {};
  char lastKey[kFilePathMax] = {};
  size_t lastPrefixLength = 0;
  // Settings.
  char keyText[kFilePathMax] = {};
  int keySet = 0;
  char extension[16] = "QVA";
};

ArchiveManagerState& ArchiveManager();
// Ends every live search (start-up clears the manager with nothing left behind).
void CloseAllQvaSearches();

}  // namespace orbel

// The installed file-access table and its forwarders. The table starts out as the archive-aware set;
// SetFileAccessFunctions copies a caller's table or installs a default again. Forwarders give the
// failure result of their slot when a caller's table leaves the slot empty.
#include "orbel/file/file_access.h"

#include "orbel/file/qva_archive.h"
#include "orbel/file/thread_file.h"

namespace orbel {
namespace {

// The plain set: ThreadFile records handed out as handles.
ThreadFile* Plain(FileHandle file) { return reinterpret_cast<ThreadFile*>(file); }

FileHandle PlainOpen(const char* path, int readAhead, int unused, int async) {
  return reinterpret_cast<FileHandle>(ThreadFileOpen(path, readAhead, unused, async));
}
int PlainClose(FileHandle file) { return ThreadFileClose(Plain(file)); }
int32_t PlainTell(FileHandle file) { return static_cast<int32_t>(ThreadFileTell(Plain(file))); }
int PlainSeek(FileHandle file, int32_t offset, int origin) { return ThreadFileSeek(Plain(file), offset, origin); }
size_t PlainRead(void* buffer, size_t blockSize, size_t count, FileHandle file) {
  return ThreadFileRead(buffer, blockSize, count, Plain(file));
}
int PlainEof(FileHandle file) { return ThreadFileEof(Plain(file)); }
int PlainIdleCheck(FileHandle file) { return ThreadFileIdleCheck(Plain(file)); }

constexpr FileAccessFunctionTable kPlainSet = {PlainOpen,     PlainClose,    PlainTell,     PlainSeek,
                                               PlainRead,     PlainEof,      PlainIdleCheck, SetCurrentDir,
                                               GetCurrentDir, FileFindFirst, FileFindNext,  FileFindClose};

constexpr FileAccessFunctionTable kArchiveSet = {QvaFileOpen,      QvaFileClose,     QvaFileTell,  QvaFileSeek,
                                                 QvaFileRead,      QvaFileEof,       QvaFileIdleCheck,
                                                 QvaSetCurrentDir, QvaGetCurrentDir, QvaFindFirst, QvaFindNext,
                                                 QvaFindClose};

struct FileAccessState {
  FileAccessFunctionTable table = kArchiveSet;
  int usePlainFiles = 0;
};

FileAccessState& State() {
  static FileAccessState state;
  return state;
}

}  // namespace

int SetFileAccessFunctions(const FileAccessFunctionTable* table) {
  FileAccessState& s = State();
  if (table != nullptr) {
    s.table = *table;
  } else {
    s.table = s.usePlainFiles ? kPlainSet : kArchiveSet;
  }
  return 0;
}

const FileAccessFunctionTable& GetFileAccessFunctions() { return State().table; }

void SetUsePlainFileAccess(int on) { State().usePlainFiles = on != 0; }

FileHandle FileAccessOpen(const char* path, int readAhead, int unused, int async) {
  auto* slot = State().table.Open;
  return slot == nullptr ? 0 : slot(path, readAhead, unused, async);
}

int FileAccessClose(FileHandle file) {
  auto* slot = State().table.Close;
  return slot == nullptr ? -1 : slot(file);
}

int32_t FileAccessTell(FileHandle file) {
  auto* slot = State().table.Tell;
  return slot == nullptr ? -1 : slot(file);
}

int FileAccessSeek(FileHandle file, int32_t offset, int origin) {
  auto* slot = State().table.Seek;
  return slot == nullptr ? -1 : slot(file, offset, origin);
}

size_t FileAccessRead(void* buffer, size_t blockSize, size_t count, FileHandle file) {
  auto* slot = State().table.Read;
  return slot == nullptr ? 0 : slot(buffer, blockSize, count, file);
}

int FileAccessEof(FileHandle file) {
  auto* slot = State().table.Eof;
  return slot == nullptr ? -1 : slot(file);
}

int FileAccessIdleCheck(FileHandle file) {
  auto* slot = State().table.IdleCheck;
  return slot == nullptr ? 1 : slot(file);
}

int FileAccessSetCurrentDir(const char* path) {
  auto* slot = State().table.SetDir;
  return slot == nullptr ? -1 : slot(path);
}

int FileAccessGetCurrentDir(char* buffer) {
  auto* slot = State().table.GetDir;
  if (slot == nullptr) {
    if (buffer != nullptr) buffer[0] = '\0';
    return -1;
  }
  return slot(buffer);
}

FindHandle FileAccessFindFirst(const char* pattern, FileFindInfo* info) {
  auto* slot = State().table.FindFirst;
  return slot == nullptr ? -1 : slot(pattern, info);
}

int FileAccessFindNext(FindHandle search, FileFindInfo* info) {
  auto* slot = State().table.FindNext;
  return slot == nullptr ? -1 : slot(search, info);
}

int FileAccessFindClose(FindHandle search) {
  auto* slot = State().table.FindClose;
  return slot == nullptr ? -1 : slot(search);
}

}  // namespace orbel

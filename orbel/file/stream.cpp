// The file stream set: the six stream operations over the installed file-access table, so one loader
// reads plain files and archive members alike. The memory set lives in mem_stream.cpp.
#include "orbel/file/stream.h"

#include "orbel/file/file_access.h"

namespace orbel {
namespace {

int32_t FileTell(StreamHandle handle) { return FileAccessTell(handle); }
int FileSeek(StreamHandle handle, int32_t offset, int origin) { return FileAccessSeek(handle, offset, origin); }
size_t FileRead(void* buffer, size_t blockSize, size_t count, StreamHandle handle) {
  return FileAccessRead(buffer, blockSize, count, handle);
}
int FileEof(StreamHandle handle) { return FileAccessEof(handle); }
int FileIdleCheck(StreamHandle handle) { return FileAccessIdleCheck(handle); }
int FileClose(StreamHandle handle) { return FileAccessClose(handle); }

constexpr StreamFunctionSet kFileStreamFunctions = {FileTell, FileSeek, FileRead, FileEof, FileIdleCheck, FileClose};

}  // namespace

const StreamFunctionSet& GetFileStreamFunctions() { return kFileStreamFunctions; }

}  // namespace orbel

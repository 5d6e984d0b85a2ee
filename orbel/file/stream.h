// Stream function sets: six operations over an opaque stream handle through which every loader reads.
// The file set reads through the installed file-access table (plain files or archive members); the
// memory set reads a block of memory. A loader is handed a set and a handle and never learns which.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbel {

using StreamHandle = uintptr_t;

struct StreamFunctionSet {
  int32_t (*Tell)(StreamHandle handle);
  int (*Seek)(StreamHandle handle, int32_t offset, int origin);  // origin 0 start, 1 current, 2 end
  size_t (*Read)(void* buffer, size_t blockSize, size_t count, StreamHandle handle);  // whole blocks read
  int (*Eof)(StreamHandle handle);        // non-zero at the end
  int (*IdleCheck)(StreamHandle handle);  // 1 when no asynchronous work is pending
  int (*Close)(StreamHandle handle);
};

// A set and the stream it reads.
struct StreamData {
  StreamFunctionSet functions;
  StreamHandle handle;
};

const StreamFunctionSet& GetFileStreamFunctions();
const StreamFunctionSet& GetMemStreamFunctions();

// A read stream over a caller's block (not owned); 0 when memory runs out.
StreamHandle MemStreamOpen(const void* data, size_t size);
int MemStreamClose(StreamHandle stream);

}  // namespace orbel
